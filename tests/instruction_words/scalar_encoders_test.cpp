#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string_view>

#include "instruction_words/word_case.hpp"
#include "meshweave/instruction_words.hpp"

namespace meshweave {
namespace {

using testing::schedule_error;
using testing::WordCase;

// Encoders run at compile time, and BR through m10 is the return word.
static_assert(encode_br_m(10).value() == RETURN_INSTRUCTION);
static_assert(encode_call_m_immediate(0, 0x1ffffc).value() == 0x1807ffffu);
static_assert(!encode_add_m_immediate(16, 16, 32768).has_value());
static_assert(encode_put_special_m(160, 8).value() == put_special_from_m8(160));

TEST(ScalarEncoders, GoldenWords) {
  const WordCase cases[] = {
      MESHWEAVE_WORD_CASE(0x43a00000u, encode_br_m(10)),
      MESHWEAVE_WORD_CASE(0x43000000u, encode_br_m(0)),
      MESHWEAVE_WORD_CASE(0x43f00000u, encode_br_m(15)),
      MESHWEAVE_WORD_CASE(0x19ffffffu, encode_setzi_m(15, 0xfffff)),
      MESHWEAVE_WORD_CASE(0x19000000u, encode_setzi_m(0, 0)),
      MESHWEAVE_WORD_CASE(0x438080a6u, encode_put_special_m(166, 8)),
      MESHWEAVE_WORD_CASE(0x43f080ffu, encode_put_special_m(255, 15)),
      MESHWEAVE_WORD_CASE(0x43008000u, encode_put_special_m(0, 0)),
      MESHWEAVE_WORD_CASE(0x18a13040u, encode_call_m_immediate(10, 0x4c100)),
      MESHWEAVE_WORD_CASE(0x1807ffffu, encode_call_m_immediate(0, 0x1ffffc)),
      MESHWEAVE_WORD_CASE(0x18f00001u, encode_call_m_immediate(15, 4)),
      MESHWEAVE_WORD_CASE(0x13013040u, encode_brz_m_immediate(0, 0x4c100)),
      MESHWEAVE_WORD_CASE(0x13f7ffffu, encode_brz_m_immediate(15, 0x1ffffc)),
      MESHWEAVE_WORD_CASE(0x01b8f001u, encode_ld32_m_immediate(8, 11, 15, 1)),
      MESHWEAVE_WORD_CASE(0x01ffffffu, encode_ld32_m_immediate(15, 15, 15, 4095)),
      MESHWEAVE_WORD_CASE(0x4fb2f000u, encode_st32_m_immediate(2, 11, 15, 0)),
      MESHWEAVE_WORD_CASE(0x4fffffffu, encode_st32_m_immediate(15, 15, 15, 4095)),
      MESHWEAVE_WORD_CASE(0x22bbffe0u, encode_add_m_immediate(11, 11, -32)),
      MESHWEAVE_WORD_CASE(0x22008000u, encode_add_m_immediate(0, 0, -32768)),
      MESHWEAVE_WORD_CASE(0x22007fffu, encode_add_m_immediate(0, 0, 32767)),
      MESHWEAVE_WORD_CASE(0x2221ffffu, encode_add_m_immediate(1, 2, -1)),
      MESHWEAVE_WORD_CASE(0x42800001u, encode_and_m_immediate(0, 8, 1)),
      MESHWEAVE_WORD_CASE(0x42ff0fffu, encode_and_m_immediate(15, 15, 4095)),
      MESHWEAVE_WORD_CASE(0x427aa002u, encode_shl_m_immediate(10, 7, 2)),
      MESHWEAVE_WORD_CASE(0x42ffafffu, encode_shl_m_immediate(15, 15, 4095)),
  };
  testing::expect_words(cases);
}

// The packers place operands unchecked and unmasked: out-of-range operands
// spill into the neighbouring fields.
TEST(ScalarPackers, GoldenWordsIncludingSpill) {
  const WordCase cases[] = {
      MESHWEAVE_WORD_CASE(0x43a00000u, br_m(10)),
      MESHWEAVE_WORD_CASE(0x4ff00000u, br_m(255)),
      MESHWEAVE_WORD_CASE(0x19800600u, setzi_m(8, 0x600)),
      MESHWEAVE_WORD_CASE(0x19800640u, setzi_m(8, 1600)),
      MESHWEAVE_WORD_CASE(0x19100000u, setzi_m(0, 0x100000)),
      MESHWEAVE_WORD_CASE(0x1b000000u, setzi_m(32, 0)),
      MESHWEAVE_WORD_CASE(0x438080a6u, put_special_from_m8(166)),
      MESHWEAVE_WORD_CASE(0x438080a0u, put_special_from_m8(160)),
      MESHWEAVE_WORD_CASE(0x438080ffu, put_special_from_m8(255)),
  };
  testing::expect_words(cases);
}

TEST(ScalarEncoders, EachEncoderFailsWithItsOwnMessage) {
  namespace m = schedule_message;
  const auto branch = schedule_error(m::branch_register);
  const auto setzi = schedule_error(m::setzi_operand);
  const auto put = schedule_error(m::put_source_register);
  const auto call = schedule_error(m::call_operand);
  const auto brz = schedule_error(m::brz_operand);
  const auto ld32 = schedule_error(m::ld32_operand);
  const auto st32 = schedule_error(m::st32_operand);
  const auto add_immediate = schedule_error(m::add_immediate_operand);
  const auto add_register = schedule_error(m::add_register_operand);
  const auto and_ = schedule_error(m::and_operand);
  const auto shl = schedule_error(m::shift_left_operand);
  constexpr std::int32_t int_min = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t int_max = std::numeric_limits<std::int32_t>::max();
  const WordCase cases[] = {
      MESHWEAVE_WORD_CASE(branch, encode_br_m(16)),
      MESHWEAVE_WORD_CASE(branch, encode_br_m(255)),
      MESHWEAVE_WORD_CASE(setzi, encode_setzi_m(16, 0)),
      MESHWEAVE_WORD_CASE(setzi, encode_setzi_m(0, 0x100000)),
      MESHWEAVE_WORD_CASE(setzi, encode_setzi_m(255, 0xffffffffu)),
      MESHWEAVE_WORD_CASE(put, encode_put_special_m(0, 16)),
      MESHWEAVE_WORD_CASE(put, encode_put_special_m(255, 255)),
      MESHWEAVE_WORD_CASE(call, encode_call_m_immediate(16, 0)),
      MESHWEAVE_WORD_CASE(call, encode_call_m_immediate(0, 2)),
      MESHWEAVE_WORD_CASE(call, encode_call_m_immediate(0, 1)),
      MESHWEAVE_WORD_CASE(call, encode_call_m_immediate(0, 0x200000)),
      MESHWEAVE_WORD_CASE(call, encode_call_m_immediate(0, 0xfffffffcu)),
      MESHWEAVE_WORD_CASE(brz, encode_brz_m_immediate(16, 0)),
      MESHWEAVE_WORD_CASE(brz, encode_brz_m_immediate(0, 0x4c102)),
      MESHWEAVE_WORD_CASE(brz, encode_brz_m_immediate(0, 0x200000)),
      MESHWEAVE_WORD_CASE(brz, encode_brz_m_immediate(0, 0x200004)),
      MESHWEAVE_WORD_CASE(ld32, encode_ld32_m_immediate(16, 0, 0, 0)),
      MESHWEAVE_WORD_CASE(ld32, encode_ld32_m_immediate(0, 16, 0, 0)),
      MESHWEAVE_WORD_CASE(ld32, encode_ld32_m_immediate(0, 0, 16, 0)),
      MESHWEAVE_WORD_CASE(ld32, encode_ld32_m_immediate(0, 0, 0, 4096)),
      MESHWEAVE_WORD_CASE(st32, encode_st32_m_immediate(16, 0, 0, 0)),
      MESHWEAVE_WORD_CASE(st32, encode_st32_m_immediate(0, 16, 0, 0)),
      MESHWEAVE_WORD_CASE(st32, encode_st32_m_immediate(0, 0, 16, 0)),
      MESHWEAVE_WORD_CASE(st32, encode_st32_m_immediate(0, 0, 0, 65535)),
      // ADD checks its immediate before its registers.
      MESHWEAVE_WORD_CASE(add_immediate, encode_add_m_immediate(0, 0, 32768)),
      MESHWEAVE_WORD_CASE(add_immediate, encode_add_m_immediate(0, 0, -32769)),
      MESHWEAVE_WORD_CASE(add_immediate, encode_add_m_immediate(16, 16, 32768)),
      MESHWEAVE_WORD_CASE(add_immediate, encode_add_m_immediate(255, 0, int_min)),
      MESHWEAVE_WORD_CASE(add_immediate, encode_add_m_immediate(0, 255, int_max)),
      MESHWEAVE_WORD_CASE(add_register, encode_add_m_immediate(16, 0, 0)),
      MESHWEAVE_WORD_CASE(add_register, encode_add_m_immediate(0, 16, -32768)),
      MESHWEAVE_WORD_CASE(add_register, encode_add_m_immediate(255, 255, 32767)),
      MESHWEAVE_WORD_CASE(and_, encode_and_m_immediate(16, 0, 0)),
      MESHWEAVE_WORD_CASE(and_, encode_and_m_immediate(0, 16, 0)),
      MESHWEAVE_WORD_CASE(and_, encode_and_m_immediate(0, 0, 4096)),
      MESHWEAVE_WORD_CASE(shl, encode_shl_m_immediate(0, 0, 4096)),
      MESHWEAVE_WORD_CASE(shl, encode_shl_m_immediate(16, 0, 0)),
      MESHWEAVE_WORD_CASE(shl, encode_shl_m_immediate(0, 16, 65535)),
  };
  testing::expect_words(cases);
}

TEST(ScalarEncoders, CheckedEncodersEqualTheirPackers) {
  for (std::uint32_t r = 0; r <= 15; ++r) {
    const auto reg = static_cast<std::uint8_t>(r);
    EXPECT_EQ(encode_br_m(reg), br_m(reg)) << r;
    for (const std::uint32_t immediate : {0u, 1u, 0x600u, 0x7ffffu, 0x80000u, 0xfffffu}) {
      EXPECT_EQ(encode_setzi_m(reg, immediate), setzi_m(reg, immediate)) << r << " " << immediate;
    }
  }
  for (std::uint32_t s = 0; s <= 255; ++s) {
    const auto special = static_cast<std::uint8_t>(s);
    EXPECT_EQ(encode_put_special_m(special, 8), put_special_from_m8(special)) << s;
  }
}

// Sweeps every operand over its extremes. A call is valid exactly when every
// operand is in bounds, and then each operand lands unchanged in its field.
constexpr std::uint8_t registers[] = {0, 1, 15, 16, 255};
constexpr std::uint16_t offsets[] = {0, 1, 4095, 4096, 65535};
constexpr std::uint32_t targets[] = {0, 2, 4, 0x1ffffc, 0x200000, 65535, 0xfffffffcu, 0xffffffffu};

constexpr bool is_register(std::uint32_t r) { return r <= 15; }
constexpr bool is_target(std::uint32_t t) { return t % 4 == 0 && t < 0x200000; }

void expect_sweep_result(const Result<std::uint32_t>& actual, bool valid, std::uint32_t reference,
                         std::string_view message) {
  if (valid) {
    ASSERT_TRUE(actual.has_value()) << to_string(actual.error());
    EXPECT_EQ(*actual, reference);
  } else {
    ASSERT_FALSE(actual.has_value());
    EXPECT_EQ(actual.error(), ExchangeError::schedule(message));
  }
}

TEST(ScalarEncoders, RegisterAndTargetSweeps) {
  namespace m = schedule_message;
  for (const std::uint8_t a : registers) {
    SCOPED_TRACE(::testing::Message() << "register " << unsigned{a});
    expect_sweep_result(encode_br_m(a), is_register(a), 0x43000000u | (std::uint32_t{a} << 20),
                        m::branch_register);
    for (const std::uint32_t immediate : {0u, 0xfffffu, 0x100000u, 65535u, 0xffffffffu}) {
      expect_sweep_result(encode_setzi_m(a, immediate), is_register(a) && immediate <= 0xfffff,
                          0x19000000u | (std::uint32_t{a} << 20) | immediate, m::setzi_operand);
    }
    for (const std::uint8_t special : std::initializer_list<std::uint8_t>{0, 8, 160, 255}) {
      expect_sweep_result(encode_put_special_m(special, a), is_register(a),
                          0x43008000u | (std::uint32_t{a} << 20) | special, m::put_source_register);
    }
    for (const std::uint32_t target : targets) {
      SCOPED_TRACE(::testing::Message() << "target " << target);
      const bool valid = is_register(a) && is_target(target);
      const std::uint32_t fields = (std::uint32_t{a} << 20) | (target >> 2);
      expect_sweep_result(encode_call_m_immediate(a, target), valid, 0x18000000u | fields,
                          m::call_operand);
      expect_sweep_result(encode_brz_m_immediate(a, target), valid, 0x13000000u | fields,
                          m::brz_operand);
    }
  }
}

TEST(ScalarEncoders, ThreeRegisterSweeps) {
  namespace m = schedule_message;
  for (const std::uint8_t a : registers) {
    for (const std::uint8_t b : registers) {
      for (const std::uint8_t c : registers) {
        for (const std::uint16_t offset : offsets) {
          SCOPED_TRACE(::testing::Message() << unsigned{a} << ", " << unsigned{b} << ", "
                                            << unsigned{c} << ", " << offset);
          const bool valid = is_register(a) && is_register(b) && is_register(c) && offset <= 4095;
          const std::uint32_t fields = (std::uint32_t{b} << 20) | (std::uint32_t{a} << 16) |
                                       (std::uint32_t{c} << 12) | offset;
          expect_sweep_result(encode_ld32_m_immediate(a, b, c, offset), valid, 0x01000000u | fields,
                              m::ld32_operand);
          expect_sweep_result(encode_st32_m_immediate(a, b, c, offset), valid, 0x4f000000u | fields,
                              m::st32_operand);
        }
      }
    }
  }
}

TEST(ScalarEncoders, AluSweeps) {
  namespace m = schedule_message;
  constexpr std::int32_t add_immediates[] = {
      std::numeric_limits<std::int32_t>::min(), -32769, -32768, -1, 0, 32767, 32768,
      std::numeric_limits<std::int32_t>::max()};
  for (const std::uint8_t destination : registers) {
    for (const std::uint8_t source : registers) {
      SCOPED_TRACE(::testing::Message() << unsigned{destination} << ", " << unsigned{source});
      const bool registers_ok = is_register(destination) && is_register(source);
      const std::uint32_t fields =
          (std::uint32_t{source} << 20) | (std::uint32_t{destination} << 16);
      for (const std::int32_t immediate : add_immediates) {
        const bool immediate_ok = immediate >= -32768 && immediate <= 32767;
        const std::uint32_t low_half = static_cast<std::uint32_t>(immediate) & 0xffffu;
        expect_sweep_result(encode_add_m_immediate(destination, source, immediate),
                            immediate_ok && registers_ok, 0x22000000u | fields | low_half,
                            immediate_ok ? m::add_register_operand : m::add_immediate_operand);
      }
      for (const std::uint16_t immediate : offsets) {
        const bool valid = registers_ok && immediate <= 4095;
        expect_sweep_result(encode_and_m_immediate(destination, source, immediate), valid,
                            0x42000000u | fields | immediate, m::and_operand);
        expect_sweep_result(encode_shl_m_immediate(destination, source, immediate), valid,
                            0x4200a000u | fields | immediate, m::shift_left_operand);
      }
    }
  }
}

}  // namespace
}  // namespace meshweave
