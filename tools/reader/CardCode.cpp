#include "CardCode.h"

#include <charconv>
#include <stdexcept>

namespace vreader {

namespace {

std::uint64_t parseNumber(std::string_view text, std::uint64_t max, std::string_view whole) {
  std::uint64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > max)
    throw std::invalid_argument("bad card code \"" + std::string(whole) +
                                "\" (FIRST:SECOND with FIRST 0..65535 and SECOND 0..16777215,"
                                " or one number below 2^40)");
  return value;
}

}  // namespace

std::array<std::uint8_t, 5> CardCode::bytes() const {
  return {std::uint8_t(first >> 8), std::uint8_t(first), std::uint8_t(second >> 16), std::uint8_t(second >> 8),
          std::uint8_t(second)};
}

CardCode CardCode::next() const { return {first, (second + 1) & 0xFFFFFF}; }

std::string CardCode::label() const { return std::to_string(first) + ":" + std::to_string(second); }

CardCode parseCardCode(std::string_view text) {
  auto colon = text.find(':');
  if (colon == std::string_view::npos) {
    auto value = parseNumber(text, (std::uint64_t(1) << 40) - 1, text);
    return {std::uint16_t(value >> 24), std::uint32_t(value & 0xFFFFFF)};
  }
  return {std::uint16_t(parseNumber(text.substr(0, colon), 0xFFFF, text)),
          std::uint32_t(parseNumber(text.substr(colon + 1), 0xFFFFFF, text))};
}

}  // namespace vreader
