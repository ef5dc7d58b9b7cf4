#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string_view>
#include <vector>

#include "meshweave/disassembly.hpp"

namespace meshweave {
namespace {

struct TextRow {
  std::uint32_t word;
  std::string_view text;
};

const TextRow text_rows[] = {
    {0x40a00086, "delay cycles=134 ; 135 cycles"},
    {0x40a00000, "delay cycles=0 ; 1 cycle"},
    {0x61800000, "delay_pic wait=48 flag=0 address=0x0 ; 49 cycles, byte address 0x0"},
    {0x63ffffff, "delay_pic wait=127 flag=1 address=0x3ffff ; 128 cycles, byte address 0xffffc"},
    {0x641c0000, "delay_xpic wait=112 flag=0 selector=0 ; 113 cycles"},
    {0x64008640, "delay_xpic wait=2 flag=0 selector=1600 ; 3 cycles"},
    {0x782a03cb,
     "send count_minus_one=1 direction=3 base_word=0x14079 ; 2 cycles, byte address 0x501e4"},
    {0x7fffffff,
     "send count_minus_one=63 direction=7 base_word=0x3ffff ; 64 cycles, byte address 0xffffc"},
    {0x766fc001,
     "send_off count_minus_one=4083 direction=1 base_word=0x0 ; 4084 cycles, byte address 0x0"},
    {0x77efffff,
     "send_off count_minus_one=4095 direction=7 base_word=0x7ff ; 4096 cycles, byte address "
     "0x1ffc"},
    {0x70100000,
     "send_off count_minus_one=0 direction=0 base_word=0x0 reserved=1 ; 1 cycle, byte address 0x0"},
    {0x41800000, "sync operand=0 ; host transfer sync"},
    {0x41800003, "sync operand=3 ; row entry"},
    {0x41800007, "sync operand=7 ; sync all"},
    {0x4180000f, "sync operand=15 ; sync host"},
    {0x41800005, "sync operand=5"},
    {0x19800640, "setzi register=8 immediate=1600"},
    {0x438080a0, "put special=160 register=8"},
    {0x43a00000, "br register=10 ; return"},
    {0x43100000, "br register=1"},
    {0x13013040, "brz register=0 target_address=0x4c100"},
    {0x18a13040, "call return_register=10 target_address=0x4c100"},
    {0x01b8f001, "ld32 destination=8 base=11 delta=15 word_offset=1"},
    {0x4fb2f000, "st32 source=2 base=11 delta=15 word_offset=0"},
    {0x22bbffe0, "add destination=11 source=11 immediate=-32"},
    {0x42800001, "and destination=0 source=8 immediate=1"},
    {0x427aa002, "shl destination=10 source=7 immediate=2"},
    {0x41800013, ".word 0x41800013"},
    {0x00000000, ".word 0x0"},
};

TEST(Disassemble, WritesEachKindInItsTextForm) {
  for (const TextRow& row : text_rows) {
    EXPECT_EQ(disassemble(row.word), row.text) << std::hex << row.word;
  }
}

TEST(Assemble, ReadsEachTextFormBackToItsWord) {
  for (const TextRow& row : text_rows) {
    const AssemblyResult words = assemble(row.text);
    ASSERT_TRUE(words.has_value()) << row.text << ": " << words.error();
    EXPECT_EQ(*words, std::vector<std::uint32_t>{row.word}) << row.text;
  }
}

TEST(Assemble, ReadsAProgramLineByLine) {
  const std::string_view program =
      "; host operation frame\n"
      "\n"
      "setzi register=8 immediate=0x600\n"
      "\tput   special=160\tregister=8   ; mux register\r\n"
      "sync operand=0XF\n"
      "   \n"
      "add destination=1 source=2 immediate=-0x20\n"
      "send_off count_minus_one=0 direction=0 base_word=0 reserved=1\n"
      ".word 4294967295\n"
      "br register=10";
  const AssemblyResult words = assemble(program);
  ASSERT_TRUE(words.has_value()) << words.error();
  EXPECT_EQ(*words, (std::vector<std::uint32_t>{0x19800600, 0x438080a0, 0x4180000f, 0x2221ffe0,
                                                0x70100000, 0xffffffff, 0x43a00000}));
}

TEST(Assemble, EmptyOrCommentOnlyTextHasNoWords) {
  for (const std::string_view text : {"", "\n\n", "; nothing here\n  ;\n", " \t \r\n"}) {
    const AssemblyResult words = assemble(text);
    ASSERT_TRUE(words.has_value()) << words.error();
    EXPECT_TRUE(words->empty());
  }
}

TEST(Disassemble, AnInstructionItsEncoderRefusesHasNoNotes) {
  EXPECT_EQ(to_string(Instruction{op::Delay{0x80000}}), "delay cycles=524288");
  EXPECT_EQ(to_string(Instruction{op::Ld32{16, 0, 0, 0}}),
            "ld32 destination=16 base=0 delta=0 word_offset=0");
  std::ostringstream out;
  out << Instruction{op::Br{10}} << ' ' << InstructionKind::Br;
  EXPECT_EQ(out.str(), "br register=10 ; return Br");
}

TEST(AssemblyErrorRendering, NamesLineColumnAndReason) {
  const AssemblyError error{3, 17, "bad number `0xg`"};
  EXPECT_EQ(to_string(error), "line 3, column 17: bad number `0xg`");
  std::ostringstream out;
  out << error;
  EXPECT_EQ(out.str(), to_string(error));
}

}  // namespace
}  // namespace meshweave
