#include "FakeSystemTree.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

FakeSystemTree::FakeSystemTree(std::string root) : root_(std::move(root)) {
  for (const char* folder : {"/sys/class/tty", "/sys/devices", "/dev", "/proc"}) fs::create_directories(root_ + folder);
}

void FakeSystemTree::Write(const std::string& path, const std::string& text) const {
  fs::create_directories(fs::path(root_ + path).parent_path());
  std::ofstream out(root_ + path);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + root_ + path);
}

// Links are relative, as in sysfs and udev's /dev/serial, so that they
// resolve inside the tree.
void FakeSystemTree::Link(const std::string& target, const std::string& link) const {
  const fs::path at = root_ + link;
  fs::create_directories(at.parent_path());
  fs::create_symlink(fs::relative(root_ + target, at.parent_path()), at);
}

void FakeSystemTree::AddNode(const std::string& name) const {
  Write("/dev/" + name, "");
  SetNode(name, 0660, getgid());
}

void FakeSystemTree::SetNode(const std::string& name, unsigned mode, unsigned gid) const {
  const std::string node = root_ + "/dev/" + name;
  if (chown(node.c_str(), static_cast<uid_t>(-1), gid) != 0 || chmod(node.c_str(), mode) != 0)
    throw std::runtime_error("cannot set " + node);
}

void FakeSystemTree::AddUart(const std::string& name, int type) {
  const std::string device = "/sys/devices/platform/serial8250/tty/" + name;
  Write(device + "/type", std::to_string(type) + "\n");
  fs::create_directories(root_ + "/sys/devices/platform/serial8250/driver");
  Link("/sys/devices/platform/serial8250", device + "/device");
  Link(device, "/sys/class/tty/" + name);
  AddNode(name);
}

void FakeSystemTree::AddUsb(const std::string& name, const Usb& usb) {
  const std::string adapter = "/sys/devices/pci0000:00/0000:00:14.0/usb1/" + usb.busPort;
  Write(adapter + "/idVendor", usb.vendor + "\n");
  Write(adapter + "/idProduct", usb.product + "\n");
  Write(adapter + "/manufacturer", usb.maker + "\n");
  Write(adapter + "/product", usb.productName + "\n");
  Write(adapter + "/serial", usb.serial + "\n");
  // ttyUSB sits below a port device of the interface, ttyACM right below it.
  const std::string interface = adapter + "/" + usb.busPort + ":1.0";
  const bool acm = name.rfind("ttyACM", 0) == 0;
  const std::string parent = acm ? interface : interface + "/" + name;
  const std::string tty = parent + "/tty/" + name;
  Write(tty + "/dev", "188:0\n");
  Link(parent, tty + "/device");
  Link(tty, "/sys/class/tty/" + name);
  AddNode(name);
  if (!usb.byId.empty()) Link("/dev/" + name, "/dev/serial/by-id/" + usb.byId);
  if (!usb.byPath.empty()) Link("/dev/" + name, "/dev/serial/by-path/" + usb.byPath);
}

void FakeSystemTree::AddOther(const std::string& name) {
  const std::string device = "/sys/devices/platform/fe201000.serial/tty/" + name;
  Write(device + "/type", "0\n");
  Link("/sys/devices/platform/fe201000.serial", device + "/device");
  Link(device, "/sys/class/tty/" + name);
  AddNode(name);
}

void FakeSystemTree::AddVirtual(const std::string& name) {
  const std::string device = "/sys/devices/virtual/tty/" + name;
  Write(device + "/dev", "4:1\n");
  Link(device, "/sys/class/tty/" + name);
  AddNode(name);
}

void FakeSystemTree::SetConsole(const std::string& active, const std::string& cmdline) const {
  Write("/sys/devices/virtual/tty/console/active", active + "\n");
  if (!fs::exists(root_ + "/sys/class/tty/console")) Link("/sys/devices/virtual/tty/console", "/sys/class/tty/console");
  Write("/proc/cmdline", cmdline + "\n");
}
