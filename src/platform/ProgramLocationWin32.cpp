#include "ProgramLocation.h"

#include <windows.h>

#include <vector>

std::string ExecutablePath() {
  // GetModuleFileNameW cuts a long path to the buffer and says so only
  // through ERROR_INSUFFICIENT_BUFFER: such a result is read again.
  for (DWORD size = MAX_PATH; size <= 32768 * 2; size *= 2) {
    std::vector<wchar_t> wide(size);
    SetLastError(0);
    const DWORD length = GetModuleFileNameW(nullptr, wide.data(), size);
    if (length == 0) return {};
    if (length < size && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(length), nullptr, 0, nullptr, nullptr);
      std::string path(size_t(bytes), '\0');
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(length), path.data(), bytes, nullptr, nullptr);
      return path;
    }
  }
  return {};
}

std::string ExecutableFolder() {
  const std::string path = ExecutablePath();
  const size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}
