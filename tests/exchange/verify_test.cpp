#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "exchange/exchange_fixtures.hpp"
#include "meshweave/exchange.hpp"
#include "meshweave/instruction_words.hpp"

namespace meshweave {
namespace {

const Topology& card() {
  static const Topology topology = Topology::m1472();
  return topology;
}

std::vector<std::string> rendered(const std::vector<VerifyIssue>& issues) {
  std::vector<std::string> lines;
  for (const VerifyIssue& issue : issues) lines.push_back(to_string(issue));
  return lines;
}

TEST(VerifyExchange, AcceptsRandomCompiledExchanges) {
  std::mt19937 random{20261208};
  for (std::size_t round = 0; round < 40; ++round) {
    const ExchangeDescription description = testing::random_exchange(random, 1 + round % 7);
    const auto compiled = compile_exchange(card(), description, CompileOptions{round % 2 == 0});
    ASSERT_TRUE(compiled) << compiled.error();
    EXPECT_EQ(rendered(verify_exchange(card(), description, *compiled)), std::vector<std::string>{})
        << "round " << round;
  }
}

TEST(VerifyExchange, AMulticastWithoutReceiversIsReportedNotReadPast) {
  ExchangeDescription description;
  description.phases.push_back(Phase{{MulticastTransfer{0, {5, 9}, 4, 0x40000, {0x50000}}}});
  const auto compiled = compile_exchange(card(), description);
  ASSERT_TRUE(compiled) << compiled.error();
  std::get<MulticastTransfer>(description.phases[0].transfers[0]).receivers.clear();
  const std::vector<std::string> issues = rendered(verify_exchange(card(), description, *compiled));
  ASSERT_FALSE(issues.empty());
  EXPECT_EQ(issues[0].rfind("tile 5, word ", 0), 0u) << issues[0];
}

class CorruptedProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    description.phases.push_back(Phase{{PointToPointTransfer{0, 1286, 3, 0x52040, 0x53080}}});
    description.phases.push_back(Phase{{MulticastTransfer{1286, {0, 5}, 70, 0x40000, {0x51000}}}});
    auto result = compile_exchange(card(), description);
    ASSERT_TRUE(result) << result.error();
    compiled = *result;
    ASSERT_TRUE(verify_exchange(card(), description, compiled).empty());
  }

  // Index of the first word of `logical`'s program that `pick` accepts.
  std::size_t find(std::uint16_t logical, bool (*pick)(std::uint32_t)) {
    const auto& words = program(logical).words;
    for (std::size_t i = 0; i < words.size(); ++i) {
      if (pick(words[i])) return i;
    }
    ADD_FAILURE() << "no such word";
    return 0;
  }
  TileProgram& program(std::uint16_t logical) {
    return const_cast<TileProgram&>(*compiled.program(logical));
  }
  std::vector<std::string> issues() {
    return rendered(verify_exchange(card(), description, compiled));
  }

  ExchangeDescription description;
  CompiledExchange compiled;
};

TEST_F(CorruptedProgram, ChangedSourceAddressIsNamed) {
  const std::size_t send = find(0, [](std::uint32_t w) { return send_word::kind.matches(w); });
  program(0).words[send] = send_word::BaseWord::set(program(0).words[send], 0x14811);
  EXPECT_EQ(issues(), std::vector<std::string>{"tile 0, word " + std::to_string(send) +
                                               ": SEND source word address: expected 0x14810, "
                                               "found 0x14811"});
}

TEST_F(CorruptedProgram, ChangedSenderTileIsNamed) {
  const std::size_t xpic = find(0, [](std::uint32_t w) { return xpic_word::kind.matches(w); });
  program(0).words[xpic] = xpic_word::Selector::set(program(0).words[xpic], 54);
  EXPECT_EQ(issues(), std::vector<std::string>{"tile 0, word " + std::to_string(xpic) +
                                               ": first XPIC sender tile: expected 53, found 54"});
}

