#include "meshweave/collectives.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "collectives/collective_checks.hpp"

namespace meshweave {
namespace {

using testing::check_collective;

struct TileSet {
  const char* name;
  std::vector<std::uint16_t> tiles;
  // Group sizes to try Hierarchical with (besides the planner's own choice).
  std::vector<std::uint16_t> groups;
};

std::vector<std::uint16_t> first(std::uint16_t count) {
  std::vector<std::uint16_t> tiles(count);
  for (std::uint16_t t = 0; t < count; ++t) tiles[t] = t;
  return tiles;
}

CollectiveRequest request_for(CollectiveKind kind, const std::vector<std::uint16_t>& tiles,
                              std::uint32_t words) {
  CollectiveRequest request;
  request.kind = kind;
  request.tiles = tiles;
  request.words = words;
  request.root = static_cast<std::uint16_t>(tiles.size() / 2);
  request.input = 0x1000;
  request.output = 0x40000;
  request.scratch = 0x90000;
  request.halo = HaloWords{3, 5, 2, 7, 1, static_cast<std::uint16_t>(tiles.size()), true};
  return request;
}

void check_every_algorithm(const TileSet& set, std::uint32_t words) {
  for (const CollectiveKind kind : all_collectives()) {
    for (const CollectiveAlgorithm algorithm : algorithms_of(kind)) {
      std::vector<std::uint16_t> groups{0};
      if (algorithm == CollectiveAlgorithm::Hierarchical) groups = set.groups;
      for (const std::uint16_t group : groups) {
        CollectiveRequest request = request_for(kind, set.tiles, words);
        request.algorithm = algorithm;
        request.group_size = group;
        SCOPED_TRACE(std::string{set.name} + " " + std::string{collective_name(kind)} + " " +
                     std::string{algorithm_name(algorithm)} + " group " + std::to_string(group));
        const bool grid = kind == CollectiveKind::ReduceScatter ||
                          kind == CollectiveKind::AllReduce || kind == CollectiveKind::AllToAll;
        if (algorithm == CollectiveAlgorithm::Hierarchical && grid && group != 0 &&
            set.tiles.size() % group != 0) {
          continue;
        }
        auto plan = plan_collective(Topology::m1472(), request);
        ASSERT_TRUE(plan.has_value()) << to_string(plan.error());
        EXPECT_EQ(plan->algorithm, algorithm);
        EXPECT_EQ(check_collective(Topology::m1472(), *plan), "");
      }
    }
  }
}

TEST(Collectives, EveryAlgorithmOnSmallTileSets) {
  const TileSet sets[] = {
      {"two tiles", {0, 1}, {}},
      {"three tiles", {0, 1, 2}, {2}},
      {"five tiles", first(5), {2, 3}},
      {"six scattered tiles", {7, 300, 12, 901, 1400, 55}, {2, 3}},
  };
  for (const TileSet& set : sets) check_every_algorithm(set, 5);
}

TEST(Collectives, EveryAlgorithmOnSixtyFourTiles) {
  check_every_algorithm({"64 tiles", first(64), {8, 16, 0}}, 3);
}

TEST(Collectives, AllToAllOnGridsOfGroups) {
  struct Case {
    const char* name;
    std::vector<std::uint16_t> tiles;
    std::uint16_t group;
    std::uint32_t words;
  };
  std::vector<std::uint16_t> scattered;
  for (std::uint16_t t = 0; t < 15; ++t)
    scattered.push_back(static_cast<std::uint16_t>(1400 - 97 * t));
  const Case cases[] = {
      {"nine tiles, rows of three", first(9), 3, 5},
      {"fifteen scattered tiles, rows of five", scattered, 5, 2},
      {"fifteen scattered tiles, rows of three", scattered, 3, 1},
      {"sixty-four tiles in pairs", first(64), 2, 3},
      {"sixty-four tiles, two rows", first(64), 32, 3},
      {"sixty-four tiles, chosen rows", first(64), 0, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CollectiveRequest request = request_for(CollectiveKind::AllToAll, c.tiles, c.words);
    request.algorithm = CollectiveAlgorithm::Hierarchical;
    request.group_size = c.group;
    auto plan = plan_collective(Topology::m1472(), request);
    ASSERT_TRUE(plan.has_value()) << to_string(plan.error());
    ASSERT_EQ(plan->steps.size(), 2u);
    // Every tile sends one block to each member of its row and of its column.
    const std::size_t n = c.tiles.size();
    const std::size_t g = plan->group_size;
    EXPECT_EQ(plan->steps[0].exchange.transfers.size() + plan->steps[1].exchange.transfers.size(),
              n * (g - 1 + n / g - 1));
    EXPECT_EQ(plan->scratch_words, 2 * n * c.words);
    EXPECT_EQ(check_collective(Topology::m1472(), *plan), "");
  }
}

TEST(Collectives, HaloGrids) {
  struct Case {
    std::uint16_t rows;
    std::uint16_t columns;
    bool periodic;
    HaloWords words;
  };
  const Case cases[] = {
      {2, 3, false, {3, 5, 2, 7}},
      {2, 3, true, {3, 5, 2, 7}},
      {4, 4, true, {0, 4, 1, 0}},  // one-sided halos
      {3, 1, true, {1, 2, 3, 4}},  // a column: no west or east neighbour but itself
  };
  for (const Case& c : cases) {
    CollectiveRequest request =
        request_for(CollectiveKind::Halo, first(static_cast<std::uint16_t>(c.rows * c.columns)), 0);
    request.halo = c.words;
    request.halo.rows = c.rows;
    request.halo.columns = c.columns;
    request.halo.periodic = c.periodic;
    SCOPED_TRACE(std::to_string(c.rows) + "x" + std::to_string(c.columns));
    auto plan = plan_collective(Topology::m1472(), request);
    ASSERT_TRUE(plan.has_value()) << to_string(plan.error());
    EXPECT_EQ(check_collective(Topology::m1472(), *plan), "");
  }
}

TEST(Collectives, LongBroadcastsAreChunked) {
  for (const CollectiveAlgorithm algorithm :
       {CollectiveAlgorithm::Flat, CollectiveAlgorithm::Hierarchical}) {
    CollectiveRequest request = request_for(CollectiveKind::Broadcast, first(12), 9000);
    request.algorithm = algorithm;
    request.group_size = 4;
    auto plan = plan_collective(Topology::m1472(), request);
    ASSERT_TRUE(plan.has_value()) << to_string(plan.error());
    for (const ScheduledTransfer& transfer : plan->steps[0].exchange.transfers) {
      EXPECT_LE(view(transfer.transfer).count, 4148u);
    }
    EXPECT_EQ(check_collective(Topology::m1472(), *plan), "");
  }
}

TEST(Collectives, FullCard) {
  struct Case {
    CollectiveKind kind;
    CollectiveAlgorithm algorithm;
    std::uint16_t group;
  };
  const Case cases[] = {
      {CollectiveKind::AllGather, CollectiveAlgorithm::Hierarchical, 32},
      {CollectiveKind::Gather, CollectiveAlgorithm::Hierarchical, 46},
      {CollectiveKind::Scatter, CollectiveAlgorithm::Hierarchical, 64},
      {CollectiveKind::ReduceScatter, CollectiveAlgorithm::Hierarchical, 46},
      {CollectiveKind::Broadcast, CollectiveAlgorithm::Flat, 0},
      {CollectiveKind::AllToAll, CollectiveAlgorithm::Hierarchical, 32},
  };
  const Topology card = Topology::m1472();
  for (const Case& c : cases) {
    CollectiveRequest request = request_for(c.kind, {}, 16);
    request.algorithm = c.algorithm;
    request.group_size = c.group;
    SCOPED_TRACE(collective_name(c.kind));
    auto plan = plan_collective(card, request);
    ASSERT_TRUE(plan.has_value()) << to_string(plan.error());
    EXPECT_EQ(plan->request.tiles.size(), 1472u);
    EXPECT_EQ(check_collective(card, *plan), "");
  }
}

TEST(Collectives, AutoKeepsTheShortestCandidate) {
  CollectiveRequest request = request_for(CollectiveKind::AllGather, first(64), 16);
  auto plan = plan_collective(Topology::m1472(), request);
  ASSERT_TRUE(plan.has_value()) << to_string(plan.error());
  ASSERT_GE(plan->candidates.size(), 2u);
  EXPECT_EQ(plan->candidates[0].algorithm, CollectiveAlgorithm::Flat);
  for (const CandidateEstimate& candidate : plan->candidates) {
    EXPECT_LE(plan->candidates[plan->chosen].horizon, candidate.horizon);
  }
  const CandidateEstimate& chosen = plan->candidates[plan->chosen];
  EXPECT_EQ(plan->algorithm, chosen.algorithm);
  EXPECT_EQ(plan->group_size, chosen.group_size);
  auto estimate = estimate_collective(Topology::m1472(), *plan);
  ASSERT_TRUE(estimate.has_value());
  EXPECT_EQ(estimate->horizon, chosen.horizon);
  EXPECT_LE(estimate->lower_bound, estimate->horizon);
  EXPECT_NE(explain_choice(*plan).find("(chosen)"), std::string::npos);
  EXPECT_EQ(check_collective(Topology::m1472(), *plan), "");
  // The same request gives the same plan.
  EXPECT_EQ(plan_collective(Topology::m1472(), request), plan);
}

TEST(Collectives, LayoutOfAllGatherSlots) {
  // Participant j's shard goes to output + 4 * words * j on every other tile.
  CollectiveRequest request = request_for(CollectiveKind::AllGather, {9, 4, 30}, 6);
  request.algorithm = CollectiveAlgorithm::Flat;
  auto plan = plan_collective(Topology::m1472(), request);
  ASSERT_TRUE(plan.has_value());
  ASSERT_EQ(plan->steps.size(), 1u);
  const auto& transfers = plan->steps[0].exchange.transfers;
  ASSERT_EQ(transfers.size(), 3u);
  const TransferView second = view(transfers[1].transfer);
  EXPECT_EQ(second.sender, 4);
  EXPECT_EQ(second.source_address, 0x1000u);
  EXPECT_EQ(second.destination(0), 0x40000u + 4 * 6);
  EXPECT_EQ(std::vector<std::uint16_t>(second.receivers.begin(), second.receivers.end()),
            (std::vector<std::uint16_t>{9, 30}));
  // The own shard is a local copy after the exchange.
  EXPECT_EQ(plan->combine_after[1], (Combine{4, 0x40000u + 4 * 6, {0x1000u}, 6}));
}

}  // namespace
}  // namespace meshweave
