#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "meshweave/plans.hpp"
#include "meshweave/scheduling.hpp"

namespace meshweave {
namespace {

TEST(DelayPadding, FullDelaysFirstThenTheRemainder) {
  struct Case {
    std::uint32_t cycles;
    std::size_t words;
    std::uint32_t first;
    std::uint32_t last;
  };
  const Case cases[] = {
      {0, 0, 0, 0},
      {1, 1, 0x40a00000, 0x40a00000},
      {0x80000, 1, 0x40a7ffff, 0x40a7ffff},
      {0x80001, 2, 0x40a7ffff, 0x40a00000},
      {3 * 0x80000, 3, 0x40a7ffff, 0x40a7ffff},
      {0xffffffff, 8192, 0x40a7ffff, 0x40a7fffe},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cycles);
    ASSERT_EQ(row_patch::delay_words_for(c.cycles), c.words);
    std::vector<std::uint32_t> words(c.words + 1, 0x12345678);
    row_patch::write_delays(std::span{words}.first(c.words), c.cycles);
    EXPECT_EQ(words.back(), 0x12345678u) << "wrote past its words";
    words.pop_back();
    if (c.words == 0) continue;
    EXPECT_EQ(words.front(), c.first);
    EXPECT_EQ(words.back(), c.last);
    std::uint64_t total = 0;
    for (const std::uint32_t word : words) total += instruction_advance(word);
    EXPECT_EQ(total, c.cycles);
  }
}

}  // namespace
}  // namespace meshweave
