// trellum-check scan against virtual readers that answer only at their
// line speed, in each encoding, several on one line, and with faults.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "CheckRun.h"
#include "ReaderProcess.h"

namespace {

// The rows of the table: "SPEED ID FORMAT" of each reader, and the problem lines.
struct Table {
  std::vector<std::string> readers;
  std::vector<std::string> problems;
  std::vector<std::string> notes;
};

Table Parse(const std::string& out) {
  Table table;
  std::istringstream lines(out);
  std::string line;
  std::getline(lines, line);  // heading
  for (; std::getline(lines, line);) {
    if (line.rfind("problem: ", 0) == 0) {
      table.problems.push_back(line);
      continue;
    }
    std::istringstream fields(line);
    std::string speed, id, mode, number;
    if (!std::isdigit(static_cast<unsigned char>(line[0]))) continue;
    fields >> speed >> id >> mode >> number;
    if (id == "readers" || id == "reader") continue;
    table.readers.push_back(speed + " " + id + " " + mode + (mode == "Mode" ? " " + number : ""));
    table.notes.push_back(line);
  }
  return table;
}

std::vector<std::string> Lines(const std::string& text, const std::string& prefix) {
  std::vector<std::string> found;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

bool Has(const std::vector<std::string>& lines, const std::string& part) {
  for (const std::string& line : lines) {
    if (line.find(part) != std::string::npos) return true;
  }
  return false;
}

struct ScanCase {
  const char* name;
  std::vector<std::string> reader;
  std::vector<std::string> scan;
  std::vector<std::string> readers;   // "SPEED ID FORMAT" in order
  std::vector<std::string> problems;  // parts of problem lines
  std::vector<std::string> notes;     // parts of reader rows
  int status;
};

void PrintTo(const ScanCase& c, std::ostream* out) { *out << c.name; }

class Scans : public testing::TestWithParam<ScanCase> {};

TEST_P(Scans, FindEveryReaderAndReportEveryProblem) {
  const ScanCase& c = GetParam();
  std::vector<std::string> readerArgs{"--speed-match", "--no-powerup"};
  readerArgs.insert(readerArgs.end(), c.reader.begin(), c.reader.end());
  ReaderProcess reader(readerArgs);
  std::vector<std::string> args{"scan", reader.device()};
  args.insert(args.end(), c.scan.begin(), c.scan.end());
  const CheckRun run = CheckRun::Run(args);
  SCOPED_TRACE(run.out + run.err);
  EXPECT_EQ(run.status, c.status);
  const Table table = Parse(run.out);
  EXPECT_EQ(table.readers, c.readers);
  for (const std::string& problem : c.problems) EXPECT_TRUE(Has(table.problems, problem)) << problem;
  if (c.problems.empty()) {
    EXPECT_TRUE(table.problems.empty());
  }
  for (const std::string& note : c.notes) EXPECT_TRUE(Has(table.notes, note)) << note;
  EXPECT_TRUE(std::regex_search(run.out, std::regex(R"(found in \d+\.\d s)")));
}

const ScanCase kScans[] = {
    {"binary1200", {"--baud", "1200", "--family", "D5"}, {}, {"1200 - Mode 3"}, {}, {"Wimsel series"}, 0},
    {"ascii9600", {"--baud", "9600", "--mode", "1"}, {"--options"}, {"9600 - Mode 1"}, {}, {"OPEN"}, 0},
    {"ascii38400", {"--baud", "38400", "--mode", "0", "--options", "L"}, {}, {"38400 - ASCII"}, {}, {}, 0},
    {"binary115200", {"--baud", "115200", "--options", "I"}, {"--options"}, {"115200 - Mode 3"}, {}, {" I "}, 0},
    {"severalIds",
     {"--baud", "9600", "--ids", "3,7,12"},
     {"--speeds", "1200,9600", "--ids", "0-15"},
     {"9600 3 Mode 3", "9600 7 Mode 3", "9600 12 Mode 3"},
     {},
     {},
     0},
    {"twins",
     {"--baud", "38400", "--ids", "4,9", "--twin", "9"},
     {"--speeds", "38400", "--ids", "0-10"},
     {"38400 4 Mode 3", "38400 9 Mode 3"},
     {"ID 9: collision: 2 answers to one request"},
     {"collision"},
     0},
    {"slow",
     {"--baud", "9600", "--ids", "2", "--reply-delay", "400"},
     {"--speeds", "9600", "--ids", "0-5"},
     {"9600 2 Mode 3"},
     {},
     {"late reply"},
     0},
    {"broken",
     {"--baud", "9600", "--reply-fault", "checksum"},
     {"--speeds", "9600"},
     {},
     {"binary frames, ID -: chksum error (tx 7E 3F | rx 02 02 F0 F1 03)"},
     {},
     1},
    {"brokenEndFlagInIdMode",
     {"--baud", "9600", "--ids", "6", "--reply-fault", "endflag"},
     {"--speeds", "9600", "--ids", "5-7"},
     {},
     {"ID 6: end flag error"},
     {},
     1},
    {"silent", {"--baud", "9600", "--deaf"}, {"--speeds", "9600,38400"}, {}, {}, {}, 1},
};

INSTANTIATE_TEST_SUITE_P(Check, Scans, testing::ValuesIn(kScans),
                         [](const testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.name); });

// Four speeds, both encodings and 32 IDs: the scan's time is printed (the
// figure is the README's; no test times it).
TEST(Scan, FullScanOfEveryIdFindsTheReadersAtTheEnds) {
  ReaderProcess reader({"--speed-match", "--no-powerup", "--baud", "115200", "--ids", "0,31"});
  const CheckRun run = CheckRun::Run({"scan", reader.device(), "--ids", "0-31", "--json"});
  SCOPED_TRACE(run.out + run.err);
  EXPECT_EQ(run.status, 0);
  const std::string port = "{\"port\":\"" + reader.device() + "\",";
  EXPECT_EQ(run.out,
            port + "\"speed\":115200,\"id\":0,\"format\":\"Mode 3\",\"family\":\"Orvane series\",\"status\":\"F0\","
                   "\"switch\":\"OPEN\",\"output1\":false,\"output2\":false,\"buzzer\":false,\"options\":null,"
                   "\"notes\":[]}\n" +
                port + "\"speed\":115200,\"id\":31,\"format\":\"Mode 3\",\"family\":\"Orvane series\",\"status\":\"F0\","
                   "\"switch\":\"OPEN\",\"output1\":false,\"output2\":false,\"buzzer\":false,\"options\":null,"
                   "\"notes\":[]}\n");
  EXPECT_TRUE(std::regex_search(run.err, std::regex(R"(scan: 2 found in \d+(\.\d+)? s)")));
}

// Two lines at once: the JSON objects carry their port, the table shows
// each line under its name, and a line that cannot be opened ends alone.
TEST(Scan, SeveralLinesAtOnce) {
  ReaderProcess first({"--speed-match", "--no-powerup", "--baud", "9600", "--ids", "3"});
  ReaderProcess second({"--speed-match", "--no-powerup", "--baud", "9600", "--ids", "5"});
  const CheckRun json = CheckRun::Run({"scan", first.device(), second.device(), "--speeds", "9600", "--ids", "3",
                                       "--json"});
  SCOPED_TRACE(json.out + json.err);
  EXPECT_EQ(json.status, 1) << "no reader answers ID 3 on the second line";
  EXPECT_EQ(json.out.rfind("{\"port\":\"" + first.device() + "\",\"speed\":9600,\"id\":3,", 0), 0u);
  EXPECT_NE(json.err.find(second.device() + ": scan: 0 found in "), std::string::npos);

  const std::string missing = "/dev/trellum-no-such-port";
  const CheckRun table =
      CheckRun::Run({"scan", first.device(), missing, second.device(), "--speeds", "9600", "--ids", "3,5"});
  SCOPED_TRACE(table.out + table.err);
  EXPECT_EQ(table.status, 2);
  EXPECT_EQ(Lines(table.out, "line "), (std::vector<std::string>{"line " + first.device(), "line " + second.device()}));
  const std::vector<std::string> rows = Lines(table.out, "9600 ");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].rfind("9600    3 ", 0), 0u) << "the first line's reader comes first";
  EXPECT_EQ(rows[1].rfind("9600    5 ", 0), 0u);
  EXPECT_NE(table.err.find("trellum-check: " + missing + ": Unable to open com port (win error code: 2)"),
            std::string::npos);
}

TEST(Scan, PortThatCannotOpenIsAUsageOrPortError) {
  const CheckRun run = CheckRun::Run({"scan", "/dev/trellum-no-such-port"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "trellum-check: Unable to open com port (win error code: 2)\n");
  EXPECT_EQ(run.out, "");
}

}  // namespace
