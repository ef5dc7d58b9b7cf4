#include "word_commands.hpp"

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics.hpp"
#include "exit_codes.hpp"
#include "input_text.hpp"
#include "meshweave/disassembly.hpp"
#include "number_text.hpp"

namespace meshweave::tool {
namespace {

constexpr std::string_view decode_command = "decode";
constexpr std::string_view assemble_command = "asm";

bool is_blank(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

// "16:", the tile label that starts each line of `compile --format hex`.
bool is_tile_label(std::string_view token) noexcept {
  if (token.size() < 2 || !token.ends_with(':')) return false;
  token.remove_suffix(1);
  return parse_unsigned(token).has_value() && !token.starts_with("0x") && !token.starts_with("0X");
}

std::string not_a_word(std::string_view token) {
  return '"' + echo(token) + "\" is not an instruction word (expected up to 8 hex digits)";
}

void append_decoded(std::string& listing, std::uint32_t word) {
  listing += hex_word(word);
  listing += "  ";
  listing += disassemble(word);
  listing += '\n';
}

// Decodes the words of one line of standard input into `listing`; on a bad
// word, reports it at its line and column and returns false.
bool decode_line(std::string_view line, std::size_t line_number, std::string& listing,
                 std::ostream& err) {
  bool first = true;
  std::size_t at = 0;
  while (true) {
    while (at < line.size() && is_blank(line[at])) ++at;
    if (at == line.size()) return true;
    const std::size_t start = at;
    while (at < line.size() && !is_blank(line[at])) ++at;
    const std::string_view token = line.substr(start, at - start);
    const bool label = first && is_tile_label(token);
    first = false;
    if (label) continue;
    const std::optional<std::uint32_t> word = parse_word(token);
    if (!word) {
      report_error(err, decode_command,
                   "<stdin>:" + std::to_string(line_number) + ':' + std::to_string(start + 1),
                   not_a_word(token));
      return false;
    }
    append_decoded(listing, *word);
  }
}

int decode_arguments(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
  std::string listing;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (is_tile_label(words[i])) continue;
    const std::optional<std::uint32_t> word = parse_word(words[i]);
    if (!word) {
      report_error(err, decode_command, "argument " + std::to_string(i + 1), not_a_word(words[i]));
      return exit_bad_input;
    }
    append_decoded(listing, *word);
  }
  out << listing;
  return exit_success;
}

// Each line is printed as soon as it is read, so that decode can sit at the
// end of a pipe that is still producing.
int decode_stream(std::istream& in, std::ostream& out, std::ostream& err) {
  // Flushing is decided below; a tied output would be flushed at every read.
  const struct Untie {
    std::istream& in;
    std::ostream* tied = in.tie(nullptr);
    ~Untie() { in.tie(tied); }
  } untie{in};
  std::string line;
  std::string listing;
  for (std::size_t line_number = 1; std::getline(in, line); ++line_number) {
    listing.clear();
    if (!decode_line(line, line_number, listing, err)) return exit_bad_input;
    out << listing;
    // Flush whenever the next line is not at hand yet, so that nothing decoded
    // waits behind a slow producer while a file goes through in big writes.
    if (in.rdbuf()->in_avail() <= 0) out.flush();
    // A closed pipe ends the run; main reports the failed output.
    if (!out) return exit_bad_input;
  }
  if (in.bad()) {
    report_error(err, decode_command, "<stdin>", "cannot read standard input");
    return exit_bad_input;
  }
  return exit_success;
}

}  // namespace

int run_decode(const std::vector<std::string>& words, std::istream& in, std::ostream& out,
               std::ostream& err) {
  return words.empty() ? decode_stream(in, out, err) : decode_arguments(words, out, err);
}

int run_assemble(const std::string& path, std::istream& in, std::ostream& out, std::ostream& err) {
  const auto text = read_input_text(path, in);
  if (!text) {
    report_error(err, assemble_command, input_name(path), text.error());
    return exit_bad_input;
  }
  const AssemblyResult words = assemble(*text);
  if (!words) {
    const AssemblyError& error = words.error();
    report_error(err, assemble_command,
                 echo(input_name(path), 256) + ':' + std::to_string(error.line) + ':' +
                     std::to_string(error.column),
                 error.reason);
    return exit_bad_input;
  }
  std::string listing;
  for (const std::uint32_t word : *words) listing += hex_word(word) + '\n';
  out << listing;
  return exit_success;
}

}  // namespace meshweave::tool
