#include "PortList.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace {

// The number of a name "COMn", or 0 for any other name.
unsigned long ComNumber(const char* name) {
  if (_strnicmp(name, "COM", 3) != 0 || !std::isdigit(static_cast<unsigned char>(name[3]))) return 0;
  char* end = nullptr;
  const unsigned long number = std::strtoul(name + 3, &end, 10);
  return *end == '\0' ? number : 0;
}

// Every MS-DOS device name of the session, as QueryDosDeviceA lists them.
std::vector<std::string> DosDeviceNames() {
  std::vector<char> names(1 << 16);
  DWORD length = 0;
  while ((length = QueryDosDeviceA(nullptr, names.data(), DWORD(names.size()))) == 0 &&
         GetLastError() == ERROR_INSUFFICIENT_BUFFER && names.size() < (1u << 24)) {
    names.resize(names.size() * 2);
  }
  std::vector<std::string> result;
  for (const char* name = names.data(); name < names.data() + length && *name; name += std::strlen(name) + 1) {
    result.emplace_back(name);
  }
  return result;
}

// The kind of a port from the name of the driver's device: the built-in
// serial driver's \Device\SerialN, USB adapters' \Device\VCPn (FTDI) or
// \Device\USBSERnnn (CDC ACM).
std::string KindOf(const std::string& port) {
  char target[1024] = {};
  if (QueryDosDeviceA(port.c_str(), target, sizeof target) == 0) return "other";
  const std::string device(target);
  if (device.rfind("\\Device\\Serial", 0) == 0) return "uart";
  if (device.rfind("\\Device\\VCP", 0) == 0 || device.rfind("\\Device\\USBSER", 0) == 0) return "usb";
  return "other";
}

}  // namespace

// Windows names its ports itself, so COMn is the port's own name; what the
// Linux list says of access, groups, the console and USB descriptors has no
// counterpart here and stays "-".
void ListPorts(std::ostream& out, const std::string&) {
  std::vector<std::pair<unsigned long, std::string>> ports;
  for (const std::string& name : DosDeviceNames()) {
    if (const unsigned long number = ComNumber(name.c_str()); number > 0) ports.emplace_back(number, name);
  }
  std::sort(ports.begin(), ports.end());
  for (const auto& [number, name] : ports) {
    const std::string com = "COM" + std::to_string(number);
    out << "\\\\.\\" << com << '\t' << KindOf(name) << '\t' << com;
    for (int field = 4; field <= 11; ++field) out << "\t-";
    out << '\n';
  }
  out.flush();
}
