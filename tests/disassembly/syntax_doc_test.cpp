// docs/assembly-syntax.md holds the syntax table as the assembler knows it, and
// its examples assemble; neither can drift from the code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "meshweave/disassembly.hpp"

namespace meshweave {
namespace {

constexpr const char* document_path = MESHWEAVE_SOURCE_DIR "/docs/assembly-syntax.md";

std::string read_document() {
  std::ifstream file{document_path};
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

struct Span {
  std::size_t first;
  std::size_t size;
};

// Where the text from the line after `begin` up to the line holding `end` lies.
std::optional<Span> find_section(const std::string& document, std::string_view begin,
                                 std::string_view end) {
  const std::size_t start = document.find(begin);
  if (start == std::string::npos) return std::nullopt;
  const std::size_t first = document.find('\n', start) + 1;
  const std::size_t stop = document.find(end, first);
  if (stop == std::string::npos) return std::nullopt;
  return Span{first, stop - first};
}

std::string section(const std::string& document, std::string_view begin, std::string_view end) {
  const std::optional<Span> span = find_section(document, begin, end);
  if (!span) return "(no section " + std::string{begin} + ")";
  return document.substr(span->first, span->size);
}

std::string number(std::int64_t value, bool hexadecimal) {
  std::ostringstream text;
  if (hexadecimal) text << "0x" << std::hex;
  text << value;
  return text.str();
}

std::string values(const OperandDescription& operand) {
  std::string text = number(operand.minimum, operand.hexadecimal) + " to " +
                     number(operand.maximum, operand.hexadecimal);
  if (operand.multiple_of != 1) text += ", multiples of " + std::to_string(operand.multiple_of);
  return text;
}

std::string rendered_syntax() {
  std::string forms = "```text\n";
  std::string table =
      "| Mnemonic | Operand | Written in | Values |\n"
      "|----------|---------|------------|--------|\n";
  for (const InstructionDescription& instruction : instruction_syntax()) {
    forms += instruction.mnemonic;
    bool first = true;
    for (const OperandDescription& operand : instruction.operands) {
      const std::string value = operand.hexadecimal ? "0xN" : "N";
      const std::string written = operand.bare ? value : std::string{operand.name} + '=' + value;
      forms += operand.optional ? " [" + written + "]" : " " + written;
      table += "| " + (first ? '`' + std::string{instruction.mnemonic} + '`' : std::string{}) +
               " | " + (operand.bare ? "(no name)" : '`' + std::string{operand.name} + '`') +
               (operand.optional ? ", optional" : "") + " | " +
               (operand.hexadecimal ? "hexadecimal" : "decimal") + " | " + values(operand) + " |\n";
      first = false;
    }
    forms += '\n';
  }
  return forms + "```\n\n" + table;
}

constexpr std::string_view table_begin = "<!-- syntax table: begin";
constexpr std::string_view table_end = "<!-- syntax table: end";

TEST(SyntaxDocument, ShowsTheSyntaxTable) {
  std::string document = read_document();
  const char* regenerate = std::getenv("MESHWEAVE_REGENERATE_GOLDEN");
  if (regenerate != nullptr && std::string_view{regenerate} == "1") {
    const std::optional<Span> span = find_section(document, table_begin, table_end);
    ASSERT_TRUE(span.has_value()) << document_path << " has no syntax table markers";
    document.replace(span->first, span->size, rendered_syntax());
    std::ofstream{document_path} << document;
  }
  EXPECT_EQ(section(document, table_begin, table_end), rendered_syntax())
      << "(set MESHWEAVE_REGENERATE_GOLDEN=1 to rewrite it after a deliberate change)";
}

TEST(SyntaxDocument, ExamplesAssembleToTheirWordColumns) {
  const std::string examples =
      section(read_document(), "<!-- examples: begin", "<!-- examples: end");
  const std::string_view fence = "```text\n";
  ASSERT_TRUE(examples.starts_with(fence)) << examples;
  const std::string body = examples.substr(fence.size(), examples.rfind("```") - fence.size());
  const AssemblyResult words = assemble(body);
  ASSERT_TRUE(words.has_value()) << words.error();
  // Every kind is shown, and every line carries its word.
  std::size_t lines = 0;
  for (const char c : body) lines += c == '\n' ? 1u : 0u;
  EXPECT_EQ(words->size(), lines);
  std::vector<bool> shown(instruction_syntax().size());
  for (const std::uint32_t word : *words)
    shown[static_cast<std::size_t>(decode(word).kind())] = true;
  EXPECT_EQ(std::count(shown.begin(), shown.end(), false), 0);
}

}  // namespace
}  // namespace meshweave
