#include <cstdlib>

#include "UserLanguage.h"

std::string UserLocaleLanguage() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES"}) {
    const char* value = std::getenv(name);
    if (value && *value) {
      const std::string language(value);
      return language.substr(0, language.find('.'));
    }
  }
  return {};
}
