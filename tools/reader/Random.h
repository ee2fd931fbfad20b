#pragma once

#include <cstdint>

namespace vreader {

// splitmix64: the same sequence for a seed on every platform and library.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  unsigned below(unsigned bound) { return unsigned(next() % bound); }
  double unit() { return double(next() >> 11) / double(1ULL << 53); }

 private:
  std::uint64_t state_;
};

}  // namespace vreader
