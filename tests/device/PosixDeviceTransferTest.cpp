#include "PosixDevice.h"
#include "PtyPair.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <numeric>
#include <thread>

using namespace serialdev;
using namespace std::chrono_literals;

namespace {

class PosixDeviceTransfer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(device.Open(pty.SlavePath()), 0); }

  std::vector<uint8_t> AllByteValues() {
    std::vector<uint8_t> bytes(256);
    std::iota(bytes.begin(), bytes.end(), 0);
    return bytes;
  }

  void SetWriteTimeouts(uint32_t multiplier, uint32_t constant) {
    Timeouts t;
    t.WriteTotalTimeoutMultiplier = multiplier;
    t.WriteTotalTimeoutConstant = constant;
    ASSERT_EQ(device.SetTimeouts(t), 0);
  }

  PtyPair pty;
  PosixDevice device;
};

}  // namespace

TEST_F(PosixDeviceTransfer, ReadReturnsAtOnceWithWhatIsQueued) {
  uint8_t buffer[16] = {};
  size_t read = 99;
  EXPECT_EQ(device.Read(buffer, 0, read), 0);
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(device.Read(buffer, sizeof buffer, read), 0);
  EXPECT_EQ(read, 0u) << "nothing queued, default time-outs";

  pty.PeerWrite({'a', 'b', 'c'});
  ASSERT_TRUE(pty.WaitSlaveReadable(2s));
  uint32_t errors = 0, queued = 0;
  ASSERT_EQ(device.ClearErrors(errors, queued), 0);
  EXPECT_EQ(queued, 3u);
  EXPECT_EQ(device.Read(buffer, 5, read), 0);
  ASSERT_EQ(read, 3u);
  EXPECT_EQ(std::string(buffer, buffer + 3), "abc");
}

TEST_F(PosixDeviceTransfer, EveryByteValuePassesUnchangedBothWays) {
  const auto bytes = AllByteValues();
  pty.PeerWrite(bytes);
  std::vector<uint8_t> got(300);
  size_t total = 0;
  while (total < bytes.size() && pty.WaitSlaveReadable(2s)) {
    size_t read = 0;
    ASSERT_EQ(device.Read(got.data() + total, got.size() - total, read), 0);
    total += read;
  }
  got.resize(total);
  EXPECT_EQ(got, bytes);

  size_t written = 0;
  ASSERT_EQ(device.Write(bytes.data(), bytes.size(), written), 0);
  EXPECT_EQ(written, bytes.size());
  EXPECT_EQ(pty.PeerRead(bytes.size() + 1, 300ms), bytes) << "no byte added, dropped or translated";
}

TEST_F(PosixDeviceTransfer, ReadTimeoutsBoundTheWait) {
  Timeouts t;
  t.ReadIntervalTimeout = 0;
  t.ReadTotalTimeoutConstant = 200;
  ASSERT_EQ(device.SetTimeouts(t), 0);
  uint8_t buffer[10];
  size_t read = 99;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(device.Read(buffer, sizeof buffer, read), 0) << "a read time-out is no failure";
  EXPECT_EQ(read, 0u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 190ms);

  t.ReadIntervalTimeout = 30;
  t.ReadTotalTimeoutConstant = 60000;
  ASSERT_EQ(device.SetTimeouts(t), 0);
  pty.PeerWrite({1, 2, 3, 4});
  auto pending = std::async(std::launch::async, [&] { return device.Read(buffer, sizeof buffer, read); });
  ASSERT_EQ(pending.wait_for(20s), std::future_status::ready) << "the interval time-out ends the read";
  EXPECT_EQ(pending.get(), 0);
  EXPECT_EQ(read, 4u);

  t.ReadIntervalTimeout = kMaxDword;
  t.ReadTotalTimeoutMultiplier = kMaxDword;
  t.ReadTotalTimeoutConstant = 60000;
  ASSERT_EQ(device.SetTimeouts(t), 0);
  pending = std::async(std::launch::async, [&] { return device.Read(buffer, sizeof buffer, read); });
  std::this_thread::sleep_for(50ms);
  pty.PeerWrite({7});
  ASSERT_EQ(pending.wait_for(20s), std::future_status::ready) << "the first byte ends this kind of read";
  EXPECT_EQ(pending.get(), 0);
  EXPECT_EQ(read, 1u);
}

