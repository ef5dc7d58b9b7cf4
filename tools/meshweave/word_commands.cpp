#include "word_commands.hpp"

#include <cstdint>
#include <istream>
#include <iterator>
#include <ostream>

#include "exit_codes.hpp"
#include "input_text.hpp"
#include "meshweave/disassembly.hpp"
#include "number_text.hpp"

namespace meshweave::tool {

int run_decode(const std::vector<std::string>& words, std::istream& in, std::ostream& out,
               std::ostream& err) {
  std::vector<std::string> read_words;
  if (words.empty()) {
    read_words.assign(std::istream_iterator<std::string>(in), std::istream_iterator<std::string>());
    if (in.bad()) {
      err << "meshweave decode: cannot read <stdin>\n";
      return exit_bad_input;
    }
  }
  const std::vector<std::string>& texts = words.empty() ? read_words : words;
  std::vector<std::uint32_t> decoded;
  decoded.reserve(texts.size());
  for (const std::string& text : texts) {
    const auto word = parse_word(text);
    if (!word) {
      err << "meshweave decode: \"" << text
          << "\" is not an instruction word (expected up to 8 hex digits)\n";
      return exit_bad_input;
    }
    decoded.push_back(*word);
  }
  std::string listing;
  for (const std::uint32_t word : decoded) {
    listing += hex_word(word) + "  " + disassemble(word) + '\n';
  }
  out << listing;
  return exit_success;
}

int run_assemble(const std::string& path, std::istream& in, std::ostream& out, std::ostream& err) {
  const auto text = read_input_text(path, in);
  if (!text) {
    err << "meshweave: " << input_name(path) << ": " << text.error() << '\n';
    return exit_bad_input;
  }
  const AssemblyResult words = assemble(*text);
  if (!words) {
    err << input_name(path) << ':' << words.error().line << ':' << words.error().column << ": "
        << words.error().reason << '\n';
    return exit_bad_input;
  }
  std::string listing;
  for (const std::uint32_t word : *words) listing += hex_word(word) + '\n';
  out << listing;
  return exit_success;
}

}  // namespace meshweave::tool
