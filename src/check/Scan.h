#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

class CheckLine;

struct ScanSettings {
  std::vector<unsigned> speeds{1200, 9600, 38400, 115200};
  std::vector<int> ids;  // empty: ID mode off
  bool options = false;  // ask each reader found for its options too
};

struct FoundReader {
  unsigned speed = 0;
  std::optional<int> id;
  bool binary = true;              // "Mode 3"; otherwise one of the ASCII modes
  std::optional<int> optionBits;   // with --options, when the reader answered
  std::string family;              // of binary frames
  std::uint8_t status = 0xF0;
  std::vector<std::string> notes;  // collisions, late replies
};

struct LineProblem {
  unsigned speed = 0;
  bool binary = true;
  std::optional<int> asked;  // the ID asked, in ID mode
  std::string what;
  std::string bytes;
};

struct ScanResult {
  std::string port;
  std::vector<FoundReader> readers;
  std::vector<LineProblem> problems;
  double seconds = 0;
};

// How long a status request waits for its answers after the command's RTS
// cycle: 30 ms, plus two replies of 10 bytes at the speed, so that a second
// answer to the same request is heard as well.
int ReplyWait(unsigned baud);
// How long the line is listened to after the last request of a pass, for late replies.
inline constexpr int kLateListen = 300;

// Asks every speed, encoding and ID of the settings for the I/O status and
// gathers the readers that answer and the problems seen on the line, with
// progress on `progress`. The line is closed afterwards.
ScanResult Scan(CheckLine& line, const ScanSettings& settings, std::ostream& progress);

// One row per reader under a heading, then one line per problem and the time.
void PrintScanTable(std::ostream& out, const ScanResult& result);
// One JSON object a line, each with its port: the readers, then the problems
// ({"problem": ...}).
void PrintScanJson(std::ostream& out, const ScanResult& result);
