#include "CommandLine.h"

#include <cstring>

#include "PortNames.h"

CommandLine CommandLine::Parse(int& argc, char** argv) {
  CommandLine options;
  int kept = argc > 0 ? 1 : 0;
  for (int i = kept; i < argc; ++i) {
    const char* argument = argv[i];
    std::string mapping;
    if (std::strcmp(argument, "--list-ports") == 0) {
      options.listPorts = true;
      continue;
    } else if (std::strcmp(argument, "--help") == 0) {
      options.help = true;
      continue;
    } else if (std::strncmp(argument, "--port=", 7) == 0) {
      mapping = argument + 7;
    } else if (std::strcmp(argument, "--port") == 0) {
      if (i + 1 == argc) {
        options.error = "--port needs COMn=DEVICE";
        continue;
      }
      mapping = argv[++i];
    } else {
      argv[kept++] = argv[i];
      continue;
    }
    const auto equals = mapping.find('=');
    const std::string name = mapping.substr(0, equals);
    const auto index = serialdev::PortNames::ComIndex(name);
    if (equals == std::string::npos || !index || equals + 1 == mapping.size()) {
      options.error = "--port " + mapping + ": expected COMn=DEVICE with n from 1 to 8";
      continue;
    }
    const std::string device = mapping.substr(equals + 1);
    if (const std::string problem = serialdev::PortNames::Problem(device); !problem.empty()) {
      options.error = "--port " + mapping + ": " + problem;
      continue;
    }
    options.ports[name] = device;
    options.selectedPort = index;
  }
  argc = kept;
  if (argv) argv[kept] = nullptr;
  return options;
}

TForm1Setup CommandLine::Apply(TForm1Setup setup) const {
  for (const auto& [name, device] : ports) setup.runPorts[name] = device;
  if (selectedPort) setup.startPort = selectedPort;
  return setup;
}

const char* CommandLine::Usage() {
  return "Usage: trellum [--port COMn=DEVICE] [--record FILE] [--list-ports] [--help]\n"
         "  --port COMn=DEVICE  COMn (1 to 8) stands for DEVICE in this run and is selected at start;\n"
         "                      DEVICE is a device path, rfc2217://HOST:PORT or socket://HOST:PORT;\n"
         "                      the settings file keeps its stored port\n"
         "  --record FILE       append every log line, burst, RTS change and error to FILE\n"
         "  --list-ports        print the serial ports, one a line, tab-separated:\n"
         "                      device, kind, COMn, access, group, console, usb id, maker, product,\n"
         "                      serial number, stable name (\"-\" where there is none)\n";
}
