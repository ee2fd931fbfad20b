#include <array>
#include <chrono>
#include <vector>

#include "ProtocolFixture.h"

namespace {

using CommandTest = ProtocolTest;
using Kind = RecordingLink::WireEvent::Kind;

TEST_F(CommandTest, NothingAtAllWhileDisconnected) {
  link.connected = false;
  protocol.SendCommand("?");
  protocol.AcknowledgeEvent();
  protocol.RaiseTransmitLine();
  protocol.DropTransmitLine();
  EXPECT_TRUE(link.wire.empty());
  EXPECT_EQ(loop.ElapsedMs(), 0);
  EXPECT_EQ(link.passes + link.awaits, 0);
}

TEST_F(CommandTest, EachWriteIsSeparateInsideOneRtsCycle) {
  panel.idMode = true;
  panel.myId = 5;
  protocol.RefreshReaderId();
  protocol.SendCommand("?");
  ASSERT_EQ(link.wire.size(), 5u);
  EXPECT_TRUE(link.wire[0].rts);
  EXPECT_EQ(link.wire[1].bytes, "~");
  EXPECT_EQ(link.wire[2].bytes, "\x05");
  EXPECT_EQ(link.wire[3].bytes, "?");
  EXPECT_FALSE(link.wire[4].rts);
  EXPECT_GT(link.wire[1].atMs - link.wire[0].atMs, 2);
  EXPECT_LT(link.wire[1].atMs - link.wire[0].atMs, 4) << "a 2 ms wait, not more";
  EXPECT_GT(link.wire[4].atMs - link.wire[3].atMs, 50);
  EXPECT_LT(link.wire[4].atMs - link.wire[3].atMs, 52);
  EXPECT_EQ(Commands(), Lines{"7E 05 3F"});
}

TEST_F(CommandTest, IdByteOnlyInIdModeAndOnlyItsLowByte) {
  panel.myId = 5;
  protocol.RefreshReaderId();
  protocol.SendCommand("?");
  EXPECT_EQ(protocol.State().ReaderId, 0) << "no refresh outside ID mode";
  panel.idMode = true;
  protocol.SendCommand("?");
  panel.myId = 0;
  protocol.RefreshReaderId();
  protocol.SendCommand("?");
  panel.myId = 0x1234;
  protocol.RefreshReaderId();
  protocol.SendCommand("oI");
  EXPECT_EQ(Commands(), (Lines{"7E 3F", "7E 00 3F", "7E 00 3F", "7E 34 6F 49"}));
}

TEST_F(CommandTest, ReplyIdAndRefreshedIdAlternate) {
  panel.idMode = true;
  panel.myId = 7;
  panel.controlLock = false;
  Receive("02 03 06 01 02 03 04 05 0F 03");
  protocol.RefreshReaderId();
  protocol.SendCommand("?");
  Receive("02 03 02 52 52 03");
  EXPECT_EQ(Commands(), (Lines{"7E 03 30", "7E 07 3F", "7E 03 3F"}));
}

TEST_F(CommandTest, EventResponseFollowsControlLock) {
  protocol.AcknowledgeEvent();
  EXPECT_EQ(Commands(), (Lines{"7E 30", "7E 4C", "7E 31", "7E 6C"}));
  link.wire.clear();
  panel.controlLock = false;
  protocol.AcknowledgeEvent();
  EXPECT_EQ(Commands(), Lines{"7E 30"});
}

TEST_F(CommandTest, OptionLetterCountsUncheckedBoxes) {
  const std::vector<std::pair<std::array<bool, 4>, std::string>> cases{
      {{true, true, true, false}, "I"}, {{true, true, true, true}, "A"},  {{false, false, false, false}, "P"},
      {{false, true, true, true}, "B"}, {{true, false, true, true}, "C"}, {{true, true, false, true}, "E"},
      {{false, true, false, true}, "F"}};
  for (const auto& [boxes, letter] : cases) {
    panel.options = boxes;
    EXPECT_EQ(protocol.OptionLetter(), letter);
  }
}

TEST_F(CommandTest, WaitEndsJustAfterItsLengthAndSleepsMeanwhile) {
  for (const int length : {0, 1, 2, 50}) {
    const double start = loop.ElapsedMs();
    const int awaitsBefore = link.awaits;
    protocol.WaitMilliseconds(length);
    const double waited = loop.ElapsedMs() - start;
    EXPECT_GT(waited, length);
    EXPECT_LE(waited, length + 1);
    EXPECT_LE(link.awaits - awaitsBefore, 2) << "a wait sleeps instead of polling";
  }
}

TEST_F(CommandTest, WaitHandlesEventsAndAlwaysPassesOnce) {
  bool ran = false;
  loop.Schedule(0, [&] { ran = true; });
  protocol.WaitMilliseconds(-5);
  EXPECT_TRUE(ran);
  EXPECT_EQ(loop.ElapsedMs(), 0);

  std::vector<double> seen;
  for (const int at : {10, 20, 49}) loop.Schedule(at, [&] { seen.push_back(loop.ElapsedMs()); });
  protocol.WaitMilliseconds(50);
  EXPECT_EQ(seen, (std::vector<double>{10, 20, 49}));
}

TEST_F(CommandTest, WaitIsMeasuredOnTheGivenClock) {
  // A clock that advances 30 ms per reading: the wait ends once that clock
  // shows more than 50 ms past the start, not by the event loop's time.
  using std::chrono::milliseconds;
  auto fake = std::chrono::steady_clock::time_point{};
  std::vector<milliseconds> readings;
  ReaderProtocol jumpy(panel, link, [&] {
    fake += milliseconds(30);
    readings.push_back(std::chrono::duration_cast<milliseconds>(fake.time_since_epoch()));
    return fake;
  });
  jumpy.WaitMilliseconds(50);
  ASSERT_GE(readings.size(), 2u);
  EXPECT_GT(readings.back() - readings.front(), milliseconds(50)) << "ended before the clock showed the length";
  EXPECT_LT(loop.ElapsedMs(), 50) << "waited for the event loop's time, not the given clock's";
}

TEST_F(CommandTest, CommandNestedInAWaitHasItsOwnCycle) {
  loop.Schedule(20, [this] { protocol.SendCommand("2"); });
  protocol.SendCommand("?");
  std::vector<std::string> order;
  for (const auto& e : link.wire) order.push_back(e.kind == Kind::Rts ? (e.rts ? "on" : "off") : Hex(e.bytes));
  EXPECT_EQ(order, (Lines{"on", "7E", "3F", "on", "7E", "32", "off", "off"}));
}

// Disconnect or Exit pressed while a command waits closes the port under it:
// the command, and a decoder reset, end there without touching the closed
// port, so no error follows the operator's own action.
TEST_F(CommandTest, PortClosedDuringAWaitEndsTheCommandQuietly) {
  const auto wireOrder = [this] {
    std::vector<std::string> order;
    for (const auto& e : link.wire) order.push_back(e.kind == Kind::Rts ? (e.rts ? "on" : "off") : Hex(e.bytes));
    link.wire.clear();
    link.connected = true;
    return order;
  };
  loop.Schedule(1, [this] { link.connected = false; });
  EXPECT_NO_THROW(protocol.SendCommand("?"));
  EXPECT_EQ(wireOrder(), (Lines{"on"})) << "closed during the lead";

  loop.Schedule(25, [this] { link.connected = false; });
  EXPECT_NO_THROW(protocol.SendCommand("?"));
  EXPECT_EQ(wireOrder(), (Lines{"on", "7E", "3F"})) << "closed during the tail";

  loop.Schedule(0, [this] { link.connected = false; });
  EXPECT_NO_THROW(protocol.SendCommand("?"));
  EXPECT_EQ(wireOrder(), (Lines{})) << "closed by the pass before RTS goes on";

  loop.Schedule(10, [this] { link.connected = false; });
  EXPECT_NO_THROW(protocol.ResetDecoder());
  EXPECT_EQ(wireOrder(), (Lines{})) << "closed during a reset's wait";
}

TEST_F(CommandTest, PortFailureLeavesTheCommandUnfinished) {
  link.writesBeforeFailure = 1;
  EXPECT_THROW(protocol.SendCommand("?"), LinkFailure);
  ASSERT_EQ(link.wire.size(), 2u);
  EXPECT_TRUE(link.wire.back().kind == Kind::Write && link.wire.back().bytes == "~");
  EXPECT_LT(loop.ElapsedMs(), 4) << "no tail wait after a failure";

  RecordingLink failingRts(loop);
  failingRts.rtsChangesBeforeFailure = 0;
  ReaderProtocol protocolOnFailingRts(panel, failingRts, loop.Clock());
  EXPECT_THROW(protocolOnFailingRts.SendCommand("?"), LinkFailure);
  EXPECT_TRUE(failingRts.wire.empty());
}

TEST_F(CommandTest, PortFailureInTheEventResponseLeavesTheReceiveHandler) {
  link.writesBeforeFailure = 3;
  EXPECT_THROW(Receive("02 06 01 02 03 04 05 0F 03"), LinkFailure);
  EXPECT_EQ(panel.log, (Lines{"Orvane series", "00258:0000197637"}));
}

}  // namespace
