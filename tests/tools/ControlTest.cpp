#include "ReaderProcess.h"
#include "TempDir.h"

#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <unistd.h>

namespace {

std::vector<std::string> fileLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(Control, TranscriptHasOneLinePerBurstInOrder) {
  TempDir dir;
  std::string path = dir / "transcript.txt";
  {
    ReaderProcess reader({"--transcript", path});
    reader.openDevice();
    reader.readBytes(5);
    reader.write("~?");
    reader.readBytes(5);
    reader.write("~L");
    EXPECT_EQ(reader.expectLine("cmd "), "cmd - ?");
    EXPECT_EQ(reader.expectLine("cmd "), "cmd - L");
    reader.control("card 258:197637");
    reader.readBytes(9);
    EXPECT_EQ(reader.finish(), 0);
  }
  auto lines = fileLines(path);
  ASSERT_EQ(lines.size(), 5u);
  std::regex format(R"((\d+\.\d{6}) (rx|tx) ([0-9A-F]{2}(?: [0-9A-F]{2})*))");
  const char* expected[][2] = {{"tx", "02 02 52 52 03"},
                               {"rx", "7E 3F"},
                               {"tx", "02 02 F0 F0 03"},
                               {"rx", "7E 4C"},
                               {"tx", "02 06 01 02 03 04 05 0F 03"}};
  double previous = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, format)) << lines[i];
    EXPECT_EQ(m[2], expected[i][0]);
    EXPECT_EQ(m[3], expected[i][1]);
    double stamp = std::stod(m[1]);
    EXPECT_GE(stamp, previous);
    previous = stamp;
  }
}

TEST(Control, ScriptRunsInOrderWithWaitsAndCanQuit) {
  TempDir dir;
  std::string script = dir / "reads.txt";
  std::ofstream(script) << "# a card, a pause, a switch\ncard 0:1\nwait 100\nswitch close  # closed\n\nquit\n";
  ReaderProcess reader({"--no-powerup", "--script", script});
  reader.openDevice();
  EXPECT_EQ(reader.expectLine("tx "), "tx - card 0:1 : 02 06 00 00 00 00 01 01 03");
  EXPECT_EQ(reader.expectLine("tx "), "tx - switch close : 02 02 50 50 03");
  EXPECT_EQ(reader.expectLine("quit"), "quit");
  EXPECT_EQ(reader.finish(), 0);
}

TEST(Control, BadControlCommandsAreReportedAndTheReaderCarriesOn) {
  ReaderProcess reader({"--no-powerup"});
  reader.openDevice();
  const std::pair<const char*, const char*> cases[] = {
      {"switch sideways", "error \"switch\" takes close or open"},
      {"fault bogus", "error unknown fault \"bogus\""},
      {"card 65536:0", "error bad card code \"65536:0\""},
      {"card 1 2 3", "error too many words after \"card\""},
      {"raw 1G", "error bad byte \"1G\""},
      {"@3 card", "error no reader @3"},
      {"jump", "error unknown command \"jump\""},
      {"wait soon", "error bad milliseconds \"soon\""},
  };
  for (auto [command, message] : cases) {
    reader.control(command);
    EXPECT_TRUE(reader.expectLine("error ").starts_with(message)) << command;
  }
  EXPECT_TRUE(reader.silent());
  reader.control("raw 7e 00 FF");
  EXPECT_EQ(reader.readBytes(3), Bytes({0x7E, 0x00, 0xFF}));
}

TEST(Control, LinkFollowsTheLineAcrossHangupAndReopen) {
  TempDir dir;
  std::string link = dir / "COM1";
  ReaderProcess reader({"--no-powerup", "--link", link});
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), reader.device());
  reader.openDevice();

  reader.control("hangup");
  EXPECT_EQ(reader.expectLine("closed"), "closed");
  EXPECT_FALSE(std::filesystem::is_symlink(link)) << "the name goes with the line";
  EXPECT_TRUE(reader.readBytes(1, 1s).empty());
  reader.control("card");
  EXPECT_TRUE(reader.expectLine("error ").starts_with("error the line is closed"));
  reader.closeDevice();

  reader.control("reopen");
  std::string device = reader.expectLine("device ").substr(7);
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), device);
  int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "~?", 2), 2);
  EXPECT_EQ(reader.expectLine("tx "), "tx - status : 02 02 F0 F0 03");
  close(fd);

  EXPECT_EQ(reader.finish(), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(Control, RefusesToReplaceAFileWithTheLink) {
  TempDir dir;
  std::string file = dir / "COM1";
  std::ofstream(file) << "keep";
  auto result = ReaderProcess::runToEnd({"--link", file});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("is not a symbolic link"), std::string::npos) << result.err;
  EXPECT_EQ(fileLines(file), std::vector<std::string>{"keep"});
}

