#include "PortList.h"

#include <algorithm>

#include "LinuxPortDiscovery.h"

namespace {

// A field as printed: tabs and line ends from the device's own texts would
// break the line into fields of their own.
std::string Field(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return text.empty() ? "-" : text;
}

}  // namespace

void ListPorts(std::ostream& out, const std::string& root) {
  for (const serialdev::DiscoveredPort& port : serialdev::LinuxPortDiscovery(root).Ports()) {
    const std::string fields[] = {
        port.device,
        serialdev::KindName(port.kind),
        port.comNumber > 0 ? "COM" + std::to_string(port.comNumber) : "",
        port.accessible ? "yes" : "no",
        port.accessible ? "" : port.group,
        port.console ? "console" : "",
        port.usbId,
        port.maker,
        port.product,
        port.serial,
        port.stableName,
    };
    std::string line;
    for (const std::string& field : fields) line += (line.empty() ? "" : "\t") + Field(field);
    out << line << '\n';
  }
  out.flush();
}
