#pragma once

#include <string>
#include <vector>

// One run of trellum-check to its end (at most two minutes).
struct CheckRun {
  int status = -1;
  std::string out;
  std::string err;

  static CheckRun Run(const std::vector<std::string>& args);
};
