#pragma once

#include <string>

// A made-up machine's sysfs, /dev and /proc below a folder of the test's own,
// laid out as Linux lays them out, for port discovery to read. Device nodes
// are plain files with the mode and group given.
class FakeSystemTree {
 public:
  struct Usb {
    std::string vendor = "0403";
    std::string product = "6001";
    std::string maker = "FTDI";
    std::string productName = "FT232R USB UART";
    std::string serial = "A10KXYZ";
    std::string busPort = "1-1";  // the USB device's folder under usb1
    std::string byId;             // name under /dev/serial/by-id; none when empty
    std::string byPath;           // name under /dev/serial/by-path; none when empty
  };

  // `root` is made when missing.
  explicit FakeSystemTree(std::string root);

  const std::string& Root() const { return root_; }

  // ttyS<n> of the 8250 driver; `type` 0 means no chip answers.
  void AddUart(const std::string& name, int type);
  void AddUsb(const std::string& name, const Usb& usb);
  // A tty with a device of another kind (ttyAMA0), and one without (tty1).
  void AddOther(const std::string& name);
  void AddVirtual(const std::string& name);
  // The node's mode and group (the tree's nodes start as 0660 of the
  // caller's group).
  void SetNode(const std::string& name, unsigned mode, unsigned gid) const;
  void SetConsole(const std::string& active, const std::string& cmdline) const;

 private:
  void AddNode(const std::string& name) const;
  void Write(const std::string& path, const std::string& text) const;
  void Link(const std::string& target, const std::string& link) const;

  std::string root_;
};
