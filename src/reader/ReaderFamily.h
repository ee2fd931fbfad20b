#pragma once

#include <cstdint>
#include <string>

// A binary frame's start flag names the reader family and fixes the end flag.
struct ReaderFamily {
  std::uint8_t StartFlag;
  std::uint8_t EndFlag;
  const char* Name;
};

// The family a start flag opens, or nullptr for a byte that is no start flag.
const ReaderFamily* FamilyForStartFlag(std::uint8_t startFlag);
