#pragma once

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>

class SessionRecord;

// The session record of one line, none when no file is given: FILE itself
// when there is one line; FILE-1, FILE-2, ... (before FILE's extension) when
// there are several, in the order of the ports, so that each line's record
// reads as the window's. A record that cannot be written is reported on the
// line's progress.
std::unique_ptr<SessionRecord> OpenLineRecord(const std::string& path, std::size_t line, std::size_t lines,
                                              std::ostream& progress);
