#include "syntax.hpp"

#include <array>
#include <charconv>
#include <cstddef>
#include <span>
#include <string>
#include <variant>

#include "meshweave/disassembly/text.hpp"

namespace meshweave {

namespace syntax {

void append_number(std::string& out, std::int64_t value, Notation notation) {
  std::array<char, 24> digits{};
  std::to_chars_result end{};
  if (notation == Notation::Hex) {
    if (value < 0) out += '-';
    out += "0x";
    const std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    end = std::to_chars(digits.data(), digits.data() + digits.size(), magnitude, 16);
  } else {
    end = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  }
  out.append(digits.data(), end.ptr);
}

std::string range_text(const Range& range, Notation notation) {
  std::string text;
  append_number(text, range.min, notation);
  text += " to ";
  append_number(text, range.max, notation);
  if (range.multiple_of != 1) text += ", multiples of " + std::to_string(range.multiple_of);
  return text;
}

}  // namespace syntax

namespace {

template <class T>
constexpr auto operand_descriptions = [] {
  std::array<OperandDescription, syntax::operand_count<T>> out{};
  syntax::for_each_operand<T>([&](const auto& operand, std::size_t at) {
    out[at] = {operand.name,
               operand.range.min,
               operand.range.max,
               operand.range.multiple_of,
               operand.notation == syntax::Notation::Hex,
               operand.bare,
               operand.optional};
    return true;
  });
  return out;
}();

constexpr auto descriptions = []<std::size_t... I>(std::index_sequence<I...>) {
  return std::array{InstructionDescription{
      std::variant_alternative_t<I, InstructionFields>::kind,
      syntax::Syntax<std::variant_alternative_t<I, InstructionFields>>::mnemonic,
      std::span<const OperandDescription>{
          operand_descriptions<std::variant_alternative_t<I, InstructionFields>>}}...};
}(std::make_index_sequence<std::variant_size_v<InstructionFields>>{});

}  // namespace

std::span<const InstructionDescription> instruction_syntax() noexcept { return descriptions; }

}  // namespace meshweave
