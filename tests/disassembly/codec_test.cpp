#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>

#include "meshweave/disassembly.hpp"
#include "meshweave/instruction_words.hpp"

namespace meshweave {
namespace {

struct DecodeRow {
  std::uint32_t word;
  Instruction instruction;
};

// One or more rows per kind, the documented words among them.
const DecodeRow decode_rows[] = {
    {0x40a00086, {op::Delay{134}}},
    {0x40a7ffff, {op::Delay{0x7ffff}}},
    {0x61800000, {op::PicDelay{48, 0, 0}}},
    {0x63ffffff, {op::PicDelay{127, 1, 0x3ffff}}},
    {0x641c0000, {op::XpicDelay{112, 0, 0}}},
    {0x64008640, {op::XpicDelay{2, 0, 1600}}},
    {0x67ffffff, {op::XpicDelay{4095, 1, 0x1fff}}},
    {0x782a03cb, {op::Send{1, 3, 82041}}},
    {0x7fe00001, {op::Send{63, 1, 0}}},
    {0x7fffffff, {op::Send{63, 7, 0x3ffff}}},
    {0x766fc001, {op::SendContinuation{4083, 1, 0, 0}}},
    {0x70200003, {op::SendContinuation{1, 3, 0, 0}}},
    {0x77efffff, {op::SendContinuation{0xfff, 7, 0x7ff, 0}}},
    {0x70100000, {op::SendContinuation{0, 0, 0, 1}}},
    {0x41800000, {op::Sync{0}}},
    {0x41800003, {op::Sync{3}}},
    {0x41800007, {op::Sync{7}}},
    {0x4180000f, {op::Sync{15}}},
    {0x19800640, {op::Setzi{8, 1600}}},
    {0x19ffffff, {op::Setzi{15, 0xfffff}}},
    {0x438080a0, {op::Put{160, 8}}},
    {0x438080a6, {op::Put{166, 8}}},
    {0x43a00000, {op::Br{10}}},
    {0x13013040, {op::Brz{0, 0x4c100}}},
    {0x18a13040, {op::Call{10, 0x4c100}}},
    {0x1807ffff, {op::Call{0, 0x1ffffc}}},
    {0x01b8f001, {op::Ld32{8, 11, 15, 1}}},
    {0x4fb2f000, {op::St32{2, 11, 15, 0}}},
    {0x22bbffe0, {op::Add{11, 11, -32}}},
    {0x22008000, {op::Add{0, 0, -32768}}},
    {0x22007fff, {op::Add{0, 0, 32767}}},
    {0x42800001, {op::And{0, 8, 1}}},
    {0x427aa002, {op::Shl{10, 7, 2}}},
};

TEST(Decode, GivesTheFieldsOfEachKindAndEncodesBack) {
  for (const DecodeRow& row : decode_rows) {
    SCOPED_TRACE(::testing::Message() << std::hex << row.word);
    EXPECT_EQ(decode(row.word), row.instruction);
    EXPECT_EQ(encode(row.instruction), row.word);
  }
}

// Words that carry a scalar or SYNC opcode but break one of its fixed bits.
TEST(Decode, WordsWithAWrongFixedBitAreData) {
  const std::uint32_t words[] = {
      0x41800010,  // SYNC with bit 4 set
      0x41000003,  // SYNC without bit 23
      0x43a00001,  // BR with bit 0 set
      0x43a80000,  // BR with bit 19 set
      0x438180a0,  // PUT with bit 16 set
      0x4380c0a0,  // PUT with 0xc0 where 0x80 belongs
      0x43804000,  // 0x43 with bit 14 but not bit 15
      0x13093040,  // BRZ with bit 19 set
      0x18880000,  // CALL with bit 19 set
      0x42805001,  // 0x42 with function 5: neither AND nor SHL
      0x4280f001,  // 0x42 with function 15
      0x00000000, 0xffffffff, 0x40b00000, 0x5fffffff, 0x80000000,
  };
  for (const std::uint32_t word : words) {
    SCOPED_TRACE(::testing::Message() << std::hex << word);
    EXPECT_EQ(decode(word), Instruction{op::Data{word}});
    EXPECT_EQ(encode(decode(word)), word);
  }
}

TEST(Decode, KindFollowsTheVariant) {
  EXPECT_EQ(decode(0x40a00086).kind(), InstructionKind::Delay);
  EXPECT_EQ(decode(0x766fc001).kind(), InstructionKind::SendContinuation);
  EXPECT_EQ(decode(0x782a03cb).kind(), InstructionKind::Send);
  EXPECT_EQ(decode(0x427aa002).kind(), InstructionKind::Shl);
  EXPECT_EQ(decode(0xdeadbeef).kind(), InstructionKind::Data);
}

// Tools print these names; one word of every kind, with the name it goes by.
TEST(Decode, EveryKindHasItsName) {
  const struct {
    std::uint32_t word;
    std::string_view name;
  } rows[] = {
      {0x40a00086, "Delay"},
      {0x61800000, "PicDelay"},
      {0x641c0000, "XpicDelay"},
      {0x782a03cb, "Send"},
      {0x766fc001, "SendContinuation"},
      {0x41800003, "Sync"},
      {0x19800640, "Setzi"},
      {0x438080a0, "Put"},
      {0x43a00000, "Br"},
      {0x13013040, "Brz"},
      {0x18a13040, "Call"},
      {0x01b8f001, "Ld32"},
      {0x4fb2f000, "St32"},
      {0x22bbffe0, "Add"},
      {0x42800001, "And"},
      {0x427aa002, "Shl"},
      {0xdeadbeef, "Data"},
  };
  for (const auto& row : rows) EXPECT_EQ(kind_name(decode(row.word).kind()), row.name) << row.word;
}

struct EncodeErrorRow {
  Instruction instruction;
  std::string_view message;
};

TEST(Encode, RefusesFieldsTooWideForTheirWord) {
  const EncodeErrorRow rows[] = {
      {{op::Delay{0x80000}}, schedule_message::delay_advance_overflow},
      {{op::PicDelay{128, 0, 0}}, schedule_message::pic_delay_advance_overflow},
      {{op::PicDelay{128, 2, 0}}, schedule_message::pic_delay_advance_overflow},
      {{op::PicDelay{0, 2, 0}}, schedule_message::pic_delay_operand},
      {{op::PicDelay{0, 0, 0x40000}}, schedule_message::pic_delay_operand},
      {{op::XpicDelay{4096, 0, 0}}, schedule_message::xpic_delay_advance_overflow},
      {{op::XpicDelay{0, 2, 0}}, schedule_message::xpic_delay_operand},
      {{op::XpicDelay{0, 0, 0x2000}}, schedule_message::xpic_delay_operand},
      {{op::Send{64, 3, 0}}, schedule_message::send_instruction_operand},
      {{op::Send{1, 3, 0x40000}}, schedule_message::send_instruction_operand},
      {{op::SendContinuation{0x1000, 0, 0, 0}}, schedule_message::send_instruction_operand},
      {{op::SendContinuation{0, 8, 0, 0}}, schedule_message::send_instruction_operand},
      {{op::SendContinuation{0, 0, 0x800, 0}}, schedule_message::send_instruction_operand},
      {{op::SendContinuation{0, 0, 0, 2}}, schedule_message::send_instruction_operand},
      {{op::Sync{16}}, schedule_message::sync_operand},
      {{op::Setzi{0, 0x100000}}, schedule_message::setzi_operand},
      {{op::Put{0, 16}}, schedule_message::put_source_register},
      {{op::Br{16}}, schedule_message::branch_register},
      {{op::Brz{0, 2}}, schedule_message::brz_operand},
      {{op::Call{0, 0x200000}}, schedule_message::call_operand},
      {{op::Ld32{0, 0, 16, 0}}, schedule_message::ld32_operand},
      {{op::St32{0, 0, 0, 4096}}, schedule_message::st32_operand},
      {{op::Add{16, 0, 32768}}, schedule_message::add_immediate_operand},
      {{op::Add{16, 0, -1}}, schedule_message::add_register_operand},
      {{op::And{0, 0, 4096}}, schedule_message::and_operand},
      {{op::Shl{0, 16, 0}}, schedule_message::shift_left_operand},
  };
  for (const EncodeErrorRow& row : rows) {
    SCOPED_TRACE(to_string(row.instruction));
    const Result<std::uint32_t> word = encode(row.instruction);
    ASSERT_FALSE(word.has_value()) << std::hex << *word;
    EXPECT_EQ(word.error(), ExchangeError::schedule(row.message));
  }
}

TEST(Encode, KeepsTheLargestFieldValues) {
  EXPECT_EQ(encode({op::Sync{15}}), 0x4180000fu);
  EXPECT_EQ(encode({op::SendContinuation{0xfff, 7, 0x7ff, 1}}), 0x77ffffffu);
  EXPECT_EQ(encode({op::Data{0xffffffff}}), 0xffffffffu);
  EXPECT_EQ(encode({op::Put{255, 15}}), 0x43f080ffu);
}

}  // namespace
}  // namespace meshweave
