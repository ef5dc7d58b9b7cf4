#include <gtest/gtest.h>

#include <cstdint>

#include "instruction_words/word_case.hpp"
#include "meshweave/instruction_words.hpp"

namespace meshweave {
namespace {

using testing::schedule_error;
using testing::WordCase;

// The words are usable as compile-time constants.
static_assert(delay(0x7ffff) == 0x40a7ffffu);
static_assert(instruction_advance(delay(0x7ffff)) == 0x80000);
static_assert(!encode_send(64, 3, 0).has_value());
static_assert(validate_count(4148).has_value() && !validate_count(4149).has_value());
static_assert(instruction_advance(ROW_ENTRY_INSTRUCTION) == 0 &&
              instruction_advance(RETURN_INSTRUCTION) == 0);

TEST(ControlWords, GoldenWords) {
  const std::uint32_t all_ones = 0xffffffffu;
  const WordCase cases[] = {
      MESHWEAVE_WORD_CASE(0x40a00086u, delay(134)),
      MESHWEAVE_WORD_CASE(0x40a7ffffu, delay(0x7ffff)),
      MESHWEAVE_WORD_CASE(0x40a00000u, delay(0)),
      // Operands wider than the field are cut, never spilled into the opcode.
      MESHWEAVE_WORD_CASE(0x40a00000u, delay(0x80000)),
      MESHWEAVE_WORD_CASE(0x40a7ffffu, delay(all_ones)),

      MESHWEAVE_WORD_CASE(0x61800000u, delay_pic(48, 0, 0)),
      MESHWEAVE_WORD_CASE(0x63ffffffu, delay_pic(127, 1, 0x3ffff)),
      MESHWEAVE_WORD_CASE(0x60000000u, delay_pic(128, 2, 0x40000)),
      MESHWEAVE_WORD_CASE(0x63ffffffu, delay_pic(all_ones, all_ones, all_ones)),

      MESHWEAVE_WORD_CASE(0x641c0000u, delay_xpic(112, 0, 0)),
      MESHWEAVE_WORD_CASE(0x64008640u, delay_xpic(2, 0, 1600)),
      MESHWEAVE_WORD_CASE(0x67ffffffu, delay_xpic(4095, 1, 0x1fff)),
      MESHWEAVE_WORD_CASE(0x64000000u, delay_xpic(4096, 2, 0x2000)),
      MESHWEAVE_WORD_CASE(0x67ffffffu, delay_xpic(all_ones, all_ones, all_ones)),

      MESHWEAVE_WORD_CASE(0x782a03cbu, encode_send(1, 3, 82041)),
      MESHWEAVE_WORD_CASE(0x782a03dbu, encode_send(1, 3, 82043)),
      MESHWEAVE_WORD_CASE(0x7fffffffu, encode_send(63, 7, 0x3ffff)),
      MESHWEAVE_WORD_CASE(0x78000000u, encode_send(0, 0, 0)),
      MESHWEAVE_WORD_CASE(0x7fe00001u, encode_send(63, 1, 0)),

      MESHWEAVE_WORD_CASE(0x70000002u, send_off(0, 2, 0)),
      MESHWEAVE_WORD_CASE(0x766fc001u, send_off(4083, 1, 0)),
      MESHWEAVE_WORD_CASE(0x70200003u, send_off(1, 3, 0)),
      // Bit 20 separates the two count halves and stays clear.
      MESHWEAVE_WORD_CASE(0x77efffffu, send_off(0xfff, 7, 0x7ff)),
      MESHWEAVE_WORD_CASE(0x77efffffu, send_off(all_ones, all_ones, all_ones)),
      MESHWEAVE_WORD_CASE(0x70000000u, send_off(0x1000, 8, 0x800)),
      MESHWEAVE_WORD_CASE(0x70004000u, send_off(64, 0, 0)),
  };
  testing::expect_words(cases);
}

TEST(ControlWords, SendRejectsEveryOperandOutsideItsField) {
  const auto bad = schedule_error(schedule_message::send_instruction_operand);
  const WordCase cases[] = {
      MESHWEAVE_WORD_CASE(bad, encode_send(64, 3, 0)),
      MESHWEAVE_WORD_CASE(bad, encode_send(1, 8, 0)),
      MESHWEAVE_WORD_CASE(bad, encode_send(1, 3, 0x40000)),
      MESHWEAVE_WORD_CASE(bad, encode_send(0xffffffffu, 0, 0)),
      MESHWEAVE_WORD_CASE(bad, encode_send(0, 0xffffffffu, 0)),
      MESHWEAVE_WORD_CASE(bad, encode_send(0, 0, 0xffffffffu)),
      MESHWEAVE_WORD_CASE(bad, encode_send(64, 8, 0x40000)),
  };
  testing::expect_words(cases);
}

TEST(ControlWords, ValidateCountAcceptsOneTo4148) {
  struct Case {
    std::uint32_t count;
    bool valid;
  };
  const Case cases[] = {{0, false},           {1, true},           {2, true},
                        {64, true},           {65, true},          {4147, true},
                        {4148, true},         {4149, false},       {65535, false},
                        {0x80000000u, false}, {0xffffffffu, false}};
  for (const Case& c : cases) {
    const Status status = validate_count(c.count);
    EXPECT_EQ(status.has_value(), c.valid) << c.count;
    if (!c.valid && !status) {
      EXPECT_EQ(status.error(), ExchangeError::count(c.count));
    }
  }
}

TEST(InstructionAdvance, CyclesOfEachWordKind) {
  struct Case {
    std::uint32_t word;
    std::uint32_t advance;
  };
  const Case cases[] = {
      {0x40a00086u, 135},
      {0x40a00000u, 1},
      {0x40a7ffffu, 0x80000},  // DELAY
      {0x61800000u, 49},
      {0x60000000u, 1},
      {0x63ffffffu, 128},  // PIC
      {0x641c0000u, 113},
      {0x64000000u, 1},
      {0x67ffffffu, 4096},  // XPIC
      {0x7fe00001u, 64},
      {0x78000000u, 1},
      {0x7c000000u, 33},  // SEND
      {0x766fc001u, 4084},
      {0x70000000u, 1},
      {0x77efffffu, 4096},  // continuation
      {0x70100000u, 1},
      {0x77ffffffu, 4096},  // bit 20 plays no part in the count
      // Untimed: the framing words and near misses of every pattern.
      {0x41800003u, 0},
      {0x43a00000u, 0},
      {0x00000000u, 0},
      {0xffffffffu, 0},
      {0x40a80000u, 0},
      {0x40b00000u, 0},
      {0x40200000u, 0},
      {0x68000000u, 0},
      {0x5c000000u, 0},
      {0x80000000u, 0},
      {0x19800600u, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(instruction_advance(c.word), c.advance) << std::hex << "word 0x" << c.word;
  }
}

// Extremes of every operand: zero, the field maximum, one past it, a 16-bit
// maximum and all ones.
constexpr std::uint32_t sweep(std::uint32_t field_max, int i) {
  switch (i) {
    case 0: return 0;
    case 1: return field_max;
    case 2: return field_max + 1;
    case 3: return 65535;
    default: return 0xffffffffu;
  }
}
constexpr int sweep_size = 5;

// The packers cut each operand to its field: the word is the documented mask
// formula, keeps its kind, and accounts for the cut wait + 1 cycles.
TEST(ControlWords, PackersCutOperandsToTheirFields) {
  for (int i = 0; i < sweep_size; ++i) {
    const std::uint32_t cycles = sweep(0x7ffff, i);
    const std::uint32_t word = delay(cycles);
    EXPECT_EQ(word, 0x40a00000u | (cycles & 0x7ffffu));
    EXPECT_EQ(instruction_advance(word), (cycles & 0x7ffffu) + 1);
  }
  for (int i = 0; i < sweep_size; ++i) {
    for (int j = 0; j < sweep_size; ++j) {
      for (int k = 0; k < sweep_size; ++k) {
        SCOPED_TRACE(::testing::Message() << "sweep " << i << j << k);
        const std::uint32_t pa = sweep(0x7f, i), pb = sweep(1, j), pc = sweep(0x3ffff, k);
        const std::uint32_t pic = delay_pic(pa, pb, pc);
        EXPECT_EQ(pic, 0x60000000u | ((pa << 19) & 0x3f80000u) | ((pb << 18) & 0x40000u) |
                           (pc & 0x3ffffu));
        EXPECT_EQ(instruction_advance(pic), (pa & 0x7fu) + 1);

        const std::uint32_t xa = sweep(0xfff, i), xb = sweep(1, j), xc = sweep(0x1fff, k);
        const std::uint32_t xpic = delay_xpic(xa, xb, xc);
        EXPECT_EQ(xpic, 0x64000000u | ((xa << 14) & 0x3ffc000u) | ((xb << 13) & 0x2000u) |
                            (xc & 0x1fffu));
        EXPECT_EQ(instruction_advance(xpic), (xa & 0xfffu) + 1);

        const std::uint32_t count = sweep(0xfff, i), dir = sweep(7, j), base = sweep(0x7ff, k);
        const std::uint32_t off = send_off(count, dir, base);
        EXPECT_EQ(off, 0x70000000u | ((count << 21) & 0x7e00000u) |
                           (((count >> 6) << 14) & 0xfc000u) | ((base << 3) & 0x3ff8u) |
                           (dir & 7u));
        EXPECT_EQ(instruction_advance(off), (count & 0xfffu) + 1);
      }
    }
  }
}

// encode_send is valid exactly when every operand fits, and then places each
// operand unchanged.
TEST(ControlWords, SendSweepValidExactlyInsideTheFields) {
  for (int i = 0; i < sweep_size; ++i) {
    for (int j = 0; j < sweep_size; ++j) {
      for (int k = 0; k < sweep_size; ++k) {
        const std::uint32_t count = sweep(63, i), dir = sweep(7, j), base = sweep(0x3ffff, k);
        SCOPED_TRACE(::testing::Message() << count << ", " << dir << ", " << base);
        const Result<std::uint32_t> word = encode_send(count, dir, base);
        if (count <= 63 && dir <= 7 && base <= 0x3ffff) {
          ASSERT_TRUE(word.has_value());
          EXPECT_EQ(*word, 0x78000000u | (count << 21) | (base << 3) | dir);
          EXPECT_EQ(instruction_advance(*word), count + 1);
        } else {
          ASSERT_FALSE(word.has_value());
          EXPECT_EQ(word.error(),
                    ExchangeError::schedule(schedule_message::send_instruction_operand));
        }
      }
    }
  }
}

}  // namespace
}  // namespace meshweave
