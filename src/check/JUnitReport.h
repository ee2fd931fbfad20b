#pragma once

#include <string>
#include <vector>

#include "AcceptanceRun.h"

// Writes the runs as JUnit XML: <testsuites> with one <testsuite> per run
// (a reader), one <testcase> per step; a failed step carries <failure> with
// its reason as message and the bytes seen as text, a skipped one <skipped>,
// every step its bytes in <system-out>. Returns false when the file cannot
// be written.
bool WriteJUnit(const std::string& path, const std::vector<RunResult>& runs);
