#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vreader {

// A card code as the reader reports it: a 16-bit and a 24-bit number,
// five data bytes big-endian on the wire.
struct CardCode {
  std::uint16_t first = 0;
  std::uint32_t second = 0;

  std::array<std::uint8_t, 5> bytes() const;
  std::uint64_t combined() const { return (std::uint64_t(first) << 24) | second; }
  CardCode next() const;
  std::string label() const;
};

// Accepts "FIRST:SECOND" or one 40-bit number; throws std::invalid_argument.
CardCode parseCardCode(std::string_view text);

}  // namespace vreader
