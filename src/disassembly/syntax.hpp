#pragma once

// The text syntax of every instruction kind, shared by the disassembler and the
// assembler: one descriptor per kind with its mnemonic and its operands, each
// operand naming the field it reads and writes and the values its word can hold.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>

#include "meshweave/disassembly/codec.hpp"
#include "meshweave/disassembly/instruction.hpp"
#include "meshweave/disassembly/word_layouts.hpp"
#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/instruction_words/scalar_encoders.hpp"

namespace meshweave::syntax {

enum class Notation : std::uint8_t { Decimal, Hex };

// The values an operand may take: every multiple of `multiple_of` from `min`
// to `max`. Stated from the word layouts and checked against the encoders below.
struct Range {
  std::int64_t min;
  std::int64_t max;
  std::uint32_t multiple_of = 1;

  constexpr bool contains(std::int64_t value) const noexcept {
    return value >= min && value <= max && (value - min) % multiple_of == 0;
  }
};

template <class Field>
constexpr Range field_range() noexcept {
  return {0, Field::max};
}
inline constexpr Range register_range{0, scalar_word::register_max};
// Branch and call targets: word-aligned byte addresses below the limit.
inline constexpr Range target_range{0, scalar_word::target_limit - 4, 4};

template <class T, class M>
struct OperandSyntax {
  using Fields = T;
  using Value = M;

