#pragma once

#include <string>

// Asks the rig's host script for an action by a console line "@host <what>":
// "break" (a break on ttyS2), "unplug" and "plug" (the FTDI adapter),
// "transcript <port> <text>..." (the host checks that the reader on that
// port received these texts in order). The host answers by acting; the
// caller waits for the effect it expects.
void HostRequest(const std::string& what);
