#pragma once

#include "FaultKind.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vreader {

// What one reader plays: its options at start and the faults of its answers
// to commands (for the tests of trellum-check).
struct ReaderSetup {
  std::uint8_t optionBits = 0x08;       // FMT0, FMT1 and NO BEEP on, REPEAT off
  int replyDelayMs = 0;                 // answers this late
  std::optional<FaultKind> replyFault;  // answers broken this way
  bool deaf = false;                    // no answers at all
  std::string relayFault;               // "stuck" (stays on after a pulse), "dead" (never on)
  bool optionFault = false;             // "o" stores the options with REPEAT flipped
};

}  // namespace vreader
