// trellum-check test against the virtual reader: a working reader passes,
// each fault fails its own step, no reader fails every step, and the JUnit
// file is read back with an XML parser.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <unistd.h>

#include "CheckRun.h"
#include "ReaderProcess.h"
#include "ReadBack.h"

namespace {

// "PASS 1 status" ... by step number.
std::map<std::string, std::string> Verdicts(const std::string& out) {
  std::map<std::string, std::string> verdicts;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const std::string verdict = line.substr(0, 4);
    if ((verdict != "PASS" && verdict != "FAIL" && verdict != "SKIP") || line.size() < 5 || line[4] != ' ') continue;
    verdicts[line.substr(5, line.find(':') - 5)] = verdict + line.substr(line.find(':'));
  }
  return verdicts;
}

std::string TempPath(const char* name) {
  return testing::TempDir() + "check-" + std::to_string(getpid()) + "-" + name;
}

TEST(Acceptance, WorkingReaderPassesEveryStepAndTheJUnitFileSaysSo) {
  ReaderProcess reader({"--speed-match", "--baud", "38400", "--period", "700", "--card", "258:197637"});
  const std::string junit = TempPath("pass.xml");
  const CheckRun run = CheckRun::Run({"test", reader.device(), "--model", "Brenta", "--speed", "38400", "--cards",
                                      "2", "--card-timeout", "10", "--lock", "--junit", junit});
  SCOPED_TRACE(run.out + run.err);
  EXPECT_EQ(run.status, 0);
  const auto verdicts = Verdicts(run.out);
  for (const char* step : {"1 status", "2 options", "3 outputs", "4 relay pulses", "5 cards"}) {
    EXPECT_EQ(verdicts.at(step).substr(0, 4), "PASS") << step;
  }
  EXPECT_EQ(verdicts.at("6 switch"), "SKIP: not asked for (--switch)");
  // The reader's codes count up from 258:197637, one a read.
  EXPECT_TRUE(std::regex_search(run.out, std::regex("PASS 5 cards: card codes 00258:00001976[3-9][0-9], "
                                                    "00258:00001976[3-9][0-9] answered with Control Lock")));
  EXPECT_NE(run.out.find("PASSED"), std::string::npos);

  const std::vector<Suite> suites = ReadJUnit(junit);
  ASSERT_EQ(suites.size(), 1u);
  EXPECT_EQ(suites[0].tests, 6);
  EXPECT_EQ(suites[0].failures, 0);
  EXPECT_EQ(suites[0].skipped, 1);
  EXPECT_EQ(suites[0].cases, (std::vector<std::string>{"1 status", "2 options", "3 outputs", "4 relay pulses",
                                                        "5 cards", "6 switch"}));
  EXPECT_EQ(suites[0].skips, std::vector<std::string>{"6 switch: not asked for (--switch)"});
  std::remove(junit.c_str());

  // Each card was answered with the event response and "Control Lock".
  reader.control("state");
  const std::string state = reader.expectLine("state ");
  EXPECT_NE(state.find("out1=0 out2=0"), std::string::npos) << state;
  EXPECT_EQ(state.find("acks=0"), std::string::npos) << state;
}

struct FaultCase {
  const char* name;
  std::vector<std::string> reader;
  std::string failedStep;
  std::string reason;  // part of the step's line
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

class Faults : public testing::TestWithParam<FaultCase> {};

// Only the step that the fault touches fails; the reader is put back.
TEST_P(Faults, FailAtTheirStepWithTheReason) {
  const FaultCase& c = GetParam();
  std::vector<std::string> args{"--speed-match", "--baud", "9600", "--period", "400"};
  args.insert(args.end(), c.reader.begin(), c.reader.end());
  ReaderProcess reader(args);
  const std::string junit = TempPath(c.name);
  const CheckRun run = CheckRun::Run(
      {"test", reader.device(), "--model", "Corvan", "--speed", "9600", "--card-timeout", "5", "--junit", junit});
  SCOPED_TRACE(run.out + run.err);
  EXPECT_EQ(run.status, 1);
  for (const auto& [step, line] : Verdicts(run.out)) {
    if (step == c.failedStep) {
      EXPECT_EQ(line.substr(0, 4), "FAIL");
      EXPECT_NE(line.find(c.reason), std::string::npos) << line;
    } else {
      EXPECT_NE(line.substr(0, 4), "FAIL") << step << line;
    }
  }
  const std::vector<Suite> suites = ReadJUnit(junit);
  ASSERT_EQ(suites.size(), 1u);
  ASSERT_EQ(suites[0].failures_.size(), 1u);
  EXPECT_EQ(suites[0].failures_[0].rfind(c.failedStep + ": ", 0), 0u) << suites[0].failures_[0];
  EXPECT_NE(suites[0].failures_[0].find("| tx 7E"), std::string::npos) << "the bytes seen";
  std::remove(junit.c_str());
  reader.control("state");
  const std::string state = reader.expectLine("state ");
  EXPECT_NE(state.find("out1=0 out2=0"), std::string::npos) << state;
}

const FaultCase kFaults[] = {
    {"stuckRelay", {"--relay-fault", "stuck"}, "4 relay pulses", "still on"},
    {"deadRelay", {"--relay-fault", "dead"}, "4 relay pulses", "the relay is not on after \"1\""},
    {"optionsDoNotStick", {"--option-fault"}, "2 options", "wrote options I, read back A"},
};

INSTANTIATE_TEST_SUITE_P(Check, Faults, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST(Acceptance, WithoutAReaderEveryStepFails) {
  ReaderProcess reader({"--speed-match", "--no-powerup", "--baud", "1200"});  // at another speed: nobody answers
  const std::string junit = TempPath("none.xml");
  const CheckRun run = CheckRun::Run({"test", reader.device(), "--model", "Brenta", "--speed", "9600", "--switch",
                                      "--card-timeout", "1", "--junit", junit});
  SCOPED_TRACE(run.out + run.err);
  EXPECT_EQ(run.status, 1);
  const auto verdicts = Verdicts(run.out);
  EXPECT_EQ(verdicts.size(), 6u);
  for (const auto& [step, line] : verdicts) EXPECT_EQ(line.substr(0, 4), "FAIL") << step;
  const std::vector<Suite> suites = ReadJUnit(junit);
  ASSERT_EQ(suites.size(), 1u);
  EXPECT_EQ(suites[0].failures, 6);
  EXPECT_EQ(suites[0].failures_.size(), 6u);
  std::remove(junit.c_str());
}

}  // namespace
