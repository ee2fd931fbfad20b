#pragma once

#include <string>

#include "CheckOptions.h"
#include "StationResult.h"

// The report a technician hands to the customer after commissioning: one
// HTML page that needs no other file, readable on screen and on A4 paper,
// its verdicts in words: when and where it was made, the program's version,
// the model and speed, a row per reader (and per line that could not be
// opened), then each reader's steps. Well-formed XML as well, so that a
// parser of either reads it. False when the file cannot be written.
bool WriteHtmlReport(const std::string& path, const CheckOptions& options, const std::string& started,
                     const StationResult& result);
