#pragma once

#include <optional>
#include <string>
#include <vector>

// The process's language as it stood when this was made: the environment
// that picks the catalogue language, the message locale and the folders of
// the program's text domains. A test that loads catalogues holds one; its
// end puts all of that back and translates the port error texts again, so
// the next test in the process starts as the process did.
class SavedLanguage {
 public:
  SavedLanguage();
  ~SavedLanguage();
  SavedLanguage(const SavedLanguage&) = delete;
  SavedLanguage& operator=(const SavedLanguage&) = delete;

  // Loads the catalogues under folder for the language lang (a LANG value),
  // as the program does at start.
  static void Load(const char* lang, const std::string& folder);

 private:
  std::optional<std::string> lang_;
  std::optional<std::string> language_;
  std::string messageLocale_;
  std::vector<std::string> domainFolders_;
};
