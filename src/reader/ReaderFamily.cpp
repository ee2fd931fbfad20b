#include "ReaderFamily.h"

#include <array>

namespace {

constexpr std::array<ReaderFamily, 4> kFamilies{{
    {0x02, 0x03, "Orvane series"},
    {0xD5, 0xDA, "Wimsel series"},
    {0xE5, 0xEA, "Pallox series"},
    {0xF5, 0xFA, "Yorvel series"},
}};

}  // namespace

const ReaderFamily* FamilyForStartFlag(std::uint8_t startFlag) {
  for (const ReaderFamily& family : kFamilies) {
    if (family.StartFlag == startFlag) return &family;
  }
  return nullptr;
}
