#include "PosixDevice.h"
#include "PtyPair.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <future>

using namespace serialdev;
using namespace std::chrono_literals;

namespace {

struct WaitResult {
  int code = 0;
  uint32_t occurred = 0;
};

class PosixDeviceEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(device.Open(pty.SlavePath()), 0);
    device.BeginEventWaits();
  }
  void TearDown() override {
    device.StopEventWaits();
    if (pending.valid()) pending.wait();
  }

  void StartWait() {
    pending = std::async(std::launch::async, [this] {
      WaitResult r;
      r.code = device.WaitEvent(r.occurred);
      return r;
    });
  }
  WaitResult Finish() {
    if (pending.wait_for(20s) != std::future_status::ready) {
      ADD_FAILURE() << "the event wait did not return";
      device.StopEventWaits();
    }
    return pending.get();
  }
  bool StillWaiting(std::chrono::milliseconds span) { return pending.wait_for(span) == std::future_status::timeout; }
  uint32_t Queued() {
    uint32_t errors = 0, queued = 0;
    EXPECT_EQ(device.ClearErrors(errors, queued), 0);
    return queued;
  }

  PtyPair pty;
  PosixDevice device;
  std::future<WaitResult> pending;
};

}  // namespace

TEST_F(PosixDeviceEvents, StopEndsAWaitAndStaysSetUntilRearmed) {
  ASSERT_EQ(device.SetEventMask(EV_RXCHAR), 0);
  StartWait();
  EXPECT_TRUE(StillWaiting(100ms));
  device.StopEventWaits();
  EXPECT_EQ(Finish().code, kWaitStopped);
  uint32_t occurred = 0;
  EXPECT_EQ(device.WaitEvent(occurred), kWaitStopped) << "a wait after the stop returns at once";

  device.BeginEventWaits();
  StartWait();
  EXPECT_TRUE(StillWaiting(100ms)) << "rearmed, the wait blocks again";
  pty.PeerWrite({1});
  EXPECT_EQ(Finish().occurred, uint32_t{EV_RXCHAR});
}

TEST_F(PosixDeviceEvents, UnreadBytesAreSignalledOnceUntilMoreArrive) {
  ASSERT_EQ(device.SetEventMask(EV_RXCHAR | EV_TXEMPTY), 0);
  StartWait();
  pty.PeerWrite({'h', 'e', 'l', 'l', 'o'});
  WaitResult r = Finish();
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.occurred, uint32_t{EV_RXCHAR});
  EXPECT_EQ(Queued(), 5u);

  StartWait();
  EXPECT_TRUE(StillWaiting(300ms)) << "bytes left unread are not signalled again";
  pty.PeerWrite({'!'});
  r = Finish();
  EXPECT_EQ(r.occurred, uint32_t{EV_RXCHAR});
  EXPECT_EQ(Queued(), 6u);

  uint8_t buffer[16];
  size_t read = 0;
  ASSERT_EQ(device.Read(buffer, sizeof buffer, read), 0);
  EXPECT_EQ(std::string(buffer, buffer + read), "hello!");
  StartWait();
  EXPECT_TRUE(StillWaiting(200ms)) << "nothing new after the read";
}

TEST_F(PosixDeviceEvents, EventCharacterAmongNewBytesRaisesRxFlag) {
  ControlBlock dcb;
  dcb.EvtChar = '~';
  ASSERT_EQ(device.SetState(dcb), 0);
  ASSERT_EQ(device.SetEventMask(EV_RXCHAR | EV_RXFLAG), 0);
  StartWait();
  pty.PeerWrite({'a', 'b'});
  EXPECT_EQ(Finish().occurred, uint32_t{EV_RXCHAR});
  StartWait();
  pty.PeerWrite({'c', '~', 'd'});
  EXPECT_EQ(Finish().occurred, uint32_t{EV_RXCHAR | EV_RXFLAG});

  dcb.EvtChar = 0;
  ASSERT_EQ(device.SetState(dcb), 0);
  StartWait();
  pty.PeerWrite({0x00});
  EXPECT_EQ(Finish().occurred, uint32_t{EV_RXCHAR | EV_RXFLAG}) << "character 0 is an event character too";
}

