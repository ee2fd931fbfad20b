#pragma once

#include "CardCode.h"
#include "FaultKind.h"
#include "ReaderSetup.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vreader {

struct Options {
  std::string device;  // empty: a new pseudo-terminal
  std::string link;
  int baud = 9600;
  std::vector<std::uint8_t> ids;  // empty: one reader, ID mode off
  std::uint8_t startFlag = 0x02;
  ReaderSetup readers;                           // every reader's, unless --for gives one its own
  std::map<std::uint8_t, ReaderSetup> readerOf;  // the readers given their own with --for ID
  int periodMs = 0;
  CardCode card{258, 197637};
  std::string script;
  std::string transcript;
  double faultRate = 0;
  int faultGapMs = 0;
  int commandGapMs = 500;  // a command unfinished this long after its last byte is junk
  std::vector<FaultKind> faults{std::begin(AllFaults), std::end(AllFaults)};
  std::uint64_t seed = 1;
  bool speedMatch = false;          // answer only while the line runs at --baud
  std::vector<std::uint8_t> twins;  // a second reader with each of these IDs
  bool powerUp = true;
  bool quitOnEof = false;
  bool help = false;

  const ReaderSetup& setupOf(std::uint8_t id) const {
    const auto own = readerOf.find(id);
    return own == readerOf.end() ? readers : own->second;
  }
};

// Throws cmdline::UsageError with a message naming the bad option.
Options parseOptions(int argc, char** argv);
const char* usageText();

}  // namespace vreader
