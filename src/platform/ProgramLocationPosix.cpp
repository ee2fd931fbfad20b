#include "ProgramLocation.h"

#include <unistd.h>

#include <vector>

std::string ExecutablePath() {
  // readlink does not say whether it cut the path: a result that fills the
  // buffer is read again with a larger one.
  for (size_t size = 256; size <= 65536; size *= 2) {
    std::vector<char> buffer(size);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (size_t(length) < buffer.size()) return std::string(buffer.data(), size_t(length));
  }
  return {};
}

std::string ExecutableFolder() {
  const std::string path = ExecutablePath();
  const size_t separator = path.rfind('/');
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}
