// Exchange control words: the cycles every word accounts for, rewriting the wait
// of a delay word, and the fields of the SEND, DELAY, PIC, XPIC and continuation
// SEND encoders.
//
// Input: word, advance, then three operands a, b, c (all u32, little-endian).

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.hpp"
#include "fuzz_input.hpp"
#include "meshweave/instruction_words/control_words.hpp"

namespace {

using namespace meshweave;
using fuzz::hex;

// The word layouts written out once more, independently of the library's own
// field definitions, so that the two are checked against each other.
namespace reference {
struct Layout {
  std::uint32_t kind_mask;
  std::uint32_t kind_bits;
  std::uint32_t wait_mask;  // the field that set_instruction_advance rewrites; 0 if none
};
constexpr Layout delay_layout{0xfff80000u, 0x40a00000u, 0x0007ffffu};
constexpr Layout pic_layout{0xfc000000u, 0x60000000u, 0x03f80000u};
constexpr Layout xpic_layout{0xfc000000u, 0x64000000u, 0x03ffc000u};
constexpr Layout send_off_layout{0xf8000000u, 0x70000000u, 0};
constexpr Layout send_layout{0xf8000000u, 0x78000000u, 0};

constexpr bool is(std::uint32_t word, const Layout& layout) {
  return (word & layout.kind_mask) == layout.kind_bits;
}
constexpr std::uint32_t field(std::uint32_t word, unsigned low, unsigned width) {
  return (word >> low) & ((1u << width) - 1u);
}

// Cycles of a word, trying the kinds in the order that decides an ambiguous word.
constexpr std::uint32_t advance(std::uint32_t word) {
  if (is(word, delay_layout)) return field(word, 0, 19) + 1;
  if (is(word, pic_layout)) return field(word, 19, 7) + 1;
  if (is(word, xpic_layout)) return field(word, 14, 12) + 1;
  if (is(word, send_off_layout)) return (field(word, 21, 6) | field(word, 14, 6) << 6) + 1;
  if (is(word, send_layout)) return field(word, 21, 6) + 1;
  return 0;
}

// The error set_instruction_advance must report, or an empty text on success.
constexpr std::string_view set_advance_failure(std::uint32_t word, std::uint32_t cycles) {
  if (cycles == 0) return schedule_message::zero_event_advance;
  if (is(word, delay_layout)) {
    return cycles > 0x80000u ? schedule_message::delay_advance_overflow : std::string_view{};
  }
  if (is(word, pic_layout)) {
    return cycles > 128 ? schedule_message::pic_delay_advance_overflow : std::string_view{};
  }
  if (is(word, xpic_layout)) {
    return cycles > 4096 ? schedule_message::xpic_delay_advance_overflow : std::string_view{};
  }
  return schedule_message::first_event_not_delay;
}

constexpr std::uint32_t wait_mask(std::uint32_t word) {
  if (is(word, delay_layout)) return delay_layout.wait_mask;
  if (is(word, pic_layout)) return pic_layout.wait_mask;
  if (is(word, xpic_layout)) return xpic_layout.wait_mask;
  return 0;
}
}  // namespace reference

void check_advance(std::uint32_t word) {
  FUZZ_CHECK(instruction_advance(word) == reference::advance(word),
             "word " << hex(word) << ": " << instruction_advance(word) << " cycles, expected "
                     << reference::advance(word));
}

void check_set_advance(std::uint32_t word, std::uint32_t cycles) {
  std::uint32_t changed = word;
  const Status status = set_instruction_advance(changed, cycles);
  const std::string_view failure = reference::set_advance_failure(word, cycles);
  if (!status) {
    FUZZ_CHECK(status.error() == ExchangeError::schedule(failure),
               "word " << hex(word) << " advance " << cycles << ": " << status.error()
                       << ", expected \"" << failure << '"');
    FUZZ_CHECK(changed == word,
               "failed rewrite of " << hex(word) << " changed it to " << hex(changed));
    return;
  }
  FUZZ_CHECK(failure.empty(), "word " << hex(word) << " advance " << cycles
                                      << " succeeded, expected \"" << failure << '"');
  FUZZ_CHECK(instruction_advance(changed) == cycles,
             hex(word) << " rewritten to " << hex(changed) << " accounts for "
                       << instruction_advance(changed) << " cycles, not " << cycles);
  FUZZ_CHECK(((changed ^ word) & ~reference::wait_mask(word)) == 0,
             hex(word) << " rewritten to " << hex(changed) << " changed bits outside its wait");
  // Giving a word back its own advance changes nothing.
  std::uint32_t again = changed;
  FUZZ_CHECK(set_instruction_advance(again, instruction_advance(changed)) && again == changed,
             hex(changed) << " rewritten to its own advance became " << hex(again));
}

void check_send(std::uint32_t count_minus_one, std::uint32_t direction, std::uint32_t base_word) {
  const Result<std::uint32_t> send = encode_send(count_minus_one, direction, base_word);
  const bool valid = count_minus_one <= 63 && direction <= 7 && base_word <= 0x3ffff;
  FUZZ_CHECK(send.has_value() == valid, "encode_send(" << count_minus_one << ", " << direction
                                                       << ", " << base_word
                                                       << "): " << fuzz::outcome(send));
  if (!send) {
    FUZZ_CHECK(send.error() == ExchangeError::schedule(schedule_message::send_instruction_operand),
               "encode_send failed with " << send.error());
    return;
  }
  const std::uint32_t word = *send;
  FUZZ_CHECK(reference::is(word, reference::send_layout) &&
                 reference::field(word, 21, 6) == count_minus_one &&
                 reference::field(word, 3, 18) == base_word &&
                 reference::field(word, 0, 3) == direction,
             "encode_send(" << count_minus_one << ", " << direction << ", " << base_word
                            << ") = " << hex(word));
  FUZZ_CHECK(instruction_advance(word) == count_minus_one + 1, "SEND " << hex(word));
}

void check_packers(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  const std::uint32_t d = delay(a);
  FUZZ_CHECK(d == (0x40a00000u | (a & 0x7ffffu)) && d == delay(a & 0x7ffffu) &&
                 instruction_advance(d) == (a & 0x7ffffu) + 1,
             "delay(" << a << ") = " << hex(d));

  const std::uint32_t pic = delay_pic(a, b, c);
  FUZZ_CHECK(reference::is(pic, reference::pic_layout) &&
                 reference::field(pic, 19, 7) == (a & 0x7f) &&
                 reference::field(pic, 18, 1) == (b & 1) &&
                 reference::field(pic, 0, 18) == (c & 0x3ffff) &&
                 instruction_advance(pic) == (a & 0x7f) + 1,
             "delay_pic(" << a << ", " << b << ", " << c << ") = " << hex(pic));

  const std::uint32_t xpic = delay_xpic(a, b, c);
  FUZZ_CHECK(reference::is(xpic, reference::xpic_layout) &&
                 reference::field(xpic, 14, 12) == (a & 0xfff) &&
                 reference::field(xpic, 13, 1) == (b & 1) &&
                 reference::field(xpic, 0, 13) == (c & 0x1fff) &&
                 instruction_advance(xpic) == (a & 0xfff) + 1,
             "delay_xpic(" << a << ", " << b << ", " << c << ") = " << hex(xpic));

  const std::uint32_t more = send_off(a, b, c);
  FUZZ_CHECK(reference::is(more, reference::send_off_layout) &&
                 reference::field(more, 20, 1) == 0 && reference::field(more, 0, 3) == (b & 7) &&
                 reference::field(more, 3, 11) == (c & 0x7ff) &&
                 instruction_advance(more) == (a & 0xfff) + 1,
             "send_off(" << a << ", " << b << ", " << c << ") = " << hex(more));
}

void check_count(std::uint32_t count) {
  const Status valid = validate_count(count);
  if (count >= 1 && count <= 4148) {
    FUZZ_CHECK(valid.has_value(), "validate_count(" << count << "): " << valid.error());
  } else {
    FUZZ_CHECK(!valid && valid.error() == ExchangeError::count(count),
               "validate_count(" << count << ") accepted or failed with the wrong error");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input{data, size};
  const std::uint32_t word = input.u32();
  const std::uint32_t cycles = input.u32();
  const std::uint32_t a = input.u32();
  const std::uint32_t b = input.u32();
  const std::uint32_t c = input.u32();

  check_advance(word);
  check_set_advance(word, cycles);
  // The encoders' own words, rewritten to an arbitrary wait.
  check_set_advance(delay(a), cycles);
  check_set_advance(delay_pic(a, b, c), cycles);
  check_set_advance(delay_xpic(a, b, c), cycles);
  check_send(a, b, c);
  check_send(a & 0x3f, b & 7, c & 0x3ffff);
  check_packers(a, b, c);
  check_count(cycles);
  return 0;
}
