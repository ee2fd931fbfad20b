#pragma once

#include <string>

// The folder that holds the POSIX guard's lock file: $XDG_RUNTIME_DIR (made
// when missing) when it is a folder, else a private folder /tmp/<name>-<uid>
// (mode 0700, owned by the user); empty when no safe folder can be had.
std::string RuntimeFolder(const std::string& name);
