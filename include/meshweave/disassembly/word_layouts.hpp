#pragma once

#include <cstdint>

#include "meshweave/instruction_words/bit_field.hpp"
#include "meshweave/instruction_words/control_words.hpp"

namespace meshweave {

// The continuation SEND leaves one bit unused between the two halves of its
// count. `send_off` always writes it as 0, yet the word is still timed when it
// is set, so the decoder keeps it to give back the exact word.
namespace send_off_reserved {
inline constexpr unsigned low = send_off_word::CountHigh::low + send_off_word::CountHigh::width;
using Reserved = BitField<low, send_off_word::CountLow::low - low>;
// `send_off` takes the whole 12-bit count minus one.
inline constexpr std::uint32_t count_minus_one_max =
    (1u << (send_off_word::CountLow::width + send_off_word::CountHigh::width)) - 1u;
}  // namespace send_off_reserved

namespace word_layout_checks {
// The kind bits and the fields of a timed word cover all 32 bits without overlap,
// so every word of a timed kind has a field-by-field reading that re-encodes to it.
constexpr bool covers_word(std::uint32_t kind_mask, auto... field_masks) {
  std::uint32_t seen = kind_mask;
  for (const std::uint32_t m : {field_masks...}) {
    if ((seen & m) != 0) return false;
    seen |= m;
  }
  return seen == 0xffffffffu;
}
static_assert(covers_word(delay_word::kind.mask, delay_word::Cycles::mask));
static_assert(covers_word(pic_word::kind.mask, pic_word::Wait::mask, pic_word::Flag::mask,
                          pic_word::Address::mask));
static_assert(covers_word(xpic_word::kind.mask, xpic_word::Wait::mask, xpic_word::Flag::mask,
                          xpic_word::Selector::mask));
static_assert(covers_word(send_word::kind.mask, send_word::CountMinusOne::mask,
                          send_word::BaseWord::mask, send_word::Direction::mask));
static_assert(covers_word(send_off_word::kind.mask, send_off_word::CountLow::mask,
                          send_off_reserved::Reserved::mask, send_off_word::CountHigh::mask,
                          send_off_word::BaseWord::mask, send_off_word::Direction::mask));
static_assert(covers_word(sync_word::kind.mask, sync_word::Operand::mask));
}  // namespace word_layout_checks

static_assert(send_off_reserved::Reserved::mask == 0x00100000u);
static_assert(send_off_reserved::count_minus_one_max == 0xfffu);

}  // namespace meshweave
