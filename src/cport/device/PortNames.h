#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace serialdev {

// A port reached over the network: "rfc2217://HOST:PORT" (Telnet with the
// COM-PORT-OPTION, which carries the line settings and the modem lines) or
// "socket://HOST:PORT" (raw TCP, data only). HOST is a name, an IPv4 address
// or an IPv6 address in brackets.
struct NetworkAddress {
  bool rfc2217 = false;
  std::string host;  // without the brackets of an IPv6 address
  uint16_t port = 0;
};

// The address of a well-formed network name; nothing for any other text.
std::optional<NetworkAddress> ParseNetworkName(const std::string& name);
// True for a text that begins with a network scheme, well formed or not.
bool IsNetworkName(const std::string& name);

// How a port name ("COM1") becomes what the component opens: a device path
// or a network name. The layers are asked in order: the mapping given for
// this run (--port), the configured mapping (the settings file's "Ports"),
// then the automatic one (DefaultDevicePath unless another is given). A
// network name stands for itself, as a path does.
class PortNames {
 public:
  using Lookup = std::function<std::optional<std::string>(const std::string& port)>;

  explicit PortNames(std::map<std::string, std::string> run = {}, Lookup configured = {}, Lookup automatic = {});

  std::optional<std::string> Resolve(const std::string& port) const;

  // The entry of the port list, 0 to 7, that "COM1".."COM8" names.
  static std::optional<int> ComIndex(const std::string& name);
  // Why a text cannot stand for a port (a malformed network name); empty
  // when it can.
  static std::string Problem(const std::string& target);

 private:
  std::map<std::string, std::string> run_;
  Lookup configured_;
  Lookup automatic_;
};

}  // namespace serialdev
