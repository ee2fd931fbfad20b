#include "RecordOption.h"

#include <string_view>

bool TakeRecordOption(int& argc, char** argv, std::string& path, std::string& error) {
  constexpr std::string_view kOption = "--record";
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == kOption) {
      if (i + 1 >= argc || std::string_view(argv[i + 1]).empty()) {
        error = "--record needs a file";
        return false;
      }
      path = argv[++i];
    } else if (argument.substr(0, kOption.size() + 1) == "--record=") {
      path = argument.substr(kOption.size() + 1);
      if (path.empty()) {
        error = "--record needs a file";
        return false;
      }
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  argv[argc] = nullptr;
  return true;
}
