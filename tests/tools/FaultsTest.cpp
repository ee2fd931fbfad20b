#include "ReaderProcess.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <fstream>
#include <regex>

namespace {

bool isStartFlag(std::uint8_t b) { return b == 0x02 || b == 0xD5 || b == 0xE5 || b == 0xF5; }

// Reads the announcement of one transmission and checks the wire carried exactly its bytes.
Bytes announcedAndReceived(ReaderProcess& reader, const std::string& prefix) {
  std::string line = reader.expectLine("tx ");
  EXPECT_TRUE(line.starts_with(prefix)) << line;
  auto colon = line.find(" : ");
  if (colon == std::string::npos) return {};
  std::string hex = line.substr(colon + 3);
  Bytes got = reader.readBytes((hex.size() + 1) / 3);
  EXPECT_EQ(hexOf(got), hex);
  return got;
}

TEST(Faults, FramesBrokenOnRequest) {
  ReaderProcess reader({"--no-powerup"});
  reader.openDevice();
  reader.control("fault checksum 258:197637");
  EXPECT_EQ(announcedAndReceived(reader, "tx - fault checksum 258:197637"),
            Bytes({0x02, 0x06, 1, 2, 3, 4, 5, 0x10, 0x03}));
  reader.control("fault endflag 258:197637");
  EXPECT_EQ(announcedAndReceived(reader, "tx - fault endflag"), Bytes({0x02, 0x06, 1, 2, 3, 4, 5, 0x0F, 0x04}));
  reader.control("fault length 258:197637");
  EXPECT_EQ(announcedAndReceived(reader, "tx - fault length"), Bytes({0x02, 0x07, 1, 2, 3, 4, 5, 0x0F, 0x03}));
  reader.control("fault cut 258:197637");
  EXPECT_EQ(announcedAndReceived(reader, "tx - fault cut"), Bytes({0x02, 0x06, 1, 2}));

  reader.control("fault id 258:197637");
  Bytes bad = announcedAndReceived(reader, "tx - fault id");
  ASSERT_EQ(bad.size(), 10u);
  EXPECT_GE(bad[1], 0x20);
  EXPECT_FALSE(isStartFlag(bad[1]));
  bad.erase(bad.begin() + 1);
  EXPECT_EQ(bad, Bytes({0x02, 0x06, 1, 2, 3, 4, 5, 0x0F, 0x03}));

  for (int i = 0; i < 20; ++i) {
    reader.control("fault noise");
    Bytes noise = announcedAndReceived(reader, "tx - fault noise");
    EXPECT_GE(noise.size(), 3u);
    EXPECT_LE(noise.size(), 8u);
    for (auto b : noise) EXPECT_TRUE(!isStartFlag(b) && b != '\n' && b != '\r') << hexOf(noise);
  }
  EXPECT_TRUE(reader.silent());
}

TEST(Faults, EndFlagFaultNeverOpensAFrame) {
  for (std::string family : {"02", "D5", "E5", "F5"}) {
    ReaderProcess reader({"--no-powerup", "--family", family});
    reader.openDevice();
    reader.control("fault endflag 0:0");
    Bytes got = announcedAndReceived(reader, "tx - fault endflag 0:0");
    ASSERT_EQ(got.size(), 9u);
    EXPECT_FALSE(isStartFlag(got.back())) << family;
    EXPECT_NE(got.back(), got.front() == 0x02 ? 0x03 : got.front() + 5) << family;
  }
}

TEST(Faults, IdFaultReplacesTheReadersIdAndAsciiRefusesFrameFaults) {
  ReaderProcess line({"--no-powerup", "--ids", "4"});
  line.openDevice();
  line.control("fault id 258:197637");
  Bytes bad = announcedAndReceived(line, "tx 4 fault id");
  ASSERT_EQ(bad.size(), 10u);
  EXPECT_GE(bad[1], 0x20);
  line.control("fault cut 258:197637");
  EXPECT_EQ(announcedAndReceived(line, "tx 4 fault cut"), Bytes({0x02, 0x04, 0x06, 0x01, 0x02}));

  ReaderProcess ascii({"--no-powerup", "--mode", "0"});
  ascii.openDevice();
  for (std::string kind : {"checksum", "endflag", "length", "id"}) {
    ascii.control("fault " + kind);
    EXPECT_EQ(ascii.expectLine("error "), "error fault " + kind + " needs binary frames; reader - sends ASCII lines");
  }
  ascii.control("fault cut 258:197637");
  EXPECT_EQ(announcedAndReceived(ascii, "tx - fault cut"), bytesOf("00258,000"));
  EXPECT_TRUE(ascii.silent());
}

std::vector<std::string> mixedReads(const std::string& seed, std::size_t count) {
  ReaderProcess reader(
      {"--no-powerup", "--period", "5", "--fault-rate", "0.5", "--seed", seed, "--faults", "checksum,cut,noise"});
  reader.openDevice();
  std::vector<std::string> sent;
  while (sent.size() < count) {
    std::string line = reader.expectLine("tx ");
    if (line.empty()) break;
    sent.push_back(line);
    reader.readBytes((line.size() - line.find(" : ") - 2) / 3);
  }
  return sent;
}

TEST(Faults, SeededMixRepeatsAndUsesOnlyTheChosenKinds) {
  auto first = mixedReads("42", 40);
  ASSERT_EQ(first.size(), 40u);
  EXPECT_EQ(mixedReads("42", 40), first);
  EXPECT_NE(mixedReads("43", 40), first);

  std::regex allowed("tx - (card|fault checksum|fault cut) \\d+:\\d+ : .*|tx - fault noise : .*");
  int cards = 0;
  for (const auto& line : first) {
    EXPECT_TRUE(std::regex_match(line, allowed)) << line;
    cards += line.starts_with("tx - card");
  }
  EXPECT_GT(cards, 5);
  EXPECT_LT(cards, 35);
}

TEST(Faults, MixLeavesTheLineQuietAfterABrokenFrame) {
  TempDir dir;
  std::string path = dir / "transcript.txt";
  std::vector<std::string> sent;
  {
    ReaderProcess reader({"--no-powerup", "--period", "5", "--fault-rate", "0.5", "--faults", "checksum,noise",
                          "--fault-gap", "200", "--transcript", path});
    reader.openDevice();
    while (sent.size() < 12) {
      std::string line = reader.expectLine("tx ");
      ASSERT_FALSE(line.empty());
      sent.push_back(line);
      reader.readBytes((line.size() - line.find(" : ") - 2) / 3);
    }
    EXPECT_EQ(reader.finish(), 0);
  }
  std::ifstream in(path);
  std::vector<double> stamps;
  for (std::string stamp, direction, rest; in >> stamp >> direction && std::getline(in, rest);)
    stamps.push_back(std::stod(stamp));
  ASSERT_GE(stamps.size(), sent.size());
  int broken = 0;
  for (std::size_t i = 0; i + 1 < sent.size(); ++i) {
    if (!sent[i].starts_with("tx - fault checksum")) continue;
    ++broken;
    EXPECT_GE(stamps[i + 1] - stamps[i], 0.195) << sent[i];
  }
  EXPECT_GT(broken, 0);
}

}  // namespace
