#pragma once

#include <string>

#include "AcceptanceRun.h"
#include "Scan.h"

// The command line of trellum-check:
//   scan PORT [--speeds LIST] [--ids LIST] [--options] [--json]
//   test PORT --model M --speed S [--format F] [--id N] [--cards N]
//        [--card-timeout S] [--lock] [--switch] [--junit FILE] [--repeat]
// and, for both, --settings FILE and --record FILE; --help.
struct CheckOptions {
  enum Command { None, ScanCommand, TestCommand };
  Command command = None;
  bool help = false;
  std::string port;
  ScanSettings scan;
  TestSettings test;
  bool json = false;
  std::string junit;
  bool repeat = false;
  std::string record;
  std::string settings;  // empty: the window's own (SettingsLocation.h)
  std::string error;     // set when the command line is unusable

  static CheckOptions Parse(int argc, const char* const* argv);
  static const char* Usage();
};
