#include "ProtocolFixture.h"

namespace {

class AsciiDecoderTest : public ProtocolTest {
 protected:
  AsciiDecoderTest() { panel.fmt0 = false; }
};

TEST_F(AsciiDecoderTest, EveryModeButThreeCollectsLines) {
  for (const auto& [fmt0, fmt1] : {std::pair{false, false}, {true, false}, {false, true}}) {
    panel.fmt0 = fmt0;
    panel.fmt1 = fmt1;
    panel.log.clear();
    ReceiveText("1234,5678\n\r");
    EXPECT_EQ(panel.log, Lines{"1234,5678"}) << fmt0 << fmt1;
  }
}

TEST_F(AsciiDecoderTest, OtherLineIsAnsweredThenWritten) {
  ReceiveText("1234,5678\n\r");
  EXPECT_EQ(Commands(), (Lines{"7E 30", "7E 4C", "7E 31", "7E 6C"}));
  EXPECT_EQ(panel.log, Lines{"1234,5678"});
  EXPECT_EQ(panel.wireAtLine[0], link.wire.size()) << "written after the event response";
  EXPECT_EQ(protocol.State().DecoderState, 0);
  EXPECT_TRUE(protocol.State().AsciiLine.empty());
  loop.Idle(1000);
  EXPECT_EQ(panel.log.size(), 1u) << "a completed line stops the timeout";
}

TEST_F(AsciiDecoderTest, LineSplitOverChunks) {
  panel.controlLock = false;
  ReceiveText("12");
  ReceiveText("34\n");
  ReceiveText("\r");
  EXPECT_EQ(panel.log, Lines{"1234"});
  EXPECT_EQ(Commands(), Lines{"7E 30"});
}

TEST_F(AsciiDecoderTest, CarriageReturnBeforeLineFeedDiscardsTheLine) {
  protocol.SetTraceEnabled(true);
  ReceiveText("12\r");
  EXPECT_EQ(panel.log, (Lines{"ASCII [3]12<CR><3>", "[0]31", "[0]32", "[0]0D", "reset"}));
  panel.log.clear();
  protocol.SetTraceEnabled(false);
  ReceiveText("34\r\n");
  EXPECT_TRUE(panel.log.empty());
  EXPECT_EQ(protocol.State().DecoderState, 5);
  EXPECT_TRUE(Commands().empty());
  loop.Idle(ReaderProtocol::InterByteTimeout + ReaderProtocol::TransmitTail + 1);
  EXPECT_EQ(panel.log, Lines{"RESET"}) << "a line feed alone waits for its carriage return";
}

TEST_F(AsciiDecoderTest, ByteAfterLineFeedIsIgnored) {
  panel.controlLock = false;
  ReceiveText("12\nx\r");
  EXPECT_EQ(panel.log, Lines{"12"});
  EXPECT_EQ(Commands(), Lines{"7E 30"});
}

TEST_F(AsciiDecoderTest, OnlyCommaDigitsCapitalsAndSmallSAreLineCharacters) {
  link.connected = false;
  ReceiveText(",09AZs\n\r");
  EXPECT_EQ(panel.log, Lines{",09AZs"});
  for (const std::string& bad :
       std::vector<std::string>{"a", "t", " ", "-", "/", ":", "@", "[", "\x7f", "\x80", std::string(1, '\0')}) {
    panel.log.clear();
    ReceiveText("12" + bad + "34\n\r");
    EXPECT_EQ(panel.log, Lines{"34"}) << Hex(bad);
  }
}

TEST_F(AsciiDecoderTest, OverlongLineKeepsItsFirst255Characters) {
  link.connected = false;
  std::string line;
  for (int i = 0; i < 300; ++i) line += static_cast<char>('0' + i % 10);
  ReceiveText(line + "\n\r");
  EXPECT_EQ(panel.log, Lines{line.substr(0, 255)});
  panel.log.clear();
  ReceiveText(line.substr(0, 255) + "\n\r");
  EXPECT_EQ(panel.log, Lines{line.substr(0, 255)}) << "exactly 255 is kept whole";
}

TEST_F(AsciiDecoderTest, EmptyLineIsAnOtherLine) {
  panel.controlLock = false;
  ReceiveText("\n\r");
  EXPECT_EQ(Commands(), Lines{"7E 30"});
  EXPECT_EQ(panel.log, Lines{""});
}

TEST_F(AsciiDecoderTest, TraceLineShowsControlBytesOnOneLine) {
  link.connected = false;
  protocol.SetTraceEnabled(true);
  ReceiveText(std::string("A\x01\n\r\x1f \x7f\xff", 8));
  EXPECT_EQ(panel.log.at(0), std::string("ASCII [8]A<01><LF><CR><1F> \x7f\xff<8>"));
  EXPECT_EQ(panel.log.at(1), "[0]41");
  EXPECT_EQ(panel.log.at(2), "[0]01");
  EXPECT_EQ(panel.log.at(3), "reset");
}

TEST_F(AsciiDecoderTest, ModeChangeTakesEffectWithTheNextChunk) {
  link.connected = false;
  // An option reply in mode 3 switching to mode 0: the rest of its chunk is
  // still framed, the next chunk is lines.
  panel.fmt0 = true;
  Receive("02 02 EB EB 03 02 06 01 02 03 04 05 0F 03");
  EXPECT_EQ(panel.log, (Lines{"Orvane series", "Orvane series", "00258:0000197637"}));
  EXPECT_EQ(panel.modeCaption, "Mode 0");
  panel.log.clear();
  Receive("02 06 01 02 03 04 05 0F 03");
  EXPECT_TRUE(panel.log.empty());
  EXPECT_EQ(protocol.State().DecoderState, 0) << "the start flag 02 reset the line";
  ReceiveText("sI\n\r77\n\r");
  EXPECT_EQ(panel.modeCaption, "Mode 3");
  EXPECT_EQ(panel.log, Lines{"77"}) << "the line after the option reply is in the same chunk";
  panel.log.clear();
  Receive("02 06 01 02 03 04 05 0F 03");
  EXPECT_EQ(panel.log, (Lines{"Orvane series", "00258:0000197637"}));
}

TEST_F(AsciiDecoderTest, LineIsWrittenAsReceivedEvenIfAResetNestsInTheResponse) {
  // An operator's "Get Options" during the event response resets the decoder.
  loop.Schedule(10, [this] { protocol.ResetDecoder(); });
  ReceiveText("4711\n\r");
  EXPECT_EQ(panel.log, Lines{"4711"});
  EXPECT_TRUE(protocol.State().AsciiLine.empty());
}

}  // namespace
