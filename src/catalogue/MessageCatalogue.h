#pragma once

#include <string>

// GNU gettext catalogues of the program: MO files named after their text
// domain ("default", then "cport"), under <folder>/locale/<language>/LC_MESSAGES.
// The language ("de_DE", "de"; empty for the system's choice) is the
// caller's, which knows the platform; texts are returned in UTF-8.
//
// Called once at start-up, after the Qt application object exists (which
// sets the process locale), with the folder of the executable; the texts
// translated once (the port's error table) are translated after it. Tests
// call it again with another language.
void LoadMessageCatalogues(const std::string& executableFolder, const std::string& language);

// The text in the first catalogue that translates it, or the text itself.
std::string TranslateText(const std::string& english);

// A translated printf format, used only when its conversions are exactly
// those of the English format (flags, width and precision aside; "%%" is
// free); otherwise, and for any "%n", "*" or "$", the English format.
std::string TranslateFormat(const std::string& englishFormat);

// True when both formats hold the same conversions in the same order and
// none that could read or write beyond the arguments.
bool SameConversions(const std::string& format, const std::string& reference);
