// A transfer's buffers must lie in tile memory as a whole, not only their first
// word: the compiler refuses one that runs past the end, the verifier reports it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "meshweave/exchange.hpp"
#include "meshweave/instruction_words/control_words.hpp"

namespace meshweave {
namespace {

const Topology& card() {
  static const Topology topology = Topology::m1472();
  return topology;
}

ExchangeDescription one_transfer(Transfer transfer) {
  ExchangeDescription description;
  description.phases.push_back(Phase{{PointToPointTransfer{20, 21, 1, 0, 0}, std::move(transfer)}});
  return description;
}

// The last byte address whose buffer of 4148 words still ends at the memory's end.
constexpr std::uint32_t last_fitting = TILE_MEMORY_BYTES - 4 * MAX_TRANSFER_WORDS;

TEST(TileMemoryRange, CompilerRefusesABufferRunningPastTheEnd) {
  const struct {
    const char* what;
    Transfer transfer;
    std::uint16_t tile;
    std::string rendering;
  } cases[] = {
      {"source", PointToPointTransfer{0, 1, 4148, 0xffff0, 0}, 0,
       "phase 0, transfer 1, tile 0: buffer at 0xffff0 runs past the end of tile memory "
       "(0x100000)"},
      {"one word too far", PointToPointTransfer{0, 1, 4148, last_fitting + 4, 0}, 0,
       "phase 0, transfer 1, tile 0: buffer at 0xfbf34 runs past the end of tile memory "
       "(0x100000)"},
      {"destination", PointToPointTransfer{0, 1, 2, 0, 0xffffc}, 1,
       "phase 0, transfer 1, tile 1: buffer at 0xffffc runs past the end of tile memory "
       "(0x100000)"},
      {"second receiver's destination", MulticastTransfer{0, {1, 2}, 64, 0, {0, 0xfff40}}, 2,
       "phase 0, transfer 1, tile 2: buffer at 0xfff40 runs past the end of tile memory "
       "(0x100000)"},
      {"shared destination", MulticastTransfer{0, {1, 2}, 64, 0, {0xfff40}}, 1,
       "phase 0, transfer 1, tile 1: buffer at 0xfff40 runs past the end of tile memory "
       "(0x100000)"},
  };
  for (const auto& c : cases) {
    const auto compiled = compile_exchange(card(), one_transfer(c.transfer));
    ASSERT_FALSE(compiled) << c.what;
    EXPECT_EQ(compiled.error().kind, CompileError::Kind::AddressRange) << c.what;
    EXPECT_EQ(compiled.error().tile, c.tile) << c.what;
    EXPECT_EQ(to_string(compiled.error()), c.rendering) << c.what;
  }
}

TEST(TileMemoryRange, BuffersEndingAtTheEndCompileAndVerify) {
  const ExchangeDescription description = one_transfer(
      MulticastTransfer{0, {1, 2}, MAX_TRANSFER_WORDS, last_fitting, {last_fitting, 0}});
  const auto compiled = compile_exchange(card(), description);
  ASSERT_TRUE(compiled) << compiled.error();
  EXPECT_EQ(verify_exchange(card(), description, *compiled), std::vector<VerifyIssue>{});
}

// Programs built for a fitting buffer, checked against a description whose
// buffer runs past the end: the verifier names the tile and the range.
TEST(TileMemoryRange, VerifierReportsABufferRunningPastTheEnd) {
  ExchangeDescription description = one_transfer(PointToPointTransfer{0, 1, 64, 0, 0xfff40});
  std::get<PointToPointTransfer>(description.phases[0].transfers[1]).destination_address = 0xffe00;
  const auto compiled = compile_exchange(card(), description);
  ASSERT_TRUE(compiled) << compiled.error();
  std::get<PointToPointTransfer>(description.phases[0].transfers[1]).destination_address = 0xfff40;
  const std::vector<VerifyIssue> issues = verify_exchange(card(), description, *compiled);
  const VerifyIssue expected{1, std::nullopt, "destination buffer", "an end at or below 0x100000",
                             "64 words from 0xfff40 ending at 0x100040"};
  EXPECT_NE(std::find(issues.begin(), issues.end(), expected), issues.end())
      << issues.size() << " issues";
}

}  // namespace
}  // namespace meshweave
