#include "LinuxPortDiscovery.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

namespace fs = std::filesystem;

namespace serialdev {

namespace {

constexpr const char* kStableFolders[] = {"/dev/serial/by-id", "/dev/serial/by-path"};

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t')) line.pop_back();
  return line;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The number at the end of a kernel name ("ttyS12" gives 12), -1 without one.
long TrailingNumber(const std::string& name) {
  const auto digits = name.find_last_not_of("0123456789") + 1;
  if (digits >= name.size()) return -1;
  return std::strtol(name.c_str() + digits, nullptr, 10);
}

fs::path Canonical(const fs::path& path) {
  std::error_code error;
  fs::path result = fs::canonical(path, error);
  return error ? fs::path() : result;
}

std::string GroupName(gid_t gid) {
  if (const group* entry = getgrgid(gid)) return entry->gr_name;
  return std::to_string(gid);
}

// Ports with a COMn come first, in COMn order; then the rest by kind and name.
auto OrderKey(const DiscoveredPort& port) {
  const bool mapped = port.comNumber > 0;
  const std::string stem = port.name.substr(0, port.name.find_last_not_of("0123456789") + 1);
  return std::make_tuple(!mapped, port.comNumber, static_cast<int>(port.kind), stem, TrailingNumber(port.name),
                         port.name);
}

}  // namespace

const char* KindName(PortKind kind) {
  switch (kind) {
    case PortKind::Uart: return "uart";
    case PortKind::Usb: return "usb";
    case PortKind::Other: return "other";
  }
  return "other";
}

LinuxPortDiscovery::LinuxPortDiscovery(std::string root) : root_(std::move(root)) {}

std::vector<std::string> LinuxPortDiscovery::ConsoleNames() const {
  std::vector<std::string> names;
  std::istringstream active(FirstLine(root_ + "/sys/class/tty/console/active"));
  for (std::string name; active >> name;) names.push_back(name);
  std::istringstream cmdline(FirstLine(root_ + "/proc/cmdline"));
  // Words after "--" are the init process's, not the kernel's.
  for (std::string word; cmdline >> word && word != "--";) {
    if (!StartsWith(word, "console=")) continue;
    std::string name = word.substr(8, word.find(',') == std::string::npos ? std::string::npos : word.find(',') - 8);
    if (StartsWith(name, "/dev/")) name.erase(0, 5);
    names.push_back(name);
  }
  return names;
}

void LinuxPortDiscovery::ReadUsbFields(const std::string& deviceLink, DiscoveredPort& port) const {
  // The tty's device is the adapter's interface or a port below it; the USB
  // device with the ids is the first ancestor that has them.
  const fs::path sys = Canonical(root_ + "/sys");
  for (fs::path at = Canonical(deviceLink); !at.empty() && at != sys && at != at.root_path(); at = at.parent_path()) {
    std::error_code error;
    if (!fs::exists(at / "idVendor", error)) continue;
    port.usbId = FirstLine(at / "idVendor") + ':' + FirstLine(at / "idProduct");
    port.maker = FirstLine(at / "manufacturer");
    port.product = FirstLine(at / "product");
    port.serial = FirstLine(at / "serial");
    return;
  }
}

std::optional<DiscoveredPort> LinuxPortDiscovery::Examine(const std::string& name,
                                                          const std::vector<std::string>& stableLinks) const {
  const std::string base = root_ + "/sys/class/tty/" + name;
  std::error_code error;
  // Virtual terminals and pseudo-terminals have no device behind them.
  if (!fs::exists(base + "/device", error)) return std::nullopt;
  DiscoveredPort port;
  port.name = name;
  port.device = "/dev/" + name;
  const std::string node = root_ + port.device;
  struct stat info {};
  if (stat(node.c_str(), &info) != 0) return std::nullopt;

  if (StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM")) {
    port.kind = PortKind::Usb;
  } else if (StartsWith(name, "ttyS")) {
    // The 8250 driver makes ttyS0..N whether or not a chip answers; type 0
    // (unknown) means none does, and such a port is no port at all.
    const std::string type = FirstLine(base + "/type");
    if (type.empty() || type.find_first_not_of('0') == std::string::npos ||
        type.find_first_not_of("0123456789") != std::string::npos)
      return std::nullopt;
    port.kind = PortKind::Uart;
  }
  port.accessible = access(node.c_str(), R_OK | W_OK) == 0;
  port.group = GroupName(info.st_gid);

  if (port.kind == PortKind::Usb) {
    ReadUsbFields(base + "/device", port);
    const fs::path target = Canonical(node);
    for (const std::string& link : stableLinks) {
      if (Canonical(root_ + link) == target) {
        port.stableName = link;
        break;
      }
    }
  }
  return port;
}

std::vector<DiscoveredPort> LinuxPortDiscovery::Ports() const {
  std::vector<std::string> stableLinks;
  for (const char* folder : kStableFolders) {
    std::vector<std::string> links;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(root_ + folder, error))
      links.push_back(std::string(folder) + '/' + entry.path().filename().string());
    std::sort(links.begin(), links.end());
    stableLinks.insert(stableLinks.end(), links.begin(), links.end());
  }

  std::vector<DiscoveredPort> ports;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(root_ + "/sys/class/tty", error)) {
    if (auto port = Examine(entry.path().filename().string(), stableLinks)) ports.push_back(std::move(*port));
  }
  const std::vector<std::string> consoles = ConsoleNames();
  for (DiscoveredPort& port : ports)
    port.console = std::find(consoles.begin(), consoles.end(), port.name) != consoles.end();

  std::vector<DiscoveredPort*> candidates;
  for (DiscoveredPort& port : ports)
    if (!port.console && port.kind != PortKind::Other) candidates.push_back(&port);
  std::sort(candidates.begin(), candidates.end(), [](const DiscoveredPort* a, const DiscoveredPort* b) {
    if (a->kind != b->kind) return a->kind == PortKind::Uart;
    if (a->kind == PortKind::Uart) return TrailingNumber(a->name) < TrailingNumber(b->name);
    const std::string& left = a->stableName.empty() ? a->device : a->stableName;
    const std::string& right = b->stableName.empty() ? b->device : b->stableName;
    return std::tie(left, a->name) < std::tie(right, b->name);
  });
  for (std::size_t i = 0; i < candidates.size() && i < kComPorts; ++i) candidates[i]->comNumber = int(i) + 1;

  std::sort(ports.begin(), ports.end(),
            [](const DiscoveredPort& a, const DiscoveredPort& b) { return OrderKey(a) < OrderKey(b); });
  return ports;
}

std::optional<std::string> LinuxPortDiscovery::DevicePathFor(const std::string& port) const {
  if (!port.empty() && port.front() == '/') return port;
  if (port.size() != 4 || port.compare(0, 3, "COM") != 0 || port[3] < '1' || port[3] > '8') return std::nullopt;
  const int number = port[3] - '0';
  for (const DiscoveredPort& found : Ports())
    if (found.comNumber == number) return found.device;
  return std::nullopt;
}

}  // namespace serialdev
