#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "meshweave/disassembly/instruction.hpp"

namespace meshweave {

// Text form of one instruction, one per line:
//
//   mnemonic name=value name=value ... ; notes
//
// The operands are the kind's fields, named and ordered as its encoder takes
// them (a register operand is written `register`). Addresses and raw words are
// written in hexadecimal with 0x, everything else in decimal; the ADD immediate
// is signed. Notes after `;` are derived from the word and ignored when read
// back: the cycles of a timed word, the byte address of a SEND or PIC word
// address, and the role of well-known SYNC and BR words.
//
//   delay cycles=134 ; 135 cycles
//   delay_pic wait=48 flag=0 address=0x0 ; 49 cycles, byte address 0x0
//   delay_xpic wait=112 flag=0 selector=0 ; 113 cycles
//   send count_minus_one=1 direction=3 base_word=0x14079 ; 2 cycles, byte address 0x501e4
//   send_off count_minus_one=4083 direction=1 base_word=0x0 ; 4084 cycles, byte address 0x0
//   sync operand=3 ; row entry
//   setzi register=8 immediate=1600
//   put special=160 register=8
//   br register=10 ; return
//   brz register=0 target_address=0x4c100
//   call return_register=10 target_address=0x4c100
//   ld32 destination=8 base=11 delta=15 word_offset=1
//   st32 source=2 base=11 delta=15 word_offset=0
//   add destination=11 source=11 immediate=-32
//   and destination=0 source=8 immediate=1
//   shl destination=10 source=7 immediate=2
//   .word 0x41800013
//
// `send_off` has a fourth operand, `reserved=1`, written only when the word's
// unused bit 20 is set. `.word` holds any word that decodes as no instruction.

// The text of one instruction; the same as to_string(decode(word)).
std::string disassemble(std::uint32_t word);

// Where and why a text could not be assembled. Lines and columns count from 1;
// a column counts bytes.
struct AssemblyError {
  std::size_t line;
  std::size_t column;
  std::string reason;

  friend bool operator==(const AssemblyError&, const AssemblyError&) = default;
};

// "line L, column C: reason"
std::string to_string(const AssemblyError& error);
std::ostream& operator<<(std::ostream& out, const AssemblyError& error);

using AssemblyResult = std::expected<std::vector<std::uint32_t>, AssemblyError>;

// Reads the text form back, one word per instruction line. Blank lines and
// everything from `;` to the end of a line are skipped; tokens are separated by
// spaces or tabs; operands must come in the written order; numbers are decimal
// or 0x-hexadecimal, with a leading '-' allowed for any operand. A line may
// start with the word itself in 0x-hexadecimal, as listings print it
// ("0x41800003  sync operand=3"); it must be the word the rest of the line
// assembles to.
//
// The first fault stops assembly:
//   unknown mnemonic `m`      at the mnemonic
//   missing mnemonic          just past a word column with nothing after it
//   word W is wider than 32 bits
//                             at the word column
//   expected operand `name`   at the token found in the operand's place
//   missing operand `name`    just past the end of the line's text
//   bad number `text`         at the number (or at a bad word column)
//   unexpected text `token`   at the first token after the operands
//   <encoder's message>: name value is out of range (min to max)
//                             at the first operand that alone brings the
//                             encoder's refusal ("PIC delay operand: address
//                             0x40000 is out of range (0x0 to 0x3ffff)")
//   name value is out of range (min to max)
//                             at a value the encoder's parameter cannot hold
//                             and the encoder would not refuse by itself (a
//                             negative register, special=256); checked first
//   word W does not match the instruction, which assembles to V
//                             at the word column
// A value too wide for its parameter is judged as the nearest value the
// parameter holds, so register=300 brings the encoder's refusal as 16 does.
// Echoed text is cut after 40 bytes and bytes outside printable ASCII
// are written as \xNN.
AssemblyResult assemble(std::string_view text);

// The text syntax of one operand: its name, how it is written, and the values
// its word can hold: every multiple of `multiple_of` from `minimum` to `maximum`.
struct OperandDescription {
  std::string_view name;
  std::int64_t minimum;
  std::int64_t maximum;
  std::uint32_t multiple_of;
  bool hexadecimal;  // written as 0x-hexadecimal by the disassembler
  bool bare;         // written without `name=`
  bool optional;     // may be left out, meaning 0; written only when not 0
};

struct InstructionDescription {
  InstructionKind kind;
  std::string_view mnemonic;
  std::span<const OperandDescription> operands;  // in the order they are written
};

// The syntax the assembler reads and the disassembler writes: one entry per
// instruction kind, in the order of InstructionKind.
std::span<const InstructionDescription> instruction_syntax() noexcept;

}  // namespace meshweave
