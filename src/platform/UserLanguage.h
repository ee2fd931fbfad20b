#pragma once

#include <string>

// The language of the message catalogues: LANG cut at its first "." (de_DE.UTF-8
// gives de_DE), else the user's locale in the same form (Windows' "de-DE"
// gives de_DE); empty when neither names one.
std::string UserLanguage();

// The user's locale alone, in that form: LC_ALL or LC_MESSAGES on POSIX,
// GetUserDefaultLocaleName on Windows.
std::string UserLocaleLanguage();