TEST_F(CorruptedProgram, ChangedDestinationIsNamed) {
  const std::size_t pic = find(5, [](std::uint32_t w) { return pic_word::kind.matches(w); });
  program(5).words[pic] = pic_word::Address::set(program(5).words[pic], 0);
  EXPECT_EQ(issues(), std::vector<std::string>{"tile 5, word " + std::to_string(pic) +
                                               ": PIC destination word address: expected "
                                               "0x14400, found 0x0"});
}

// A DELAY one cycle shorter moves every later event of the tile one cycle early:
// the horizon and the arrival both disagree.
TEST_F(CorruptedProgram, ShortenedDelayBreaksHorizonAndArrival) {
  auto& words = program(5).words;
  const std::size_t first_delay =
      find(5, [](std::uint32_t w) { return delay_word::kind.matches(w); });
  ASSERT_GT(instruction_advance(words[first_delay]), 1u);
  ASSERT_TRUE(
      set_instruction_advance(words[first_delay], instruction_advance(words[first_delay]) - 1));
  const auto found = issues();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0], "tile 5: cycles: expected " + std::to_string(compiled.horizon) + ", found " +
                          std::to_string(compiled.horizon - 1));
  EXPECT_EQ(found[1].rfind("tile 5: arrival cycle: expected ", 0), 0u) << found[1];
}

TEST_F(CorruptedProgram, FramingAndMissingProgramsAreNamed) {
  program(1286).words.back() = 0;
  compiled.programs.erase(compiled.programs.begin());  // tile 0
  const auto found = issues();
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0], "tile 1286, word " + std::to_string(program(1286).words.size() - 1) +
                          ": last word: expected 0x43a00000, found 0x0");
  EXPECT_EQ(found[1], "tile 1286, word " + std::to_string(program(1286).words.size() - 1) +
                          ": word kind: expected an exchange word, found 0x0");
  EXPECT_EQ(found[2], "tile 0: program: expected a program, found none");
}

TEST_F(CorruptedProgram, StructuralDamageIsNamed) {
  // An empty program, a wrong physical number, a receive cut short and a SEND
  // where none belongs.
  program(1286).words.clear();
  program(5).physical = 6;
  auto& receiver = program(0).words;
  receiver.erase(receiver.end() - 4, receiver.end() - 1);  // drop the last receive stage
  TileProgram stray{
      1, 2, {ROW_ENTRY_INSTRUCTION, encode_send(0, 1, 0).value(), RETURN_INSTRUCTION}};
  compiled.programs.insert(compiled.programs.begin() + 1, stray);
  const auto found = issues();
  ASSERT_GE(found.size(), 5u);
  std::ostringstream first;
  first << verify_exchange(card(), description, compiled).front();
  EXPECT_EQ(first.str(), found.front());
  const auto has = [&](const std::string& text) {
    return std::find(found.begin(), found.end(), text) != found.end();
  };
  EXPECT_TRUE(has("tile 1286, word 0: first word: expected 0x41800003, found nothing"));
  EXPECT_TRUE(has("tile 1286, word 0: last word: expected 0x43a00000, found nothing"));
  EXPECT_TRUE(has("tile 5: physical tile: expected 130, found 6"));
  EXPECT_TRUE(has("tile 0: receive stage: expected PIC, found end of program"));
  EXPECT_TRUE(has("tile 1, word 1: exchange events: expected no more, found 0x78000001"));
}

// A SEND turned into a DELAY of the same length keeps every cycle but loses the
// transfer: the verifier expects the SEND where the next event stands.
TEST_F(CorruptedProgram, MissingSendIsNamed) {
  const std::size_t send = find(0, [](std::uint32_t w) { return send_word::kind.matches(w); });
  auto& words = program(0).words;
  words[send] = delay(instruction_advance(words[send]) - 1);
  const auto found = issues();
  ASSERT_FALSE(found.empty());
  EXPECT_EQ(found.front().rfind("tile 0, word ", 0), 0u) << found.front();
  EXPECT_NE(found.front().find(": SEND: expected SEND, found 0x64"), std::string::npos)
      << found.front();
}

}  // namespace
}  // namespace meshweave
