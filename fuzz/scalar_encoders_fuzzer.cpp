// Scalar instruction encoders: each checked encoder gives exactly the word of its
// field table (and of its unchecked packer) when every operand is in range, and
// otherwise fails with its own message; the fields read back from the word.
//
// Input: registers r0..r3 (u8 each), immediates u32, i32 and u16 (little-endian).

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.hpp"
#include "fuzz_input.hpp"
#include "meshweave/instruction_words/scalar_encoders.hpp"

namespace {

using namespace meshweave;
using fuzz::hex;

// The field tables written out once more: opcode byte in 31..24, the upper
// register in 23..20, the lower one in 19..16, a 4-bit field in 15..12.
namespace reference {
constexpr std::uint32_t opcode(std::uint32_t byte) { return byte << 24; }
constexpr std::uint32_t upper(std::uint32_t reg) { return reg << 20; }
constexpr std::uint32_t lower(std::uint32_t reg) { return reg << 16; }
constexpr std::uint32_t nibble(std::uint32_t value) { return value << 12; }
constexpr bool is_register(std::uint32_t reg) { return reg <= 15; }
constexpr bool is_target(std::uint32_t address) { return address % 4 == 0 && address < 0x200000; }
}  // namespace reference

// The encoder's outcome must be the expected word, or its own message when
// `valid` is false.
void expect(const char* encoder, const Result<std::uint32_t>& result, bool valid,
            std::uint32_t word, std::string_view message) {
  if (valid) {
    FUZZ_CHECK(result.has_value() && *result == word,
               encoder << ": " << fuzz::outcome(result) << " " << (result ? hex(*result) : hex(0))
                       << ", expected " << hex(word));
  } else {
    FUZZ_CHECK(!result && result.error() == ExchangeError::schedule(message),
               encoder << ": " << fuzz::outcome(result) << ", expected \"" << message << '"');
  }
}

void check_register_forms(std::uint8_t r, std::uint32_t immediate, std::uint8_t special) {
  using namespace reference;
  expect("encode_br_m", encode_br_m(r), is_register(r), opcode(0x43) | upper(r),
         schedule_message::branch_register);
  expect("encode_setzi_m", encode_setzi_m(r, immediate), is_register(r) && immediate <= 0xfffff,
         opcode(0x19) | upper(r) | immediate, schedule_message::setzi_operand);
  expect("encode_put_special_m", encode_put_special_m(special, r), is_register(r),
         opcode(0x43) | upper(r) | 0x8000u | special, schedule_message::put_source_register);

  // The unchecked packers neither check nor mask.
  FUZZ_CHECK(br_m(r) == (opcode(0x43) | std::uint32_t{r} << 20), "br_m(" << +r << ")");
  FUZZ_CHECK(setzi_m(r, immediate) == (opcode(0x19) | std::uint32_t{r} << 20 | immediate),
             "setzi_m(" << +r << ", " << immediate << ")");
  FUZZ_CHECK(put_special_from_m8(special) == (0x43808000u | special),
             "put_special_from_m8(" << +special << ")");
  if (const auto put = encode_put_special_m(special, 8)) {
    FUZZ_CHECK(*put == put_special_from_m8(special), "PUT from m8, special " << +special);
  }
  if (const auto br = encode_br_m(r)) FUZZ_CHECK(*br == br_m(r), "BR m" << +r);
  if (const auto setzi = encode_setzi_m(r, immediate)) {
    FUZZ_CHECK(*setzi == setzi_m(r, immediate), "SETZI m" << +r << ", " << immediate);
  }
}

void check_branch_forms(std::uint8_t r, std::uint32_t target) {
  using namespace reference;
  const bool valid = is_register(r) && is_target(target);
  const std::uint32_t fields = upper(r) | (target >> 2);
  expect("encode_call_m_immediate", encode_call_m_immediate(r, target), valid,
         opcode(0x18) | fields, schedule_message::call_operand);
  expect("encode_brz_m_immediate", encode_brz_m_immediate(r, target), valid, opcode(0x13) | fields,
         schedule_message::brz_operand);
  if (const auto call = encode_call_m_immediate(r, target)) {
    // Bit 19 stays clear and the word target times 4 is the byte target again.
    FUZZ_CHECK((*call & 0x80000u) == 0 && (*call & 0x7ffffu) * 4 == target,
               "CALL " << hex(*call) << " for target " << hex(target));
  }
}

void check_memory_forms(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint16_t offset) {
  using namespace reference;
  const bool valid = is_register(a) && is_register(b) && is_register(c) && offset <= 4095;
  const std::uint32_t fields = upper(b) | lower(a) | nibble(c) | offset;
  expect("encode_ld32_m_immediate", encode_ld32_m_immediate(a, b, c, offset), valid,
         opcode(0x01) | fields, schedule_message::ld32_operand);
  expect("encode_st32_m_immediate", encode_st32_m_immediate(a, b, c, offset), valid,
         opcode(0x4f) | fields, schedule_message::st32_operand);
}

void check_alu_forms(std::uint8_t destination, std::uint8_t source, std::int32_t add_immediate,
                     std::uint16_t immediate) {
  using namespace reference;
  const bool registers = is_register(destination) && is_register(source);
  const bool add_in_range = add_immediate >= -32768 && add_immediate <= 32767;
  const Result<std::uint32_t> add = encode_add_m_immediate(destination, source, add_immediate);
  // The immediate is judged first, whatever the registers hold.
  expect("encode_add_m_immediate", add, add_in_range && registers,
         opcode(0x22) | upper(source) | lower(destination) |
             (static_cast<std::uint32_t>(add_immediate) & 0xffffu),
         add_in_range ? schedule_message::add_register_operand
                      : schedule_message::add_immediate_operand);
  if (add) {
    FUZZ_CHECK(static_cast<std::int16_t>(*add & 0xffffu) == add_immediate,
               "ADD " << hex(*add) << " for immediate " << add_immediate);
  }

  const bool valid = registers && immediate <= 4095;
  const std::uint32_t fields = upper(source) | lower(destination) | immediate;
  expect("encode_and_m_immediate", encode_and_m_immediate(destination, source, immediate), valid,
         opcode(0x42) | nibble(0x0) | fields, schedule_message::and_operand);
  expect("encode_shl_m_immediate", encode_shl_m_immediate(destination, source, immediate), valid,
         opcode(0x42) | nibble(0xa) | fields, schedule_message::shift_left_operand);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input{data, size};
  const std::uint8_t r0 = input.u8();
  const std::uint8_t r1 = input.u8();
  const std::uint8_t r2 = input.u8();
  const std::uint8_t r3 = input.u8();
  const std::uint32_t wide = input.u32();
  const std::int32_t signed_immediate = input.i32();
  const std::uint16_t narrow = input.u16();

  check_register_forms(r0, wide, r3);
  check_branch_forms(r0, wide);
  check_memory_forms(r0, r1, r2, narrow);
  check_alu_forms(r0, r1, signed_immediate, narrow);
  // Small immediates reach the in-range words far more often than raw ones.
  check_alu_forms(r0, r1, static_cast<std::int16_t>(signed_immediate & 0xffff), narrow & 0xfffu);
  check_register_forms(r0 & 0xfu, wide & 0xfffffu, r3);
  return 0;
}
