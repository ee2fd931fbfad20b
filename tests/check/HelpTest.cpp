// The options that docs/trellum-check.md and the manual page list are those
// of --help.
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

std::string Contents(const char* path) {
  std::ifstream file(path);
  EXPECT_TRUE(file) << path;
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(Help, TheDocsAndTheManualPageListEveryOptionOfHelpAndNoOther) {
  const CheckRun help = CheckRun::Run({"--help"});
  ASSERT_EQ(help.status, 0) << help.err;
  const std::set<std::string> helped = Options(help.out, std::regex(R"(^\s+(--[a-z-]+))"));
  EXPECT_GE(helped.size(), 10u) << help.out;

  const std::string text = Contents(DOCS_PATH);
  const auto section = text.find("\n## Options\n");
  ASSERT_NE(section, std::string::npos) << "docs/trellum-check.md has no section \"Options\"";
  const auto end = text.find("\n## ", section + 1);
  EXPECT_EQ(Options(text.substr(section, end - section), std::regex(R"(^\| `(--[a-z-]+))")), helped);

  // The page writes every hyphen as "\-".
  const std::string page = std::regex_replace(Contents(MAN_PAGE_PATH), std::regex(R"(\\-)"), "-");
  EXPECT_EQ(Options(page, std::regex(R"(^\\fB(--[a-z-]+)\\fR)")), helped);
}

}  // namespace
