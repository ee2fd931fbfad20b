#include "SavedLanguage.h"

#include <libintl.h>

#include <locale.h>
#include <cstdlib>

#include "CatalogueEnvironment.h"
#include "ComError.h"
#include "MessageCatalogue.h"

namespace {

// The text domains LoadMessageCatalogues binds.
const char* const kDomains[] = {"default", "cport"};

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

}  // namespace

SavedLanguage::SavedLanguage()
    : lang_(Variable("LANG")), language_(Variable("LANGUAGE")), messageLocale_(setlocale(LC_MESSAGES, nullptr)) {
  // A domain never bound answers with gettext's default folder.
  for (const char* domain : kDomains) domainFolders_.emplace_back(bindtextdomain(domain, nullptr));
}

SavedLanguage::~SavedLanguage() {
  SetEnvironmentValue("LANG", lang_);
  SetEnvironmentValue("LANGUAGE", language_);
  setlocale(LC_MESSAGES, messageLocale_.c_str());
  for (size_t i = 0; i < domainFolders_.size(); ++i) bindtextdomain(kDomains[i], domainFolders_[i].c_str());
  // Translations cached for the test's language must not outlive it.
  ForgetCachedTranslations();
  TranslatePortErrorTexts();
}

void SavedLanguage::Load(const char* lang, const std::string& folder) {
  SetEnvironmentValue("LANG", lang);
  const std::string language(lang);
  LoadMessageCatalogues(folder, language.substr(0, language.find('.')));
  TranslatePortErrorTexts();
}