TEST(Control, CommandLineErrorsAndHelp) {
  const std::pair<std::vector<std::string>, const char*> bad[] = {
      {{"--ids", "3,40"}, "--ids: \"40\" is not a number from 0 to 31"},
      {{"--ids", "3,3"}, "--ids: ID 3 given twice"},
      {{"--family", "03"}, "--family takes one of the start flags"},
      {{"--mode", "4"}, "--mode: \"4\" is not a number from 0 to 3"},
      {{"--options", "Q"}, "--options takes one option letter"},
      {{"--baud", "1000"}, "unsupported speed 1000"},
      {{"--fault-rate", "1.5"}, "--fault-rate: \"1.5\" is not a fraction from 0 to 1"},
      {{"--faults", "checksum,melt"}, "unknown fault \"melt\""},
      {{"--card", "1:2:3"}, "bad card code"},
      {{"--period"}, "--period needs a value"},
      {{"--frobnicate"}, "unknown option --frobnicate"},
  };
  for (const auto& [args, message] : bad) {
    auto result = ReaderProcess::runToEnd(args);
    EXPECT_EQ(result.status, 2) << message;
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("--help"), std::string::npos);
    EXPECT_TRUE(result.out.empty());
  }

  auto missing = ReaderProcess::runToEnd({"--device", "/dev/no-such-serial-port"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot open /dev/no-such-serial-port: No such file or directory"), std::string::npos)
      << missing.err;
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  ASSERT_EQ(flock(slave, LOCK_EX | LOCK_NB), 0);
  std::string busyPath = ttyname(slave);
  auto busy = ReaderProcess::runToEnd({"--device", busyPath});
  EXPECT_EQ(busy.status, 1);
  EXPECT_NE(busy.err.find("cannot open " + busyPath + ": it is in use by another program"), std::string::npos)
      << busy.err;
  close(slave);
  close(master);
  auto notSerial = ReaderProcess::runToEnd({"--device", "/dev/null"});
  EXPECT_EQ(notSerial.status, 1);
  EXPECT_NE(notSerial.err.find("/dev/null is not a serial line"), std::string::npos) << notSerial.err;
  TempDir dir;
  auto noScript = ReaderProcess::runToEnd({"--script", dir / "none.txt"});
  EXPECT_EQ(noScript.status, 1);
  EXPECT_NE(noScript.err.find("cannot read the script"), std::string::npos) << noScript.err;

  auto help = ReaderProcess::runToEnd({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: trellum-reader")) << help.out;
  EXPECT_TRUE(help.err.empty());
}

TEST(Control, PeriodicReadsWaitForAReaderOfTheLine) {
  ReaderProcess reader({"--no-powerup", "--period", "10"});
  EXPECT_EQ(reader.expectLine("tx "), "tx - card 258:197637 : 02 06 01 02 03 04 05 0F 03");
  EXPECT_TRUE(reader.expectLine("skip ").starts_with("skip - card"));
  reader.openDevice();
  EXPECT_EQ(reader.readBytes(18),
            Bytes({0x02, 0x06, 1, 2, 3, 4, 5, 0x0F, 0x03, 0x02, 0x06, 1, 2, 3, 4, 6, 0x10, 0x03}));
}

TEST(Control, GivenDeviceIsServedUntilItHangsUp) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  std::string path = ttyname(slave);
  close(slave);
  {
    ReaderProcess reader({"--no-powerup", "--device", path, "--baud", "115200"});
    EXPECT_EQ(reader.device(), path);
    termios t{};
    tcgetattr(master, &t);
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);
    ASSERT_EQ(write(master, "~?", 2), 2);
    EXPECT_EQ(reader.expectLine("tx "), "tx - status : 02 02 F0 F0 03");
    std::uint8_t reply[5] = {};
    pollfd p{master, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 3000), 1);
    EXPECT_EQ(read(master, reply, sizeof reply), 5);
    EXPECT_EQ(reply[2], 0xF0);

    close(master);
    EXPECT_TRUE(reader.expectLine("error ").starts_with("error " + path + ": "));
    EXPECT_EQ(reader.expectLine("closed"), "closed");
    reader.control("card");
    EXPECT_TRUE(reader.expectLine("error ").starts_with("error the line is closed"));
    EXPECT_EQ(reader.finish(), 0);
  }
}

TEST(Control, SignalEndsTheReaderAndRemovesTheLink) {
  TempDir dir;
  std::string link = dir / "reader";
  ReaderProcess reader({"--link", link});
  ASSERT_TRUE(std::filesystem::is_symlink(link));
  reader.control("state");
  reader.expectLine("state ");
  reader.signal(SIGTERM);
  EXPECT_EQ(reader.expectLine("quit"), "quit");
  EXPECT_EQ(reader.finish(), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

}  // namespace
