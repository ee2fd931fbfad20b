#pragma once

#include <optional>
#include <string>
#include <vector>

#include "AcceptanceRun.h"

// A line that ended without a run of its reader: it could not be opened, or
// it could not be opened again for the next reader after it had been.
struct LineError {
  std::string port;
  std::optional<int> id;  // the reader it was to be opened for, on a bus
  std::string what;       // the component's message
  bool opened = false;    // it had been open for an earlier reader
};

// What a test of several readers gives, in the order things ended.
struct StationResult {
  std::vector<RunResult> runs;
  std::vector<LineError> errors;
};

// What the line's error says: "could not be opened: Unable to open com port ...".
inline std::string LineErrorText(const LineError& error) {
  return (error.opened ? "could not be opened again: " : "could not be opened: ") + error.what;
}
