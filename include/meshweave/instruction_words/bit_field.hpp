#pragma once

#include <cstdint>

namespace meshweave {

// A named field of a 32-bit instruction word: `Width` bits starting at bit `Low`.
// Every word layout in the library is written as a handful of these, so a field's
// position is stated once and both encoders and decoders read it from the same place.
template <unsigned Low, unsigned Width>
struct BitField {
  static_assert(Width >= 1 && Low + Width <= 32, "field must lie inside a 32-bit word");

  static constexpr unsigned low = Low;
  static constexpr unsigned width = Width;
  static constexpr std::uint32_t max = Width == 32 ? 0xffffffffu : ((1u << Width) - 1u);
  static constexpr std::uint32_t mask = max << Low;

  static constexpr bool fits(std::uint32_t value) noexcept { return value <= max; }
  // The value cut to the field's width and moved into place.
  static constexpr std::uint32_t place(std::uint32_t value) noexcept {
    return (value & max) << Low;
  }
  static constexpr std::uint32_t get(std::uint32_t word) noexcept { return (word >> Low) & max; }
  // `word` with this field replaced and every other bit kept.
  static constexpr std::uint32_t set(std::uint32_t word, std::uint32_t value) noexcept {
    return (word & ~mask) | place(value);
  }
};

// A word kind recognised by its fixed bits: (word & mask) == pattern.
struct WordPattern {
  std::uint32_t mask;
  std::uint32_t pattern;

  constexpr bool matches(std::uint32_t word) const noexcept { return (word & mask) == pattern; }
};

}  // namespace meshweave
