#include <gtest/gtest.h>

#include <cstddef>
#include <string_view>

#include "meshweave/disassembly.hpp"

namespace meshweave {
namespace {

struct ErrorRow {
  std::string_view text;
  std::size_t line;
  std::size_t column;
  std::string_view reason;
};

TEST(AssembleErrors, PointAtTheFaultyToken) {
  const ErrorRow rows[] = {
      // Syntax.
      {"foo register=1", 1, 1, "unknown mnemonic `foo`"},
      {"delay cycles=1\n  Delay cycles=1", 2, 3, "unknown mnemonic `Delay`"},
      {"cycles=1", 1, 1, "unknown mnemonic `cycles=1`"},
      {"send count_minus_one=1", 1, 23, "missing operand `direction`"},
      {"send count_minus_one=1   ; direction=3", 1, 23, "missing operand `direction`"},
      {"br", 1, 3, "missing operand `register`"},
      {".word", 1, 6, "missing operand `word`"},
      {"br reg=1", 1, 4, "expected operand `register`"},
      {"br registers=1", 1, 4, "expected operand `register`"},
      {"br register", 1, 4, "expected operand `register`"},
      {"send direction=3 count_minus_one=1 base_word=0", 1, 6,
       "expected operand `count_minus_one`"},
      {"br register = 1", 1, 4, "expected operand `register`"},
      {"br register=", 1, 13, "bad number ``"},
      {"br register=x1", 1, 13, "bad number `x1`"},
      {"br register=0x", 1, 13, "bad number `0x`"},
      {"br register=0xg", 1, 13, "bad number `0xg`"},
      {"br register=+1", 1, 13, "bad number `+1`"},
      {"br register=--1", 1, 13, "bad number `--1`"},
      {"br register=1.5", 1, 13, "bad number `1.5`"},
      {".word 0x12345678h", 1, 7, "bad number `0x12345678h`"},
      {"br register=1 junk", 1, 15, "unexpected text `junk`"},
      {"br register=1 register=2", 1, 15, "unexpected text `register=2`"},
      {"send_off count_minus_one=0 direction=0 base_word=0 reserved=1 x", 1, 63,
       "unexpected text `x`"},
      // Operand ranges: the encoder's message at the operand that brings it.
      {"delay cycles=0x80000", 1, 7,
       "delay advance overflow: cycles 0x80000 is out of range (0 to 524287)"},
      {"delay_pic wait=0 flag=0 address=0x40000", 1, 25,
       "PIC delay operand: address 0x40000 is out of range (0x0 to 0x3ffff)"},
      {"delay_pic wait=0 flag=2 address=0x40000", 1, 18,
       "PIC delay operand: flag 2 is out of range (0 to 1)"},
      {"delay_pic wait=128 flag=2 address=0", 1, 11,
       "PIC delay advance overflow: wait 128 is out of range (0 to 127)"},
      {"delay_xpic wait=0 flag=0 selector=8192", 1, 26,
       "XPIC delay operand: selector 8192 is out of range (0 to 8191)"},
      {"send count_minus_one=1 direction=8 base_word=0", 1, 24,
       "send instruction operand: direction 8 is out of range (0 to 7)"},
      {"send count_minus_one=64 direction=8 base_word=0", 1, 6,
       "send instruction operand: count_minus_one 64 is out of range (0 to 63)"},
      {"send_off count_minus_one=4096 direction=0 base_word=0", 1, 10,
       "send instruction operand: count_minus_one 4096 is out of range (0 to 4095)"},
      {"send_off count_minus_one=0 direction=0 base_word=0 reserved=2", 1, 52,
       "send instruction operand: reserved 2 is out of range (0 to 1)"},
      {"sync operand=16", 1, 6, "sync operand: operand 16 is out of range (0 to 15)"},
      {"setzi register=8 immediate=0x100000", 1, 18,
       "setzi operand: immediate 0x100000 is out of range (0 to 1048575)"},
      {"put special=0 register=16", 1, 15,
       "put source register: register 16 is out of range (0 to 15)"},
      {"br register=16", 1, 4, "branch register: register 16 is out of range (0 to 15)"},
      {"brz register=0 target_address=0x2", 1, 16,
       "brz operand: target_address 0x2 is out of range (0x0 to 0x1ffffc, multiples of 4)"},
      {"call return_register=0 target_address=0x200000", 1, 24,
       "call operand: target_address 0x200000 is out of range (0x0 to 0x1ffffc, multiples of 4)"},
      {"ld32 destination=1 base=2 delta=16 word_offset=0", 1, 27,
       "ld32 operand: delta 16 is out of range (0 to 15)"},
      {"ld32 destination=16 base=16 delta=0 word_offset=0", 1, 6,
       "ld32 operand: destination 16 is out of range (0 to 15)"},
      {"st32 source=1 base=2 delta=3 word_offset=4096", 1, 30,
       "st32 operand: word_offset 4096 is out of range (0 to 4095)"},
      {"and destination=0 source=0 immediate=4096", 1, 28,
       "and operand: immediate 4096 is out of range (0 to 4095)"},
      {"shl destination=0 source=0 immediate=4096", 1, 28,
       "shift-left operand: immediate 4096 is out of range (0 to 4095)"},
      // ADD checks its immediate before its registers, whatever the text order.
      {"add destination=16 source=0 immediate=32768", 1, 29,
       "add immediate operand: immediate 32768 is out of range (-32768 to 32767)"},
      {"add destination=0 source=16 immediate=-32769", 1, 29,
       "add immediate operand: immediate -32769 is out of range (-32768 to 32767)"},
      {"add destination=0 source=16 immediate=-32768", 1, 19,
       "add register operand: source 16 is out of range (0 to 15)"},
      // Values wider than the encoder's parameter are judged as its nearest value.
      {"ld32 destination=1 base=300 delta=0 word_offset=0", 1, 20,
       "ld32 operand: base 300 is out of range (0 to 15)"},
      {"ld32 destination=1 base=2 delta=0 word_offset=70000", 1, 35,
       "ld32 operand: word_offset 70000 is out of range (0 to 4095)"},
      {"add destination=0 source=0 immediate=0x80000000", 1, 28,
       "add immediate operand: immediate 0x80000000 is out of range (-32768 to 32767)"},
      {"add destination=0 source=0 immediate=-99999999999999999999999", 1, 28,
       "add immediate operand: immediate -99999999999999999999999 is out of range (-32768 to "
       "32767)"},
      {"call return_register=0 target_address=0x100000000", 1, 24,
       "call operand: target_address 0x100000000 is out of range (0x0 to 0x1ffffc, multiples of "
       "4)"},
      {"delay cycles=0x100000000", 1, 7,
       "delay advance overflow: cycles 0x100000000 is out of range (0 to 524287)"},
      // ... unless the encoder takes every value of the parameter.
      {"put special=256 register=16", 1, 5, "special 256 is out of range (0 to 255)"},
      {".word 0x100000000", 1, 7, "word 0x100000000 is out of range (0x0 to 0xffffffff)"},
      {"br register=-1", 1, 4, "register -1 is out of range (0 to 15)"},
      {"send count_minus_one=-1 direction=0 base_word=0", 1, 6,
       "count_minus_one -1 is out of range (0 to 63)"},
      // A listing's word column must be the word the line assembles to.
      {"0x41800004  sync operand=3 ; row entry", 1, 1,
       "word 0x41800004 does not match the instruction, which assembles to 0x41800003"},
      {"delay cycles=1\n\t0X40A00086 delay cycles=133", 2, 2,
       "word 0x40a00086 does not match the instruction, which assembles to 0x40a00085"},
      {"0x41800003 sync operand=16", 1, 17, "sync operand: operand 16 is out of range (0 to 15)"},
      {"  0x41800003", 1, 13, "missing mnemonic"},
      {"0x41800003 ; sync operand=3", 1, 11, "missing mnemonic"},
      {"0x141800003 sync operand=3", 1, 1, "word 0x141800003 is wider than 32 bits"},
      {"0xg sync operand=3", 1, 1, "bad number `0xg`"},
      {"0x41800003 0x41800003 sync operand=3", 1, 12, "unknown mnemonic `0x41800003`"},
      // Echoed text is escaped and cut short.
      {"fo\\o\x1b[2J\xff", 1, 1, "unknown mnemonic `fo\\\\o\\x1b[2J\\xff`"},
      {"br register=1 0123456789012345678901234567890123456789xyz", 1, 15,
       "unexpected text `0123456789012345678901234567890123456789...`"},
  };
  for (const ErrorRow& row : rows) {
    SCOPED_TRACE(row.text);
    const AssemblyResult words = assemble(row.text);
    ASSERT_FALSE(words.has_value());
    EXPECT_EQ(words.error(), (AssemblyError{row.line, row.column, std::string{row.reason}}));
  }
}

TEST(AssembleErrors, StopAtTheFirstFaultyLine) {
  const AssemblyResult words = assemble("delay cycles=1\n\n; fine so far\nbr register=99\nfoo\n");
  ASSERT_FALSE(words.has_value());
  EXPECT_EQ(to_string(words.error()),
            "line 4, column 4: branch register: register 99 is out of range (0 to 15)");
}

}  // namespace
}  // namespace meshweave
