#include <random>

#include "ProtocolFixture.h"
#include "ProtocolInvariants.h"

namespace {

using InvariantTest = ProtocolTest;

// Random chunks biased towards the bytes the decoder cares about, with the
// data format, ID mode and trace switched between chunks and time passing.
TEST_F(InvariantTest, RandomChunksKeepStateAndLinesInBounds) {
  const std::string interesting =
      Bytes("02 D5 E5 F5 03 DA EA FA 06 02 0A 0D 50 52 70 F5 E8 1F 20 00 FF") + "sSPOFRTH0123,";
  for (const bool connected : {false, true}) {
    link.connected = connected;
    std::mt19937 random(connected ? 7 : 11);
    for (int chunk = 0; chunk < 3000; ++chunk) {
      const unsigned switches = random();
      panel.fmt0 = switches & 1;
      panel.fmt1 = (switches & 6) != 0;
      panel.idMode = (switches & 8) != 0;
      panel.controlLock = (switches & 16) != 0;
      protocol.SetTraceEnabled((switches & 32) != 0);
      std::string bytes(random() % (switches & 64 ? 400 : 12), '\0');
      for (char& b : bytes) b = random() % 3 ? interesting[random() % interesting.size()] : static_cast<char>(random());
      const std::size_t before = panel.log.size();
      link.Deliver(protocol, bytes);
      if (switches & 128) loop.Idle(random() % 200);
      const Lines written(panel.log.begin() + static_cast<long>(before), panel.log.end());
      ASSERT_EQ(BrokenInvariant(protocol.State(), written, bytes.size()), "") << "chunk " << chunk;
      link.wire.clear();
    }
  }
}

TEST_F(InvariantTest, CheckerCatchesBrokenInvariants) {
  ProtocolState state;
  EXPECT_EQ(BrokenInvariant(state, {"ASCII [2]<LF><CR><2>", std::string(255, '1')}, 2), "");
  EXPECT_NE(BrokenInvariant(state, {std::string(256, '1')}, 2), "");
  EXPECT_NE(BrokenInvariant(state, {"ASCII [1]<LF><CR><1>"}, 1), "");
  EXPECT_NE(BrokenInvariant(state, {"12\n"}, 3), "");
  state.AsciiLine.assign(256, '1');
  EXPECT_NE(BrokenInvariant(state, {}, 0), "");
  state.AsciiLine.clear();
  state.DecoderState = 7;
  EXPECT_NE(BrokenInvariant(state, {}, 0), "");
}

}  // namespace
