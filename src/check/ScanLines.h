#pragma once

#include "CheckOptions.h"
#include "SerialDevice.h"

class SharedOutput;
class Station;

// The scan command over its lines, all at once on a Station. The results
// follow in the order of the ports: each line's table (under the line's name
// when there are several) or its JSON objects. The exit status: 0 readers
// found on every line, 1 a line without any, 2 a line could not be opened
// (after the others were scanned).
int ScanLines(const CheckOptions& options, serialdev::PortResolver resolve, SharedOutput& out, SharedOutput& err,
              Station& station);
