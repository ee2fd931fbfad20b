#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

#include "CheckOptions.h"
#include "SerialDevice.h"
#include "StationResult.h"

class SharedOutput;
class Station;

// The test command over its lines: on each line, each reader (each ID of
// --ids, or the one reader) gets its acceptance run, then with --repeat the
// next reader on the same port; every line at the same time on a Station.
// Each run is printed as it ends, and the JUnit file and the report are
// written anew; at the end, with several readers, a line per reader and the
// total. One reader on one line prints exactly what a single run prints.
class Commissioning {
 public:
  Commissioning(const CheckOptions& options, serialdev::PortResolver resolve, SharedOutput& out, SharedOutput& err);

  // The exit status: 0 every reader passed, 1 a reader failed, did not
  // answer or lost its line, 2 a line could not be opened or a file written.
  int Run(Station& station);

 private:
  // In the line's own thread.
  void TestLine(std::size_t index, const std::atomic<bool>& stop);
  void Publish(RunResult run, int round);
  void Fail(LineError error);
  // The runs by line, in the order of the ports; each line's as they ended.
  StationResult Ordered() const;
  void WriteFiles();
  void PrintSummary(double seconds);

  const CheckOptions& options_;
  serialdev::PortResolver resolve_;
  SharedOutput& out_;
  SharedOutput& err_;
  std::mutex mutex_;  // what follows, written by the lines' threads
  StationResult result_;
  std::string started_;
  bool unwritable_ = false;
};
