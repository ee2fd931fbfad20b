#pragma once

#include <optional>
#include <string>
#include <vector>

namespace serialdev {

enum class PortKind {
  Uart,  // a built-in UART with a chip behind it (ttyS with a known type)
  Usb,   // a USB adapter (ttyUSB, ttyACM)
  Other  // any other tty with a device behind it (ttyAMA, rfcomm, ...)
};

struct DiscoveredPort {
  std::string name;    // the kernel's name, "ttyUSB0"
  std::string device;  // "/dev/ttyUSB0"
  PortKind kind = PortKind::Other;
  // USB adapters only; empty when the device does not tell.
  std::string usbId;  // "0403:6001", vendor:product
  std::string maker;
  std::string product;
  std::string serial;
  std::string stableName;   // under /dev/serial/by-id, else /dev/serial/by-path
  bool accessible = false;  // the current user may open it for reading and writing
  std::string group;        // the device's group, the way in when not accessible
  bool console = false;     // the system console
  int comNumber = 0;        // n of the COMn it stands for, 0 for none
};

// The serial ports of a Linux machine, read from sysfs (/sys/class/tty), the
// device nodes and their stable names (/dev/serial/by-id, by-path), and the
// console (/sys/class/tty/console/active, console= in /proc/cmdline).
//
// COM1..COM8 stand for the ports found, in this order: built-in UARTs with a
// chip by number, then USB adapters by their stable names (the device path
// where they have none). The console never gets a COMn; other kinds neither.
class LinuxPortDiscovery {
 public:
  static constexpr int kComPorts = 8;

  // `root` is prefixed to every path read ("" for the machine itself), so
  // that tests can point it at a tree of their own.
  explicit LinuxPortDiscovery(std::string root = {});

  // Every serial port, those with a COMn first in COMn order, then the rest
  // by name. Read anew at every call.
  std::vector<DiscoveredPort> Ports() const;

  // The device that a port name stands for: a path stands for itself,
  // COM1..COM8 for the port with that COMn; nothing for a COMn beyond the
  // ports found and for any other name.
  std::optional<std::string> DevicePathFor(const std::string& port) const;

 private:
  std::vector<std::string> ConsoleNames() const;
  std::optional<DiscoveredPort> Examine(const std::string& name, const std::vector<std::string>& stableLinks) const;
  void ReadUsbFields(const std::string& deviceLink, DiscoveredPort& port) const;

  std::string root_;
};

const char* KindName(PortKind kind);

}  // namespace serialdev
