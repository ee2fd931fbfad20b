#include "Wire.h"

#include <algorithm>
#include <cstdio>

namespace vreader {

bool isStartFlag(std::uint8_t b) { return std::ranges::find(StartFlags, b) != std::end(StartFlags); }

std::uint8_t endFlagFor(std::uint8_t startFlag) { return startFlag == 0x02 ? 0x03 : std::uint8_t(startFlag + 5); }

std::uint8_t checksumOf(std::span<const std::uint8_t> data) {
  unsigned sum = 0;
  for (auto b : data) sum += b;
  return std::uint8_t(sum);
}

Bytes binaryFrame(std::uint8_t startFlag, std::optional<std::uint8_t> id, std::span<const std::uint8_t> data) {
  Bytes frame{startFlag};
  if (id) frame.push_back(*id);
  frame.push_back(std::uint8_t(data.size() + 1));
  frame.insert(frame.end(), data.begin(), data.end());
  frame.push_back(checksumOf(data));
  frame.push_back(endFlagFor(startFlag));
  return frame;
}

Bytes asciiLine(std::string_view text) {
  Bytes line(text.begin(), text.end());
  line.push_back('\n');
  line.push_back('\r');
  return line;
}

std::string cardText(int asciiMode, const CardCode& code) {
  char text[32];
  switch (asciiMode) {
    case 0: std::snprintf(text, sizeof text, "%05u,%010u", unsigned(code.first), unsigned(code.second)); break;
    case 1: std::snprintf(text, sizeof text, "%010llX", static_cast<unsigned long long>(code.combined())); break;
    default: std::snprintf(text, sizeof text, "%013llu", static_cast<unsigned long long>(code.combined())); break;
  }
  return text;
}

std::string hex(std::span<const std::uint8_t> bytes) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string text;
  for (auto b : bytes) {
    if (!text.empty()) text += ' ';
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

}  // namespace vreader
