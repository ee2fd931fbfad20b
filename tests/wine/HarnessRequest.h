#pragma once

#include <string>

// Requests to the Wine test harness (tests/wine/harness.py): a line
// "@host COMMAND" on standard output, answered by one line on standard input.
std::string HarnessRequest(const std::string& command);
// The answer's value after its first word, which must be `name`; throws
// otherwise, as for a harness that did not answer.
std::string HarnessField(const std::string& reply, const std::string& name);
// Throws unless the request is answered with exactly `wanted`.
void HarnessExpect(const std::string& command, const std::string& wanted);
