#include "MessageCatalogue.h"

#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

#include "ComError.h"

// gettext's count of catalogue changes: glibc caches translations until it
// moves, and a new LANGUAGE alone does not move it.
extern "C" int _nl_msg_cat_cntr;

namespace {

const char* const kDomains[] = {"default", "cport"};

}  // namespace

void LoadMessageCatalogues(const std::string& executableFolder, const std::string& language) {
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
