#pragma once

#include "Wire.h"

#include <cstdio>
#include <string>

namespace vreader {

// One line per burst: "<monotonic seconds with 6 decimals> <rx|tx> <hex bytes>",
// rx for bytes the reader received, tx for bytes it sent.
class Transcript {
 public:
  explicit Transcript(const std::string& path);
  ~Transcript();
  Transcript(const Transcript&) = delete;
  Transcript& operator=(const Transcript&) = delete;

  void record(const char* direction, std::span<const std::uint8_t> bytes);

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace vreader
