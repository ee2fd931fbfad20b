#include "LinuxPortDiscovery.h"
#include "PosixDevice.h"

namespace serialdev {

std::unique_ptr<SerialDevice> CreatePlatformDevice() { return std::make_unique<PosixDevice>(); }

std::optional<std::string> DefaultDevicePath(const std::string& port) {
  return LinuxPortDiscovery().DevicePathFor(port);
}

}  // namespace serialdev
