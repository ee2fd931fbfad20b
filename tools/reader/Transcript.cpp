#include "Transcript.h"

#include "Failure.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace vreader {

Transcript::Transcript(const std::string& path) {
  if (path.empty()) return;
  file_ = std::fopen(path.c_str(), "w");
  if (!file_) throw Failure("cannot write the transcript " + path + ": " + std::strerror(errno));
}

Transcript::~Transcript() {
  if (file_) std::fclose(file_);
}

void Transcript::record(const char* direction, std::span<const std::uint8_t> bytes) {
  if (!file_ || bytes.empty()) return;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  std::fprintf(file_, "%lld.%06ld %s %s\n", static_cast<long long>(now.tv_sec), now.tv_nsec / 1000, direction,
               hex(bytes).c_str());
  std::fflush(file_);
}

}  // namespace vreader
