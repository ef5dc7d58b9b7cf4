#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <sstream>
#include <vector>

#include "exchange/exchange_fixtures.hpp"
#include "meshweave/exchange.hpp"
#include "meshweave/plans.hpp"
#include "meshweave/scheduling.hpp"

namespace meshweave {
namespace {

using ::testing::ElementsAre;

const Topology& card() {
  static const Topology topology = Topology::m1472();
  return topology;
}

std::vector<std::uint32_t> words_of(const CompiledExchange& compiled, std::uint16_t logical) {
  const TileProgram* program = compiled.program(logical);
  return program != nullptr ? program->words : std::vector<std::uint32_t>{};
}

// Tile 736 receives 64 words from tile 0, then sends 64 words to tile 1286: the
// receive-then-send program of one tile, with the placeholder addresses kept.
TEST(CompileExchange, ReceiveThenSendMatchesTheHandBuiltProgram) {
  ExchangeDescription description;
  description.phases.push_back(Phase{{MulticastTransfer{0, {736}, 64, 0, {0x50000}}}});
  description.phases.push_back(Phase{{MulticastTransfer{736, {1286}, 64, 0, {0x50000}}}});

  const auto compiled = compile_exchange(card(), description);
  ASSERT_TRUE(compiled) << compiled.error();
  EXPECT_EQ(compiled->horizon, 265u);
  EXPECT_THAT(compiled->phase_starts, ElementsAre(0u, 123u));
  EXPECT_THAT(compiled->phase_ends, ElementsAre(122u, 265u));
  EXPECT_THAT(words_of(*compiled, 736),
              ElementsAre(0x41800003u, 0x64000000u, 0x61994000u, 0x6402c640u, 0x40a00038u,
                          0x40a00000u, 0x7fe00002u, 0x40a0004du, 0x43a00000u));
  ASSERT_EQ(compiled->programs.size(), 3u);
  EXPECT_EQ(compiled->programs[1].logical, 736u);
  EXPECT_EQ(compiled->programs[1].physical, 32u);
}

// Two phases, both kinds of transfer, real addresses: the compiler's programs
// equal the ones assembled step by step from the planners, the row operations
// and the builder.
TEST(CompileExchange, TwoPhasesEqualProgramsBuiltByHand) {
  ExchangeDescription description;
  description.phases.push_back(
      Phase{{PointToPointTransfer{0, 1286, 3, 0x52040, 0x53080},
             MulticastTransfer{736, {100, 900}, 52, 0x40000, {0x51000, 0x51100}}}});
  description.phases.push_back(Phase{{PointToPointTransfer{1286, 0, 65, 0x53080, 0x52000}}});
  const auto compiled = compile_exchange(card(), description);
  ASSERT_TRUE(compiled) << compiled.error();

  // Phase 0 at cycle 0.
  Plan first = card().point_to_point(0, 1286, 3).value();
  ASSERT_TRUE(patch_sender_address(first.sender, 0x52040));
  PlanRow first_receiver = finalize_point_receiver(first.receiver, 0).value();
  ASSERT_TRUE(patch_receiver_address(first_receiver, 0x53080));
  const std::uint16_t receivers[] = {100, 900};
  MulticastPlan fan = card().multicast(736, receivers, 52, 0).value();
  ASSERT_TRUE(patch_sender_address(fan.sender, 0x40000));
  ASSERT_TRUE(patch_receiver_address(fan.receivers[0], 0x51000));
  ASSERT_TRUE(patch_receiver_address(fan.receivers[1], 0x51100));
  std::uint32_t phase0_end = 0;
  for (const PlanRow* row :
       {&first.sender, &first_receiver, &fan.sender, &fan.receivers[0], &fan.receivers[1]}) {
    phase0_end = std::max(phase0_end, plan_event_cycles(*row).value());
  }
  // Phase 1 one cycle after phase 0 ends.
  const std::uint32_t phase1_start = phase0_end + 1;
  Plan second = card().point_to_point(1286, 0, 65).value();
  ASSERT_TRUE(patch_sender_address(second.sender, 0x53080));
  PlanRow second_receiver = finalize_point_receiver(second.receiver, 53).value();
  ASSERT_TRUE(patch_receiver_address(second_receiver, 0x52000));
  const std::uint32_t horizon = phase1_start + std::max(plan_event_cycles(second.sender).value(),
                                                        plan_event_cycles(second_receiver).value());
  ASSERT_TRUE(offset_plan(second.sender, phase1_start));
  ASSERT_TRUE(offset_plan(second_receiver, phase1_start));

  const auto program = [&](std::initializer_list<const PlanRow*> rows) {
    PlanProgramBuilder builder;
    for (const PlanRow* row : rows) EXPECT_TRUE(builder.append_scheduled_row(*row));
    return std::move(builder).finish(horizon).value();
  };
  EXPECT_EQ(compiled->horizon, horizon);
  EXPECT_EQ(words_of(*compiled, 0), program({&first.sender, &second_receiver}));
  EXPECT_EQ(words_of(*compiled, 1286), program({&first_receiver, &second.sender}));
  EXPECT_EQ(words_of(*compiled, 736), program({&fan.sender}));
  EXPECT_EQ(words_of(*compiled, 100), program({&fan.receivers[0]}));
  EXPECT_EQ(words_of(*compiled, 900), program({&fan.receivers[1]}));
  EXPECT_EQ(compiled->programs.size(), 5u);
}

TEST(CompileExchange, TimingsFollowTheRouteModel) {
  ExchangeDescription description;
  description.phases.push_back(Phase{{PointToPointTransfer{0, 1286, 3, 0, 0x50000}}});
  description.phases.push_back(Phase{{MulticastTransfer{0, {274, 1286}, 3, 0, {0x50000}}}});
  const auto compiled = compile_exchange(card(), description);
  ASSERT_TRUE(compiled) << compiled.error();
  ASSERT_EQ(compiled->timings.size(), 2u);
  // Point-to-point: the SEND starts at 112 - time_to_mux(0, 53) = 135.
  EXPECT_EQ(compiled->timings[0].send_cycle, 135u);
  EXPECT_THAT(arrival_cycles(*compiled, compiled->timings[0]), ElementsAre(113u));
  // Multicast to physical 9 and 53 (both time_to_mux -23): natural start 23.
  const std::uint32_t start = compiled->phase_starts[1];
  EXPECT_EQ(compiled->timings[1].phase_start, start);
  EXPECT_EQ(compiled->timings[1].send_cycle, start + 23);
  EXPECT_THAT(arrival_cycles(*compiled, compiled->timings[1]), ElementsAre(start + 1, start + 1));
}

TEST(CompileExchange, IdleProgramsPadEveryOtherTile) {
  ExchangeDescription description;
  description.phases.push_back(Phase{{PointToPointTransfer{0, 1, 4, 0, 0x50000}}});
  const auto compiled = compile_exchange(card(), description, CompileOptions{true});
  ASSERT_TRUE(compiled) << compiled.error();
  ASSERT_EQ(compiled->programs.size(), 1472u);
  const std::uint32_t padding = compiled->horizon - 1;
  EXPECT_THAT(words_of(*compiled, 1471), ElementsAre(0x41800003u, delay(padding), 0x43a00000u));
  EXPECT_EQ(compiled->programs[1471].physical, 63u);
}

TEST(CompileExchange, EmptyDescriptionHasNoPrograms) {
  const auto compiled = compile_exchange(card(), ExchangeDescription{});
  ASSERT_TRUE(compiled);
  EXPECT_EQ(compiled->horizon, 0u);
  EXPECT_TRUE(compiled->programs.empty());
}

// Library errors keep their value and gain the place where they happened.
TEST(CompileExchange, ErrorsNameTheirPhaseTransferAndTile) {
  struct Case {
    const char* name;
    ExchangeDescription description;
    const char* rendering;
  };
  const auto two_phases = [](Transfer bad) {
    ExchangeDescription description;
    description.phases.push_back(Phase{{PointToPointTransfer{0, 1, 4, 0, 0x50000}}});
    description.phases.push_back(Phase{{PointToPointTransfer{2, 3, 4, 0, 0x50000}, bad}});
    return description;
  };
  const Case cases[] = {
      {"count", two_phases(PointToPointTransfer{4, 5, 0, 0, 0x50000}),
       "phase 1, transfer 1: Count(0)"},
      {"tile", two_phases(PointToPointTransfer{4, 1472, 1, 0, 0x50000}),
       "phase 1, transfer 1: Tile(1472)"},
      {"receiver set", two_phases(MulticastTransfer{4, {5, 5}, 1, 0, {0x50000}}),
       "phase 1, transfer 1: ReceiverSet"},
      {"source", two_phases(PointToPointTransfer{4, 5, 1, 0x100000, 0x50000}),
       "phase 1, transfer 1, tile 4: Address(1048576)"},
      {"destination", two_phases(MulticastTransfer{4, {5, 6}, 1, 0, {0x50000, 0x50002}}),
       "phase 1, transfer 1, tile 6: Address(327682)"},
      {"conflict", two_phases(PointToPointTransfer{4, 3, 1, 0, 0x50000}),
       "phase 1: tile 3 takes part in transfers 0 and 1"},
      {"addresses", two_phases(MulticastTransfer{4, {5, 6, 7}, 1, 0, {0x50000, 0x50004}}),
       "phase 1, transfer 1: a multicast needs one destination address or one per receiver"},
  };
  for (const Case& c : cases) {
    const auto compiled = compile_exchange(card(), c.description);
    ASSERT_FALSE(compiled) << c.name;
    EXPECT_EQ(to_string(compiled.error()), c.rendering) << c.name;
  }
}

TEST(CompileExchange, ConflictKeepsBothTransfers) {
  ExchangeDescription description;
  description.phases.push_back(Phase{
      {PointToPointTransfer{7, 8, 1, 0, 0x50000}, MulticastTransfer{9, {10, 7}, 1, 0, {0x50000}}}});
  const auto compiled = compile_exchange(card(), description);
  ASSERT_FALSE(compiled);
  EXPECT_EQ(compiled.error().kind, CompileError::Kind::TileConflict);
  EXPECT_EQ(compiled.error().tile, std::uint16_t{7});
  EXPECT_EQ(compiled.error().other_transfer, std::size_t{0});
  EXPECT_EQ(compiled.error().transfer, std::size_t{1});
}

// Hundreds of phases run far past the multicast planner's 4095-cycle start window.
TEST(CompileExchange, HundredsOfPhasesCompile) {
  ExchangeDescription description = testing::pairwise_shift(16, 300, 64);
  description.phases.push_back(Phase{{MulticastTransfer{0, {1, 2, 3}, 64, 0, {0x50000}}}});
  const auto compiled = compile_exchange(card(), description);
  ASSERT_TRUE(compiled) << compiled.error();
  EXPECT_GT(compiled->phase_starts.back(), 4095u * 10);
  for (const TileProgram& program : compiled->programs) {
    EXPECT_EQ(plan_event_cycles(program.words).value(), compiled->horizon);
  }
  EXPECT_TRUE(verify_exchange(card(), description, *compiled).empty());
}

// Rows can be shifted by a couple of million cycles at most; longer exchanges go
// on in fresh stretches of each tile's stream without losing a cycle.
TEST(CompileExchange, ExchangesLongerThanARowShiftCompile) {
  const ExchangeDescription description = testing::pairwise_shift(4, 520, 4148);
  const auto compiled = compile_exchange(card(), description, CompileOptions{true});
  ASSERT_TRUE(compiled) << compiled.error();
  EXPECT_GT(compiled->horizon, 2u * 1024 * 1024);
  for (const TileProgram& program : compiled->programs) {
    EXPECT_EQ(plan_event_cycles(program.words).value(), compiled->horizon) << program.logical;
    EXPECT_EQ(std::count(program.words.begin(), program.words.end(), ROW_ENTRY_INSTRUCTION), 1)
        << program.logical;
  }
  EXPECT_EQ(verify_exchange(card(), description, *compiled), std::vector<VerifyIssue>{});
}

TEST(CompileExchange, ErrorsRenderThroughStreams) {
  std::ostringstream out;
  CompileError error;
  error.error = ExchangeError::count(0);
  error.phase = 3;
  out << error;
  EXPECT_EQ(out.str(), "phase 3: Count(0)");
}

}  // namespace
}  // namespace meshweave
