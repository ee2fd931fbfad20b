#include "ReaderProcess.h"

#include <gtest/gtest.h>

namespace {

Bytes frame(std::initializer_list<std::uint8_t> bytes) { return Bytes(bytes); }

TEST(Replies, PowerUpReportAtStartAndOnRequest) {
  ReaderProcess reader({});
  reader.openDevice();
  EXPECT_EQ(reader.readBytes(5), frame({0x02, 0x02, 0x52, 0x52, 0x03}));
  reader.control("powerup");
  EXPECT_EQ(reader.readBytes(5), frame({0x02, 0x02, 0x52, 0x52, 0x03}));

  ReaderProcess quiet({"--no-powerup"});
  quiet.openDevice();
  EXPECT_TRUE(quiet.silent());
}

TEST(Replies, StatusFollowsOutputsSwitchAndBuzzer) {
  ReaderProcess reader({"--no-powerup"});
  reader.openDevice();
  reader.write("~?");
  EXPECT_EQ(reader.readBytes(5), frame({0x02, 0x02, 0xF0, 0xF0, 0x03}));
  // First output is bit 2, second output bit 1; several commands in one burst.
  reader.write("~L~?");
  EXPECT_EQ(reader.readBytes(5), frame({0x02, 0x02, 0xF4, 0xF4, 0x03}));
  reader.write("~l~R~?");
  EXPECT_EQ(reader.readBytes(5), frame({0x02, 0x02, 0xF2, 0xF2, 0x03}));
  reader.control("buzzer on");
  reader.control("switch close");
  EXPECT_EQ(reader.readBytes(5), frame({0x02, 0x02, 0x50, 0x50, 0x03}));
  reader.write("~L~?");
  EXPECT_EQ(reader.readBytes(5), frame({0x02, 0x02, 0xFF, 0xFF, 0x03}));
  reader.control("switch open");
  EXPECT_EQ(reader.readBytes(5), frame({0x02, 0x02, 0x70, 0x70, 0x03}));
  reader.write("~r~l~?");
  EXPECT_EQ(reader.readBytes(5), frame({0x02, 0x02, 0xF8, 0xF8, 0x03}));
  EXPECT_TRUE(reader.silent());
}

TEST(Replies, SetOptionsChangesOptionReplyAndEncoding) {
  ReaderProcess reader({"--no-powerup"});
  reader.openDevice();
  reader.write("~O");
  EXPECT_EQ(reader.readBytes(5), frame({0x02, 0x02, 0xE8, 0xE8, 0x03}));
  reader.write("~oA~O");
  EXPECT_EQ(reader.readBytes(5), frame({0x02, 0x02, 0xE0, 0xE0, 0x03}));
  // FMT0 off: ASCII from the very next report, which is the option reply itself.
  reader.write("~oB~O");
  EXPECT_EQ(reader.readBytes(4), bytesOf("sB\n\r"));
  reader.write("~L~R~?");
  EXPECT_EQ(reader.readBytes(7), bytesOf("SLHHL\n\r"));
  reader.control("switch close");
  EXPECT_EQ(reader.readBytes(4), bytesOf("PO\n\r"));
  reader.control("switch open");
  EXPECT_EQ(reader.readBytes(4), bytesOf("PF\n\r"));
  reader.control("powerup");
  EXPECT_EQ(reader.readBytes(5), bytesOf("RST\n\r"));
  reader.write("~oI~?");
  EXPECT_EQ(reader.readBytes(5), frame({0x02, 0x02, 0xF6, 0xF6, 0x03}));
  // A letter outside A..P is refused and changes nothing.
  reader.write("~oZ");
  EXPECT_EQ(reader.expectLine("junk "), "junk bad-option-letter : 7E 6F 5A");
  reader.write("~O");
  EXPECT_EQ(reader.readBytes(5), frame({0x02, 0x02, 0xE8, 0xE8, 0x03}));
}

TEST(Replies, CardCodeInEveryMode) {
  struct Case {
    std::string options;
    Bytes expected;
  };
  const Case cases[] = {
      {"--mode=3", frame({0x02, 0x06, 0x01, 0x02, 0x03, 0x04, 0x05, 0x0F, 0x03})},
      {"--mode=0", bytesOf("00258,0000197637\n\r")},
      {"--mode=1", bytesOf("0102030405\n\r")},
      {"--mode=2", bytesOf("0004328719365\n\r")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    ReaderProcess reader({"--no-powerup", c.options});
    reader.openDevice();
    reader.control("card 258 197637");
    EXPECT_EQ(reader.readBytes(c.expected.size()), c.expected);
    reader.control("4328719365");
    EXPECT_EQ(reader.readBytes(c.expected.size()), c.expected);
    EXPECT_TRUE(reader.silent());
  }
}

TEST(Replies, FamiliesAndExtremeCodes) {
  const std::pair<std::string, std::pair<std::uint8_t, std::uint8_t>> families[] = {
      {"02", {0x02, 0x03}}, {"D5", {0xD5, 0xDA}}, {"E5", {0xE5, 0xEA}}, {"f5", {0xF5, 0xFA}}};
  for (const auto& [name, flags] : families) {
    SCOPED_TRACE(name);
    ReaderProcess reader({"--no-powerup", "--family", name});
    reader.openDevice();
    reader.control("card 65535:16777215");
    EXPECT_EQ(reader.readBytes(9), frame({flags.first, 0x06, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFB, flags.second}));
    reader.control("card 0:0");
    EXPECT_EQ(reader.readBytes(9), frame({flags.first, 0x06, 0, 0, 0, 0, 0, 0, flags.second}));
  }
}

TEST(Replies, KeyPressesAdvanceTheCardCode) {
  ReaderProcess reader({"--no-powerup", "--card", "1:16777215", "--mode", "0"});
  reader.openDevice();
  reader.control("");
  reader.control("");
  reader.control("card");
  EXPECT_EQ(reader.readBytes(54), bytesOf("00001,0016777215\n\r00001,0000000000\n\r00001,0000000001\n\r"));
  EXPECT_EQ(reader.expectLine("tx "), "tx - card 1:16777215 : " + hexOf(bytesOf("00001,0016777215\n\r")));
}

TEST(Replies, RelayPulsesEndByThemselves) {
  ReaderProcess reader({"--no-powerup"});
  reader.openDevice();
  for (auto [command, length] : {std::pair{"~1", 1000}, std::pair{"~2", 2000}}) {
    SCOPED_TRACE(command);
    auto start = std::chrono::steady_clock::now();
    reader.write(command);
    EXPECT_EQ(reader.expectLine("pulse "), "pulse - " + std::to_string(length));
    reader.write("~?");
    EXPECT_EQ(reader.readBytes(5), frame({0x02, 0x02, 0xF2, 0xF2, 0x03}));
    EXPECT_EQ(reader.expectLine("pulse ", 5s), "pulse - end");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(length));
    reader.write("~?");
    EXPECT_EQ(reader.readBytes(5), frame({0x02, 0x02, 0xF0, 0xF0, 0x03}));
  }
  // The latched relay stays on after a pulse.
  reader.write("~R~1");
  EXPECT_EQ(reader.expectLine("pulse ", 5s), "pulse - 1000");
  EXPECT_EQ(reader.expectLine("pulse ", 5s), "pulse - end");
  reader.write("~?");
  EXPECT_EQ(reader.readBytes(5), frame({0x02, 0x02, 0xF2, 0xF2, 0x03}));
}

TEST(Replies, EventResponseIsCountedAndStrayBytesReported) {
  ReaderProcess reader({"--no-powerup"});
  reader.openDevice();
  reader.write("~0~0x~Z");
  EXPECT_EQ(reader.expectLine("junk "), "junk outside : 78");
  EXPECT_EQ(reader.expectLine("junk "), "junk unknown : 7E 5A");
  reader.control("state");
  EXPECT_EQ(reader.expectLine("state "), "state - out1=0 out2=0 relay=0 switch=0 buzzer=0 options=I mode=3 acks=2");
  // A lead-in left alone is given up after a while; a new one restarts the command.
  reader.write("~~?");
  EXPECT_EQ(reader.expectLine("junk "), "junk unfinished : 7E");
  EXPECT_EQ(reader.readBytes(5), frame({0x02, 0x02, 0xF0, 0xF0, 0x03}));
  reader.write("~");
  EXPECT_EQ(reader.expectLine("junk "), "junk unfinished : 7E");
  EXPECT_TRUE(reader.silent());
}

// A slow link: the lead-in waits as long as --command-gap says.
TEST(Replies, CommandGapKeepsASlowCommandTogether) {
  ReaderProcess reader({"--no-powerup", "--command-gap", "2000"});
  reader.openDevice();
  reader.write("~");
  EXPECT_TRUE(reader.silent(900ms));
  reader.write("?");
  EXPECT_EQ(reader.expectLine("cmd "), "cmd - ?");
  EXPECT_EQ(reader.readBytes(5), frame({0x02, 0x02, 0xF0, 0xF0, 0x03}));
}

}  // namespace
