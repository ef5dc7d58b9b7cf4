#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace meshweave {

// Membership of logical tiles below a fixed count, as a bitmap. Tables of up to
// 4096 tiles (the M1472 card among them) keep it on the stack; larger ones
// allocate it once.
class TileSet {
 public:
  explicit TileSet(std::size_t tile_count) {
    // Logical numbers are 16-bit, so larger tables need no more bits than this.
    const std::size_t addressable = std::min<std::size_t>(tile_count, std::size_t{1} << 16);
    const std::size_t words = (addressable + bits_per_word - 1) / bits_per_word;
    if (words <= inline_words) {
      bits_ = std::span{inline_bits_}.first(words);
    } else {
      heap_bits_.resize(words);
      bits_ = heap_bits_;
    }
  }
  TileSet(const TileSet&) = delete;
  TileSet& operator=(const TileSet&) = delete;

  // Adds `tile`, which must lie below the tile count; false when it was already there.
  bool insert(std::uint16_t tile) noexcept {
    std::uint64_t& word = bits_[tile / bits_per_word];
    const std::uint64_t bit = std::uint64_t{1} << (tile % bits_per_word);
    const bool added = (word & bit) == 0;
    word |= bit;
    return added;
  }

 private:
  static constexpr std::size_t bits_per_word = 64;
  static constexpr std::size_t inline_words = 64;

  std::array<std::uint64_t, inline_words> inline_bits_{};
  std::vector<std::uint64_t> heap_bits_;
  std::span<std::uint64_t> bits_;
};

}  // namespace meshweave
