#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "meshweave/exchange.hpp"

namespace meshweave {
namespace {

const Topology& card() {
  static const Topology topology = Topology::m1472();
  return topology;
}

ScheduledTransfer p2p(std::uint16_t from, std::uint16_t to, std::uint32_t source,
                      std::uint32_t destination, std::vector<std::size_t> after = {},
                      std::uint32_t words = 16) {
  return ScheduledTransfer{PointToPointTransfer{from, to, words, source, destination},
                           std::move(after)};
}

// The transfers each scheduled piece carries, by piece.
std::vector<std::vector<std::size_t>> carried(const ExchangeSchedule& schedule) {
  std::vector<std::vector<std::size_t>> pieces;
  for (const ScheduledPiece& piece : schedule.pieces) {
    std::vector<std::size_t> transfers{piece.transfer};
    transfers.insert(transfers.end(), piece.merged.begin(), piece.merged.end());
    pieces.push_back(std::move(transfers));
  }
  return pieces;
}

struct MergeCase {
  const char* name;
  std::vector<ScheduledTransfer> transfers;
  bool merge;
  std::vector<std::vector<std::size_t>> pieces;
};

TEST(MulticastMerge, MergesOnlyUnrelatedTransfersOfOneSource) {
  using Pieces = std::vector<std::vector<std::size_t>>;
  const MergeCase cases[] = {
      {"same sender, source and count",
       {p2p(0, 1, 0x1000, 0x2000), p2p(0, 2, 0x1000, 0x3000), p2p(0, 3, 0x1000, 0x2000)},
       true,
       Pieces{{0, 1, 2}}},
      {"turned off",
       {p2p(0, 1, 0x1000, 0x2000), p2p(0, 2, 0x1000, 0x3000)},
       false,
       Pieces{{0}, {1}}},
      {"sources differ",
       {p2p(0, 1, 0x1000, 0x2000), p2p(0, 2, 0x1040, 0x2000), p2p(0, 3, 0x1000, 0x2000)},
       true,
       Pieces{{0, 2}, {1}}},
      {"counts differ",
       {p2p(0, 1, 0x1000, 0x2000), p2p(0, 2, 0x1000, 0x2000, {}, 8)},
       true,
       Pieces{{0}, {1}}},
      {"after separates them",
       {p2p(0, 1, 0x1000, 0x2000), p2p(5, 6, 0x1000, 0x2000, {0}), p2p(0, 2, 0x1000, 0x2000, {1})},
       true,
       Pieces{{0}, {1}, {2}}},
      {"the second overwrites the source of the first's receiver",
       {p2p(0, 1, 0x1000, 0x2000), p2p(1, 7, 0x2000, 0x5000), p2p(0, 2, 0x1000, 0x2000)},
       true,
       Pieces{{0}, {1}, {2}}},
      {"a write on the sender meets the source",
       {p2p(0, 1, 0x1000, 0x2000), p2p(9, 0, 0x8000, 0x1020), p2p(0, 2, 0x1000, 0x2000)},
       true,
       Pieces{{0}, {1}, {2}}},
      {"one receiver twice: the later one goes alone",
       {p2p(0, 1, 0x1000, 0x2000), p2p(0, 1, 0x1000, 0x3000), p2p(0, 2, 0x1000, 0x2000)},
       true,
       Pieces{{0, 2}, {1}}},
      {"a shorter read of the same source does not separate them",
       {p2p(0, 1, 0x1000, 0x2000), p2p(0, 4, 0x1000, 0x2000, {}, 8), p2p(0, 2, 0x1000, 0x2000)},
       true,
       Pieces{{0, 2}, {1}}},
  };
  for (const MergeCase& test : cases) {
    SCOPED_TRACE(test.name);
    ExchangeDescription description;
    description.transfers = test.transfers;
    ScheduleOptions options;
    options.merge_into_multicasts = test.merge;
    const auto schedule = schedule_exchange(card(), description, options);
    ASSERT_TRUE(schedule) << schedule.error();
    EXPECT_EQ(carried(*schedule), test.pieces);

    const auto compiled = compile_exchange(card(), description, CompileOptions{}, options);
    ASSERT_TRUE(compiled) << compiled.error();
    EXPECT_EQ(compiled->horizon, schedule->horizon);
    // Every transfer keeps its own timing, in program order.
    ASSERT_EQ(compiled->timings.size(), description.transfers.size());
    for (std::size_t index = 0; index < compiled->timings.size(); ++index) {
      EXPECT_EQ(compiled->timings[index].transfer, index);
      EXPECT_EQ(arrival_cycles(*compiled, compiled->timings[index]).size(), 1u);
    }
    std::vector<std::string> issues;
    for (const VerifyIssue& issue : verify_exchange(card(), description, *compiled)) {
      issues.push_back(to_string(issue));
    }
    EXPECT_EQ(issues, std::vector<std::string>{});
  }
}

TEST(MulticastMerge, ShortensTheSendersSerialisedTransfers) {
  ExchangeDescription description;
  for (std::uint16_t receiver = 1; receiver <= 40; ++receiver) {
    description.transfers.push_back(p2p(0, receiver, 0x1000, 0x2000, {}, 512));
  }
  ScheduleOptions apart;
  apart.merge_into_multicasts = false;
  const auto merged = estimate_exchange(card(), description);
  const auto separate = estimate_exchange(card(), description, CompileOptions{}, apart);
  ASSERT_TRUE(merged && separate);
  EXPECT_LT(merged->horizon, separate->horizon / 10);
}

TEST(MulticastMerge, VerifierRefusesAMulticastThatMissesADestination) {
  ExchangeDescription description;
  description.transfers = {p2p(0, 1, 0x1000, 0x2000), p2p(0, 2, 0x1000, 0x3000)};
  const auto compiled = compile_exchange(card(), description);
  ASSERT_TRUE(compiled) << compiled.error();
  ExchangeDescription elsewhere = description;
  std::get<PointToPointTransfer>(elsewhere.transfers[1].transfer).destination_address = 0x3040;
  EXPECT_FALSE(verify_exchange(card(), elsewhere, *compiled).empty());
}

// A group the planners refuse goes transfer by transfer, so the error is the
// one the first transfer gives on its own.
TEST(MulticastMerge, RefusedGroupFallsBackToSeparateTransfers) {
  ExchangeDescription description;
  description.transfers = {p2p(0, 1, 0x2000000, 0x2000), p2p(0, 2, 0x2000000, 0x2000)};
  ScheduleOptions apart;
  apart.merge_into_multicasts = false;
  const auto merged = schedule_exchange(card(), description);
  const auto separate = schedule_exchange(card(), description, apart);
  ASSERT_FALSE(merged);
  ASSERT_FALSE(separate);
  EXPECT_EQ(merged.error(), separate.error());
  EXPECT_EQ(merged.error().transfer, 0u);
}

// A schedule naming transfers that cannot share a multicast is refused, not compiled.
TEST(MulticastMerge, CompilingRefusesAMergeOfDifferentSources) {
  ExchangeDescription description;
  description.transfers = {p2p(0, 1, 0x1000, 0x2000), p2p(0, 2, 0x1040, 0x2000)};
  ExchangeSchedule schedule;
  schedule.horizon = 1000;
  schedule.pieces = {ScheduledPiece{0, 0, 16, 0, {1}}};
  const auto compiled = compile_exchange(card(), description, schedule);
  ASSERT_FALSE(compiled);
  EXPECT_EQ(compiled.error().transfer, 0u);
}

}  // namespace
}  // namespace meshweave
