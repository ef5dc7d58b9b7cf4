#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "meshweave/disassembly.hpp"
#include "meshweave/instruction_words.hpp"

namespace meshweave {
namespace {

// 32-bit words from a seeded engine, the same on every run.
class RandomWords {
 public:
  explicit RandomWords(std::uint32_t seed) : engine_{seed} {}
  std::uint32_t operator()() { return static_cast<std::uint32_t>(engine_()); }

 private:
  std::mt19937 engine_;
};

// The cycles an instruction accounts for, read from its decoded fields alone.
std::uint32_t cycles_of(const Instruction& instruction) {
  if (const auto* d = std::get_if<op::Delay>(&instruction.fields)) return d->cycles + 1;
  if (const auto* p = std::get_if<op::PicDelay>(&instruction.fields)) return p->wait + 1;
  if (const auto* x = std::get_if<op::XpicDelay>(&instruction.fields)) return x->wait + 1;
  if (const auto* s = std::get_if<op::Send>(&instruction.fields)) return s->count_minus_one + 1;
  if (const auto* c = std::get_if<op::SendContinuation>(&instruction.fields)) {
    return c->count_minus_one + 1;
  }
  return 0;
}

// decode -> encode and disassemble -> assemble (with and without the word in
// front) give the word back, and the decoded kind is timed exactly when
// instruction_advance says so, for as long.
void expect_round_trip(std::uint32_t word, bool through_text) {
  const Instruction instruction = decode(word);
  const Result<std::uint32_t> again = encode(instruction);
  ASSERT_TRUE(again.has_value()) << std::hex << word << ": " << again.error();
  ASSERT_EQ(*again, word);
  ASSERT_EQ(cycles_of(instruction), instruction_advance(word)) << std::hex << word;
  if (through_text) {
    const std::string text = disassemble(word);
    const AssemblyResult words = assemble(text);
    ASSERT_TRUE(words.has_value()) << text << ": " << words.error();
    ASSERT_EQ(*words, std::vector<std::uint32_t>{word}) << text;
    // As a listing prints it, after the word itself.
    char column[16];
    std::snprintf(column, sizeof column, "0x%08x  ", word);
    const AssemblyResult listed = assemble(column + text);
    ASSERT_TRUE(listed.has_value()) << column << text << ": " << listed.error();
    ASSERT_EQ(*listed, std::vector<std::uint32_t>{word}) << column << text;
  }
}

TEST(RoundTrip, RandomWords) {
  RandomWords random{20240611};
  for (int i = 0; i < 4'000'000; ++i) expect_round_trip(random(), i % 4 == 0);
}

// Random words inside each opcode family, so that the rare kinds (a 13-bit
// DELAY prefix, a 28-bit SYNC prefix) are reached too.
TEST(RoundTrip, RandomWordsNearEveryKind) {
  const std::uint32_t prefixes[] = {0x40a00000, 0x41800000, 0x43000000, 0x43808000,
                                    0x42000000, 0x13000000, 0x18000000, 0x60000000,
                                    0x64000000, 0x70000000, 0x78000000};
  RandomWords random{7};
  for (const std::uint32_t prefix : prefixes) {
    for (int i = 0; i < 20'000; ++i) {
      // Keep the prefix and vary the low bits plus, now and then, one bit of it.
      std::uint32_t word = prefix | (random() & 0x000fffff);
      if (i % 8 == 0) word ^= 1u << (random() % 32);
      expect_round_trip(word, true);
    }
  }
}

// Words built by every encoder over random valid operands decode to those very
// operands, so each field is read from where the encoder wrote it.
TEST(RoundTrip, EncoderWordsDecodeToTheirOperands) {
  RandomWords random{99};
  const auto below = [&](std::uint32_t limit) { return random() % limit; };
  const auto reg = [&] { return static_cast<std::uint8_t>(below(16)); };
  const auto imm12 = [&] { return static_cast<std::uint16_t>(below(4096)); };
  for (int i = 0; i < 20'000; ++i) {
    const std::uint32_t c6 = below(64), d = below(8), b18 = below(0x40000), c12 = below(0x1000);
    const std::uint32_t b11 = below(0x800), wait7 = below(128), wait12 = below(4096),
                        flag = below(2), delay_cycles = below(0x80000), selector = below(0x2000);
    const std::uint32_t target = below(0x80000) * 4, imm20 = below(0x100000);
    const auto special = static_cast<std::uint8_t>(below(256));
    const auto add_immediate = static_cast<std::int32_t>(below(65536)) - 32768;
    const std::uint8_t r1 = reg(), r2 = reg(), r3 = reg();
    const std::uint16_t i12 = imm12();

    const std::pair<std::uint32_t, Instruction> built[] = {
        {delay(delay_cycles), {op::Delay{delay_cycles}}},
        {delay_pic(wait7, flag, b18), {op::PicDelay{wait7, flag, b18}}},
        {delay_xpic(wait12, flag, selector), {op::XpicDelay{wait12, flag, selector}}},
        {encode_send(c6, d, b18).value(), {op::Send{c6, d, b18}}},
        {send_off(c12, d, b11), {op::SendContinuation{c12, d, b11, 0}}},
        {setzi_m(r1, imm20), {op::Setzi{r1, imm20}}},
        {encode_put_special_m(special, r1).value(), {op::Put{special, r1}}},
        {put_special_from_m8(special), {op::Put{special, 8}}},
        {br_m(r1), {op::Br{r1}}},
        {encode_brz_m_immediate(r1, target).value(), {op::Brz{r1, target}}},
        {encode_call_m_immediate(r1, target).value(), {op::Call{r1, target}}},
        {encode_ld32_m_immediate(r1, r2, r3, i12).value(), {op::Ld32{r1, r2, r3, i12}}},
        {encode_st32_m_immediate(r1, r2, r3, i12).value(), {op::St32{r1, r2, r3, i12}}},
        {encode_add_m_immediate(r1, r2, add_immediate).value(), {op::Add{r1, r2, add_immediate}}},
        {encode_and_m_immediate(r1, r2, i12).value(), {op::And{r1, r2, i12}}},
        {encode_shl_m_immediate(r1, r2, i12).value(), {op::Shl{r1, r2, i12}}},
    };
    for (const auto& [word, instruction] : built) {
      ASSERT_EQ(decode(word), instruction) << std::hex << word;
      expect_round_trip(word, i % 4 == 0);
    }
  }
}

}  // namespace
}  // namespace meshweave
