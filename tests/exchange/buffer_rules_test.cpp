#include "meshweave/exchange/buffer_rules.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <limits>

namespace meshweave {
namespace {

// The edges of tile memory, and values far enough out that a sum would wrap.
TEST(BufferRules, BufferFitsTileMemoryUpToTheLastWord) {
  constexpr std::uint64_t huge = std::numeric_limits<std::uint64_t>::max();
  struct Case {
    std::uint64_t address;
    std::uint64_t words;
    bool fits;
  };
  const Case cases[] = {
      {0, 0x40000, true},   {0, 0x40001, false},   {0xffffc, 1, true},   {0xffffc, 2, false},
      {0x100000, 0, true},  {0x100000, 1, false},  {0x100004, 0, false}, {0, huge, false},
      {huge - 3, 1, false}, {0x50000, 4148, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(buffer_fits_tile_memory(c.address, c.words), c.fits)
        << c.address << " + " << c.words << " words";
  }
}

TEST(BufferRules, AddressesAndDestinationCounts) {
  EXPECT_TRUE(in_tile_memory(0xfffff));
  EXPECT_FALSE(in_tile_memory(TILE_MEMORY_BYTES));
  EXPECT_TRUE(is_word_aligned(0x50000));
  EXPECT_FALSE(is_word_aligned(0x50002));
  struct Case {
    std::size_t addresses;
    std::size_t receivers;
    bool fits;
  };
  const Case cases[] = {{1, 1, true},  {1, 5, true},  {5, 5, true},
                        {0, 5, false}, {2, 5, false}, {6, 5, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(destination_count_fits(c.addresses, c.receivers), c.fits)
        << c.addresses << " for " << c.receivers;
  }
}

}  // namespace
}  // namespace meshweave
