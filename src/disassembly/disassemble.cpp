#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <variant>

#include "meshweave/disassembly/codec.hpp"
#include "meshweave/disassembly/instruction.hpp"
#include "meshweave/disassembly/text.hpp"
#include "meshweave/disassembly/word_layouts.hpp"
#include "meshweave/instruction_words/control_words.hpp"
#include "syntax.hpp"

namespace meshweave {

namespace {

using syntax::append_number;

template <class T>
void append_operands(std::string& out, const T& fields) {
  syntax::for_each_operand<T>([&](const auto& operand, std::size_t) {
    const std::int64_t value = fields.*operand.member;
    if (operand.optional && value == 0) return true;
    out += ' ';
    if (!operand.bare) {
      out += operand.name;
      out += '=';
    }
    append_number(out, value, operand.notation);
    return true;
  });
}

// Names of the fixed SYNC and BR words the library's programs are framed with.
struct KnownWord {
  std::uint32_t word;
  std::string_view role;
};
constexpr std::array known_words{
    KnownWord{sync_word::word(0), "host transfer sync"},
    KnownWord{ROW_ENTRY_INSTRUCTION, "row entry"},
    KnownWord{sync_word::word(7), "sync all"},
    KnownWord{sync_word::word(15), "sync host"},
    KnownWord{RETURN_INSTRUCTION, "return"},
};

class Notes {
 public:
  explicit Notes(std::string& out) : out_{out} {}

  std::string& next() {
    out_ += first_ ? " ; " : ", ";
    first_ = false;
    return out_;
  }

 private:
  std::string& out_;
  bool first_ = true;
};

// Derived facts about the word, for the reader only: how long a timed word
// takes, which byte address a word address stands for, what a framing word is.
void append_notes(std::string& out, const Instruction& instruction, std::uint32_t word) {
  Notes notes{out};
  if (const std::uint32_t cycles = instruction_advance(word); cycles != 0) {
    notes.next() += std::to_string(cycles) + (cycles == 1 ? " cycle" : " cycles");
  }
  std::int64_t word_address = -1;
  if (const auto* send = std::get_if<op::Send>(&instruction.fields)) {
    word_address = send->base_word;
  } else if (const auto* more = std::get_if<op::SendContinuation>(&instruction.fields)) {
    word_address = more->base_word;
  } else if (const auto* pic = std::get_if<op::PicDelay>(&instruction.fields)) {
    word_address = pic->address;
  }
  if (word_address >= 0) {
    std::string& text = notes.next();
    text += "byte address ";
    append_number(text, word_address * 4, syntax::Notation::Hex);
  }
  for (const KnownWord& known : known_words) {
    if (known.word == word) notes.next() += known.role;
  }
}

}  // namespace

std::string_view kind_name(InstructionKind kind) noexcept {
  switch (kind) {
    case InstructionKind::Delay: return "Delay";
    case InstructionKind::PicDelay: return "PicDelay";
    case InstructionKind::XpicDelay: return "XpicDelay";
    case InstructionKind::Send: return "Send";
    case InstructionKind::SendContinuation: return "SendContinuation";
    case InstructionKind::Sync: return "Sync";
    case InstructionKind::Setzi: return "Setzi";
    case InstructionKind::Put: return "Put";
    case InstructionKind::Br: return "Br";
    case InstructionKind::Brz: return "Brz";
    case InstructionKind::Call: return "Call";
    case InstructionKind::Ld32: return "Ld32";
    case InstructionKind::St32: return "St32";
    case InstructionKind::Add: return "Add";
    case InstructionKind::And: return "And";
    case InstructionKind::Shl: return "Shl";
    case InstructionKind::Data: return "Data";
  }
  return "Unknown";
}

std::string to_string(const Instruction& instruction) {
  std::string out;
  std::visit(
      [&]<class T>(const T& fields) {
        out += syntax::Syntax<T>::mnemonic;
        append_operands(out, fields);
      },
      instruction.fields);
  // An instruction value with fields its encoder refuses has no word to derive from.
  if (const Result<std::uint32_t> word = encode(instruction)) append_notes(out, instruction, *word);
  return out;
}

std::string disassemble(std::uint32_t word) { return to_string(decode(word)); }

std::ostream& operator<<(std::ostream& out, const Instruction& instruction) {
  return out << to_string(instruction);
}

std::ostream& operator<<(std::ostream& out, InstructionKind kind) { return out << kind_name(kind); }

}  // namespace meshweave
