#pragma once

#include <cstdint>
#include <initializer_list>

// A set of the values of an enumeration whose ordinals run from 0 to 31:
// bit n of Bits() holds the value with ordinal n.
template <typename E>
class EnumSet {
 public:
  constexpr EnumSet() = default;
  constexpr EnumSet(std::initializer_list<E> values) {
    for (E v : values) bits_ |= Bit(v);
  }
  static constexpr EnumSet FromBits(uint32_t bits) {
    EnumSet s;
    s.bits_ = bits;
    return s;
  }

  constexpr bool Contains(E v) const { return (bits_ & Bit(v)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr uint32_t Bits() const { return bits_; }
  constexpr EnumSet& Include(E v) {
    bits_ |= Bit(v);
    return *this;
  }
  constexpr EnumSet& Exclude(E v) {
    bits_ &= ~Bit(v);
    return *this;
  }
  constexpr EnumSet operator|(EnumSet o) const { return FromBits(bits_ | o.bits_); }
  constexpr EnumSet operator&(EnumSet o) const { return FromBits(bits_ & o.bits_); }
  constexpr bool operator==(const EnumSet&) const = default;

 private:
  static constexpr uint32_t Bit(E v) { return uint32_t{1} << static_cast<unsigned>(v); }
  uint32_t bits_ = 0;
};
