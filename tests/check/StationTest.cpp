// trellum-check test over a bus of readers and over several lines at once:
// each reader and each line ends on its own, and the summary, the JUnit file
// and the HTML report say the same.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <unistd.h>

#include "CheckRun.h"
#include "ReadBack.h"
#include "ReaderProcess.h"
#include "TempDir.h"

namespace {

// The summary at the end of standard output: "PORT ID" -> "RESULT FAILED STEP".
std::map<std::string, std::string> Summary(const std::string& out) {
  std::map<std::string, std::string> rows;
  const auto heading = out.find("\nPORT ");
  EXPECT_NE(heading, std::string::npos) << out;
  std::istringstream lines(out.substr(heading + 1));
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line) && line.rfind("total: ", 0) != 0) {
    std::istringstream fields(line);
    std::string port, id, result, seconds, step;
    fields >> port >> id >> result >> seconds;
    std::getline(fields >> std::ws, step);
    rows[port + " " + id] = result + (step.empty() ? "" : " " + step);
  }
  EXPECT_EQ(line.rfind("total: ", 0), 0u) << out;
  return rows;
}

// The lines that start with the prefix.
std::vector<std::string> Lines(const std::vector<std::string>& lines, const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

std::vector<std::string> Lines(const std::string& text, const std::string& prefix) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return Lines(lines, prefix);
}

// A bus of IDs 1, 2, 3 and 5, the relay of 3 stuck, each reading a card in
// turn all the time; IDs 1 to 5 tested: 4, which nobody answers, fails its
// status step and is not tried further. Every command reaches the reader
// under test, even when another's card arrives as it goes out, and only the
// reader under test gets "Control Lock".
TEST(Station, EachIdOfABusGetsItsOwnRunAndVerdict) {
  ReaderProcess reader({"--speed-match", "--no-powerup", "--baud", "38400", "--ids", "1,2,3,5", "--period", "400",
                        "--for", "3", "--relay-fault", "stuck"});
  TempDir dir;
  const std::string junit = dir / "bus.xml", report = dir / "bus.html";
  const CheckRun run = CheckRun::Run({"test", reader.device(), "--ids", "1-5", "--model", "Corvan", "--speed", "38400",
                                      "--cards", "1", "--lock", "--junit", junit, "--report", report});
  SCOPED_TRACE(run.out + run.err);
  EXPECT_EQ(run.status, 1);
  const std::string& port = reader.device();
  const auto summary = Summary(run.out);
  EXPECT_EQ(summary.size(), 5u);
  for (const char* id : {" 1", " 2", " 5"}) EXPECT_EQ(summary.at(port + id), "PASS") << id;
  EXPECT_EQ(summary.at(port + " 3").rfind("FAIL 4 relay pulses: the relay is still on", 0), 0u);
  EXPECT_EQ(summary.at(port + " 4"), "FAIL 1 status: no answer (no status reply to \"?\" within 500 ms)");
  EXPECT_EQ(Lines(run.err, port + " ID 4: test: SKIP ").size(), 5u) << "steps after no answer are not tried";
  EXPECT_EQ(Lines(run.err, port + " ID 3: test: PASS 3 outputs").size(), 1u) << "progress names the line and the ID";

  // Nothing but the status request went to the missing ID; every reader is put back.
  for (const char* id : {"1", "2", "3", "5"}) {
    reader.control(std::string("@") + id + " state");
    EXPECT_NE(reader.expectLine(std::string("state ") + id + " ").find("out1=0 out2=0"), std::string::npos) << id;
  }
  EXPECT_EQ(Lines(reader.lines(), "unaddressed 4 "), std::vector<std::string>{"unaddressed 4 ?"});
  EXPECT_EQ(Lines(reader.lines(), "pulse 2 "), (std::vector<std::string>{"pulse 2 1000", "pulse 2 end", "pulse 2 2000",
                                                                         "pulse 2 end", "pulse 2 1000", "pulse 2 end"}))
      << "the relay step's two pulses and one for its own card";
  // Each reader is credited with its own cards only.
  for (const std::string& line : Lines(run.out, "PASS 5 cards: ")) {
    EXPECT_EQ(line.find(", "), std::string::npos) << "one card, the reader's own: " << line;
  }

  const std::vector<Suite> suites = ReadJUnit(junit);
  ASSERT_EQ(suites.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(suites[i].name, port + " ID " + std::to_string(i + 1));
  EXPECT_EQ(suites[2].failures_.size(), 1u);
  EXPECT_EQ(suites[3].failures, 1);
  EXPECT_EQ(suites[3].skipped, 5);
  EXPECT_EQ(suites[4].failures, 0);

  const Report page = ReadReport(report);
  EXPECT_FALSE(page.external);
  EXPECT_EQ(page.style.find("url("), std::string::npos);
  EXPECT_EQ(page.facts.at("Model"), "Corvan");
  EXPECT_EQ(page.facts.at("Speed").rfind("38400 bit/s", 0), 0u);
  EXPECT_NE(page.facts.at("Program").find("trellum-check "), std::string::npos);
  EXPECT_FALSE(page.facts.at("Date and time").empty());
  EXPECT_FALSE(page.facts.at("Machine").empty());
  EXPECT_EQ(page.facts.at("Result"), "FAILED: 3 of 5 readers passed");
  ASSERT_EQ(page.readers.size(), 5u);
  const std::vector<std::string> verdicts{"PASS", "PASS", "FAIL", "FAIL", "PASS"};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(page.readers[i][0], port);
    EXPECT_EQ(page.readers[i][1], std::to_string(i + 1));
    EXPECT_EQ(page.readers[i][2], verdicts[i]);
  }
  EXPECT_EQ(page.readers[3][3], "1 status");
  EXPECT_EQ(page.sections.size(), 5u);
}

