#include "Win32Device.h"

namespace serialdev {

std::unique_ptr<SerialDevice> CreatePlatformDevice() { return std::make_unique<Win32Device>(); }

// Windows names its ports itself: the device is "\\.\" followed by the name.
std::optional<std::string> DefaultDevicePath(const std::string& port) { return "\\\\.\\" + port; }

}  // namespace serialdev
