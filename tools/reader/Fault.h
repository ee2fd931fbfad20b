#pragma once

#include "FaultKind.h"
#include "Random.h"
#include "Reader.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vreader {

// The bytes of one fault, built from the reader's card report for the code:
//   checksum  the frame with its checksum plus one
//   endflag   the frame closed by its end flag plus one (never a start flag)
//   length    the frame with length byte 0x07
//   cut       the first half of the frame or line, then nothing
//   noise     3 to 8 random bytes, never a start flag, line feed or carriage return
//   id        the frame with an ID byte of 0x20 or more (replacing or inserted after the start flag)
Bytes faultBytes(FaultKind kind, const Reader& reader, const CardCode& code, Random& random);
// A report of the reader broken as a fault of the kind breaks a card frame
// (checksum, endflag, length: binary frames only; cut: both encodings).
Bytes breakReport(FaultKind kind, const Reader& reader, Bytes report);

}  // namespace vreader
