#pragma once

#include <map>
#include <string>
#include <vector>

// The files trellum-check writes, read back with an XML parser; a file that
// does not parse fails the test that reads it.

struct Suite {
  std::string name;
  int tests = -1, failures = -1, skipped = -1, errors = -1;
  std::vector<std::string> cases;      // testcase names
  std::vector<std::string> failures_;  // "case: message | bytes"
  std::vector<std::string> skips;      // "case: message"
  std::vector<std::string> errors_;    // "case: message"
};

std::vector<Suite> ReadJUnit(const std::string& path);

// The HTML report: its facts ("Model" -> "Corvan"), the rows of its table
// of readers (the cells' texts), and the headings of the readers' steps.
struct Report {
  std::map<std::string, std::string> facts;
  std::vector<std::vector<std::string>> readers;
  std::vector<std::string> sections;
  std::string style;
  bool external = true;  // a link, script, image or font from elsewhere
};

Report ReadReport(const std::string& path);
