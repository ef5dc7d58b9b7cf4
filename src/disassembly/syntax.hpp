#pragma once

// The text syntax of every instruction kind, shared by the disassembler and the
// assembler: one descriptor per kind with its mnemonic and its operands, each
// operand naming the field it reads and writes.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "meshweave/disassembly/instruction.hpp"

namespace meshweave::syntax {

enum class Notation : std::uint8_t { Decimal, Hex };

template <class T, class M>
struct OperandSyntax {
  using Fields = T;
  using Value = M;

  std::string_view name;
  M T::*member;
  Notation notation = Notation::Decimal;
  bool bare = false;      // written without `name=`
  bool optional = false;  // written only when not zero
};

template <class T, class M>
constexpr OperandSyntax<T, M> decimal(std::string_view name, M T::*member) {
  return {name, member, Notation::Decimal};
}
template <class T, class M>
constexpr OperandSyntax<T, M> hex(std::string_view name, M T::*member) {
  static_assert(std::is_unsigned_v<M>, "hexadecimal operands are unsigned");
  return {name, member, Notation::Hex};
}

template <class T>
struct Syntax;

template <>
struct Syntax<op::Delay> {
  static constexpr std::string_view mnemonic{"delay"};
  static constexpr auto operands = std::tuple{decimal("cycles", &op::Delay::cycles)};
};
template <>
struct Syntax<op::PicDelay> {
  static constexpr std::string_view mnemonic{"delay_pic"};
  static constexpr auto operands =
      std::tuple{decimal("wait", &op::PicDelay::wait), decimal("flag", &op::PicDelay::flag),
                 hex("address", &op::PicDelay::address)};
};
template <>
struct Syntax<op::XpicDelay> {
  static constexpr std::string_view mnemonic{"delay_xpic"};
  static constexpr auto operands =
      std::tuple{decimal("wait", &op::XpicDelay::wait), decimal("flag", &op::XpicDelay::flag),
                 decimal("selector", &op::XpicDelay::selector)};
};
template <>
struct Syntax<op::Send> {
  static constexpr std::string_view mnemonic{"send"};
  static constexpr auto operands = std::tuple{decimal("count_minus_one", &op::Send::count_minus_one),
                                              decimal("direction", &op::Send::direction),
                                              hex("base_word", &op::Send::base_word)};
};
template <>
struct Syntax<op::SendContinuation> {
  static constexpr std::string_view mnemonic{"send_off"};
  static constexpr auto operands = std::tuple{
      decimal("count_minus_one", &op::SendContinuation::count_minus_one),
      decimal("direction", &op::SendContinuation::direction),
      hex("base_word", &op::SendContinuation::base_word),
      OperandSyntax<op::SendContinuation, std::uint32_t>{
          "reserved", &op::SendContinuation::reserved, Notation::Decimal, false, true}};
};
template <>
struct Syntax<op::Sync> {
  static constexpr std::string_view mnemonic{"sync"};
  static constexpr auto operands = std::tuple{decimal("operand", &op::Sync::operand)};
};
template <>
struct Syntax<op::Setzi> {
  static constexpr std::string_view mnemonic{"setzi"};
  static constexpr auto operands = std::tuple{decimal("register", &op::Setzi::reg),
                                              decimal("immediate", &op::Setzi::immediate)};
};
template <>
struct Syntax<op::Put> {
  static constexpr std::string_view mnemonic{"put"};
  static constexpr auto operands =
      std::tuple{decimal("special", &op::Put::special), decimal("register", &op::Put::reg)};
};
template <>
struct Syntax<op::Br> {
  static constexpr std::string_view mnemonic{"br"};
  static constexpr auto operands = std::tuple{decimal("register", &op::Br::reg)};
};
template <>
struct Syntax<op::Brz> {
  static constexpr std::string_view mnemonic{"brz"};
  static constexpr auto operands = std::tuple{decimal("register", &op::Brz::reg),
                                              hex("target_address", &op::Brz::target_address)};
};
template <>
struct Syntax<op::Call> {
  static constexpr std::string_view mnemonic{"call"};
  static constexpr auto operands =
      std::tuple{decimal("return_register", &op::Call::return_register),
                 hex("target_address", &op::Call::target_address)};
};
template <>
struct Syntax<op::Ld32> {
  static constexpr std::string_view mnemonic{"ld32"};
  static constexpr auto operands =
      std::tuple{decimal("destination", &op::Ld32::destination), decimal("base", &op::Ld32::base),
                 decimal("delta", &op::Ld32::delta), decimal("word_offset", &op::Ld32::word_offset)};
};
template <>
struct Syntax<op::St32> {
  static constexpr std::string_view mnemonic{"st32"};
  static constexpr auto operands =
      std::tuple{decimal("source", &op::St32::source), decimal("base", &op::St32::base),
                 decimal("delta", &op::St32::delta), decimal("word_offset", &op::St32::word_offset)};
};
template <>
struct Syntax<op::Add> {
  static constexpr std::string_view mnemonic{"add"};
  static constexpr auto operands =
      std::tuple{decimal("destination", &op::Add::destination),
                 decimal("source", &op::Add::source), decimal("immediate", &op::Add::immediate)};
};
template <>
struct Syntax<op::And> {
  static constexpr std::string_view mnemonic{"and"};
  static constexpr auto operands =
      std::tuple{decimal("destination", &op::And::destination),
                 decimal("source", &op::And::source), decimal("immediate", &op::And::immediate)};
};
template <>
struct Syntax<op::Shl> {
  static constexpr std::string_view mnemonic{"shl"};
  static constexpr auto operands =
      std::tuple{decimal("destination", &op::Shl::destination),
                 decimal("source", &op::Shl::source), decimal("immediate", &op::Shl::immediate)};
};
template <>
struct Syntax<op::Data> {
  static constexpr std::string_view mnemonic{".word"};
  static constexpr auto operands =
      std::tuple{OperandSyntax<op::Data, std::uint32_t>{"word", &op::Data::word, Notation::Hex, true}};
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

}  // namespace meshweave::syntax
