#include "CommandLine.h"

#include <string_view>

#include "OptionParser.h"
#include "PortNames.h"

CommandLine CommandLine::Parse(int& argc, char** argv) {
  CommandLine options;
  const auto mapPort = [&options](std::string_view mapping) {
    const auto equals = mapping.find('=');
    const std::string name(mapping.substr(0, equals));
    const auto index = serialdev::PortNames::ComIndex(name);
    if (equals == std::string_view::npos || !index || equals + 1 == mapping.size()) {
      throw cmdline::UsageError("--port " + std::string(mapping) + ": expected COMn=DEVICE with n from 1 to 8");
    }
    const std::string device(mapping.substr(equals + 1));
    if (const std::string problem = serialdev::PortNames::Problem(device); !problem.empty()) {
      throw cmdline::UsageError("--port " + std::string(mapping) + ": " + problem);
    }
    options.ports[name] = device;
    options.selectedPort = index;
  };
  cmdline::OptionParser parser;
  parser.Flag({"--list-ports"}, [&options] { options.listPorts = true; })
      .Flag({"--help"}, [&options] { options.help = true; })
      .Flag({"--reconnect"}, [&options] { options.reconnect = true; })
      .Value("--port", mapPort, "COMn=DEVICE")
      .Value(
          "--record",
          [&options](std::string_view file) {
            if (file.empty()) throw cmdline::UsageError("--record needs a file");
            options.record = file;
          },
          "a file");
  try {
    parser.Take(argc, argv);
  } catch (const cmdline::UsageError& error) {
    options.error = error.what();
  }
  return options;
}

TForm1Setup CommandLine::Apply(TForm1Setup setup) const {
  for (const auto& [name, device] : ports) setup.runPorts[name] = device;
  if (selectedPort) setup.startPort = selectedPort;
  if (reconnect) setup.reconnect = true;
  return setup;
}

const char* CommandLine::Usage() {
  return "Usage: trellum [--port COMn=DEVICE] [--record FILE] [--reconnect] [--list-ports] [--help]\n"
         "  --port COMn=DEVICE  COMn (1 to 8) stands for DEVICE in this run and is selected at start;\n"
         "                      DEVICE is a device path, rfc2217://HOST:PORT or socket://HOST:PORT;\n"
         "                      the settings file keeps its stored port\n"
         "  --record FILE       append every log line, burst, RTS change and error to FILE\n"
         "  --reconnect         when the port's device goes away, wait for it and connect again\n"
         "                      (also [Options] Reconnect=1 in the settings file)\n"
         "  --list-ports        print the serial ports, one a line, tab-separated:\n"
         "                      device, kind, COMn, access, group, console, usb id, maker, product,\n"
         "                      serial number, stable name (\"-\" where there is none)\n";
}
