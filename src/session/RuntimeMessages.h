#pragma once

#include <string>

// A message of the runtime library with one text argument ("%s"), looked up
// in the catalogues; a translation whose conversions differ falls back to the
// English format.
std::string FormatRuntimeMessage(const char* englishFormat, const std::string& argument);
