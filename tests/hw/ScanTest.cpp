// trellum-check through the real drivers. A scan through the 8250 driver: a
// 16550 on QEMU's PCI bus (ttyS4), whose speed QEMU applies to the host end of
// the line, where the rig runs the virtual reader. The reader answers only at
// its own speed, so it is found at that speed alone. And a test of two readers
// at once, on ttyS4 and on the FTDI adapter (ttyUSB0, ftdi_sio).
#include "CheckRun.h"
#include "VirtualReader.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "HostRequest.h"

namespace {

constexpr const char* kScanPort = "/dev/ttyS4";
constexpr const char* kUsbPort = "/dev/ttyUSB0";
constexpr const char* kRelayPort = "/dev/ttyS3";

// Virtual readers on the host on these ports at once, without a control
// channel, for as long as this lives; ready once the rig says so on the
// relay port.
class HostReaders {
 public:
  explicit HostReaders(const std::string& ports) : relay_(open(kRelayPort, O_RDWR | O_NOCTTY)) {
    termios tio{};
    if (relay_ >= 0 && tcgetattr(relay_, &tio) == 0) {
      cfmakeraw(&tio);
      tcsetattr(relay_, TCSANOW, &tio);
    }
    HostRequest("station " + ports);
  }
  ~HostReaders() {
    HostRequest("station end");
    if (relay_ >= 0) close(relay_);
  }
  HostReaders(const HostReaders&) = delete;
  HostReaders& operator=(const HostReaders&) = delete;

  bool AwaitReady() {
    std::string said;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (relay_ >= 0 && said.find("station ready\n") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
      pollfd fd{relay_, POLLIN, 0};
      if (poll(&fd, 1, 1000) <= 0) continue;
      char buffer[256];
      const ssize_t n = read(relay_, buffer, sizeof buffer);
      if (n > 0) said.append(buffer, static_cast<size_t>(n));
    }
    return said.find("station ready\n") != std::string::npos;
  }

 private:
  int relay_;
};

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

// Two readers at once on two real drivers, each line on its own. Every write
// on QEMU's FTDI adapter lasts until its write time-out, so the first model,
// without relay pulses, is tested there.
TEST(RealStation, TwoRealPortsAtOnce) {
  HostReaders readers(std::string(kScanPort) + " " + kUsbPort);
  ASSERT_TRUE(readers.AwaitReady()) << "the rig did not start the readers";
  const CheckRun run = CheckRun::Run({"test", kScanPort, kUsbPort, "--model", "Alvex", "--speed", "9600", "--cards", "0"});
  SCOPED_TRACE(run.out + run.err);
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(std::regex_search(run.out, std::regex(R"(\n/dev/ttyS4 +- +PASS .*\n/dev/ttyUSB0 +- +PASS )")));
  EXPECT_TRUE(std::regex_search(run.out, std::regex(R"(total: 2 readers, 2 passed, 0 failed)")));
}
