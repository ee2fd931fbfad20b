#include "RecordOption.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(RecordOption, TakesTheFileAndLeavesTheRest) {
  struct Case {
    std::vector<std::string> arguments;
    bool ok;
    std::string path;
    std::vector<std::string> rest;
  };
  const Case cases[] = {
      {{"trellum"}, true, "", {"trellum"}},
      {{"trellum", "--record", "s.txt"}, true, "s.txt", {"trellum"}},
      {{"trellum", "-style", "fusion", "--record", "/tmp/a b", "x"},
       true,
       "/tmp/a b",
       {"trellum", "-style", "fusion", "x"}},
      {{"trellum", "--record=s.txt", "-platform", "offscreen"}, true, "s.txt", {"trellum", "-platform", "offscreen"}},
      {{"trellum", "--record", "--record"}, true, "--record", {"trellum"}},
      {{"trellum", "--recorder"}, true, "", {"trellum", "--recorder"}},
      {{"trellum", "--record"}, false, "", {}},
      {{"trellum", "--record", ""}, false, "", {}},
      {{"trellum", "--record="}, false, "", {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> storage = c.arguments;
    std::vector<char*> argv;
    for (std::string& a : storage) argv.push_back(a.data());
    argv.push_back(nullptr);
    int argc = int(storage.size());
    std::string path;
    std::string error;
    const bool ok = TakeRecordOption(argc, argv.data(), path, error);
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    ASSERT_EQ(ok, c.ok);
    if (!ok) {
      EXPECT_EQ(error, "--record needs a file");
      continue;
    }
    EXPECT_EQ(path, c.path);
    EXPECT_EQ(std::vector<std::string>(argv.begin(), argv.begin() + argc), c.rest);
    EXPECT_EQ(argv[argc], nullptr);
  }
}

}  // namespace
