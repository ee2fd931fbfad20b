#pragma once

#include <map>
#include <optional>
#include <string>

#include "MainWindow.h"

// The program's own command-line options; every other argument is left for
// the toolkit (-platform, -style, ...).
//
//   --list-ports           prints the machine's serial ports and ends
//   --port COMn=DEVICE     COMn stands for DEVICE in this run, and COMn is
//                          selected at start instead of the stored port
//   --record FILE          appends the session record to FILE
//   --reconnect            waits for a port whose device went away and
//                          connects again
//   --help                 prints the options and ends
struct CommandLine {
  bool listPorts = false;
  bool help = false;
  std::map<std::string, std::string> ports;
  std::optional<int> selectedPort;  // entry of comm1 named by the last --port
  std::string record;               // the session record's file; none when empty
  bool reconnect = false;
  std::string error;  // set when the arguments are unusable

  // Takes the program's options out of argv, leaving the rest in order.
  static CommandLine Parse(int& argc, char** argv);

  // The window's setup with this run's port mapping, selection and choices.
  TForm1Setup Apply(TForm1Setup setup) const;

  static const char* Usage();
};
