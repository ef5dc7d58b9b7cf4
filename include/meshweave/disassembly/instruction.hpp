#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace meshweave {

// What a word is: the five timed kinds, SYNC, the scalar kinds, and Data for
// any word that is none of them.
enum class InstructionKind : std::uint8_t {
  Delay,
  PicDelay,
  XpicDelay,
  Send,
  SendContinuation,
  Sync,
  Setzi,
  Put,
  Br,
  Brz,
  Call,
  Ld32,
  St32,
  Add,
  And,
  Shl,
  Data,
};

// The fields of each kind, named and ordered as the kind's encoder takes them.
// A register operand is spelled `reg` here and `register` in the text form.
namespace op {
struct Delay {  // delay(cycles): accounts for cycles + 1
  static constexpr InstructionKind kind = InstructionKind::Delay;
  std::uint32_t cycles;
  friend constexpr bool operator==(const Delay&, const Delay&) = default;
};
struct PicDelay {  // delay_pic(wait, flag, address)
  static constexpr InstructionKind kind = InstructionKind::PicDelay;
  std::uint32_t wait;
  std::uint32_t flag;
  std::uint32_t address;  // receive-buffer word address
  friend constexpr bool operator==(const PicDelay&, const PicDelay&) = default;
};
struct XpicDelay {  // delay_xpic(wait, flag, selector)
  static constexpr InstructionKind kind = InstructionKind::XpicDelay;
  std::uint32_t wait;
  std::uint32_t flag;
  std::uint32_t selector;  // tile selector
  friend constexpr bool operator==(const XpicDelay&, const XpicDelay&) = default;
};
struct Send {  // encode_send(count_minus_one, direction, base_word)
  static constexpr InstructionKind kind = InstructionKind::Send;
  std::uint32_t count_minus_one;
  std::uint32_t direction;
  std::uint32_t base_word;
  friend constexpr bool operator==(const Send&, const Send&) = default;
};
struct SendContinuation {  // send_off(count_minus_one, direction, base_word)
  static constexpr InstructionKind kind = InstructionKind::SendContinuation;
  std::uint32_t count_minus_one;
  std::uint32_t direction;
  std::uint32_t base_word;
  std::uint32_t reserved;  // the unused bit 20; 0 in every word send_off makes
  friend constexpr bool operator==(const SendContinuation&, const SendContinuation&) = default;
};
struct Sync {  // 0x41800000 | operand
  static constexpr InstructionKind kind = InstructionKind::Sync;
  std::uint32_t operand;
  friend constexpr bool operator==(const Sync&, const Sync&) = default;
};
struct Setzi {  // encode_setzi_m(register, immediate)
  static constexpr InstructionKind kind = InstructionKind::Setzi;
  std::uint8_t reg;
  std::uint32_t immediate;
  friend constexpr bool operator==(const Setzi&, const Setzi&) = default;
};
struct Put {  // encode_put_special_m(special, register)
  static constexpr InstructionKind kind = InstructionKind::Put;
  std::uint8_t special;
  std::uint8_t reg;
  friend constexpr bool operator==(const Put&, const Put&) = default;
};
struct Br {  // encode_br_m(register)
  static constexpr InstructionKind kind = InstructionKind::Br;
  std::uint8_t reg;
  friend constexpr bool operator==(const Br&, const Br&) = default;
};
struct Brz {  // encode_brz_m_immediate(register, target_address)
  static constexpr InstructionKind kind = InstructionKind::Brz;
  std::uint8_t reg;
  std::uint32_t target_address;  // byte address
  friend constexpr bool operator==(const Brz&, const Brz&) = default;
};
struct Call {  // encode_call_m_immediate(return_register, target_address)
  static constexpr InstructionKind kind = InstructionKind::Call;
  std::uint8_t return_register;
  std::uint32_t target_address;  // byte address
  friend constexpr bool operator==(const Call&, const Call&) = default;
};
struct Ld32 {  // encode_ld32_m_immediate(destination, base, delta, word_offset)
  static constexpr InstructionKind kind = InstructionKind::Ld32;
  std::uint8_t destination;
  std::uint8_t base;
  std::uint8_t delta;
  std::uint16_t word_offset;
  friend constexpr bool operator==(const Ld32&, const Ld32&) = default;
};
struct St32 {  // encode_st32_m_immediate(source, base, delta, word_offset)
  static constexpr InstructionKind kind = InstructionKind::St32;
  std::uint8_t source;
  std::uint8_t base;
  std::uint8_t delta;
  std::uint16_t word_offset;
  friend constexpr bool operator==(const St32&, const St32&) = default;
};
struct Add {  // encode_add_m_immediate(destination, source, immediate)
  static constexpr InstructionKind kind = InstructionKind::Add;
  std::uint8_t destination;
  std::uint8_t source;
  std::int32_t immediate;
  friend constexpr bool operator==(const Add&, const Add&) = default;
};
struct And {  // encode_and_m_immediate(destination, source, immediate)
  static constexpr InstructionKind kind = InstructionKind::And;
  std::uint8_t destination;
  std::uint8_t source;
  std::uint16_t immediate;
  friend constexpr bool operator==(const And&, const And&) = default;
};
struct Shl {  // encode_shl_m_immediate(destination, source, immediate)
  static constexpr InstructionKind kind = InstructionKind::Shl;
  std::uint8_t destination;
  std::uint8_t source;
  std::uint16_t immediate;
  friend constexpr bool operator==(const Shl&, const Shl&) = default;
};
struct Data {  // a word that is no instruction of the kinds above, kept as it is
  static constexpr InstructionKind kind = InstructionKind::Data;
  std::uint32_t word;
  friend constexpr bool operator==(const Data&, const Data&) = default;
};
}  // namespace op

// Alternatives in the order of InstructionKind, so a kind is its variant index.
using InstructionFields =
    std::variant<op::Delay, op::PicDelay, op::XpicDelay, op::Send, op::SendContinuation, op::Sync,
                 op::Setzi, op::Put, op::Br, op::Brz, op::Call, op::Ld32, op::St32, op::Add,
                 op::And, op::Shl, op::Data>;

// One instruction word taken apart: its kind and that kind's fields.
struct Instruction {
  InstructionFields fields;

  constexpr InstructionKind kind() const noexcept {
    return static_cast<InstructionKind>(fields.index());
  }
  friend constexpr bool operator==(const Instruction&, const Instruction&) = default;
};

// Each alternative sits at the index of its own kind.
static_assert([]<std::size_t... I>(std::index_sequence<I...>) {
  return (
      (std::variant_alternative_t<I, InstructionFields>::kind == static_cast<InstructionKind>(I)) &&
      ...);
}(std::make_index_sequence<std::variant_size_v<InstructionFields>>{}));
static_assert(std::variant_size_v<InstructionFields> ==
              static_cast<std::size_t>(InstructionKind::Data) + 1);

// "Delay", "Send", ... as the enumerators are spelled.
std::string_view kind_name(InstructionKind kind) noexcept;

// The one-line text form (see disassembly/text.hpp); derived notes follow a `;`.
std::string to_string(const Instruction& instruction);
std::ostream& operator<<(std::ostream& out, const Instruction& instruction);
std::ostream& operator<<(std::ostream& out, InstructionKind kind);

}  // namespace meshweave
