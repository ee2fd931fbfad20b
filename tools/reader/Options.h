#pragma once

#include "CardCode.h"
#include "Fault.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vreader {

struct Options {
  std::string device;  // empty: a new pseudo-terminal
  std::string link;
  int baud = 9600;
  std::vector<std::uint8_t> ids;  // empty: one reader, ID mode off
  std::uint8_t startFlag = 0x02;
  std::uint8_t optionBits = 0x08;  // FMT0, FMT1 and NO BEEP on, REPEAT off
  int periodMs = 0;
  CardCode card{258, 197637};
  std::string script;
  std::string transcript;
  double faultRate = 0;
  int faultGapMs = 0;
  int commandGapMs = 500;  // a command unfinished this long after its last byte is junk
  std::vector<FaultKind> faults{std::begin(AllFaults), std::end(AllFaults)};
  std::uint64_t seed = 1;
  // Faults of the readers' answers to commands, for the tests of trellum-check.
  bool speedMatch = false;               // answer only while the line runs at --baud
  std::vector<std::uint8_t> twins;       // a second reader with each of these IDs
  int replyDelayMs = 0;                  // answers this late
  std::optional<FaultKind> replyFault;   // answers broken this way
  bool deaf = false;                     // no answers at all
  std::string relayFault;                // "stuck" (stays on after a pulse), "dead" (never on)
  bool optionFault = false;              // "o" stores the options with REPEAT flipped
  bool powerUp = true;
  bool quitOnEof = false;
  bool help = false;
};

// Throws cmdline::UsageError with a message naming the bad option.
Options parseOptions(int argc, char** argv);
const char* usageText();

}  // namespace vreader
