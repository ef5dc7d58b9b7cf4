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
      {"delay cycles=0x80000", 1, 7, "delay advance overflow"},
      {"delay_pic wait=0 flag=0 address=0x40000", 1, 25, "PIC delay operand"},
      {"delay_pic wait=0 flag=2 address=0x40000", 1, 18, "PIC delay operand"},
      {"delay_pic wait=128 flag=2 address=0", 1, 11, "PIC delay advance overflow"},
      {"delay_xpic wait=0 flag=0 selector=8192", 1, 26, "XPIC delay operand"},
      {"send count_minus_one=1 direction=8 base_word=0", 1, 24, "send instruction operand"},
      {"send count_minus_one=64 direction=8 base_word=0", 1, 6, "send instruction operand"},
      {"send_off count_minus_one=4096 direction=0 base_word=0", 1, 10,
       "send instruction operand"},
      {"send_off count_minus_one=0 direction=0 base_word=0 reserved=2", 1, 52,
       "send instruction operand"},
      {"sync operand=16", 1, 6, "sync operand"},
      {"setzi register=8 immediate=0x100000", 1, 18, "setzi operand"},
      {"put special=0 register=16", 1, 15, "put source register"},
      {"br register=16", 1, 4, "branch register"},
      {"brz register=0 target_address=0x2", 1, 16, "brz operand"},
      {"call return_register=0 target_address=0x200000", 1, 24, "call operand"},
      {"ld32 destination=1 base=2 delta=16 word_offset=0", 1, 27, "ld32 operand"},
      {"ld32 destination=16 base=16 delta=0 word_offset=0", 1, 6, "ld32 operand"},
      {"st32 source=1 base=2 delta=3 word_offset=4096", 1, 30, "st32 operand"},
      {"and destination=0 source=0 immediate=4096", 1, 28, "and operand"},
      {"shl destination=0 source=0 immediate=4096", 1, 28, "shift-left operand"},
      // ADD checks its immediate before its registers, whatever the text order.
      {"add destination=16 source=0 immediate=32768", 1, 29, "add immediate operand"},
      {"add destination=0 source=16 immediate=-32769", 1, 29, "add immediate operand"},
      {"add destination=0 source=16 immediate=-32768", 1, 19, "add register operand"},
      // Values wider than the encoder's parameter are judged as its nearest value.
      {"ld32 destination=1 base=300 delta=0 word_offset=0", 1, 20, "ld32 operand"},
      {"ld32 destination=1 base=2 delta=0 word_offset=70000", 1, 35, "ld32 operand"},
      {"add destination=0 source=0 immediate=0x80000000", 1, 28, "add immediate operand"},
      {"add destination=0 source=0 immediate=-99999999999999999999999", 1, 28,
       "add immediate operand"},
      {"call return_register=0 target_address=0x100000000", 1, 24, "call operand"},
      {"delay cycles=0x100000000", 1, 7, "delay advance overflow"},
      // ... unless the encoder takes every value of the parameter.
      {"put special=256 register=16", 1, 5, "operand out of range"},
      {".word 0x100000000", 1, 7, "operand out of range"},
      {"br register=-1", 1, 4, "operand out of range"},
      {"send count_minus_one=-1 direction=0 base_word=0", 1, 6, "operand out of range"},
  };
  for (const ErrorRow& row : rows) {
    SCOPED_TRACE(row.text);
    const AssemblyResult words = assemble(row.text);
    ASSERT_FALSE(words.has_value());
    EXPECT_EQ(words.error(), (AssemblyError{row.line, row.column, std::string{row.reason}}));
  }
}

TEST(AssembleErrors, StopAtTheFirstFaultyLine) {
  const AssemblyResult words =
      assemble("delay cycles=1\n\n; fine so far\nbr register=99\nfoo\n");
  ASSERT_FALSE(words.has_value());
  EXPECT_EQ(to_string(words.error()), "line 4, column 4: branch register");
}

}  // namespace
}  // namespace meshweave
