#pragma once

#include <cstdint>
#include <expected>

#include "meshweave/instruction_words/bit_field.hpp"
#include "meshweave/instruction_words/error.hpp"
#include "meshweave/instruction_words/scalar_encoders.hpp"

namespace meshweave {

// Major opcode of SEND-class words (bits 31..27) and the SEND opcode itself.
inline constexpr std::uint32_t LONG_OPCODE_MASK = 0xf8000000u;
inline constexpr std::uint32_t SEND_OPCODE = 0x78000000u;

// SYNC: 0x418000 in 31..4 | operand in 3..0. Every other bit is fixed, so
// 0x41800010 is not a SYNC word.
namespace sync_word {
inline constexpr WordPattern kind{0xfffffff0u, 0x41800000u};
using Operand = BitField<0, 4>;

constexpr std::uint32_t word(std::uint32_t operand) noexcept {
  return kind.pattern | Operand::place(operand);
}
}  // namespace sync_word

// First word of every plan row and program (SYNC with operand 3), and the last
// (BR through m10). Neither takes a cycle on the exchange timeline.
inline constexpr std::uint32_t ROW_ENTRY_INSTRUCTION = sync_word::word(3);
inline constexpr std::uint32_t RETURN_INSTRUCTION = br_m(10);
static_assert(ROW_ENTRY_INSTRUCTION == 0x41800003u && RETURN_INSTRUCTION == 0x43a00000u);

// Longest and shortest transfer between two tiles, in words. The upper bound is
// where the receiver's XPIC wait (count - 53) fills its 12-bit field.
inline constexpr std::uint32_t MIN_TRANSFER_WORDS = 1;
inline constexpr std::uint32_t MAX_TRANSFER_WORDS = 4148;

// Layouts of the five timed words, one namespace per word kind.
namespace delay_word {
// 31..19 constant 0x40a00000 >> 19 | 18..0 cycles - 1
inline constexpr WordPattern kind{0xfff80000u, 0x40a00000u};
using Cycles = BitField<0, 19>;
}  // namespace delay_word

namespace pic_word {
// 31..26 011000 | 25..19 wait - 1 | 18 flag | 17..0 receive word address
inline constexpr WordPattern kind{0xfc000000u, 0x60000000u};
using Wait = BitField<19, 7>;
using Flag = BitField<18, 1>;
using Address = BitField<0, 18>;
}  // namespace pic_word

namespace xpic_word {
// 31..26 011001 | 25..14 wait - 1 | 13 flag | 12..0 tile selector
inline constexpr WordPattern kind{0xfc000000u, 0x64000000u};
using Wait = BitField<14, 12>;
using Flag = BitField<13, 1>;
using Selector = BitField<0, 13>;
// A selector beyond every tile and mux number: an XPIC naming it, or a host
// frame loading it as the mux number, releases the tile's mux.
inline constexpr std::uint32_t released_selector = 1600;
}  // namespace xpic_word

namespace send_word {
// 31..27 01111 | 26..21 count - 1 | 20..3 base word address | 2..0 direction
inline constexpr WordPattern kind{LONG_OPCODE_MASK, SEND_OPCODE};
using CountMinusOne = BitField<21, 6>;
using BaseWord = BitField<3, 18>;
using Direction = BitField<0, 3>;
}  // namespace send_word

namespace send_off_word {
// 31..27 01110 | 26..21 count - 1 low half | 20 zero | 19..14 count - 1 high half
// | 13..3 base word address | 2..0 direction
inline constexpr WordPattern kind{LONG_OPCODE_MASK, 0x70000000u};
using CountLow = BitField<21, 6>;
using CountHigh = BitField<14, 6>;
using BaseWord = BitField<3, 11>;
using Direction = BitField<0, 3>;
inline constexpr unsigned count_low_bits = CountLow::width;
}  // namespace send_off_word

// DELAY of `cycles` + 1 cycles; the operand is cut to 19 bits.
constexpr std::uint32_t delay(std::uint32_t cycles) noexcept {
  return delay_word::kind.pattern | delay_word::Cycles::place(cycles);
}

// PIC delay: waits `a` + 1 cycles, flag `b`, receive-buffer word address `c`.
constexpr std::uint32_t delay_pic(std::uint32_t a, std::uint32_t b, std::uint32_t c) noexcept {
  return pic_word::kind.pattern | pic_word::Wait::place(a) | pic_word::Flag::place(b) |
         pic_word::Address::place(c);
}

// XPIC delay: waits `a` + 1 cycles, flag `b`, tile selector `c`.
constexpr std::uint32_t delay_xpic(std::uint32_t a, std::uint32_t b, std::uint32_t c) noexcept {
  return xpic_word::kind.pattern | xpic_word::Wait::place(a) | xpic_word::Flag::place(b) |
         xpic_word::Selector::place(c);
}

// SEND of `count_minus_one` + 1 words from word address `base_word`.
constexpr Result<std::uint32_t> encode_send(std::uint32_t count_minus_one, std::uint32_t direction,
                                            std::uint32_t base_word) noexcept {
  if (!send_word::CountMinusOne::fits(count_minus_one) || !send_word::Direction::fits(direction) ||
      !send_word::BaseWord::fits(base_word)) {
    return std::unexpected(ExchangeError::schedule(schedule_message::send_instruction_operand));
  }
  return send_word::kind.pattern | send_word::CountMinusOne::place(count_minus_one) |
         send_word::BaseWord::place(base_word) | send_word::Direction::place(direction);
}

// Continuation SEND: a 12-bit count split over two 6-bit fields; operands are cut
// to their fields.
constexpr std::uint32_t send_off(std::uint32_t count_minus_one, std::uint32_t direction,
                                 std::uint32_t base_word) noexcept {
  return send_off_word::kind.pattern | send_off_word::CountLow::place(count_minus_one) |
         send_off_word::CountHigh::place(count_minus_one >> send_off_word::count_low_bits) |
         send_off_word::BaseWord::place(base_word) | send_off_word::Direction::place(direction);
}

constexpr Status validate_count(std::uint32_t count) noexcept {
  if (count < MIN_TRANSFER_WORDS || count > MAX_TRANSFER_WORDS) {
    return std::unexpected(ExchangeError::count(count));
  }
  return {};
}

// Cycles a word accounts for on the exchange timeline; 0 for untimed words.
// The kinds are tried in this order; the first that matches decides.
constexpr std::uint32_t instruction_advance(std::uint32_t instruction) noexcept {
  if (delay_word::kind.matches(instruction)) return delay_word::Cycles::get(instruction) + 1;
  if (pic_word::kind.matches(instruction)) return pic_word::Wait::get(instruction) + 1;
  if (xpic_word::kind.matches(instruction)) return xpic_word::Wait::get(instruction) + 1;
  if (send_off_word::kind.matches(instruction)) {
    return (send_off_word::CountLow::get(instruction) |
            (send_off_word::CountHigh::get(instruction) << send_off_word::count_low_bits)) +
           1;
  }
  if (send_word::kind.matches(instruction)) return send_word::CountMinusOne::get(instruction) + 1;
  return 0;
}

// Rewrites the wait field of a DELAY, PIC or XPIC word so that it accounts for
// exactly `advance` cycles. On failure the word is left as it was.
constexpr Status set_instruction_advance(std::uint32_t& instruction,
                                         std::uint32_t advance) noexcept {
  if (advance == 0) {
    return std::unexpected(ExchangeError::schedule(schedule_message::zero_event_advance));
  }
  const std::uint32_t wait = advance - 1;
  if (delay_word::kind.matches(instruction)) {
    if (!delay_word::Cycles::fits(wait)) {
      return std::unexpected(ExchangeError::schedule(schedule_message::delay_advance_overflow));
    }
    instruction = delay_word::Cycles::set(instruction, wait);
    return {};
  }
  if (pic_word::kind.matches(instruction)) {
    if (!pic_word::Wait::fits(wait)) {
      return std::unexpected(ExchangeError::schedule(schedule_message::pic_delay_advance_overflow));
    }
    instruction = pic_word::Wait::set(instruction, wait);
    return {};
  }
  if (xpic_word::kind.matches(instruction)) {
    if (!xpic_word::Wait::fits(wait)) {
      return std::unexpected(
          ExchangeError::schedule(schedule_message::xpic_delay_advance_overflow));
    }
    instruction = xpic_word::Wait::set(instruction, wait);
    return {};
  }
  return std::unexpected(ExchangeError::schedule(schedule_message::first_event_not_delay));
}

// The documented words, checked where they are defined.
static_assert(delay(134) == 0x40a00086u && delay(0x80000) == delay(0));
static_assert(delay_pic(127, 1, 0x3ffff) == 0x63ffffffu);
static_assert(delay_xpic(2, 0, 1600) == 0x64008640u);
static_assert(encode_send(1, 3, 82041).value() == 0x782a03cbu);
static_assert(send_off(0xfff, 7, 0x7ff) == 0x77efffffu);
static_assert(instruction_advance(send_off(4083, 1, 0)) == 4084);

}  // namespace meshweave
