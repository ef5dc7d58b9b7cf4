// The instruction decoder, encoder, disassembler and assembler. Decoding then
// encoding any word gives the word back, and so does assembling its text; a
// decoded word is timed exactly when it accounts for cycles; an encodable
// instruction value decodes back to itself; and assembling arbitrary text never
// crashes, while a refusal names a line and column inside that text.
//
// Input: a mode byte, then for mode 0 words (u32 each), for mode 1 text, and for
// mode 2 an instruction value: a kind byte and four u32 operands.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.hpp"
#include "fuzz_input.hpp"
#include "meshweave/disassembly/codec.hpp"
#include "meshweave/disassembly/text.hpp"

namespace {

using namespace meshweave;
using fuzz::hex;
using fuzz::words;

bool is_timed(InstructionKind kind) {
  return kind == InstructionKind::Delay || kind == InstructionKind::PicDelay ||
         kind == InstructionKind::XpicDelay || kind == InstructionKind::Send ||
         kind == InstructionKind::SendContinuation;
}

std::string listing(const std::vector<std::uint32_t>& program) {
  std::string text;
  for (const std::uint32_t word : program) text += disassemble(word) + '\n';
  return text;
}

void check_listing(const std::vector<std::uint32_t>& program) {
  const std::string text = listing(program);
  const AssemblyResult again = assemble(text);
  FUZZ_CHECK(again && *again == program,
             "listing of " << words(program) << " assembles to "
                           << (again ? "words" : to_string(again.error())) << ":\n"
                           << text);
}

void check_word(std::uint32_t word) {
  const Instruction instruction = decode(word);
  const Result<std::uint32_t> encoded = encode(instruction);
  FUZZ_CHECK(encoded && *encoded == word,
             hex(word) << " decodes to " << to_string(instruction) << ", which encodes to "
                       << fuzz::outcome(encoded) << " " << (encoded ? hex(*encoded) : hex(0)));
  FUZZ_CHECK(is_timed(instruction.kind()) == (instruction_advance(word) != 0),
             hex(word) << " decodes as " << kind_name(instruction.kind()) << " but accounts for "
                       << instruction_advance(word) << " cycles");
  const std::string text = disassemble(word);
  FUZZ_CHECK(text == to_string(instruction), "disassemble(" << hex(word) << ") = " << text);
  FUZZ_CHECK(text.find('\n') == std::string::npos, "multi-line text for " << hex(word));
  const AssemblyResult again = assemble(text);
  FUZZ_CHECK(
      again && again->size() == 1 && (*again)[0] == word,
      "\"" << text << "\" assembles to " << (again ? "other words" : to_string(again.error())));
}

// Line `number` (from 1) of `text`, lines ending at '\n'.
std::string_view line_of(std::string_view text, std::size_t number) {
  for (std::size_t n = 1; n < number; ++n) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) return {};
    text.remove_prefix(end + 1);
  }
  return text.substr(0, text.find('\n'));
}

void check_text(std::string_view text) {
  const AssemblyResult result = assemble(text);
  std::size_t lines = 1;
  for (const char c : text) lines += c == '\n' ? 1 : 0;
  if (!result) {
    const AssemblyError& error = result.error();
    FUZZ_CHECK(error.line >= 1 && error.line <= lines && error.column >= 1 &&
                   error.column <= line_of(text, error.line).size() + 1 && !error.reason.empty(),
               to_string(error) << " for a text of " << lines << " lines");
    return;
  }
  FUZZ_CHECK(result->size() <= lines, result->size() << " words from " << lines << " lines");
  for (const std::uint32_t word : *result) check_word(word);
  check_listing(*result);
}

// An instruction value of the kind the byte names, its fields from the operands.
Instruction instruction_from(std::uint8_t kind, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                             std::uint32_t d) {
  const auto r = [](std::uint32_t v) { return static_cast<std::uint8_t>(v); };
  const auto h = [](std::uint32_t v) { return static_cast<std::uint16_t>(v); };
  switch (kind % 17) {
    case 0: return {op::Delay{a}};
    case 1: return {op::PicDelay{a, b, c}};
    case 2: return {op::XpicDelay{a, b, c}};
    case 3: return {op::Send{a, b, c}};
    case 4: return {op::SendContinuation{a, b, c, d}};
    case 5: return {op::Sync{a}};
    case 6: return {op::Setzi{r(a), b}};
    case 7: return {op::Put{r(a), r(b)}};
    case 8: return {op::Br{r(a)}};
    case 9: return {op::Brz{r(a), b}};
    case 10: return {op::Call{r(a), b}};
    case 11: return {op::Ld32{r(a), r(b), r(c), h(d)}};
    case 12: return {op::St32{r(a), r(b), r(c), h(d)}};
    case 13: return {op::Add{r(a), r(b), static_cast<std::int32_t>(c)}};
    case 14: return {op::And{r(a), r(b), h(c)}};
    case 15: return {op::Shl{r(a), r(b), h(c)}};
    default: return {op::Data{a}};
  }
}

void check_instruction(const Instruction& instruction) {
  const Result<std::uint32_t> word = encode(instruction);
  const std::string text = to_string(instruction);
  const AssemblyResult assembled = assemble(text);
  if (!word) {
    FUZZ_CHECK(!assembled,
               "\"" << text << "\" cannot be encoded (" << word.error() << ") but assembles");
    return;
  }
  FUZZ_CHECK(assembled && assembled->size() == 1 && (*assembled)[0] == *word,
             "\"" << text << "\" assembles to "
                  << (assembled ? "other words" : to_string(assembled.error())) << ", not "
                  << hex(*word));
  if (instruction.kind() != InstructionKind::Data) {
    FUZZ_CHECK(decode(*word) == instruction, text << " encodes to " << hex(*word)
                                                  << ", which decodes to "
                                                  << to_string(decode(*word)));
  }
  check_word(*word);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input{data, size};
  switch (input.u8() % 3) {
    case 0: {
      std::vector<std::uint32_t> program;
      while (!input.empty() && program.size() < 64) program.push_back(input.u32());
      for (const std::uint32_t word : program) check_word(word);
      check_listing(program);
      break;
    }
    case 1: check_text(input.rest_text()); break;
    default: {
      const std::uint8_t kind = input.u8();
      const std::uint32_t a = input.u32();
      const std::uint32_t b = input.u32();
      const std::uint32_t c = input.u32();
      const std::uint32_t d = input.u32();
      check_instruction(instruction_from(kind, a, b, c, d));
      // Small operands reach the encodable values far more often.
      check_instruction(instruction_from(kind, a & 0xfu, b & 0x7u, c & 0xffu, d & 0x1u));
      break;
    }
  }
  return 0;
}
