#pragma once

#include <string>

// Takes "--record FILE" (or "--record=FILE") out of the command line, leaving
// the other arguments in their order, and puts FILE into `path`. Returns false
// with a message in `error` when FILE is missing or empty.
bool TakeRecordOption(int& argc, char** argv, std::string& path, std::string& error);
