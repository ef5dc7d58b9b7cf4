#include <gtest/gtest.h>

#include <utility>

#include "meshweave/collectives.hpp"

namespace meshweave {
namespace {

CollectivePlan plan_of(CollectiveKind kind, CollectiveAlgorithm algorithm,
                       std::vector<std::uint16_t> tiles, std::uint16_t group = 0) {
  CollectiveRequest request;
  request.kind = kind;
  request.algorithm = algorithm;
  request.tiles = std::move(tiles);
  request.words = 4;
  request.input = 0x100;
  request.output = 0x2000;
  request.scratch = 0x8000;
  request.group_size = group;
  return plan_collective(Topology::m1472(), request).value();
}

// The first issue of replaying `plan` as compiled, or "" when there is none.
std::string first_issue(const CollectivePlan& plan,
                        void (*tamper)(std::vector<CompiledExchange>&) = nullptr) {
  auto compiled = compile_collective(Topology::m1472(), plan).value();
  if (tamper != nullptr) tamper(compiled);
  const auto issues = replay_collective(Topology::m1472(), plan, compiled);
  return issues.empty() ? "" : to_string(issues.front());
}

PointToPointTransfer& point(CollectivePlan& plan, std::size_t step, std::size_t transfer) {
  return std::get<PointToPointTransfer>(plan.steps[step].exchange.transfers[transfer].transfer);
}

TEST(ReplayCollective, AcceptsARightPlan) {
  EXPECT_EQ(first_issue(plan_of(CollectiveKind::AllToAll, CollectiveAlgorithm::Flat, {3, 1, 2, 0})),
            "");
}

TEST(ReplayCollective, NamesAShardInTheWrongSlot) {
  CollectivePlan plan = plan_of(CollectiveKind::Gather, CollectiveAlgorithm::Flat, {0, 1, 2, 3});
  std::swap(point(plan, 0, 0).destination_address, point(plan, 0, 1).destination_address);
  EXPECT_EQ(first_issue(plan), "step 1, tile 0: bytes 0x2010..0x2020 do not hold shard 1");
}

TEST(ReplayCollective, NamesAMissingLocalCopy) {
  CollectivePlan plan = plan_of(CollectiveKind::AllGather, CollectiveAlgorithm::Flat, {0, 1, 2});
  plan.combine_after.erase(plan.combine_after.begin() + 1);
  EXPECT_EQ(first_issue(plan), "step 1, tile 1: bytes 0x2010..0x2020 hold no data for shard 1");
}

TEST(ReplayCollective, NamesAContributionLeftOutOrCountedTwice) {
  CollectivePlan left_out =
      plan_of(CollectiveKind::ReduceScatter, CollectiveAlgorithm::Flat, {0, 1, 2, 3});
  left_out.steps[1].combine_before[2].sources.pop_back();
  EXPECT_NE(first_issue(left_out).find("do not hold the sum"), std::string::npos);

  CollectivePlan twice =
      plan_of(CollectiveKind::AllReduce, CollectiveAlgorithm::Direct, {0, 1, 2, 3});
  auto& sources = twice.steps[1].combine_before[0].sources;
  sources.push_back(sources.front());
  EXPECT_NE(first_issue(twice).find("do not hold the sum"), std::string::npos);
}

TEST(ReplayCollective, FollowsTheStridesOfRepeatedCombines) {
  // Grid all-to-all: the local transposes are repeated copies.
  struct Case {
    const char* name;
    void (*tamper)(Combine&);
    const char* issue;
  };
  const Case cases[] = {
      {"as planned", [](Combine&) {}, ""},
      // Shards of 4 words; scratch B (the first step's blocks) at 0x8060..0x80c0.
      {"source stride a shard short", [](Combine& c) { c.source_stride -= 16; },
       "step 2, tile 0: bytes 0x2010..0x2020 do not hold block 0 of participant 1"},
      {"source stride a shard long", [](Combine& c) { c.source_stride += 16; },
       "step 1, tile 0: combine reads bytes 0x80c0..0x80d0 that hold no data"},
      {"one repetition too few", [](Combine& c) { --c.repeat; },
       "step 2, tile 0: bytes 0x2020..0x2030 hold no data for block 0 of participant 2"},
      {"past tile memory", [](Combine& c) { c.repeat = 0x10000; },
       "step 1, tile 0: combine reaches byte 0x208050, past the end of tile memory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CollectivePlan plan =
        plan_of(CollectiveKind::AllToAll, CollectiveAlgorithm::Hierarchical, {0, 1, 2, 3, 4, 5}, 3);
    Combine& transpose = plan.steps[1].combine_before.front();
    ASSERT_EQ(transpose.repeat, 3u);
    c.tamper(transpose);
    EXPECT_EQ(first_issue(plan), c.issue);
  }
}

TEST(ReplayCollective, RefusesASendBeforeItsDataArrived) {
  // Hierarchical gather: the leader forwards its group's chunk after its
  // members' shards arrived; moving that send to cycle 0 reads too early.
  const CollectivePlan plan =
      plan_of(CollectiveKind::Gather, CollectiveAlgorithm::Hierarchical, {0, 1, 2, 3, 4, 5}, 3);
  EXPECT_EQ(first_issue(plan), "");
  const std::string issue = first_issue(plan, [](std::vector<CompiledExchange>& compiled) {
    for (TransferTiming& timing : compiled[0].timings) {
      if (timing.arrivals == 1 && timing.transfer == 4) {
        timing.send_cycle = 0;
      }
    }
  });
  EXPECT_NE(issue.find("transfer 4"), std::string::npos) << issue;
  EXPECT_TRUE(issue.find("before they hold data") != std::string::npos ||
              issue.find("writes them") != std::string::npos)
      << issue;
}

TEST(ReplayCollective, RefusesOverlappingWritesAndAStepCountMismatch) {
  // Two shards sent into the same bytes at the same time.
  CollectivePlan plan = plan_of(CollectiveKind::Gather, CollectiveAlgorithm::Flat, {0, 1, 2});
  auto compiled = compile_collective(Topology::m1472(), plan).value();
  point(plan, 0, 1).destination_address = point(plan, 0, 0).destination_address;
  compiled[0].timings[1] = compiled[0].timings[0];
  compiled[0].timings[1].transfer = 1;
  const auto issues = replay_collective(Topology::m1472(), plan, compiled);
  ASSERT_FALSE(issues.empty());
  EXPECT_NE(to_string(issues[0]).find("writes them"), std::string::npos) << to_string(issues[0]);

  compiled.pop_back();
  EXPECT_EQ(to_string(replay_collective(Topology::m1472(), plan, compiled).at(0)),
            "step 0, tile 0: got 0 compiled steps for 1 steps");
}

}  // namespace
}  // namespace meshweave
