#pragma once

#include <cstdint>
#include <expected>
#include <string_view>

#include "meshweave/instruction_words/bit_field.hpp"
#include "meshweave/instruction_words/error.hpp"

namespace meshweave {

// Shared fields of the scalar words. Bits 31..24 always hold the opcode byte.
namespace scalar_word {
using Opcode = BitField<24, 8>;
using High = BitField<20, 4>;    // source, base or only register
using Low = BitField<16, 4>;     // destination or stored register
using Delta = BitField<12, 4>;   // LD32/ST32 delta; AND/SHL sub-opcode
using Target = BitField<0, 19>;  // BRZ/CALL word target
using Imm20 = BitField<0, 20>;   // SETZI immediate
using Imm16 = BitField<0, 16>;   // ADD immediate
using Imm12 = BitField<0, 12>;   // LD32/ST32 offset, AND/SHL immediate
using Special = BitField<0, 8>;  // PUT destination special register
using PutMarker = BitField<8, 8>;

inline constexpr std::uint32_t br_opcode = 0x43;  // shared with PUT
inline constexpr std::uint32_t setzi_opcode = 0x19;
inline constexpr std::uint32_t call_opcode = 0x18;
inline constexpr std::uint32_t brz_opcode = 0x13;
inline constexpr std::uint32_t ld32_opcode = 0x01;
inline constexpr std::uint32_t st32_opcode = 0x4f;
inline constexpr std::uint32_t add_opcode = 0x22;
inline constexpr std::uint32_t alu_opcode = 0x42;  // AND and SHL
inline constexpr std::uint32_t put_marker = 0x80;
inline constexpr std::uint32_t and_function = 0x0;
inline constexpr std::uint32_t shl_function = 0xa;

inline constexpr std::uint32_t register_max = 15;
// Branch and call targets are byte addresses: word-aligned and below 2 MiB.
inline constexpr std::uint32_t target_limit = 0x200000;
inline constexpr std::int32_t add_immediate_min = -32768;
inline constexpr std::int32_t add_immediate_max = 32767;

constexpr bool is_register(std::uint8_t r) noexcept { return r <= register_max; }
constexpr bool is_target(std::uint32_t byte_address) noexcept {
  return byte_address % 4 == 0 && byte_address < target_limit;
}
constexpr std::uint32_t opcode(std::uint32_t byte) noexcept { return Opcode::place(byte); }

// Helpers of the checked encoders below; not part of the API.
namespace detail {
constexpr std::unexpected<ExchangeError> fail(std::string_view message) noexcept {
  return std::unexpected(ExchangeError::schedule(message));
}
}  // namespace detail
}  // namespace scalar_word

// Unchecked packers: they neither check nor mask, so an out-of-range operand
// spills into neighbouring fields. Callers keep registers below 16 and
// immediates below 2^20.

// BR: 0x43 | register in 23..20 | 0 in 19..0
constexpr std::uint32_t br_m(std::uint8_t reg) noexcept {
  return scalar_word::opcode(scalar_word::br_opcode) |
         (std::uint32_t{reg} << scalar_word::High::low);
}

// SETZI: 0x19 | register in 23..20 | immediate in 19..0
constexpr std::uint32_t setzi_m(std::uint8_t reg, std::uint32_t immediate) noexcept {
  return scalar_word::opcode(scalar_word::setzi_opcode) |
         (std::uint32_t{reg} << scalar_word::High::low) | immediate;
}

// PUT from m8: 0x43 | 8 in 23..20 | 0 | 0x80 in 15..8 | special register in 7..0.
// The single operand is the special register number.
constexpr std::uint32_t put_special_from_m8(std::uint8_t reg) noexcept {
  return scalar_word::opcode(scalar_word::br_opcode) | scalar_word::High::place(8) |
         scalar_word::PutMarker::place(scalar_word::put_marker) | std::uint32_t{reg};
}

// Checked encoders: every operand is checked before the word is formed.

constexpr Result<std::uint32_t> encode_br_m(std::uint8_t reg) noexcept {
  if (!scalar_word::is_register(reg)) {
    return scalar_word::detail::fail(schedule_message::branch_register);
  }
  return br_m(reg);
}

constexpr Result<std::uint32_t> encode_setzi_m(std::uint8_t reg, std::uint32_t immediate) noexcept {
  if (!scalar_word::is_register(reg) || !scalar_word::Imm20::fits(immediate)) {
    return scalar_word::detail::fail(schedule_message::setzi_operand);
  }
  return setzi_m(reg, immediate);
}

// PUT: 0x43 | source register in 23..20 | 0 | 0x80 in 15..8 | special in 7..0
constexpr Result<std::uint32_t> encode_put_special_m(std::uint8_t special,
                                                     std::uint8_t reg) noexcept {
  if (!scalar_word::is_register(reg)) {
    return scalar_word::detail::fail(schedule_message::put_source_register);
  }
  return scalar_word::opcode(scalar_word::br_opcode) | scalar_word::High::place(reg) |
         scalar_word::PutMarker::place(scalar_word::put_marker) |
         scalar_word::Special::place(special);
}

// CALL: 0x18 | return register in 23..20 | 0 in 19 | target / 4 in 18..0
constexpr Result<std::uint32_t> encode_call_m_immediate(std::uint8_t return_register,
                                                        std::uint32_t target_address) noexcept {
  if (!scalar_word::is_register(return_register) || !scalar_word::is_target(target_address)) {
    return scalar_word::detail::fail(schedule_message::call_operand);
  }
  return scalar_word::opcode(scalar_word::call_opcode) | scalar_word::High::place(return_register) |
         scalar_word::Target::place(target_address >> 2);
}

// BRZ: 0x13 | register in 23..20 | 0 in 19 | target / 4 in 18..0
constexpr Result<std::uint32_t> encode_brz_m_immediate(std::uint8_t reg,
                                                       std::uint32_t target_address) noexcept {
  if (!scalar_word::is_register(reg) || !scalar_word::is_target(target_address)) {
    return scalar_word::detail::fail(schedule_message::brz_operand);
  }
  return scalar_word::opcode(scalar_word::brz_opcode) | scalar_word::High::place(reg) |
         scalar_word::Target::place(target_address >> 2);
}

namespace scalar_word::detail {
// LD32 and ST32: opcode | base in 23..20 | data register in 19..16 | delta in 15..12
// | word offset in 11..0
constexpr Result<std::uint32_t> memory_word(std::uint32_t opcode_byte, std::uint8_t data,
                                            std::uint8_t base, std::uint8_t delta,
                                            std::uint16_t word_offset,
                                            std::string_view message) noexcept {
  if (!is_register(data) || !is_register(base) || !is_register(delta) ||
      !Imm12::fits(word_offset)) {
    return fail(message);
  }
  return opcode(opcode_byte) | High::place(base) | Low::place(data) | Delta::place(delta) |
         Imm12::place(word_offset);
}

// AND and SHL: 0x42 | source in 23..20 | destination in 19..16 | function in 15..12
// | immediate in 11..0
constexpr Result<std::uint32_t> alu_word(std::uint32_t function, std::uint8_t destination,
                                         std::uint8_t source, std::uint16_t immediate,
                                         std::string_view message) noexcept {
  if (!is_register(destination) || !is_register(source) || !Imm12::fits(immediate)) {
    return fail(message);
  }
  return opcode(alu_opcode) | High::place(source) | Low::place(destination) |
         Delta::place(function) | Imm12::place(immediate);
}
}  // namespace scalar_word::detail

constexpr Result<std::uint32_t> encode_ld32_m_immediate(std::uint8_t destination, std::uint8_t base,
                                                        std::uint8_t delta,
                                                        std::uint16_t word_offset) noexcept {
  return scalar_word::detail::memory_word(scalar_word::ld32_opcode, destination, base, delta,
                                          word_offset, schedule_message::ld32_operand);
}

constexpr Result<std::uint32_t> encode_st32_m_immediate(std::uint8_t source, std::uint8_t base,
                                                        std::uint8_t delta,
                                                        std::uint16_t word_offset) noexcept {
  return scalar_word::detail::memory_word(scalar_word::st32_opcode, source, base, delta,
                                          word_offset, schedule_message::st32_operand);
}

// ADD: 0x22 | source in 23..20 | destination in 19..16 | 16-bit two's-complement
// immediate in 15..0. The immediate is checked before the registers.
constexpr Result<std::uint32_t> encode_add_m_immediate(std::uint8_t destination,
                                                       std::uint8_t source,
                                                       std::int32_t immediate) noexcept {
  if (immediate < scalar_word::add_immediate_min || immediate > scalar_word::add_immediate_max) {
    return scalar_word::detail::fail(schedule_message::add_immediate_operand);
  }
  if (!scalar_word::is_register(destination) || !scalar_word::is_register(source)) {
    return scalar_word::detail::fail(schedule_message::add_register_operand);
  }
  const auto low_half = static_cast<std::uint16_t>(static_cast<std::int16_t>(immediate));
  return scalar_word::opcode(scalar_word::add_opcode) | scalar_word::High::place(source) |
         scalar_word::Low::place(destination) | scalar_word::Imm16::place(low_half);
}

constexpr Result<std::uint32_t> encode_and_m_immediate(std::uint8_t destination,
                                                       std::uint8_t source,
                                                       std::uint16_t immediate) noexcept {
  return scalar_word::detail::alu_word(scalar_word::and_function, destination, source, immediate,
                                       schedule_message::and_operand);
}

constexpr Result<std::uint32_t> encode_shl_m_immediate(std::uint8_t destination,
                                                       std::uint8_t source,
                                                       std::uint16_t immediate) noexcept {
  return scalar_word::detail::alu_word(scalar_word::shl_function, destination, source, immediate,
                                       schedule_message::shift_left_operand);
}

static_assert(br_m(10) == 0x43a00000u);
static_assert(put_special_from_m8(166) == 0x438080a6u);
static_assert(encode_add_m_immediate(11, 11, -32).value() == 0x22bbffe0u);
static_assert(encode_shl_m_immediate(10, 7, 2).value() == 0x427aa002u);

}  // namespace meshweave
