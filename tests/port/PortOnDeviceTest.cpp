#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ComPort.h"
#include "HostLine.h"
#include "QueuedHandOff.h"
#include "Raised.h"

// The component over this platform's own device layer (the POSIX device over
// a pseudo-terminal on Linux, the Win32 device on COM1 under Wine), with the
// owner thread pumped by the test.
namespace {

using Clock = std::chrono::steady_clock;

class PortOnDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    port.SetPort(host->PortName());
    port.SetErrorReporter([this](std::exception_ptr e) { reported.push_back(e); });
    port.OnRxChar = [this](TCustomComPort*, int count) { rxCounts.push_back(count); };
    port.OnDeviceRemoved = [this](TCustomComPort*, const EComPort& e) { removals.push_back(e.SystemCode()); };
  }

  // Runs the hand-overs until done() holds or the limit passes; the number run.
  int PumpUntil(const std::function<bool()>& done, int limitMs = 5000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    int ran = 0;
    while (!done()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) break;
      ran += handOff->RunPendingFor(left);
    }
    return ran;
  }
  int PumpFor(int ms) {
    return PumpUntil([] { return false; }, ms);
  }

  std::unique_ptr<HostLine> host = MakeHostLine();
  std::shared_ptr<QueuedHandOff> handOff = std::make_shared<QueuedHandOff>();
  TComPort port{handOff};
  std::vector<int> rxCounts;
  std::vector<int> removals;
  std::vector<std::exception_ptr> reported;
};

TEST_F(PortOnDevice, WritesWhatTheHostReadsAndDeliversWhatTheHostWrites) {
  port.OpenPort();
  ASSERT_TRUE(port.Connected());
  EXPECT_EQ(port.SendText("~?"), 2);
  EXPECT_EQ(host->Read(2, 3000), "~?");

  const std::string reply("\x02\x05\x00\xff\x80\x7f\x03", 7);
  host->Write(reply);
  // Bytes may arrive in more than one batch; each Count is all that waits.
  PumpUntil([&] { return !rxCounts.empty() && rxCounts.back() >= 7; });
  ASSERT_FALSE(rxCounts.empty());
  EXPECT_EQ(rxCounts.back(), 7);
  EXPECT_EQ(port.QueuedInputCount(), 7);
  std::string text;
  EXPECT_EQ(port.ReceiveText(text, 16), 7);
  EXPECT_EQ(text, reply);
  EXPECT_EQ(port.QueuedInputCount(), 0);
  port.ClosePort();
  EXPECT_TRUE(reported.empty());
}

TEST_F(PortOnDevice, OnRxCharCountsTheBytesOfABatch) {
  port.OpenPort();
  host->Write("12345");
  ASSERT_TRUE(PumpUntil([&] { return !rxCounts.empty() && rxCounts.back() >= 5; }) > 0);
  EXPECT_EQ(rxCounts.back(), 5);
  for (int count : rxCounts) EXPECT_GT(count, 0);
  // Nothing is read in the handler: the next batch counts every byte waiting.
  host->Write("678");
  PumpUntil([&] { return rxCounts.back() >= 8; });
  EXPECT_EQ(rxCounts.back(), 8);
  port.ClosePort();
}

// The speed set before open and every change while open reach the line, and
// bytes go through after each change.
TEST_F(PortOnDevice, EverySpeedTheWindowOffersReachesTheLine) {
  port.SetBaudRate(br1200);
  port.OpenPort();
  EXPECT_EQ(host->LineSpeed(), 1200u);
  for (const auto& [rate, value] :
       {std::pair{br9600, 9600u}, {br38400, 38400u}, {br115200, 115200u}, {br1200, 1200u}}) {
    port.SetBaudRate(rate);
    EXPECT_EQ(host->LineSpeed(), value);
    EXPECT_EQ(port.SendText("~?"), 2);
    EXPECT_EQ(host->Read(2, 3000), "~?");
  }
  port.ClosePort();
  EXPECT_TRUE(reported.empty());
}

TEST_F(PortOnDevice, RtsRisesBeforeTheBytesAndDropsAfterThem) {
  port.OpenPort();
  const auto before = host->RtsChanges();
  if (!before) {
    // A pseudo-terminal has no RTS line: the calls must still succeed.
    port.DriveRTS(true);
    EXPECT_EQ(port.SendText("~?"), 2);
    port.DriveRTS(false);
    EXPECT_EQ(host->Read(2, 3000), "~?");
    GTEST_SKIP() << "the line cannot show RTS on this platform";
  }
  port.DriveRTS(true);
  auto changes = host->RtsChanges();
  ASSERT_EQ(changes->size(), before->size() + 1);
  EXPECT_EQ(changes->back(), "SETRTS");
  EXPECT_EQ(port.SendText("~?"), 2);
  EXPECT_EQ(host->Read(2, 3000), "~?");
  EXPECT_EQ(host->RtsChanges()->size(), before->size() + 1);
  port.DriveRTS(false);
  changes = host->RtsChanges();
  ASSERT_EQ(changes->size(), before->size() + 2);
  EXPECT_EQ(changes->back(), "CLRRTS");
  port.ClosePort();
}

TEST_F(PortOnDevice, MissingPortGivesReasonOneWithCodeTwo) {
  port.SetPort(host->MissingPortName());
  const EComPort e = Raised([&] { port.OpenPort(); });
  EXPECT_EQ(e.ReasonCode(), 1);
  EXPECT_EQ(e.SystemCode(), 2);  // ENOENT and ERROR_FILE_NOT_FOUND alike
  EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 2)");
  EXPECT_FALSE(port.Connected());
}

TEST_F(PortOnDevice, SecondOwnerOfThePort) {
  port.OpenPort();
  TComPort other(handOff);
  other.SetPort(host->PortName());
  if (host->SharesOpenPorts()) {
    // Real Windows refuses with ERROR_ACCESS_DENIED (5).
    // Wine lets it open; both must still close.
    other.OpenPort();
    other.ClosePort();
    port.ClosePort();
    GTEST_SKIP() << "Wine does not enforce share mode 0 on COM ports";
  }
  const EComPort e = Raised([&] { other.OpenPort(); });
  EXPECT_EQ(e.ReasonCode(), 1);
  EXPECT_FALSE(other.Connected());
  port.ClosePort();
}

TEST_F(PortOnDevice, HangUpIsReportedOnceWithoutSpinningAndTheCloseSucceeds) {
  port.OpenPort();
  EXPECT_EQ(port.SendText("~?"), 2);
  EXPECT_EQ(host->Read(2, 3000), "~?");
  host->HangUp();
  PumpUntil([&] { return !removals.empty(); }, 10000);
  ASSERT_EQ(removals.size(), 1u);
  EXPECT_NE(removals.front(), 0);
  // The event thread has ended: nothing more is handed over, and the process
  // stays idle while it waits.
  const int64_t cpuBefore = ProcessCpuMilliseconds();
  EXPECT_EQ(PumpFor(1000), 0);
  EXPECT_LT(ProcessCpuMilliseconds() - cpuBefore, 500);
  EXPECT_EQ(removals.size(), 1u);
  EXPECT_TRUE(port.Connected());
  port.ClosePort();
  EXPECT_FALSE(port.Connected());
  EXPECT_TRUE(reported.empty());
}

}  // namespace
