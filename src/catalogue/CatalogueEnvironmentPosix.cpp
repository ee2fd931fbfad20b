#include <cstdlib>

#include "CatalogueEnvironment.h"

// gettext's count of catalogue changes.
extern "C" int _nl_msg_cat_cntr;

void SetEnvironmentValue(const char* name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

void ForgetCachedTranslations() { ++_nl_msg_cat_cntr; }
