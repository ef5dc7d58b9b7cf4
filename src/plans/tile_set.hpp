#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace meshweave {

// Inserting into a TileSet's storage. Loops take this view into a local: a byte
// stored through the set's own member may be, for the compiler, any object at
// all, the member included, which would then be read again after every insert.
class TileSetView {
 public:
  explicit TileSetView(std::span<std::uint8_t> seen) noexcept : seen_(seen) {}

  // Adds `tile`, which must lie below the tile count; false when it was already there.
  bool insert(std::uint16_t tile) const noexcept {
    std::uint8_t& seen = seen_[tile];
    const bool added = seen == 0;
    seen = 1;
    return added;
  }

 private:
  std::span<std::uint8_t> seen_;
};

// Membership of logical tiles below a fixed count, one byte per tile: a test
// and a store per insert, cheaper than the shifts and masks of a bitmap. Tables
// of up to 4096 tiles (the M1472 card among them) keep it on the stack and
// clear only the tiles they have; larger ones allocate it once.
class TileSet {
 public:
  explicit TileSet(std::size_t tile_count) {
    // Logical numbers are 16-bit, so larger tables need no more entries than this.
    const std::size_t addressable = std::min<std::size_t>(tile_count, std::size_t{1} << 16);
    if (addressable <= inline_tiles) {
      seen_ = std::span{inline_seen_}.first(addressable);
      std::ranges::fill(seen_, std::uint8_t{0});
    } else {
      heap_seen_.resize(addressable);
      seen_ = heap_seen_;
    }
  }
  TileSet(const TileSet&) = delete;
  TileSet& operator=(const TileSet&) = delete;

  TileSetView view() noexcept { return TileSetView{seen_}; }

 private:
  static constexpr std::size_t inline_tiles = 4096;

  // Only the first tile_count entries are used, and those are cleared.
  std::array<std::uint8_t, inline_tiles> inline_seen_;
  std::vector<std::uint8_t> heap_seen_;
  std::span<std::uint8_t> seen_;
};

}  // namespace meshweave
