#include "ProtocolText.h"

#include <cstdio>

std::string HexByte(std::uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

std::string CardCodeLine(std::uint32_t first, std::uint32_t second) {
  char line[32];
  std::snprintf(line, sizeof line, "%5.5u:%10.10u", static_cast<unsigned>(first), static_cast<unsigned>(second));
  return line;
}

std::string TraceText(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (const char c : bytes) {
    const auto b = static_cast<std::uint8_t>(c);
    if (b == 0x0A) {
      text += "<LF>";
    } else if (b == 0x0D) {
      text += "<CR>";
    } else if (b < 0x20) {
      text += '<' + HexByte(b) + '>';
    } else {
      text += c;
    }
  }
  return text;
}
