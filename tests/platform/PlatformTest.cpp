// The entry's platform parts, on whichever platform the test is built for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>

#include "PortList.h"
#include "ProgramLocation.h"
#include "UserLanguage.h"

namespace {

void SetVariable(const char* name, const std::optional<std::string>& value) {
#ifdef _WIN32
  _putenv_s(name, value ? value->c_str() : "");
#else
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
#endif
}

TEST(UserLanguage, LangCutAtItsFirstDotComesFirst) {
  const std::string locale = UserLocaleLanguage();
  const struct {
    std::optional<std::string> lang;
    std::string expected;
  } cases[] = {
      {"de_DE.UTF-8", "de_DE"}, {"fr_FR", "fr_FR"}, {"es.ISO-8859-1.x", "es"}, {"C", "C"}, {"", locale},
      {std::nullopt, locale},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lang.value_or("(unset)"));
    SetVariable("LANG", c.lang);
    EXPECT_EQ(UserLanguage(), c.expected);
  }
  SetVariable("LANG", std::nullopt);
}

#ifndef _WIN32
TEST(UserLanguage, WithoutLangTheLocaleVariablesServeInTheirOrder) {
  SetVariable("LANG", std::nullopt);
  SetVariable("LC_ALL", "pt_BR.UTF-8");
  SetVariable("LC_MESSAGES", "it_IT.UTF-8");
  EXPECT_EQ(UserLanguage(), "pt_BR");
  SetVariable("LC_ALL", std::nullopt);
  EXPECT_EQ(UserLanguage(), "it_IT");
  SetVariable("LC_MESSAGES", std::nullopt);
  EXPECT_EQ(UserLanguage(), "");
}
#endif

// The user's locale is named as catalogues are: language, "_", region, no
// character set.
TEST(UserLanguage, UserLocaleIsInTheFormOfCatalogueFolders) {
  const std::string locale = UserLocaleLanguage();
  EXPECT_EQ(locale.find('-'), std::string::npos) << locale;
  EXPECT_EQ(locale.find('.'), std::string::npos) << locale;
}

TEST(ProgramLocation, ExecutableAndItsFolderAreThisTestProgram) {
  const std::string path = ExecutablePath();
  const std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty()) << path;
  ASSERT_GT(path.size(), folder.size() + 1);
  EXPECT_EQ(path.compare(0, folder.size(), folder), 0) << path;
  const std::string name = path.substr(folder.size() + 1);
  EXPECT_EQ(name.rfind("platform_tests", 0), 0u) << path;
  EXPECT_EQ(name.find_first_of("/\\"), std::string::npos) << path;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  EXPECT_NE(file, nullptr) << path;
  if (file) std::fclose(file);
}

#ifdef _WIN32
// The Wine prefix maps COM1 (to a pseudo-terminal) through the registry;
// Wine names other ports after the machine's ttyS devices.
TEST(PortList, NamesTheSystemsComPortsInTheOrderOfTheirNumbers) {
  std::ostringstream out;
  ListPorts(out);
  std::istringstream lines(out.str());
  std::string line;
  unsigned long previous = 0;
  bool com1 = false;
  while (std::getline(lines, line)) {
    SCOPED_TRACE(line);
    ASSERT_EQ(std::count(line.begin(), line.end(), '\t'), 10);
    ASSERT_EQ(line.rfind("\\\\.\\COM", 0), 0u);
    const unsigned long number = std::stoul(line.substr(7));
    EXPECT_GT(number, previous);
    previous = number;
    if (number == 1) {
      com1 = true;
      EXPECT_EQ(line, "\\\\.\\COM1\tuart\tCOM1\t-\t-\t-\t-\t-\t-\t-\t-");
    }
  }
  EXPECT_TRUE(com1) << out.str();
}
#endif

}  // namespace