TEST_F(PosixDeviceTransfer, WriteReturnsOnceThePeerHasTakenEverything) {
  std::vector<uint8_t> bytes(200000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  SetWriteTimeouts(0, 20000);
  auto peer = std::async(std::launch::async, [&] { return pty.PeerRead(bytes.size(), 20s); });
  size_t written = 0;
  EXPECT_EQ(device.Write(bytes.data(), bytes.size(), written), 0);
  EXPECT_EQ(written, bytes.size());
  EXPECT_EQ(peer.get(), bytes);
}

TEST_F(PosixDeviceTransfer, WriteToAPeerThatNeverReadsEndsShortAtItsTimeout) {
  std::vector<uint8_t> bytes(64 * 1024, 0x55);
  SetWriteTimeouts(0, 200);
  size_t written = 0;
  const auto start = std::chrono::steady_clock::now();
  auto pending = std::async(std::launch::async, [&] { return device.Write(bytes.data(), bytes.size(), written); });
  ASSERT_EQ(pending.wait_for(20s), std::future_status::ready) << "the write hung";
  EXPECT_EQ(pending.get(), 0) << "a write time-out is no failure";
  EXPECT_GE(std::chrono::steady_clock::now() - start, 190ms);
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, bytes.size());
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(pty.PeerRead(bytes.size(), 300ms).size(), written) << "exactly the reported bytes went out";
}

TEST_F(PosixDeviceTransfer, PurgeAbortsABlockedWriteAndABlockedRead) {
  std::vector<uint8_t> bytes(64 * 1024, 0xAA);
  SetWriteTimeouts(0, 0);
  size_t written = 0;
  auto write = std::async(std::launch::async, [&] { return device.Write(bytes.data(), bytes.size(), written); });
  EXPECT_EQ(write.wait_for(150ms), std::future_status::timeout) << "nobody reads: the write waits";
  ASSERT_EQ(device.Purge(PURGE_TXABORT), 0);
  ASSERT_EQ(write.wait_for(20s), std::future_status::ready);
  EXPECT_EQ(write.get(), ECANCELED);

  Timeouts t;
  t.ReadIntervalTimeout = 0;
  ASSERT_EQ(device.SetTimeouts(t), 0);
  uint8_t buffer[8];
  size_t read = 0;
  auto pendingRead = std::async(std::launch::async, [&] { return device.Read(buffer, sizeof buffer, read); });
  EXPECT_EQ(pendingRead.wait_for(150ms), std::future_status::timeout);
  ASSERT_EQ(device.Purge(PURGE_RXABORT), 0);
  ASSERT_EQ(pendingRead.wait_for(20s), std::future_status::ready);
  EXPECT_EQ(pendingRead.get(), ECANCELED);
}

TEST_F(PosixDeviceTransfer, APurgeBeforehandDoesNotAbortTheNextTransfer) {
  ASSERT_EQ(device.Purge(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR), 0);
  const std::vector<uint8_t> bytes{'o', 'k'};
  size_t written = 0;
  EXPECT_EQ(device.Write(bytes.data(), bytes.size(), written), 0);
  EXPECT_EQ(written, 2u);
  EXPECT_EQ(pty.PeerRead(2, 2s), bytes);
}

TEST_F(PosixDeviceTransfer, PurgeClearDiscardsReceivedBytes) {
  pty.PeerWrite({1, 2, 3});
  ASSERT_TRUE(pty.WaitSlaveReadable(2s));
  ASSERT_EQ(device.Purge(PURGE_RXCLEAR), 0);
  uint32_t errors = 0, queued = 99;
  ASSERT_EQ(device.ClearErrors(errors, queued), 0);
  EXPECT_EQ(queued, 0u);
}

TEST_F(PosixDeviceTransfer, PeerGoneFailsTransfersButNotLineControlOrClose) {
  pty.ClosePeer();
  uint8_t buffer[4];
  size_t moved = 0;
  EXPECT_EQ(device.Read(buffer, sizeof buffer, moved), EIO);
  EXPECT_TRUE(device.Removed());
  EXPECT_EQ(device.Read(buffer, sizeof buffer, moved), EIO);
  EXPECT_EQ(device.Write(buffer, sizeof buffer, moved), EIO);
  EXPECT_EQ(moved, 0u);
  EXPECT_EQ(device.SetRts(true), 0);
  EXPECT_EQ(device.Purge(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR), 0);
  const int before = OpenDescriptorCount();
  device.Close();
  EXPECT_EQ(OpenDescriptorCount(), before - 1) << "close releases the dead device";
  EXPECT_FALSE(device.IsOpen());
}

TEST_F(PosixDeviceTransfer, WriteToAGonePeerFailsWithEio) {
  pty.ClosePeer();
  const uint8_t byte = 1;
  size_t written = 9;
  EXPECT_EQ(device.Write(&byte, 1, written), EIO);
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(device.Removed());
}
