#pragma once

#include <string>

// The full path of the running executable in UTF-8 (GetModuleFileName on
// Windows, /proc/self/exe elsewhere); empty when the system cannot tell.
std::string ExecutablePath();

// The folder that holds it, without a closing separator: the settings file
// and the message catalogues lie there.
std::string ExecutableFolder();