TEST_F(PosixDeviceEvents, ReceiveQueueKeepsOrderWhenTheDriverHoldsTheRest) {
  ASSERT_EQ(device.SetQueueSizes(16, 16), 0);
  ASSERT_EQ(device.SetEventMask(EV_RXCHAR | EV_RX80FULL), 0);
  std::vector<uint8_t> bytes(40);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
  StartWait();
  pty.PeerWrite(bytes);
  const WaitResult r = Finish();
  EXPECT_EQ(r.occurred, uint32_t{EV_RXCHAR | EV_RX80FULL});
  ASSERT_TRUE(pty.WaitSlaveReadable(2s));
  EXPECT_EQ(Queued(), 40u);

  StartWait();
  EXPECT_TRUE(StillWaiting(100ms)) << "a full queue takes nothing more";
  std::vector<uint8_t> got(64);
  size_t read = 0;
  ASSERT_EQ(device.Read(got.data(), got.size(), read), 0);
  got.resize(read);
  EXPECT_EQ(got, bytes);
  pty.PeerWrite({99});
  EXPECT_EQ(Finish().occurred, uint32_t{EV_RXCHAR}) << "room made by the read lets the waiting thread receive again";
}

TEST_F(PosixDeviceEvents, CompletedWriteRaisesTxEmpty) {
  ASSERT_EQ(device.SetEventMask(EV_TXEMPTY), 0);
  StartWait();
  EXPECT_TRUE(StillWaiting(50ms));
  const std::vector<uint8_t> bytes{1, 2, 3};
  size_t written = 0;
  ASSERT_EQ(device.Write(bytes.data(), bytes.size(), written), 0);
  EXPECT_EQ(Finish().occurred, uint32_t{EV_TXEMPTY});
}

TEST_F(PosixDeviceEvents, ReleaseBeforeARemovalKeepsTheDevice) {
  const int held = DescriptorsOnDeviceOf(pty.SlaveFd());
  device.ReleaseRemoved();
  EXPECT_EQ(DescriptorsOnDeviceOf(pty.SlaveFd()), held);
  pty.PeerWrite({7});
  ASSERT_TRUE(pty.WaitSlaveReadable(2s));
  uint8_t byte = 0;
  size_t moved = 0;
  EXPECT_EQ(device.Read(&byte, 1, moved), 0);
  EXPECT_EQ(moved, 1u);
}

TEST_F(PosixDeviceEvents, RemovalEndsTheWaitAndLaterWaitsFailAtOnce) {
  ASSERT_EQ(device.SetEventMask(0x5FF), 0);
  StartWait();
  EXPECT_TRUE(StillWaiting(50ms));
  pty.ClosePeer();
  const WaitResult r = Finish();
  EXPECT_EQ(r.code, EIO);
  EXPECT_TRUE(device.Removed());

  // Released, the device no longer holds the tty (only the test's own
  // descriptor is left) and its number is not free for reuse.
  const int held = DescriptorsOnDeviceOf(pty.SlaveFd());
  const int descriptors = OpenDescriptorCount();
  device.ReleaseRemoved();
  device.ReleaseRemoved();
  EXPECT_EQ(DescriptorsOnDeviceOf(pty.SlaveFd()), held - 1);
  EXPECT_EQ(held - 1, 1);
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
  EXPECT_TRUE(device.IsOpen());
  uint8_t byte = 0;
  size_t moved = 1;
  EXPECT_EQ(device.Read(&byte, 1, moved), EIO);
  EXPECT_EQ(device.Write(&byte, 1, moved), EIO);
  EXPECT_EQ(moved, 0u);
  EXPECT_EQ(device.SetRts(false), 0);
  EXPECT_EQ(device.Purge(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR), 0);

  // The event thread stops waiting at the removal; a wait on the dead device
  // still returns its code with no event instead of blocking.
  for (int i = 0; i < 3; ++i) {
    StartWait();
    const WaitResult again = Finish();
    EXPECT_EQ(again.code, EIO);
    EXPECT_EQ(again.occurred, 0u);
  }
}

TEST_F(PosixDeviceEvents, IdleWaitUsesNoProcessor) {
  ASSERT_EQ(device.SetEventMask(0x5FF), 0);
  const auto cpuBefore = ProcessCpuTime();
  StartWait();
  EXPECT_TRUE(StillWaiting(2s));
  const auto cpu = ProcessCpuTime() - cpuBefore;
  EXPECT_LT(cpu, 200ms) << "CPU " << std::chrono::duration<double>(cpu).count() << " s over 2 s";
  device.StopEventWaits();
  EXPECT_EQ(Finish().code, kWaitStopped);
}
