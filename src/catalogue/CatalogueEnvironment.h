#pragma once

#include <optional>
#include <string>

// What the message catalogues need of the platform: the process environment,
// which gettext reads for the language, and gettext's cache of translations.

// Sets a variable of the process environment, or removes it (no value).
void SetEnvironmentValue(const char* name, const std::optional<std::string>& value);

// Makes gettext look its translations up again: it caches them until told
// that the catalogues changed, and a new language alone does not tell it.
void ForgetCachedTranslations();
