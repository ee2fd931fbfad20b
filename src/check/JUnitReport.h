#pragma once

#include <string>

#include "StationResult.h"

// Writes the runs as JUnit XML: one testsuite per reader run, named after its
// title, one testcase per step; a run whose line went away has a testcase
// "line" with an error, and so does each line that could not be opened, in a
// testsuite of its own. False when the file cannot be written.
bool WriteJUnit(const std::string& path, const StationResult& result);
