#include <cstdlib>

#include "CatalogueEnvironment.h"

// libintl's count of catalogue changes, data exported by libintl-8.dll.
extern "C" __declspec(dllimport) int _nl_msg_cat_cntr;

// The C runtime's environment, which libintl reads (both use msvcrt.dll).
void SetEnvironmentValue(const char* name, const std::optional<std::string>& value) {
  _putenv_s(name, value ? value->c_str() : "");
}

void ForgetCachedTranslations() { ++_nl_msg_cat_cntr; }
