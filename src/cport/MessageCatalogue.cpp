#include "MessageCatalogue.h"

#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "ComError.h"

// gettext's count of catalogue changes: glibc caches translations until it
// moves, and a new LANGUAGE alone does not move it.
extern "C" int _nl_msg_cat_cntr;

namespace {

const char* const kDomains[] = {"default", "cport"};

// The language named by the environment: LANG first, else the variables of
// the user's locale, cut at the first "." (de_DE.UTF-8 gives de_DE).
std::string EnvironmentLanguage() {
  for (const char* name : {"LANG", "LC_ALL", "LC_MESSAGES"}) {
    const char* value = std::getenv(name);
    if (value && *value) {
      std::string language(value);
      return language.substr(0, language.find('.'));
    }
  }
  return {};
}

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

void LoadMessageCatalogues(const std::string& executableFolder) {
  const std::string language = EnvironmentLanguage();
  if (!language.empty()) setenv("LANGUAGE", language.c_str(), 1);
  ++_nl_msg_cat_cntr;
  // glibc ignores LANGUAGE while LC_MESSAGES is "C"; a system without the
  // user's locale still translates under C.UTF-8.
  const char* current = std::setlocale(LC_MESSAGES, "");
  if (!current || std::strcmp(current, "C") == 0 || std::strcmp(current, "POSIX") == 0) {
    std::setlocale(LC_MESSAGES, "C.UTF-8");
  }
  const std::string folder = executableFolder + "/locale";
  for (const char* domain : kDomains) {
    bindtextdomain(domain, folder.c_str());
    bind_textdomain_codeset(domain, "UTF-8");
  }
  TranslatePortErrorTexts();
}

std::string TranslateText(const std::string& english) {
  for (const char* domain : kDomains) {
    const char* translated = dgettext(domain, english.c_str());
    if (english != translated) return translated;
  }
  return english;
}

bool SameConversions(const std::string& format, const std::string& reference) {
  const auto mine = Conversions(format);
  const auto expected = Conversions(reference);
  return mine && expected && *mine == *expected;
}

std::string TranslateFormat(const std::string& englishFormat) {
  std::string translated = TranslateText(englishFormat);
  return SameConversions(translated, englishFormat) ? translated : englishFormat;
}