  std::string_view name;
  M T::* member;
  Range range;
  Notation notation = Notation::Decimal;
  bool bare = false;      // written without `name=`
  bool optional = false;  // written only when not zero
};

template <class T, class M>
constexpr OperandSyntax<T, M> decimal(std::string_view name, M T::* member, Range range) {
  return {name, member, range, Notation::Decimal};
}
template <class T, class M>
constexpr OperandSyntax<T, M> hex(std::string_view name, M T::* member, Range range) {
  static_assert(std::is_unsigned_v<M>, "hexadecimal operands are unsigned");
  return {name, member, range, Notation::Hex};
}

template <class T>
struct Syntax;

template <>
struct Syntax<op::Delay> {
  static constexpr std::string_view mnemonic{"delay"};
  static constexpr auto operands =
      std::tuple{decimal("cycles", &op::Delay::cycles, field_range<delay_word::Cycles>())};
};
template <>
struct Syntax<op::PicDelay> {
  static constexpr std::string_view mnemonic{"delay_pic"};
  static constexpr auto operands =
      std::tuple{decimal("wait", &op::PicDelay::wait, field_range<pic_word::Wait>()),
                 decimal("flag", &op::PicDelay::flag, field_range<pic_word::Flag>()),
                 hex("address", &op::PicDelay::address, field_range<pic_word::Address>())};
};
template <>
struct Syntax<op::XpicDelay> {
  static constexpr std::string_view mnemonic{"delay_xpic"};
  static constexpr auto operands =
      std::tuple{decimal("wait", &op::XpicDelay::wait, field_range<xpic_word::Wait>()),
                 decimal("flag", &op::XpicDelay::flag, field_range<xpic_word::Flag>()),
                 decimal("selector", &op::XpicDelay::selector, field_range<xpic_word::Selector>())};
};
template <>
struct Syntax<op::Send> {
  static constexpr std::string_view mnemonic{"send"};
  static constexpr auto operands =
      std::tuple{decimal("count_minus_one", &op::Send::count_minus_one,
                         field_range<send_word::CountMinusOne>()),
                 decimal("direction", &op::Send::direction, field_range<send_word::Direction>()),
                 hex("base_word", &op::Send::base_word, field_range<send_word::BaseWord>())};
};
template <>
struct Syntax<op::SendContinuation> {
  static constexpr std::string_view mnemonic{"send_off"};
  static constexpr auto operands = std::tuple{
      decimal("count_minus_one", &op::SendContinuation::count_minus_one,
              Range{0, send_off_reserved::count_minus_one_max}),
      decimal("direction", &op::SendContinuation::direction,
              field_range<send_off_word::Direction>()),
      hex("base_word", &op::SendContinuation::base_word, field_range<send_off_word::BaseWord>()),
      OperandSyntax<op::SendContinuation, std::uint32_t>{
          "reserved", &op::SendContinuation::reserved, field_range<send_off_reserved::Reserved>(),
          Notation::Decimal, false, true}};
};
template <>
struct Syntax<op::Sync> {
  static constexpr std::string_view mnemonic{"sync"};
  static constexpr auto operands =
      std::tuple{decimal("operand", &op::Sync::operand, field_range<sync_word::Operand>())};
};
template <>
struct Syntax<op::Setzi> {
  static constexpr std::string_view mnemonic{"setzi"};
  static constexpr auto operands =
      std::tuple{decimal("register", &op::Setzi::reg, register_range),
                 decimal("immediate", &op::Setzi::immediate, field_range<scalar_word::Imm20>())};
};
template <>
struct Syntax<op::Put> {
  static constexpr std::string_view mnemonic{"put"};
  static constexpr auto operands =
      std::tuple{decimal("special", &op::Put::special, field_range<scalar_word::Special>()),
                 decimal("register", &op::Put::reg, register_range)};
};
template <>
struct Syntax<op::Br> {
  static constexpr std::string_view mnemonic{"br"};
  static constexpr auto operands = std::tuple{decimal("register", &op::Br::reg, register_range)};
};
template <>
struct Syntax<op::Brz> {
  static constexpr std::string_view mnemonic{"brz"};
  static constexpr auto operands =
      std::tuple{decimal("register", &op::Brz::reg, register_range),
                 hex("target_address", &op::Brz::target_address, target_range)};
};
template <>
struct Syntax<op::Call> {
  static constexpr std::string_view mnemonic{"call"};
  static constexpr auto operands =
      std::tuple{decimal("return_register", &op::Call::return_register, register_range),
                 hex("target_address", &op::Call::target_address, target_range)};
};
template <>
struct Syntax<op::Ld32> {
  static constexpr std::string_view mnemonic{"ld32"};
  static constexpr auto operands =
      std::tuple{decimal("destination", &op::Ld32::destination, register_range),
                 decimal("base", &op::Ld32::base, register_range),
                 decimal("delta", &op::Ld32::delta, register_range),
                 decimal("word_offset", &op::Ld32::word_offset, field_range<scalar_word::Imm12>())};
};
template <>
struct Syntax<op::St32> {
  static constexpr std::string_view mnemonic{"st32"};
  static constexpr auto operands =
      std::tuple{decimal("source", &op::St32::source, register_range),
                 decimal("base", &op::St32::base, register_range),
                 decimal("delta", &op::St32::delta, register_range),
                 decimal("word_offset", &op::St32::word_offset, field_range<scalar_word::Imm12>())};
};
template <>
struct Syntax<op::Add> {
  static constexpr std::string_view mnemonic{"add"};
  static constexpr auto operands =
      std::tuple{decimal("destination", &op::Add::destination, register_range),
                 decimal("source", &op::Add::source, register_range),
                 decimal("immediate", &op::Add::immediate,
                         Range{scalar_word::add_immediate_min, scalar_word::add_immediate_max})};
};
template <>
struct Syntax<op::And> {
  static constexpr std::string_view mnemonic{"and"};
  static constexpr auto operands =
      std::tuple{decimal("destination", &op::And::destination, register_range),
                 decimal("source", &op::And::source, register_range),
                 decimal("immediate", &op::And::immediate, field_range<scalar_word::Imm12>())};
};
template <>
struct Syntax<op::Shl> {
  static constexpr std::string_view mnemonic{"shl"};
  static constexpr auto operands =
      std::tuple{decimal("destination", &op::Shl::destination, register_range),
                 decimal("source", &op::Shl::source, register_range),
                 decimal("immediate", &op::Shl::immediate, field_range<scalar_word::Imm12>())};
};
template <>
struct Syntax<op::Data> {
  static constexpr std::string_view mnemonic{".word"};
  static constexpr auto operands = std::tuple{OperandSyntax<op::Data, std::uint32_t>{
      "word", &op::Data::word, Range{0, 0xffffffff}, Notation::Hex, true}};
};

template <class T>
inline constexpr std::size_t operand_count = std::tuple_size_v<decltype(Syntax<T>::operands)>;

// Calls f(operand_syntax, index) for each operand of T in order, stopping at the
// first call that returns false; returns whether every call returned true.
template <class T, class F>
constexpr bool for_each_operand(F&& f) {
  return [&]<std::size_t... I>(std::index_sequence<I...>) {
    return (f(std::get<I>(Syntax<T>::operands), I) && ...);
  }(std::make_index_sequence<operand_count<T>>{});
}

// `fields` with every operand but this one at zero. Zero is valid for every
// operand, so the encoder refuses this only because of the one operand.
template <class T, class Operand>
constexpr T alone(const T& fields, const Operand& operand) {
  T single{};
  single.*operand.member = fields.*operand.member;
  return single;
}

// `value` as the disassembler writes it: decimal, or 0x-hexadecimal.
void append_number(std::string& out, std::int64_t value, Notation notation);
// "0 to 127", "0x0 to 0x1ffffc, multiples of 4"
std::string range_text(const Range& range, Notation notation);

namespace checks {
// Each range is exactly what the kind's encoder takes for the operand on its
// own: its ends are taken, the values just past them (where the field's type
// holds them) and the values between two multiples are refused.
template <class T, class Operand>
constexpr bool range_matches_encoder(const Operand& operand) {
  using M = typename Operand::Value;
  using Limits = std::numeric_limits<M>;
  const Range range = operand.range;
  const auto encodes = [&](std::int64_t value) {
    T fields{};
    fields.*operand.member = static_cast<M>(value);
    return encode(Instruction{alone(fields, operand)}).has_value();
  };
  if (std::cmp_less(range.min, Limits::min()) || std::cmp_greater(range.max, Limits::max())) {
    return false;
  }
  if (!encodes(range.min) || !encodes(range.max) || !range.contains(0)) return false;
  if (std::cmp_greater(range.min, Limits::min()) && encodes(range.min - 1)) return false;
  if (std::cmp_less(range.max, Limits::max()) && encodes(range.max + 1)) return false;
  return range.multiple_of == 1 || !encodes(range.min + 1);
}

template <class T>
constexpr bool ranges_match_encoder() {
  return for_each_operand<T>(
      [](const auto& operand, std::size_t) { return range_matches_encoder<T>(operand); });
}

static_assert([]<std::size_t... I>(std::index_sequence<I...>) {
  return (ranges_match_encoder<std::variant_alternative_t<I, InstructionFields>>() && ...);
}(std::make_index_sequence<std::variant_size_v<InstructionFields>>{}));
}  // namespace checks

}  // namespace meshweave::syntax
