#pragma once

#include <ostream>

// The whole of trellum-check: parses the command line, runs the scan or the
// acceptance test, and returns the exit status (0 passed / found, 1 failed /
// none found, 2 usage or port error). Results go to `out`, progress and
// errors to `err`.
int RunTrellumCheck(int argc, char** argv, std::ostream& out, std::ostream& err);
