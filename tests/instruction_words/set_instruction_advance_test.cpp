#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>

#include "meshweave/instruction_words.hpp"

namespace meshweave {
namespace {

constexpr std::uint32_t rewritten(std::uint32_t word, std::uint32_t advance) {
  return set_instruction_advance(word, advance) ? word : 0;
}
static_assert(rewritten(0x40a00086u, 10) == 0x40a00009u);

TEST(SetInstructionAdvance, RewritesOnlyTheWaitField) {
  struct Case {
    std::uint32_t word;
    std::uint32_t advance;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {0x40a00086u, 10, 0x40a00009u},
      {0x40a00086u, 1, 0x40a00000u},
      {0x40a00000u, 0x80000, 0x40a7ffffu},
      {0x64008640u, 4096, 0x67ffc640u},  // the selector 0x640 stays
      {0x64008640u, 1, 0x64000640u},
      {0x67ffffffu, 1, 0x64003fffu},  // flag and selector stay
      {0x61800000u, 128, 0x63f80000u},
      {0x63ffffffu, 1, 0x6007ffffu},  // flag and address stay
      {0x60000000u, 49, 0x61800000u},
  };
  for (const Case& c : cases) {
    std::uint32_t word = c.word;
    const Status status = set_instruction_advance(word, c.advance);
    ASSERT_TRUE(status.has_value()) << std::hex << c.word << " " << to_string(status.error());
    EXPECT_EQ(word, c.expected) << std::hex << "word 0x" << c.word << std::dec << " advance "
                                << c.advance;
  }
}

TEST(SetInstructionAdvance, FailuresLeaveTheWordUnchanged) {
  namespace m = schedule_message;
  struct Case {
    std::uint32_t word;
    std::uint32_t advance;
    std::string_view message;
  };
  const Case cases[] = {
      // Zero is refused before the word is even looked at.
      {0x40a00086u, 0, m::zero_event_advance},
      {0x78400001u, 0, m::zero_event_advance},
      {0x43a00000u, 0, m::zero_event_advance},
      {0x40a00086u, 0x80001, m::delay_advance_overflow},
      {0x40a00086u, 0xffffffffu, m::delay_advance_overflow},
      {0x61800000u, 129, m::pic_delay_advance_overflow},
      {0x63ffffffu, 0xffffffffu, m::pic_delay_advance_overflow},
      {0x64008640u, 4097, m::xpic_delay_advance_overflow},
      {0x67ffffffu, 0xffffffffu, m::xpic_delay_advance_overflow},
      // Timed but not a delay, and untimed words.
      {0x78400001u, 3, m::first_event_not_delay},
      {0x766fc001u, 1, m::first_event_not_delay},
      {0x41800003u, 1, m::first_event_not_delay},
      {0x43a00000u, 5, m::first_event_not_delay},
      {0x00000000u, 1, m::first_event_not_delay},
      {0xffffffffu, 1, m::first_event_not_delay},
      {0x40a80000u, 1, m::first_event_not_delay},
  };
  for (const Case& c : cases) {
    std::uint32_t word = c.word;
    const Status status = set_instruction_advance(word, c.advance);
    ASSERT_FALSE(status.has_value()) << std::hex << c.word;
    EXPECT_EQ(status.error(), ExchangeError::schedule(c.message)) << to_string(status.error());
    EXPECT_EQ(word, c.word);
  }
}

// Every advance a delay kind can hold survives the round trip, and the bits
// outside the wait field (opcode, flag, address or selector) are untouched,
// whether they start all set or all clear.
void expect_round_trip(std::uint32_t start, std::uint32_t wait_mask, std::uint32_t max_advance) {
  for (std::uint32_t advance = 1; advance <= max_advance; ++advance) {
    std::uint32_t word = start;
    ASSERT_TRUE(set_instruction_advance(word, advance).has_value()) << advance;
    ASSERT_EQ(instruction_advance(word), advance);
    ASSERT_EQ(word & ~wait_mask, start & ~wait_mask) << advance;
  }
  std::uint32_t word = start;
  ASSERT_FALSE(set_instruction_advance(word, max_advance + 1).has_value());
  ASSERT_EQ(word, start);
}

TEST(SetInstructionAdvance, ExhaustiveRoundTripForEveryDelayKind) {
  {
    SCOPED_TRACE("DELAY");
    expect_round_trip(delay(0), 0x0007ffffu, 0x80000);
    expect_round_trip(delay(0x7ffff), 0x0007ffffu, 0x80000);
  }
  {
    SCOPED_TRACE("PIC");
    expect_round_trip(delay_pic(0, 0, 0), 0x03f80000u, 128);
    expect_round_trip(delay_pic(0x7f, 1, 0x3ffff), 0x03f80000u, 128);
  }
  {
    SCOPED_TRACE("XPIC");
    expect_round_trip(delay_xpic(0, 0, 0), 0x03ffc000u, 4096);
    expect_round_trip(delay_xpic(0xfff, 1, 0x1fff), 0x03ffc000u, 4096);
  }
}

}  // namespace
}  // namespace meshweave
