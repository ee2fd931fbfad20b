#include "MessageCatalogue.h"

#include "ComError.h"

// Without GNU gettext (the Windows build) every text stays English.
void LoadMessageCatalogues(const std::string&, const std::string&) { TranslatePortErrorTexts(); }

std::string TranslateText(const std::string& english) { return english; }
