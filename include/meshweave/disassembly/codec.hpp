#pragma once

#include <cstdint>
#include <variant>

#include "meshweave/disassembly/instruction.hpp"
#include "meshweave/disassembly/word_layouts.hpp"
#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/instruction_words/error.hpp"
#include "meshweave/instruction_words/scalar_encoders.hpp"

namespace meshweave {

namespace codec_detail {
constexpr std::unexpected<ExchangeError> fail(std::string_view message) noexcept {
  return std::unexpected(ExchangeError::schedule(message));
}

// The timed packers cut their operands to the fields; an instruction value is
// checked instead, so that an operand too wide for its field is an error.
constexpr Result<std::uint32_t> encode_fields(const op::Delay& d) noexcept {
  if (!delay_word::Cycles::fits(d.cycles)) return fail(schedule_message::delay_advance_overflow);
  return delay(d.cycles);
}
constexpr Result<std::uint32_t> encode_fields(const op::PicDelay& p) noexcept {
  if (!pic_word::Wait::fits(p.wait)) return fail(schedule_message::pic_delay_advance_overflow);
  if (!pic_word::Flag::fits(p.flag) || !pic_word::Address::fits(p.address)) {
    return fail(schedule_message::pic_delay_operand);
  }
  return delay_pic(p.wait, p.flag, p.address);
}
constexpr Result<std::uint32_t> encode_fields(const op::XpicDelay& x) noexcept {
  if (!xpic_word::Wait::fits(x.wait)) return fail(schedule_message::xpic_delay_advance_overflow);
  if (!xpic_word::Flag::fits(x.flag) || !xpic_word::Selector::fits(x.selector)) {
    return fail(schedule_message::xpic_delay_operand);
  }
  return delay_xpic(x.wait, x.flag, x.selector);
}
constexpr Result<std::uint32_t> encode_fields(const op::Send& s) noexcept {
  return encode_send(s.count_minus_one, s.direction, s.base_word);
}
constexpr Result<std::uint32_t> encode_fields(const op::SendContinuation& s) noexcept {
  if (s.count_minus_one > send_off_reserved::count_minus_one_max ||
      !send_off_word::Direction::fits(s.direction) || !send_off_word::BaseWord::fits(s.base_word) ||
      !send_off_reserved::Reserved::fits(s.reserved)) {
    return fail(schedule_message::send_instruction_operand);
  }
  return send_off(s.count_minus_one, s.direction, s.base_word) |
         send_off_reserved::Reserved::place(s.reserved);
}
constexpr Result<std::uint32_t> encode_fields(const op::Sync& s) noexcept {
  if (!sync_word::Operand::fits(s.operand)) return fail(schedule_message::sync_operand);
  return sync_word::word(s.operand);
}
constexpr Result<std::uint32_t> encode_fields(const op::Setzi& s) noexcept {
  return encode_setzi_m(s.reg, s.immediate);
}
constexpr Result<std::uint32_t> encode_fields(const op::Put& p) noexcept {
  return encode_put_special_m(p.special, p.reg);
}
constexpr Result<std::uint32_t> encode_fields(const op::Br& b) noexcept {
  return encode_br_m(b.reg);
}
constexpr Result<std::uint32_t> encode_fields(const op::Brz& b) noexcept {
  return encode_brz_m_immediate(b.reg, b.target_address);
}
constexpr Result<std::uint32_t> encode_fields(const op::Call& c) noexcept {
  return encode_call_m_immediate(c.return_register, c.target_address);
}
constexpr Result<std::uint32_t> encode_fields(const op::Ld32& l) noexcept {
  return encode_ld32_m_immediate(l.destination, l.base, l.delta, l.word_offset);
}
constexpr Result<std::uint32_t> encode_fields(const op::St32& s) noexcept {
  return encode_st32_m_immediate(s.source, s.base, s.delta, s.word_offset);
}
constexpr Result<std::uint32_t> encode_fields(const op::Add& a) noexcept {
  return encode_add_m_immediate(a.destination, a.source, a.immediate);
}
constexpr Result<std::uint32_t> encode_fields(const op::And& a) noexcept {
  return encode_and_m_immediate(a.destination, a.source, a.immediate);
}
constexpr Result<std::uint32_t> encode_fields(const op::Shl& s) noexcept {
  return encode_shl_m_immediate(s.destination, s.source, s.immediate);
}
constexpr Result<std::uint32_t> encode_fields(const op::Data& d) noexcept { return d.word; }

constexpr std::uint8_t reg_at_high(std::uint32_t word) noexcept {
  return static_cast<std::uint8_t>(scalar_word::High::get(word));
}
constexpr std::uint8_t reg_at_low(std::uint32_t word) noexcept {
  return static_cast<std::uint8_t>(scalar_word::Low::get(word));
}
constexpr std::uint8_t delta(std::uint32_t word) noexcept {
  return static_cast<std::uint8_t>(scalar_word::Delta::get(word));
}
constexpr std::uint16_t imm12(std::uint32_t word) noexcept {
  return static_cast<std::uint16_t>(scalar_word::Imm12::get(word));
}
constexpr std::uint32_t target(std::uint32_t word) noexcept {
  return scalar_word::Target::get(word) << 2;
}

// The scalar kind a word's opcode byte names, with its fields read as that kind
// lays them out. Whether the word really is that kind (all fixed bits right) is
// left to the caller, which re-encodes the result.
constexpr InstructionFields scalar_reading(std::uint32_t word) noexcept {
  switch (scalar_word::Opcode::get(word)) {
    case scalar_word::setzi_opcode:
      return op::Setzi{reg_at_high(word), scalar_word::Imm20::get(word)};
    case scalar_word::br_opcode:
      if (scalar_word::PutMarker::get(word) == scalar_word::put_marker) {
        return op::Put{static_cast<std::uint8_t>(scalar_word::Special::get(word)),
                       reg_at_high(word)};
      }
      return op::Br{reg_at_high(word)};
    case scalar_word::brz_opcode: return op::Brz{reg_at_high(word), target(word)};
    case scalar_word::call_opcode: return op::Call{reg_at_high(word), target(word)};
    case scalar_word::ld32_opcode:
      return op::Ld32{reg_at_low(word), reg_at_high(word), delta(word), imm12(word)};
    case scalar_word::st32_opcode:
      return op::St32{reg_at_low(word), reg_at_high(word), delta(word), imm12(word)};
    case scalar_word::add_opcode:
      return op::Add{reg_at_low(word), reg_at_high(word),
                     static_cast<std::int16_t>(scalar_word::Imm16::get(word))};
    case scalar_word::alu_opcode:
      if (delta(word) == scalar_word::shl_function) {
        return op::Shl{reg_at_low(word), reg_at_high(word), imm12(word)};
      }
      return op::And{reg_at_low(word), reg_at_high(word), imm12(word)};
    default: return op::Data{word};
  }
}
}  // namespace codec_detail

// The word an instruction value stands for, made by the library's encoders.
// Every operand is checked, including those the timed packers would cut to
// their fields; the error is the encoder's own.
constexpr Result<std::uint32_t> encode(const Instruction& instruction) noexcept {
  return std::visit([](const auto& fields) { return codec_detail::encode_fields(fields); },
                    instruction.fields);
}

// Takes a word apart. The timed kinds are tried in the order instruction_advance
// uses, so a word is timed here exactly when it is timed there; their fields
// cover every bit, so each such word has a reading. SYNC and the scalar kinds
// are recognised only when every fixed bit is as their layout says, that is,
// when re-encoding the fields gives the word back; anything else is Data.
// encode(decode(w)) == w for every word w.
constexpr Instruction decode(std::uint32_t word) noexcept {
  using namespace codec_detail;
  if (delay_word::kind.matches(word)) return {op::Delay{delay_word::Cycles::get(word)}};
  if (pic_word::kind.matches(word)) {
    return {op::PicDelay{pic_word::Wait::get(word), pic_word::Flag::get(word),
                         pic_word::Address::get(word)}};
  }
  if (xpic_word::kind.matches(word)) {
    return {op::XpicDelay{xpic_word::Wait::get(word), xpic_word::Flag::get(word),
                          xpic_word::Selector::get(word)}};
  }
  if (send_off_word::kind.matches(word)) {
    return {op::SendContinuation{
        send_off_word::CountLow::get(word) |
            (send_off_word::CountHigh::get(word) << send_off_word::count_low_bits),
        send_off_word::Direction::get(word), send_off_word::BaseWord::get(word),
        send_off_reserved::Reserved::get(word)}};
  }
  if (send_word::kind.matches(word)) {
    return {op::Send{send_word::CountMinusOne::get(word), send_word::Direction::get(word),
                     send_word::BaseWord::get(word)}};
  }
  if (sync_word::kind.matches(word)) return {op::Sync{sync_word::Operand::get(word)}};
  const Instruction reading{scalar_reading(word)};
  const Result<std::uint32_t> again = encode(reading);
  if (again && *again == word) return reading;
  return {op::Data{word}};
}

static_assert(decode(0x40a00086u) == Instruction{op::Delay{134}});
static_assert(decode(0x766fc001u) == Instruction{op::SendContinuation{4083, 1, 0, 0}});
static_assert(decode(0x41800003u) == Instruction{op::Sync{3}});
static_assert(decode(0x41800013u) == Instruction{op::Data{0x41800013u}});
static_assert(decode(0x438080a0u) == Instruction{op::Put{160, 8}});
static_assert(decode(0x43a00000u) == Instruction{op::Br{10}});
static_assert(decode(0x43a00001u) == Instruction{op::Data{0x43a00001u}});
static_assert(decode(0x22bbffe0u) == Instruction{op::Add{11, 11, -32}});
static_assert(decode(0x427aa002u) == Instruction{op::Shl{10, 7, 2}});
static_assert(encode(decode(0x70100000u)).value() == 0x70100000u);

}  // namespace meshweave
