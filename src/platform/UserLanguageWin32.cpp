#include <windows.h>

#include "UserLanguage.h"

std::string UserLocaleLanguage() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH];
  const int length = GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
  if (length <= 1) return {};
  // Locale names are ASCII ("de-DE", "sr-Latn-RS"); catalogues use "_".
  std::string language;
  for (int i = 0; i + 1 < length; ++i) language += name[i] == L'-' ? '_' : char(name[i]);
  return language;
}
