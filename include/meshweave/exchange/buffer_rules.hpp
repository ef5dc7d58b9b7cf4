#pragma once

#include <cstddef>
#include <cstdint>

#include "meshweave/instruction_words/control_words.hpp"

namespace meshweave {

// Bytes of one tile's memory: SEND and PIC words address its 2^18 words. The
// whole of a transfer's source and destination buffers must lie below it.
inline constexpr std::uint32_t TILE_MEMORY_BYTES = 0x100000;
static_assert(TILE_MEMORY_BYTES == (send_word::BaseWord::max + 1) * 4 &&
              TILE_MEMORY_BYTES == (pic_word::Address::max + 1) * 4);

// The rules a transfer's buffers follow. The compiler applies them to a whole
// description; a reader may apply them value by value to say where a file breaks
// one. Addresses are tile-memory bytes, wide enough for any value read.

// A buffer starts inside tile memory...
constexpr bool in_tile_memory(std::uint64_t byte_address) noexcept {
  return byte_address < TILE_MEMORY_BYTES;
}
// ...on a word boundary...
constexpr bool is_word_aligned(std::uint64_t byte_address) noexcept {
  return byte_address % 4 == 0;
}
// ...and its last word is inside tile memory too.
constexpr bool buffer_fits_tile_memory(std::uint64_t byte_address, std::uint64_t words) noexcept {
  // Compared without a sum that could wrap round.
  return byte_address <= TILE_MEMORY_BYTES && words <= (TILE_MEMORY_BYTES - byte_address) / 4;
}

// A multicast gives one destination address shared by every receiver, or one per
// receiver in receiver order.
constexpr bool destination_count_fits(std::size_t addresses, std::size_t receivers) noexcept {
  return addresses == 1 || addresses == receivers;
}

}  // namespace meshweave
