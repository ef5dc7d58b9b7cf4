#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
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

std::string quoted(std::string_view text) { return '`' + lexer::shown(text) + '`'; }

std::string hex_word(std::uint32_t word) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", word);
  return text;
}

// An operand as written: where its token starts, and its number.
struct WrittenOperand {
  std::size_t column = 0;
  std::string_view text;  // the number, without `name=`
  lexer::Number number{false, 0};
};

bool in_range(const lexer::Number& number, const syntax::Range& range) {
  // Every range lies well inside 64 bits, so a clamped value is outside it.
  const auto value = lexer::fit<std::int64_t>(number);
  return !value.clamped && range.contains(value.value);
}

template <class Operand>
std::string out_of_range(const Operand& operand, const WrittenOperand& written) {
  return std::string{operand.name} + ' ' + lexer::shown(written.text) + " is out of range (" +
         syntax::range_text(operand.range, operand.notation) + ')';
}

class LineAssembler {
 public:
  LineAssembler(std::size_t line, lexer::LineTokens& tokens) : line_{line}, tokens_{tokens} {}

  template <class T>
  WordOrError assemble(std::size_t mnemonic_column) {
    T fields{};
    std::array<WrittenOperand, syntax::operand_count<T>> written{};
    const bool read = syntax::for_each_operand<T>([&](const auto& operand, std::size_t at) {
      return read_operand(operand, fields, written[at]);
    });
    if (!read) return std::unexpected(*error_);
    if (const std::optional<lexer::Token> extra = tokens_.next()) {
      return fail(extra->column, "unexpected text " + quoted(extra->text));
    }

    // A value its encoder's parameter cannot hold was replaced by the nearest
    // one it can; if the encoder takes that, only the text shows the fault.
    syntax::for_each_operand<T>([&](const auto& operand, std::size_t at) {
      if (!in_range(written[at].number, operand.range) &&
          encode(Instruction{syntax::alone(fields, operand)})) {
        error_ = AssemblyError{line_, written[at].column, out_of_range(operand, written[at])};
        return false;
      }
      return true;
    });
    if (error_) return std::unexpected(*error_);

    const Result<std::uint32_t> word = encode(Instruction{fields});
    if (word) return *word;
    return refusal(fields, written, word.error(), mnemonic_column);
  }

 private:
  // The encoder names one message per word (two for ADD), not the operand, so
  // the operand is the first one that alone brings the same error.
  template <class T, std::size_t N>
  std::unexpected<AssemblyError> refusal(const T& fields,
                                         const std::array<WrittenOperand, N>& written,
                                         const ExchangeError& error, std::size_t fallback) const {
    std::optional<AssemblyError> found;
    syntax::for_each_operand<T>([&](const auto& operand, std::size_t at) {
      const Result<std::uint32_t> single = encode(Instruction{syntax::alone(fields, operand)});
      if (single || single.error() != error) return true;
      found =
          AssemblyError{line_, written[at].column,
                        std::string{error.message()} + ": " + out_of_range(operand, written[at])};
      return false;
    });
    if (found) return std::unexpected(std::move(*found));
    return fail(fallback, std::string{error.message()});
  }

  template <class Operand>
  bool read_operand(const Operand& operand, typename Operand::Fields& fields,
                    WrittenOperand& written) {
    const std::optional<lexer::Token> token = tokens_.next();
    if (!token) {
      if (operand.optional) return true;
      return set_error(tokens_.end_column(), "missing operand " + quoted(operand.name));
    }
    written.column = token->column;
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
    written.text = text;
    written.number = *number;
    fields.*operand.member = lexer::fit<typename Operand::Value>(*number).value;
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
  return std::array{
      MnemonicEntry{syntax::Syntax<std::variant_alternative_t<I, InstructionFields>>::mnemonic,
                    &LineAssembler::assemble<std::variant_alternative_t<I, InstructionFields>>}...};
}(std::make_index_sequence<std::variant_size_v<InstructionFields>>{});

// The word a listing prints before the instruction ("0x41800003  sync ...").
// Mnemonics never start with a digit, so a leading 0x can only be this.
struct WordColumn {
  std::uint32_t word;
  std::size_t column;
};

bool is_word_column(const lexer::Token& token) {
  return token.text.starts_with("0x") || token.text.starts_with("0X");
}

std::expected<WordColumn, AssemblyError> read_word_column(std::size_t line,
                                                          const lexer::Token& token) {
  const std::optional<lexer::Number> number = lexer::parse_number(token.text);
  if (!number) {
    return std::unexpected(AssemblyError{line, token.column, "bad number " + quoted(token.text)});
  }
  if (number->magnitude > 0xffffffffu) {
    return std::unexpected(AssemblyError{
        line, token.column, "word " + lexer::shown(token.text) + " is wider than 32 bits"});
  }
  return WordColumn{static_cast<std::uint32_t>(number->magnitude), token.column};
}

WordOrError assemble_line(std::size_t line, std::string_view text) {
  lexer::LineTokens tokens{text};
  std::optional<lexer::Token> mnemonic = tokens.next();
  std::optional<WordColumn> listed;
  if (mnemonic && is_word_column(*mnemonic)) {
    const auto column = read_word_column(line, *mnemonic);
    if (!column) return std::unexpected(column.error());
    listed = *column;
    mnemonic = tokens.next();
    if (!mnemonic) {
      return std::unexpected(AssemblyError{line, tokens.end_column(), "missing mnemonic"});
    }
  }
  const auto entry = std::ranges::find(mnemonics, mnemonic->text, &MnemonicEntry::mnemonic);
  if (entry == mnemonics.end()) {
    return std::unexpected(
        AssemblyError{line, mnemonic->column, "unknown mnemonic " + quoted(mnemonic->text)});
  }
  LineAssembler assembler{line, tokens};
  const WordOrError word = (assembler.*entry->assemble)(mnemonic->column);
  if (word && listed && listed->word != *word) {
    return std::unexpected(AssemblyError{
        line, listed->column,
        "word " + hex_word(listed->word) + " does not match the instruction, which assembles to " +
            hex_word(*word)});
  }
  return word;
}

bool is_blank_line(std::string_view line) {
  lexer::LineTokens tokens{line};
  return !tokens.next();
}

}  // namespace

AssemblyResult assemble(std::string_view text) {
  std::vector<std::uint32_t> words;
  std::size_t line_number = 0;
  while (!text.empty() || line_number == 0) {
    ++line_number;
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (is_blank_line(line)) continue;
    const WordOrError word = assemble_line(line_number, line);
    if (!word) return std::unexpected(word.error());
    words.push_back(*word);
  }
  return words;
}

std::string to_string(const AssemblyError& error) {
  return "line " + std::to_string(error.line) + ", column " + std::to_string(error.column) + ": " +
         error.reason;
}

std::ostream& operator<<(std::ostream& out, const AssemblyError& error) {
  return out << to_string(error);
}

}  // namespace meshweave
