#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "lexer.hpp"
#include "meshweave/disassembly/codec.hpp"
#include "meshweave/disassembly/text.hpp"
#include "syntax.hpp"

namespace meshweave {

namespace {

using WordOrError = std::expected<std::uint32_t, AssemblyError>;

std::string quoted(std::string_view text) {
  std::string out{"`"};
  out += text;
  out += '`';
  return out;
}

class LineAssembler {
 public:
  LineAssembler(std::size_t line, lexer::LineTokens& tokens) : line_{line}, tokens_{tokens} {}

  template <class T>
  WordOrError assemble(std::size_t mnemonic_column) {
    T fields{};
    std::array<lexer::Token, syntax::operand_count<T>> places{};
    std::array<bool, syntax::operand_count<T>> clamped{};
    const bool read = syntax::for_each_operand<T>([&](const auto& operand, std::size_t at) {
      return read_operand(operand, fields, places[at], clamped[at]);
    });
    if (!read) return std::unexpected(*error_);
    if (const std::optional<lexer::Token> extra = tokens_.next()) {
      return fail(extra->column, "unexpected text " + quoted(extra->text));
    }

    // A value its encoder's parameter cannot hold was replaced by the nearest
    // one it can; if the encoder takes that, the operand is out of range in
    // a way only the text can be.
    syntax::for_each_operand<T>([&](const auto& operand, std::size_t at) {
      if (clamped[at] && encode(Instruction{alone(fields, operand)})) {
        error_ = AssemblyError{line_, places[at].column, "operand out of range"};
        return false;
      }
      return true;
    });
    if (error_) return std::unexpected(*error_);

    const Result<std::uint32_t> word = encode(Instruction{fields});
    if (word) return *word;
    return fail(culprit_column(fields, places, word.error(), mnemonic_column),
                std::string{word.error().message()});
  }

 private:
  // `fields` with every operand but this one at zero. Zero is valid for every
  // field, so the encoder refuses this only because of the one operand.
  template <class T, class Operand>
  static T alone(const T& fields, const Operand& operand) {
    T single{};
    single.*operand.member = fields.*operand.member;
    return single;
  }

  // The encoder names one message per word (two for ADD), not the operand, so
  // the operand is the first one that alone brings the same error.
  template <class T, std::size_t N>
  static std::size_t culprit_column(const T& fields, const std::array<lexer::Token, N>& places,
                                    const ExchangeError& error, std::size_t fallback) {
    std::size_t column = fallback;
    syntax::for_each_operand<T>([&](const auto& operand, std::size_t at) {
      const Result<std::uint32_t> single = encode(Instruction{alone(fields, operand)});
      if (!single && single.error() == error) {
        column = places[at].column;
        return false;
      }
      return true;
    });
    return column;
  }

  template <class Operand>
  bool read_operand(const Operand& operand, typename Operand::Fields& fields, lexer::Token& place,
                    bool& clamped) {
    const std::optional<lexer::Token> token = tokens_.next();
    if (!token) {
      if (operand.optional) return true;
      return set_error(tokens_.end_column(), "missing operand " + quoted(operand.name));
    }
    place = *token;
    std::string_view text = token->text;
    std::size_t column = token->column;
    if (!operand.bare) {
      if (!text.starts_with(operand.name) || !text.substr(operand.name.size()).starts_with('=')) {
        return set_error(column, "expected operand " + quoted(operand.name));
      }
      text.remove_prefix(operand.name.size() + 1);
      column += operand.name.size() + 1;
    }
    const std::optional<lexer::Number> number = lexer::parse_number(text);
    if (!number) return set_error(column, "bad number " + quoted(text));
    const auto fitted = lexer::fit<typename Operand::Value>(*number);
    fields.*operand.member = fitted.value;
    clamped = fitted.clamped;
    return true;
  }

  bool set_error(std::size_t column, std::string reason) {
    error_ = AssemblyError{line_, column, std::move(reason)};
    return false;
  }

  std::unexpected<AssemblyError> fail(std::size_t column, std::string reason) const {
    return std::unexpected(AssemblyError{line_, column, std::move(reason)});
  }

  std::size_t line_;
  lexer::LineTokens& tokens_;
  std::optional<AssemblyError> error_;
};

struct MnemonicEntry {
  std::string_view mnemonic;
  WordOrError (LineAssembler::*assemble)(std::size_t mnemonic_column);
};

constexpr auto mnemonics = []<std::size_t... I>(std::index_sequence<I...>) {
  return std::array{MnemonicEntry{
      syntax::Syntax<std::variant_alternative_t<I, InstructionFields>>::mnemonic,
      &LineAssembler::assemble<std::variant_alternative_t<I, InstructionFields>>}...};
}(std::make_index_sequence<std::variant_size_v<InstructionFields>>{});

}  // namespace

AssemblyResult assemble(std::string_view text) {
  std::vector<std::uint32_t> words;
  std::size_t line_number = 0;
  while (!text.empty() || line_number == 0) {
    ++line_number;
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

    lexer::LineTokens tokens{line};
    const std::optional<lexer::Token> mnemonic = tokens.next();
    if (!mnemonic) continue;
    const auto entry = std::ranges::find(mnemonics, mnemonic->text, &MnemonicEntry::mnemonic);
    if (entry == mnemonics.end()) {
      return std::unexpected(
          AssemblyError{line_number, mnemonic->column, "unknown mnemonic " + quoted(mnemonic->text)});
    }
    LineAssembler assembler{line_number, tokens};
    const WordOrError word = (assembler.*entry->assemble)(mnemonic->column);
    if (!word) return std::unexpected(word.error());
    words.push_back(*word);
  }
  return words;
}

std::string to_string(const AssemblyError& error) {
  return "line " + std::to_string(error.line) + ", column " + std::to_string(error.column) +
         ": " + error.reason;
}

std::ostream& operator<<(std::ostream& out, const AssemblyError& error) {
  return out << to_string(error);
}

}  // namespace meshweave
