// The options that docs/trellum-check.md lists are those of --help.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "CheckRun.h"

namespace {

// The first word of every line that matches, when it is an option.
std::set<std::string> Options(const std::string& text, const std::regex& line) {
  std::set<std::string> options;
  std::istringstream lines(text);
  for (std::string l; std::getline(lines, l);) {
    std::smatch m;
    if (std::regex_search(l, m, line)) options.insert(m[1]);
  }
  return options;
}

TEST(Help, TheDocsListEveryOptionOfHelpAndNoOther) {
  const CheckRun help = CheckRun::Run({"--help"});
  ASSERT_EQ(help.status, 0) << help.err;
  const std::set<std::string> helped = Options(help.out, std::regex(R"(^\s+(--[a-z-]+))"));

  std::ifstream file(DOCS_PATH);
  ASSERT_TRUE(file) << DOCS_PATH;
  std::stringstream docs;
  docs << file.rdbuf();
  const std::string text = docs.str();
  const auto section = text.find("\n## Options\n");
  ASSERT_NE(section, std::string::npos) << "docs/trellum-check.md has no section \"Options\"";
  const auto end = text.find("\n## ", section + 1);
  const std::set<std::string> documented =
      Options(text.substr(section, end - section), std::regex(R"(^\| `(--[a-z-]+))"));

  EXPECT_GE(helped.size(), 10u) << help.out;
  EXPECT_EQ(documented, helped);
}

}  // namespace
