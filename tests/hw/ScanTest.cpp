// trellum-check scan through the real 8250 driver: a 16550 on QEMU's PCI bus
// (ttyS4), whose speed QEMU applies to the host end of the line, where the rig
// runs the virtual reader. The reader answers only at its own speed, so it is
// found at that speed alone.
#include "CheckRun.h"
#include "VirtualReader.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kScanPort = "/dev/ttyS4";

// The table's rows: the lines that start with a speed, but the count line.
std::vector<std::string> Rows(const std::string& out) {
  std::vector<std::string> rows;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_search(line, std::regex(R"(^\d+ +\d+ )"))) rows.push_back(line);
  }
  return rows;
}

}  // namespace

TEST(RealScan, FindsTwoReadersAtTheirSpeedWithTheirIdsStatusAndOptions) {
  VirtualReader reader({"--speed-match", "--no-powerup", "--baud", "38400", "--ids", "3,5", "--device", kScanPort});
  const CheckRun run = CheckRun::Run({"scan", kScanPort, "--ids", "0-7", "--options"});
  SCOPED_TRACE(run.out + run.err);
  EXPECT_EQ(run.status, 0);
  const std::vector<std::string> rows = Rows(run.out);
  ASSERT_EQ(rows.size(), 2u);
  const std::string status = R"( +Mode 3 +Orvane series +OPEN +off +off +off +I *$)";
  EXPECT_TRUE(std::regex_match(rows[0], std::regex("38400 +3" + status))) << rows[0];
  EXPECT_TRUE(std::regex_match(rows[1], std::regex("38400 +5" + status))) << rows[1];
  EXPECT_EQ(run.out.find("problem:"), std::string::npos);
  EXPECT_TRUE(std::regex_search(run.out, std::regex(R"(2 readers found in \d+\.\d s)")));
  EXPECT_EQ(reader.Finish(), 0);
}
