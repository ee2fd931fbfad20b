#pragma once

#include <cstddef>
#include <string>

// The session record's file of one line: FILE itself when there is one
// line; FILE-1, FILE-2, ... (before FILE's extension) when there are several,
// in the order of the ports, so that each line's record reads as the window's.
std::string LineRecordPath(const std::string& path, std::size_t line, std::size_t lines);
