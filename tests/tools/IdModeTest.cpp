#include "ReaderProcess.h"

#include <gtest/gtest.h>

namespace {

std::string command(std::uint8_t id, std::string_view text) {
  std::string bytes = "~";
  bytes += char(id);
  bytes += text;
  return bytes;
}

TEST(IdMode, EachReaderPowersUpWithItsOwnId) {
  ReaderProcess line({"--ids", "3,7,12", "--family", "E5"});
  line.openDevice();
  EXPECT_EQ(line.readBytes(18), Bytes({0xE5, 3, 0x02, 0x52, 0x52, 0xEA, 0xE5, 7, 0x02, 0x52, 0x52, 0xEA, 0xE5, 12, 0x02,
                                       0x52, 0x52, 0xEA}));
}

TEST(IdMode, OnlyTheAddressedReaderAnswers) {
  ReaderProcess line({"--ids", "3,7,12", "--no-powerup"});
  line.openDevice();
  line.write(command(7, "?"));
  EXPECT_EQ(line.expectLine("cmd "), "cmd 7 ?");
  EXPECT_EQ(line.readBytes(6), Bytes({0x02, 7, 0x02, 0xF0, 0xF0, 0x03}));

  for (std::uint8_t id : {0, 5, 31, 0x7E}) {
    line.write(command(id, "?"));
    EXPECT_EQ(line.expectLine("unaddressed "), "unaddressed " + std::to_string(id) + " ?");
  }
  EXPECT_TRUE(line.silent());

  // Outputs and options belong to one reader.
  line.write(command(3, "L") + command(3, "?") + command(12, "?"));
  EXPECT_EQ(line.readBytes(12), Bytes({0x02, 3, 0x02, 0xF4, 0xF4, 0x03, 0x02, 12, 0x02, 0xF0, 0xF0, 0x03}));
  line.write(command(12, "oL") + command(12, "?") + command(7, "O"));
  EXPECT_EQ(line.readBytes(13), Bytes({'S', 'L', 'L', 'L', 'L', '\n', '\r', 0x02, 7, 0x02, 0xE8, 0xE8, 0x03}));

  // A command cut short by a new lead-in is dropped; the new one counts.
  line.write("~?" + command(3, "?"));
  EXPECT_EQ(line.expectLine("junk "), "junk unfinished : 7E 3F");
  EXPECT_EQ(line.readBytes(6), Bytes({0x02, 3, 0x02, 0xF4, 0xF4, 0x03}));
}

TEST(IdMode, ControlCommandsPickTheReader) {
  ReaderProcess line({"--ids", "3,7,12", "--no-powerup"});
  line.openDevice();
  line.control("@12 card 258:197637");
  EXPECT_EQ(line.readBytes(10), Bytes({0x02, 12, 0x06, 0x01, 0x02, 0x03, 0x04, 0x05, 0x0F, 0x03}));
  line.control("switch close");
  EXPECT_EQ(line.readBytes(6), Bytes({0x02, 3, 0x02, 0x50, 0x50, 0x03}));
  line.control("@5 powerup");
  EXPECT_EQ(line.expectLine("error "), "error no reader @5");
  line.control("@7 state");
  EXPECT_EQ(line.expectLine("state "), "state 7 out1=0 out2=0 relay=0 switch=0 buzzer=0 options=I mode=3 acks=0");
  EXPECT_TRUE(line.silent());
}

TEST(IdMode, PeriodicReadsTakeTurns) {
  ReaderProcess line({"--ids", "1,2", "--no-powerup", "--period", "20"});
  line.openDevice();
  auto got = line.readBytes(40, 5s);
  ASSERT_EQ(got.size(), 40u);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(got[i * 10 + 1], 1 + i % 2) << "frame " << i;
}

}  // namespace
