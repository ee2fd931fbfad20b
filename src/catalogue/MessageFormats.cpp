#include "MessageCatalogue.h"

#include <cstring>
#include <optional>
#include <vector>

namespace {

// Skips a field width or precision. More than two digits would let a
// catalogue blow one message up to gigabytes, so such a format is refused.
bool SkipSmallNumber(const std::string& format, size_t& i) {
  const size_t start = i;
  while (i < format.size() && format[i] >= '0' && format[i] <= '9') ++i;
  return i - start <= 2;
}

// The conversions of a printf format ("d", "ld", "s" ...) in order, or
// nothing when the format holds one that cannot be checked against the
// arguments ("%n", "*", "$", an unknown or unfinished conversion).
std::optional<std::vector<std::string>> Conversions(const std::string& format) {
  std::vector<std::string> found;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (++i >= format.size()) return std::nullopt;
    if (format[i] == '%') continue;
    while (i < format.size() && std::strchr("-+ #0", format[i])) ++i;
    if (!SkipSmallNumber(format, i)) return std::nullopt;
    if (i < format.size() && format[i] == '.') {
      ++i;
      if (!SkipSmallNumber(format, i)) return std::nullopt;
    }
    std::string conversion;
    while (i < format.size() && std::strchr("hlLqjzt", format[i])) conversion += format[i++];
    if (i >= format.size() || !std::strchr("diouxXcsfFeEgGaAp", format[i])) return std::nullopt;
    conversion += format[i] == 'i' ? 'd' : format[i];
    found.push_back(conversion);
  }
  return found;
}

}  // namespace

bool SameConversions(const std::string& format, const std::string& reference) {
  const auto mine = Conversions(format);
  const auto expected = Conversions(reference);
  return mine && expected && *mine == *expected;
}

std::string TranslateFormat(const std::string& englishFormat) {
  std::string translated = TranslateText(englishFormat);
  return SameConversions(translated, englishFormat) ? translated : englishFormat;
}
