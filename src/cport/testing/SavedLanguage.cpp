#include "SavedLanguage.h"

#include <libintl.h>

#include <clocale>
#include <cstdlib>

#include "ComError.h"
#include "MessageCatalogue.h"

extern "C" int _nl_msg_cat_cntr;

namespace {

// The text domains LoadMessageCatalogues binds.
const char* const kDomains[] = {"default", "cport"};

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

void Restore(const char* name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

}  // namespace

SavedLanguage::SavedLanguage()
    : lang_(Variable("LANG")), language_(Variable("LANGUAGE")), messageLocale_(std::setlocale(LC_MESSAGES, nullptr)) {
  // A domain never bound answers with gettext's default folder.
  for (const char* domain : kDomains) domainFolders_.emplace_back(bindtextdomain(domain, nullptr));
}

SavedLanguage::~SavedLanguage() {
  Restore("LANG", lang_);
  Restore("LANGUAGE", language_);
  std::setlocale(LC_MESSAGES, messageLocale_.c_str());
  for (size_t i = 0; i < domainFolders_.size(); ++i) bindtextdomain(kDomains[i], domainFolders_[i].c_str());
  // Translations cached for the test's language must not outlive it.
  ++_nl_msg_cat_cntr;
  TranslatePortErrorTexts();
}

void SavedLanguage::Load(const char* lang, const std::string& folder) {
  setenv("LANG", lang, 1);
  const std::string language(lang);
  LoadMessageCatalogues(folder, language.substr(0, language.find('.')));
}
