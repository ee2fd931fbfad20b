#pragma once

#include "CardCode.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vreader {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t StartFlags[] = {0x02, 0xD5, 0xE5, 0xF5};

bool isStartFlag(std::uint8_t b);
// The end flag that closes a frame opened by a start flag (0x02 -> 0x03, 0xD5 -> 0xDA, ...).
std::uint8_t endFlagFor(std::uint8_t startFlag);
std::uint8_t checksumOf(std::span<const std::uint8_t> data);

// Start flag, [ID], length (data + checksum), data, checksum, end flag.
Bytes binaryFrame(std::uint8_t startFlag, std::optional<std::uint8_t> id, std::span<const std::uint8_t> data);
// The text closed by line feed then carriage return.
Bytes asciiLine(std::string_view text);

// A card code in the ASCII modes:
//   mode 0: both numbers in decimal, 5 and 10 digits, joined by a comma ("00258,0000197637")
//   mode 1: the five data bytes as 10 upper-case hexadecimal digits ("0102030405")
//   mode 2: the 40-bit code as one 13-digit decimal number ("0004328719365")
std::string cardText(int asciiMode, const CardCode& code);

std::string hex(std::span<const std::uint8_t> bytes);

}  // namespace vreader
