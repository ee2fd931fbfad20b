#include "OptionParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What a parser of a flag, a value option and the other arguments saw, or
// the error it raised.
std::string Seen(std::vector<std::string> words) {
  std::string seen;
  cmdline::OptionParser parser;
  parser.Flag({"--json", "-j"}, [&] { seen += "json;"; })
      .Value("--speed", [&](std::string_view v) { seen += "speed=" + std::string(v) + ";"; })
      .Value("--record", [&](std::string_view v) { seen += "record=" + std::string(v) + ";"; }, "a file")
      .Arguments([&](std::string_view v) { seen += "arg=" + std::string(v) + ";"; });
  std::vector<const char*> argv{"prog"};
  for (const std::string& w : words) argv.push_back(w.c_str());
  try {
    parser.Parse(int(argv.size()), argv.data());
  } catch (const cmdline::UsageError& e) {
    return std::string("error: ") + e.what();
  }
  return seen;
}

TEST(OptionParser, SpellingsValuesAndErrors) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, ""},
      {{"scan", "--json", "-j", "x"}, "arg=scan;json;json;arg=x;"},
      {{"--speed", "9600", "--speed=38400"}, "speed=9600;speed=38400;"},
      {{"--speed", "--json"}, "speed=--json;"},
      {{"--speed="}, "speed=;"},
      {{"--record=a=b"}, "record=a=b;"},
      {{"-"}, "arg=-;"},
      {{"--speed"}, "error: --speed needs a value"},
      {{"--record"}, "error: --record needs a file"},
      {{"--json=1"}, "error: --json takes no value"},
      {{"--jsonx"}, "error: unknown option --jsonx"},
      {{"-x"}, "error: unknown option -x"},
      {{"--frob=1"}, "error: unknown option --frob=1"},
  };
  for (const auto& [words, expected] : cases) EXPECT_EQ(Seen(words), expected) << testing::PrintToString(words);
}

TEST(OptionParser, WithoutAnArgumentHandlerEveryArgumentIsAnError) {
  cmdline::OptionParser parser;
  const char* argv[] = {"prog", "x"};
  EXPECT_THROW(parser.Parse(2, argv), cmdline::UsageError);
}

TEST(OptionParser, TakeLeavesWhatIsNotItsOwnInOrder) {
  std::string seen;
  cmdline::OptionParser parser;
  parser.Flag({"--help"}, [&] { seen += "help;"; }).Value("--port", [&](std::string_view v) { seen += v; });
  std::string words[] = {"trellum", "-platform", "offscreen", "--port", "COM1=x", "--help", "file", "--other"};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  int argc = int(argv.size()) - 1;
  parser.Take(argc, argv.data());
  EXPECT_EQ(seen, "COM1=xhelp;");
  EXPECT_EQ(std::vector<std::string>(argv.begin(), argv.begin() + argc),
            (std::vector<std::string>{"trellum", "-platform", "offscreen", "file", "--other"}));
  EXPECT_EQ(argv[argc], nullptr);
}

TEST(OptionParser, NumbersAndIdLists) {
  EXPECT_EQ(cmdline::Number("--n", "31", 0, 31), 31);
  EXPECT_EQ(cmdline::Number("--family", "d5", 0, 255, 16), 0xD5);
  for (const char* bad : {"", "32", "-1", "1x", " 1", "0x10"}) {
    try {
      cmdline::Number("--n", bad, 0, 31);
      ADD_FAILURE() << bad;
    } catch (const cmdline::UsageError& e) {
      EXPECT_EQ(e.what(), "--n: \"" + std::string(bad) + "\" is not a number from 0 to 31");
    }
  }
  EXPECT_EQ(cmdline::IdList("--ids", "1,4-6,31"), (std::vector<int>{1, 4, 5, 6, 31}));
  EXPECT_EQ(cmdline::IdList("--ids", "0-31").size(), 32u);
  const std::pair<const char*, const char*> bad[] = {
      {"6-4", "--ids: the range 6-4 runs backwards"},
      {"1,2-3,3", "--ids: ID 3 given twice"},
      {"1,,2", "--ids: \"\" is not a number from 0 to 31"},
      {"0-32", "--ids: \"32\" is not a number from 0 to 31"},
  };
  for (const auto& [text, message] : bad) {
    try {
      cmdline::IdList("--ids", text);
      ADD_FAILURE() << text;
    } catch (const cmdline::UsageError& e) {
      EXPECT_STREQ(e.what(), message);
    }
  }
}

}  // namespace
