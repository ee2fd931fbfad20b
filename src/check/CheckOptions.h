#pragma once

#include <string>
#include <vector>

#include "AcceptanceRun.h"
#include "Scan.h"

// The command line of trellum-check:
//   scan PORT [PORT...] [--speeds LIST] [--ids LIST] [--options] [--json]
//   test PORT [PORT...] --model M --speed S [--format F] [--id N | --ids LIST]
//        [--cards N] [--card-timeout S] [--lock] [--switch] [--junit FILE]
//        [--report FILE] [--repeat]
// and, for both, --settings FILE and --record FILE; --help.
struct CheckOptions {
  enum Command { None, ScanCommand, TestCommand };
  Command command = None;
  bool help = false;
  std::vector<std::string> ports;
  ScanSettings scan;
  TestSettings test;
  std::vector<int> ids;  // test: each ID gets a run of its own, one after the other
  bool json = false;
  std::string junit;
  std::string report;
  bool repeat = false;
  std::string record;
  std::string settings;  // empty: the window's own (SettingsLocation.h)
  std::string error;     // set when the command line is unusable

  static CheckOptions Parse(int argc, const char* const* argv);
  // Several lines, or several readers on one: the output ends with a line
  // per reader and the total.
  bool Several() const { return ports.size() > 1 || !ids.empty(); }
  static const char* Usage();
};
