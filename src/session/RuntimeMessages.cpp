#include "RuntimeMessages.h"

#include <cstdio>
#include <vector>

#include "MessageCatalogue.h"

std::string FormatRuntimeMessage(const char* englishFormat, const std::string& argument) {
  const std::string format = TranslateFormat(englishFormat);
  const int size = std::snprintf(nullptr, 0, format.c_str(), argument.c_str());
  if (size < 0) return englishFormat;
  std::vector<char> buffer(static_cast<size_t>(size) + 1);
  std::snprintf(buffer.data(), buffer.size(), format.c_str(), argument.c_str());
  return std::string(buffer.data(), static_cast<size_t>(size));
}
