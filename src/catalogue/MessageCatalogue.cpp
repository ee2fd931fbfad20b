#include "MessageCatalogue.h"

#include <libintl.h>

#include <locale.h>
#include <cstring>

#include "CatalogueEnvironment.h"

namespace {

const char* const kDomains[] = {"default", "cport"};

}  // namespace

void LoadMessageCatalogues(const std::string& executableFolder, const std::string& language) {
  if (!language.empty()) SetEnvironmentValue("LANGUAGE", language);
  ForgetCachedTranslations();
  // gettext ignores LANGUAGE while LC_MESSAGES is "C"; a system without the
  // user's locale still translates under C.UTF-8.
  const char* current = setlocale(LC_MESSAGES, "");
  if (!current || std::strcmp(current, "C") == 0 || std::strcmp(current, "POSIX") == 0) {
    setlocale(LC_MESSAGES, "C.UTF-8");
  }
  const std::string folder = executableFolder + "/locale";
  for (const char* domain : kDomains) {
    bindtextdomain(domain, folder.c_str());
    bind_textdomain_codeset(domain, "UTF-8");
  }
}

std::string TranslateText(const std::string& english) {
  for (const char* domain : kDomains) {
    const char* translated = dgettext(domain, english.c_str());
    if (english != translated) return translated;
  }
  return english;
}
