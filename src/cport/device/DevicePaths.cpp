#include "PosixDevice.h"

namespace serialdev {

std::unique_ptr<SerialDevice> CreatePlatformDevice() { return std::make_unique<PosixDevice>(); }

std::optional<std::string> DefaultDevicePath(const std::string& port) {
  if (!port.empty() && port.front() == '/') return port;
  if (port.size() == 4 && port.compare(0, 3, "COM") == 0 && port[3] >= '1' && port[3] <= '8')
    return "/dev/ttyS" + std::string(1, static_cast<char>(port[3] - 1));
  return std::nullopt;
}

}  // namespace serialdev