// Four readers on four lines, one with a stuck relay, and a line that does
// not exist: all at once, each line ending on its own.
TEST(Station, SeveralLinesAtOnceEachEndOnTheirOwn) {
  std::vector<std::unique_ptr<ReaderProcess>> readers;
  for (int i = 0; i < 4; ++i) {
    std::vector<std::string> args{"--speed-match", "--no-powerup", "--baud", "9600", "--period", "600"};
    if (i == 2) args.insert(args.end(), {"--relay-fault", "stuck"});
    readers.push_back(std::make_unique<ReaderProcess>(args));
  }
  TempDir dir;
  const std::string missing = "/dev/trellum-no-such-port", junit = dir / "lines.xml", record = dir / "s.txt";
  std::vector<std::string> args{"test"};
  for (const auto& reader : readers) args.push_back(reader->device());
  args.insert(args.end(), {missing, "--model", "Brenta", "--speed", "9600", "--card-timeout", "10", "--junit", junit,
                           "--record", record});
  const CheckRun run = CheckRun::Run(args);
  SCOPED_TRACE(run.out + run.err);
  EXPECT_EQ(run.status, 2) << "a line that cannot be opened";
  const auto summary = Summary(run.out);
  for (int i : {0, 1, 3}) EXPECT_EQ(summary.at(readers[i]->device() + " -"), "PASS") << i;
  EXPECT_EQ(summary.at(readers[2]->device() + " -").rfind("FAIL 4 relay pulses:", 0), 0u);
  EXPECT_EQ(summary.at(missing + " -"), "ERROR could not be opened: Unable to open com port (win error code: 2)");
  EXPECT_NE(run.err.find("trellum-check: " + missing + ": Unable to open com port (win error code: 2)"),
            std::string::npos);
  // At the same time: every line began its first step before any ended its relay pulses.
  const std::size_t lastStart = [&] {
    std::size_t last = 0;
    for (const auto& reader : readers) last = std::max(last, run.err.find(reader->device() + ": test: 1 status ..."));
    return last;
  }();
  EXPECT_LT(lastStart, run.err.find(": test: PASS 4 relay pulses"));
  for (const auto& reader : readers) {
    EXPECT_EQ(Lines(run.err, reader->device() + ": test: present 1 card to the reader").size(), 1u);
  }

  const std::vector<Suite> suites = ReadJUnit(junit);
  ASSERT_EQ(suites.size(), 5u);
  EXPECT_EQ(suites[4].name, missing);
  EXPECT_EQ(suites[4].errors_, std::vector<std::string>{
                                   "line: could not be opened: Unable to open com port (win error code: 2)"});
  // One session record a line, in the order of the ports.
  for (int i = 0; i < 4; ++i) {
    std::ifstream file(dir / ("s-" + std::to_string(i + 1) + ".txt"));
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_NE(text.str().find(" connect " + readers[i]->device() + " 9600"), std::string::npos) << i;
  }
}

// With --repeat each line goes on to its next reader by itself: one line's
// second reader is tested while the other line still waits for its card.
TEST(Station, RepeatGoesOnPerLine) {
  TempDir dir;
  const std::string link = dir / "adapter";
  ReaderProcess quick({"--no-powerup", "--link", link});
  ReaderProcess slow({"--no-powerup"});
  QProcess check;
  check.start(QStringLiteral(CHECK_PATH),
              {"test", QString::fromStdString(link), QString::fromStdString(slow.device()), "--model", "Alvex",
               "--speed", "9600", "--card-timeout", "60", "--repeat"});
  ASSERT_TRUE(check.waitForStarted());
  std::string err;
  std::size_t seen = 0;  // what the last wait found ends here
  const auto awaitErr = [&](const std::string& text) {
    for (int i = 0; i < 300 && err.find(text, seen) == std::string::npos; ++i) {
      check.waitForReadyRead(100);
      err += check.readAllStandardError().toStdString();
    }
    const auto at = err.find(text, seen);
    if (at == std::string::npos) return false;
    seen = at + text.size();
    return true;
  };
  ASSERT_TRUE(awaitErr(link + ": test: present 1 card")) << err;
  quick.control("card");
  ASSERT_TRUE(awaitErr(link + ": test: waiting for the next reader")) << err;
  quick.control("hangup");
  ASSERT_TRUE(awaitErr(link + ": test: the port's device is gone")) << err;
  quick.control("reopen");
  ASSERT_TRUE(awaitErr(link + ": test: present 1 card")) << err;
  EXPECT_EQ(err.find(slow.device() + ": test: PASS 5 cards"), std::string::npos) << "the other line still waits";
  ::kill(static_cast<pid_t>(check.processId()), SIGINT);
  ASSERT_TRUE(check.waitForFinished(30000));
  const std::string out = check.readAllStandardOutput().toStdString();
  err += check.readAllStandardError().toStdString();
  SCOPED_TRACE(out + err);
  EXPECT_EQ(check.exitCode(), 1) << "stopped";
  EXPECT_EQ(Lines(out, "run ").size(), 3u) << "two runs on the quick line, one on the slow";
  const auto summary = Summary(out);
  EXPECT_EQ(summary.size(), 2u) << "rows are by port and ID";
  EXPECT_EQ(Lines(out, link + " ").size(), 2u);
}

}  // namespace
