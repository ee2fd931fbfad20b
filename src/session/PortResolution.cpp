#include "PortResolution.h"

serialdev::PortResolver ResolvePorts(SettingsFile settings, std::map<std::string, std::string> run,
                                     serialdev::PortNames::Lookup automatic) {
  const serialdev::PortNames names(
      std::move(run),
      [settings = std::move(settings)](const std::string& port) -> std::optional<std::string> {
        if (auto device = settings.DeviceForPort(QString::fromStdString(port))) return device->toStdString();
        return std::nullopt;
      },
      std::move(automatic));
  return [names](const std::string& port) { return names.Resolve(port); };
}
