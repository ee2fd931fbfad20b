#include "ProtocolFixture.h"

namespace {

const std::string kCardFrame = "02 06 01 02 03 04 05 0F 03";
const Lines kEventResponse{"7E 30", "7E 4C", "7E 31", "7E 6C"};

using FramedDecoderTest = ProtocolTest;

TEST_F(FramedDecoderTest, CardFrameGivesFamilyAndCodeThenEventResponse) {
  Receive(kCardFrame);
  EXPECT_EQ(panel.log, (Lines{"Orvane series", "00258:0000197637"}));
  EXPECT_EQ(Commands(), kEventResponse);
  EXPECT_EQ(panel.wireAtLine.back(), 0u) << "the code line comes before the event response";
  EXPECT_EQ(protocol.State().DecoderState, 0);

  link.wire.clear();
  panel.controlLock = false;
  Receive(kCardFrame);
  EXPECT_EQ(Commands(), Lines{"7E 30"});
}

TEST_F(FramedDecoderTest, TraceShowsEveryByteAndStateInOrder) {
  protocol.SetTraceEnabled(true);
  Receive(kCardFrame);
  EXPECT_EQ(panel.log, (Lines{"Framed <9>", "[0]02", "[1]06", "[2]01", "[2]02", "[2]03", "[2]04", "[2]05", "[3]0F",
                              "{0F}", "[4]03", "good code", "Orvane series", "00258:0000197637", "reset"}));
  // The reset drops RTS once more, after the event response.
  ASSERT_FALSE(link.wire.empty());
  EXPECT_FALSE(link.wire.back().rts);
  EXPECT_EQ(panel.wireAtLine.back(), link.wire.size());
  EXPECT_EQ(Commands(), kEventResponse);
}

TEST_F(FramedDecoderTest, FrameSplitAtAnyPointDecodesAlike) {
  const std::string frame = Bytes(kCardFrame);
  for (std::size_t cut = 1; cut < frame.size(); ++cut) {
    panel.log.clear();
    link.Deliver(protocol, frame.substr(0, cut));
    EXPECT_TRUE(panel.log.empty()) << "cut " << cut;
    link.Deliver(protocol, frame.substr(cut));
    EXPECT_EQ(panel.log, (Lines{"Orvane series", "00258:0000197637"})) << "cut " << cut;
  }
}

TEST_F(FramedDecoderTest, SeveralFramesInOneChunk) {
  panel.controlLock = false;
  Receive(kCardFrame + " D5 06 FF FF FF FF FF FB DA 41 F5 02 70 70 FA");
  EXPECT_EQ(panel.log,
            (Lines{"Orvane series", "00258:0000197637", "Wimsel series", "65535:0016777215", "Yorvel series", "OPEN"}));
  EXPECT_EQ(Commands(), (Lines{"7E 30", "7E 30"}));
}

TEST_F(FramedDecoderTest, StartFlagNamesFamilyAndFixesEndFlag) {
  const std::vector<std::pair<std::string, std::string>> families{{"02 06 00 00 00 00 01 01 03", "Orvane series"},
                                                                  {"D5 06 00 00 00 00 01 01 DA", "Wimsel series"},
                                                                  {"E5 06 00 00 00 00 01 01 EA", "Pallox series"},
                                                                  {"F5 06 00 00 00 00 01 01 FA", "Yorvel series"}};
  for (const auto& [frame, family] : families) {
    panel.log.clear();
    Receive(frame);
    EXPECT_EQ(panel.log, (Lines{family, "00000:0000000001"})) << frame;
  }
}

TEST_F(FramedDecoderTest, RejectedFramesShowTheirFaultOnlyWhenTracing) {
  struct Case {
    std::string bytes;
    Lines traceTail;
  };
  const std::vector<Case> cases{
      {"D5 06 01 02 03 04 05 0F 03", {"[4]03", "end flag error", "reset"}},
      {"02 03", {"[1]03", "wrong length", "reset"}},
      {"02 06 01 02 03 04 05 10", {"[3]10", "{0F}", "chksum error", "reset"}},
      {"02 02 52 53", {"[3]53", "{52}", "chksum error", "reset"}},
  };
  for (const Case& c : cases) {
    for (const bool trace : {false, true}) {
      panel.log.clear();
      link.wire.clear();
      protocol.SetTraceEnabled(trace);
      Receive(c.bytes);
      loop.Idle(500);
      EXPECT_TRUE(Commands().empty()) << c.bytes;
      if (!trace) {
        EXPECT_TRUE(panel.log.empty()) << c.bytes;
        continue;
      }
      ASSERT_GE(panel.log.size(), c.traceTail.size()) << c.bytes;
      EXPECT_EQ(Lines(panel.log.end() - c.traceTail.size(), panel.log.end()), c.traceTail) << c.bytes;
    }
  }
}

TEST_F(FramedDecoderTest, BytesAfterWrongLengthAreSearchedForStartFlag) {
  Receive("02 03 " + kCardFrame);
  EXPECT_EQ(panel.log, (Lines{"Orvane series", "00258:0000197637"}));
}

TEST_F(FramedDecoderTest, StrayByteIsDroppedAfterTheTimeout) {
  protocol.SetTraceEnabled(true);
  Receive("41");
  EXPECT_EQ(panel.log, (Lines{"Framed <1>", "[0]41"}));
  loop.Idle(ReaderProtocol::InterByteTimeout - 1);
  EXPECT_EQ(panel.log.size(), 2u);
  loop.Idle(1);
  // The timeout's reset waits out the transmit tail before "RESET".
  loop.Idle(ReaderProtocol::TransmitTail + 1);
  EXPECT_EQ(panel.log, (Lines{"Framed <1>", "[0]41", "reset", "RESET"}));
  EXPECT_EQ(panel.timerInterval, 0);
  loop.Idle(1000);
  EXPECT_EQ(panel.log.size(), 4u) << "one RESET only";
}

TEST_F(FramedDecoderTest, EveryByteRestartsTheTimeout) {
  link.connected = false;
  Receive("02 06 01");
  EXPECT_EQ(panel.timerInterval, ReaderProtocol::InterByteTimeout);
  loop.Idle(60);
  Receive("02 03");
  loop.Idle(60);
  EXPECT_TRUE(panel.log.empty());
  loop.Idle(40);
  EXPECT_EQ(panel.log, Lines{"RESET"});
  EXPECT_EQ(protocol.State().DecoderState, 0);
  Receive("04 05 0F 03");
  loop.Idle(200);
  EXPECT_EQ(panel.log, (Lines{"RESET", "RESET"})) << "the rest of a dropped frame is not a frame";
}

TEST_F(FramedDecoderTest, AcceptedFrameStopsTheTimeout) {
  Receive(kCardFrame);
  loop.Idle(1000);
  EXPECT_EQ(panel.log.size(), 2u);
  EXPECT_EQ(panel.timerInterval, 0);
}

TEST_F(FramedDecoderTest, IdModeTakesTheIdFromEveryFrame) {
  panel.idMode = true;
  panel.myId = 12;
  Receive("F5 07 06 01 02 03 04 05 0F FA");
  EXPECT_EQ(panel.log, (Lines{"Yorvel series", "ID=7", "00258:0000197637"}));
  EXPECT_EQ(protocol.State().ReaderId, 7);
  EXPECT_EQ(Commands(), (Lines{"7E 07 30", "7E 07 4C", "7E 07 31", "7E 07 6C"}));

  panel.log.clear();
  link.wire.clear();
  Receive("02 1F 02 70 70 03");
  EXPECT_EQ(panel.log, (Lines{"Orvane series", "ID=31", "OPEN"}));
  EXPECT_EQ(protocol.State().ReaderId, 31);
  EXPECT_TRUE(Commands().empty());
}

TEST_F(FramedDecoderTest, IdByteOfThirtyTwoOrMoreDropsTheFrame) {
  panel.idMode = true;
  protocol.SetTraceEnabled(true);
  Receive("F5 20");
  EXPECT_EQ(panel.log, (Lines{"Framed <2>", "[0]F5", "[6]20"}));
  EXPECT_EQ(protocol.State().DecoderState, 0);
  EXPECT_EQ(protocol.State().ReaderId, 0);
  loop.Idle(ReaderProtocol::InterByteTimeout + ReaderProtocol::TransmitTail + 1);
  EXPECT_EQ(panel.log.back(), "RESET");
}

TEST_F(FramedDecoderTest, EmptyChunkWritesOnlyItsTraceLine) {
  protocol.SetTraceEnabled(true);
  protocol.ComPort1RxChar(0);
  protocol.ComPort1RxChar(-3);
  EXPECT_EQ(panel.log, (Lines{"Framed <0>", "Framed <-3>"}));
  EXPECT_EQ(panel.timerInterval, 0);
}

TEST_F(FramedDecoderTest, TraceCountsWhatThePortReportedAndWalksWhatWasRead) {
  protocol.SetTraceEnabled(true);
  link.input = Bytes("02 06");
  protocol.ComPort1RxChar(5);
  EXPECT_EQ(panel.log, (Lines{"Framed <5>", "[0]02", "[1]06"}));
  EXPECT_EQ(protocol.State().DecoderState, 2);
}

TEST_F(FramedDecoderTest, DisconnectedDecodesWithoutWireOrWaits) {
  link.connected = false;
  Receive(kCardFrame + " 02 03");
  EXPECT_EQ(panel.log, (Lines{"Orvane series", "00258:0000197637"}));
  EXPECT_TRUE(link.wire.empty());
  EXPECT_EQ(loop.ElapsedMs(), 0);
}

TEST_F(FramedDecoderTest, ResetWhileConnectedDropsTransmitLineAfterTail) {
  protocol.SetTraceEnabled(true);
  protocol.ResetDecoder();
  ASSERT_EQ(link.wire.size(), 1u);
  EXPECT_FALSE(link.wire[0].rts);
  EXPECT_GT(link.wire[0].atMs, ReaderProtocol::TransmitTail);
  EXPECT_EQ(panel.log, Lines{"reset"});
}

TEST_F(FramedDecoderTest, StateOfTheOtherModeIgnoresBytesUntilTheTimeout) {
  panel.fmt0 = false;
  ReceiveText("12\n");
  EXPECT_EQ(protocol.State().DecoderState, 5);
  panel.fmt0 = true;
  Receive(kCardFrame);
  EXPECT_TRUE(panel.log.empty());
  loop.Idle(ReaderProtocol::InterByteTimeout + ReaderProtocol::TransmitTail + 1);
  EXPECT_EQ(panel.log, Lines{"RESET"});
  Receive(kCardFrame);
  EXPECT_EQ(panel.log.size(), 3u);
}

}  // namespace
