#include "UserLanguage.h"

#include <cstdlib>

std::string UserLanguage() {
  const char* lang = std::getenv("LANG");
  if (lang && *lang) {
    const std::string language(lang);
    return language.substr(0, language.find('.'));
  }
  return UserLocaleLanguage();
}
