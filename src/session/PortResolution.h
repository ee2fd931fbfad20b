#pragma once

#include <map>
#include <string>

#include "PortNames.h"
#include "SerialDevice.h"
#include "SettingsFile.h"

// COM1..COM8 as every program of the tool names them: this run's mapping
// (--port), then the settings file's "Ports", read anew at each open, then the
// automatic mapping (the platform's own when none is given).
serialdev::PortResolver ResolvePorts(SettingsFile settings, std::map<std::string, std::string> run = {},
                                     serialdev::PortNames::Lookup automatic = {});
