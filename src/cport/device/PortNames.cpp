#include "PortNames.h"

#include <algorithm>
#include <cctype>

#include "NetworkDevice.h"
#include "SerialDevice.h"

namespace serialdev {

namespace {

constexpr const char* kRfc2217 = "rfc2217://";
constexpr const char* kSocket = "socket://";

bool HasScheme(const std::string& name, const std::string& scheme) {
  return name.size() >= scheme.size() &&
         std::equal(scheme.begin(), scheme.end(), name.begin(),
                    [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

bool HostCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

bool Ipv6Character(char c) { return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.'; }

}  // namespace

bool IsNetworkName(const std::string& name) { return HasScheme(name, kRfc2217) || HasScheme(name, kSocket); }

std::optional<NetworkAddress> ParseNetworkName(const std::string& name) {
  NetworkAddress address;
  std::string rest;
  if (HasScheme(name, kRfc2217)) {
    address.rfc2217 = true;
    rest = name.substr(std::char_traits<char>::length(kRfc2217));
  } else if (HasScheme(name, kSocket)) {
    rest = name.substr(std::char_traits<char>::length(kSocket));
  } else {
    return std::nullopt;
  }
  size_t portAt = 0;
  if (!rest.empty() && rest.front() == '[') {
    const auto close = rest.find(']');
    if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') return std::nullopt;
    address.host = rest.substr(1, close - 1);
    if (address.host.find(':') == std::string::npos ||
        !std::all_of(address.host.begin(), address.host.end(), Ipv6Character))
      return std::nullopt;
    portAt = close + 2;
  } else {
    const auto colon = rest.find(':');
    if (colon == std::string::npos) return std::nullopt;
    address.host = rest.substr(0, colon);
    if (!std::all_of(address.host.begin(), address.host.end(), HostCharacter)) return std::nullopt;
    portAt = colon + 1;
  }
  const std::string port = rest.substr(portAt);
  if (address.host.empty() || port.empty() || port.size() > 5 ||
      !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  const unsigned long number = std::stoul(port);
  if (number == 0 || number > 65535) return std::nullopt;
  address.port = static_cast<uint16_t>(number);
  return address;
}

PortNames::PortNames(std::map<std::string, std::string> run, Lookup configured, Lookup automatic)
    : run_(std::move(run)), configured_(std::move(configured)), automatic_(std::move(automatic)) {}

std::optional<std::string> PortNames::Resolve(const std::string& port) const {
  if (const auto given = run_.find(port); given != run_.end()) return given->second;
  if (configured_) {
    if (auto device = configured_(port)) return device;
  }
  if (IsNetworkName(port)) return port;
  return automatic_ ? automatic_(port) : DefaultDevicePath(port);
}

std::optional<int> PortNames::ComIndex(const std::string& name) {
  if (name.size() != 4 || name.compare(0, 3, "COM") != 0 || name[3] < '1' || name[3] > '8') return std::nullopt;
  return name[3] - '1';
}

std::string PortNames::Problem(const std::string& target) {
  if (!IsNetworkName(target) || ParseNetworkName(target)) return {};
  return "expected rfc2217://HOST:PORT or socket://HOST:PORT (HOST a name, an IPv4 address or an [IPv6] address, "
         "PORT 1 to 65535)";
}

std::unique_ptr<SerialDevice> CreateDevice(const std::string& target) {
  if (IsNetworkName(target)) return std::make_unique<NetworkDevice>();
  return CreatePlatformDevice();
}

}  // namespace serialdev
