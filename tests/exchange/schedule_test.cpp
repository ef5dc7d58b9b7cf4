#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
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

ScheduledTransfer p2p(std::uint16_t from, std::uint16_t to, std::uint32_t words,
                      std::uint32_t source, std::uint32_t destination,
                      std::vector<std::size_t> after = {}) {
  return ScheduledTransfer{PointToPointTransfer{from, to, words, source, destination},
                           std::move(after)};
}

ExchangeDescription form(std::vector<ScheduledTransfer> transfers) {
  ExchangeDescription description;
  description.transfers = std::move(transfers);
  return description;
}

std::vector<std::string> rendered(const std::vector<VerifyIssue>& issues) {
  std::vector<std::string> lines;
  for (const VerifyIssue& issue : issues) lines.push_back(to_string(issue));
  return lines;
}

// Compiles the transfers form and checks it the independent way.
CompiledExchange compiled_and_verified(const ExchangeDescription& description) {
  auto compiled = compile_exchange(card(), description);
  EXPECT_TRUE(compiled) << compiled.error();
  if (!compiled) return {};
  EXPECT_EQ(rendered(verify_exchange(card(), description, *compiled)), std::vector<std::string>{});
  return *compiled;
}

// Transfer 0 (tiles 4 and 5, long) delays transfer 1 through `after`, which
// leaves the tiles of transfer 1 free before it: transfer 2 goes there first
// unless it depends on transfer 1.
struct DependencyCase {
  const char* name;
  ScheduledTransfer first;
  ScheduledTransfer second;
  bool depends;
};

TEST(ScheduleExchange, KeepsProgramOrderOnlyWhereByteRangesOverlap) {
  const DependencyCase cases[] = {
      {"send from written", p2p(0, 1, 64, 0x1000, 0x8000, {0}), p2p(1, 2, 16, 0x8000, 0x9000),
       true},
      {"send from last written word", p2p(0, 1, 64, 0x1000, 0x8000, {0}),
       p2p(1, 2, 16, 0x80fc, 0x9000), true},
      {"send beside written", p2p(0, 1, 64, 0x1000, 0x8000, {0}), p2p(1, 2, 16, 0x8100, 0x9000),
       false},
      {"write over sent", p2p(1, 2, 64, 0x8000, 0x9000, {0}), p2p(0, 1, 16, 0x1000, 0x8000), true},
      {"write over written", p2p(0, 1, 64, 0x1000, 0x8000, {0}), p2p(2, 1, 16, 0x1000, 0x8040),
       true},
      {"write elsewhere", p2p(0, 1, 64, 0x1000, 0x8000, {0}), p2p(2, 1, 16, 0x1000, 0xa000), false},
      {"both send", p2p(1, 2, 64, 0x8000, 0x9000, {0}), p2p(1, 3, 16, 0x8000, 0x9000), false},
  };
  for (const DependencyCase& test : cases) {
    const ExchangeDescription description =
        form({p2p(4, 5, 4000, 0x1000, 0x1000), test.first, test.second});
    const CompiledExchange compiled = compiled_and_verified(description);
    ASSERT_EQ(compiled.timings.size(), 3u) << test.name;
    const std::uint32_t first = compiled.timings[1].start;
    const std::uint32_t second = compiled.timings[2].start;
    EXPECT_GT(first, 4000u) << test.name;
    if (test.depends) {
      EXPECT_GT(second, first) << test.name;
    } else {
      EXPECT_LT(second, first) << test.name;  // moved ahead of the earlier transfer
    }
  }
}

TEST(ScheduleExchange, AfterOrdersTransfersOnOtherTiles) {
  const CompiledExchange free =
      compiled_and_verified(form({p2p(0, 1, 64, 0x1000, 0x1000), p2p(2, 3, 64, 0x1000, 0x1000)}));
  EXPECT_EQ(free.timings[1].start, free.timings[0].start);
  const CompiledExchange ordered = compiled_and_verified(
      form({p2p(0, 1, 64, 0x1000, 0x1000), p2p(2, 3, 64, 0x1000, 0x1000, {0})}));
  EXPECT_GT(ordered.timings[1].send_cycle, arrival_cycles(ordered, ordered.timings[0])[0]);
  // A later transfer named in `after` goes first.
  const CompiledExchange forward = compiled_and_verified(
      form({p2p(0, 1, 64, 0x1000, 0x1000, {1}), p2p(2, 3, 64, 0x1000, 0x1000)}));
  EXPECT_GT(forward.timings[0].send_cycle, arrival_cycles(forward, forward.timings[1])[0]);
}

TEST(ScheduleExchange, RefusesBadForms) {
  ExchangeDescription both = form({p2p(0, 1, 4, 0, 0)});
  both.phases.push_back(Phase{{PointToPointTransfer{0, 1, 4, 0, 0}}});
  ScheduleOptions unsplit;
  unsplit.split_long_transfers = false;
  const struct {
    ExchangeDescription description;
    ScheduleOptions options;
    const char* message;
  } cases[] = {
      {both, {}, "a description gives phases or transfers, not both"},
      {form({p2p(0, 1, 4, 0, 0), p2p(1, 2, 4, 0, 0, {5})}),
       {},
       "transfer 1: after names transfer 5, which does not exist"},
      {form({p2p(0, 1, 4, 0, 0, {0})}),
       {},
       "transfer 0 and transfer 0 wait for each other (a cycle of dependencies)"},
      {form({p2p(0, 1, 4, 0, 0, {2}), p2p(2, 3, 4, 0, 0, {0}), p2p(4, 5, 4, 0, 0, {1})}),
       {},
       "transfer 0 and transfer 1 wait for each other (a cycle of dependencies)"},
      // Transfer 0 follows transfer 1 through `after`, which follows it
      // through the bytes both write on tile 1.
      {form({p2p(0, 1, 4, 0, 0x800, {1}), p2p(2, 1, 4, 0, 0x800)}),
       {},
       "transfer 0 and transfer 1 wait for each other (a cycle of dependencies)"},
      {form({p2p(0, 1, 4, 0, 0), p2p(0, 1472, 4, 0, 0)}), {}, "transfer 1: Tile(1472)"},
      {form({p2p(0, 1, 4, 0, 0), p2p(0, 2, 4, 0x100000, 0)}),
       {},
       "transfer 1, tile 0: Address(1048576)"},
      {form({p2p(0, 1, 10000, 0, 0)}), unsplit, "transfer 0: Count(10000)"},
  };
  for (const auto& test : cases) {
    const auto schedule = schedule_exchange(card(), test.description, test.options);
    ASSERT_FALSE(schedule) << test.message;
    EXPECT_EQ(to_string(schedule.error()), test.message);
    const auto compiled = compile_exchange(card(), test.description, {}, test.options);
    ASSERT_FALSE(compiled) << test.message;
    EXPECT_EQ(compiled.error(), schedule.error());
  }
}

TEST(ScheduleExchange, SplitsLongTransfersIntoConsecutivePieces) {
  const ExchangeDescription description = form({p2p(0, 1, 10000, 0x1000, 0x20000)});
  const auto schedule = schedule_exchange(card(), description);
  ASSERT_TRUE(schedule) << schedule.error();
  ASSERT_EQ(schedule->pieces.size(), 3u);
  const std::uint32_t offsets[] = {0, 4148, 8296};
  const std::uint32_t counts[] = {4148, 4148, 1704};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(schedule->pieces[i].transfer, 0u);
    EXPECT_EQ(schedule->pieces[i].word_offset, offsets[i]);
    EXPECT_EQ(schedule->pieces[i].count, counts[i]);
  }
  const CompiledExchange compiled = compiled_and_verified(description);
  EXPECT_EQ(compiled.horizon, schedule->horizon);
}

// Random transfers among a few tiles over a few overlapping buffers, so that
// every kind of dependency arises, with `after` lists naming earlier transfers.
ExchangeDescription tangled_exchange(std::mt19937& random) {
  std::uniform_int_distribution<std::uint32_t> tile_of(0, 11);
  std::uniform_int_distribution<std::uint32_t> buffer_of(0, 5);
  std::uniform_int_distribution<std::uint32_t> count_of(1, 200);
  ExchangeDescription description;
  const std::size_t transfers = 1 + random() % 25;
  for (std::size_t t = 0; t < transfers; ++t) {
    const auto sender = static_cast<std::uint16_t>(tile_of(random));
    std::vector<std::uint16_t> receivers;
    const std::size_t fan_out = 1 + random() % 3;
    while (receivers.size() < fan_out) {
      const auto tile = static_cast<std::uint16_t>(tile_of(random));
      if (tile != sender &&
          std::find(receivers.begin(), receivers.end(), tile) == receivers.end()) {
        receivers.push_back(tile);
      }
    }
    const std::uint32_t count = count_of(random);
    const std::uint32_t source = 0x1000 + 0x200 * buffer_of(random);
    std::vector<std::size_t> after;
    if (t > 0 && random() % 4 == 0) after.push_back(random() % t);
    if (receivers.size() == 1 && random() % 2 == 0) {
      description.transfers.push_back(
          p2p(sender, receivers[0], count, source, 0x1000 + 0x200 * buffer_of(random), after));
      continue;
    }
    MulticastTransfer multicast{sender, receivers, count, source, {}};
    for (std::size_t r = 0; r < receivers.size(); ++r) {
      multicast.destination_addresses.push_back(0x1000 + 0x200 * buffer_of(random));
    }
    description.transfers.push_back(ScheduledTransfer{std::move(multicast), after});
  }
  return description;
}

TEST(ScheduleExchange, EstimateMatchesCompilingAndBoundsIt) {
  std::mt19937 random{20261209};
  for (std::size_t round = 0; round < 60; ++round) {
    const ExchangeDescription description = tangled_exchange(random);
    const CompiledExchange compiled = compiled_and_verified(description);
    const auto estimate = estimate_exchange(card(), description);
    ASSERT_TRUE(estimate) << estimate.error();
    EXPECT_EQ(estimate->horizon, compiled.horizon) << "round " << round;
    EXPECT_LE(estimate->lower_bound, estimate->horizon) << "round " << round;
    EXPECT_GT(estimate->lower_bound, 0u);
    ASSERT_EQ(estimate->tiles.size(), compiled.programs.size());
    for (std::size_t i = 0; i < compiled.programs.size(); ++i) {
      EXPECT_EQ(estimate->tiles[i].logical, compiled.programs[i].logical);
      EXPECT_EQ(estimate->tiles[i].program_words, compiled.programs[i].words.size());
      EXPECT_LE(estimate->tiles[i].busy_cycles, compiled.horizon);
    }
  }
}

TEST(ScheduleExchange, PhaseFormsNeverGetLonger) {
  std::mt19937 random{20261210};
  for (std::size_t round = 0; round < 20; ++round) {
    const ExchangeDescription phases = testing::random_exchange(random, 1 + round % 6);
    const auto phased = compile_exchange(card(), phases);
    ASSERT_TRUE(phased) << phased.error();
    const auto estimate = estimate_exchange(card(), phases);
    ASSERT_TRUE(estimate) << estimate.error();
    EXPECT_EQ(estimate->horizon, phased->horizon);
    EXPECT_LE(estimate->lower_bound, phased->horizon);

    const auto schedule = schedule_exchange(card(), phases);
    ASSERT_TRUE(schedule) << schedule.error();
    EXPECT_LE(schedule->horizon, phased->horizon);
    const ExchangeDescription transfers = to_transfers_form(phases);
    const auto scheduled = compile_exchange(card(), transfers, *schedule);
    ASSERT_TRUE(scheduled) << scheduled.error();
    EXPECT_EQ(scheduled->horizon, schedule->horizon);
    EXPECT_EQ(rendered(verify_exchange(card(), transfers, *scheduled)), std::vector<std::string>{});
  }
}

// Shortens the timed word at `index` by one cycle (dropping a one-cycle DELAY)
// and pads the program's end by one, so later events move one cycle earlier.
void move_earlier(std::vector<std::uint32_t>& words, std::size_t index) {
  if (delay_word::kind.matches(words[index]) && instruction_advance(words[index]) == 1) {
    words.erase(words.begin() + static_cast<std::ptrdiff_t>(index));
  } else {
    ASSERT_TRUE(set_instruction_advance(words[index], instruction_advance(words[index]) - 1));
  }
  std::uint32_t& last = words[words.size() - 2];
  if (delay_word::kind.matches(last)) {
    ASSERT_TRUE(set_instruction_advance(last, instruction_advance(last) + 1));
  } else {
    words.insert(words.end() - 1, delay(0));
  }
}

std::size_t first_word(const std::vector<std::uint32_t>& words, bool (*pick)(std::uint32_t)) {
  return static_cast<std::size_t>(std::find_if(words.begin(), words.end(), pick) - words.begin());
}

TileProgram& program_of(CompiledExchange& compiled, std::uint16_t logical) {
  return *std::find_if(compiled.programs.begin(), compiled.programs.end(),
                       [&](const TileProgram& program) { return program.logical == logical; });
}

TEST(VerifyScheduledExchange, FindsAnAfterBrokenByOneCycle) {
  const ExchangeDescription description =
      form({p2p(0, 1, 64, 0x1000, 0x1000), p2p(2, 3, 64, 0x1000, 0x1000, {0})});
  auto schedule = schedule_exchange(card(), description);
  ASSERT_TRUE(schedule) << schedule.error();
  schedule->pieces[1].start -= 1;
  const auto compiled = compile_exchange(card(), description, *schedule);
  ASSERT_TRUE(compiled) << compiled.error();  // other tiles: the builders cannot tell
  EXPECT_EQ(rendered(verify_exchange(card(), description, *compiled)),
            std::vector<std::string>{"tile 2: transfer 1 windows after transfer 0: expected a "
                                     "start at or after cycle 234, found cycle 233"});
}

TEST(VerifyScheduledExchange, FindsRowsOverlappingByOneCycle) {
  // Tile 1 receives, then sends what it received.
  const ExchangeDescription description =
      form({p2p(0, 1, 64, 0x1000, 0x8000), p2p(1, 2, 16, 0x8000, 0x9000)});
  auto compiled = compile_exchange(card(), description);
  ASSERT_TRUE(compiled) << compiled.error();
  // Transfer 1 one cycle earlier on both of its tiles.
  auto& sender = program_of(*compiled, 1).words;
  move_earlier(sender,
               first_word(sender, [](std::uint32_t w) { return send_word::kind.matches(w); }) - 1);
  auto& receiver = program_of(*compiled, 2).words;
  move_earlier(receiver,
               first_word(receiver, [](std::uint32_t w) { return xpic_word::kind.matches(w); }));
  EXPECT_EQ(rendered(verify_exchange(card(), description, *compiled)),
            std::vector<std::string>{"tile 1, word 5: rows of transfers 0 and 1: expected first "
                                     "event after cycle 234, found cycle 234"});
}

TEST(VerifyScheduledExchange, FindsAMissingReceiveAndAStrayRole) {
  const ExchangeDescription description = form({p2p(0, 1, 64, 0x1000, 0x8000)});
  auto compiled = compile_exchange(card(), description);
  ASSERT_TRUE(compiled) << compiled.error();
  auto& receiver = program_of(*compiled, 1).words;
  move_earlier(receiver,
               first_word(receiver, [](std::uint32_t w) { return xpic_word::kind.matches(w); }));
  EXPECT_EQ(
      rendered(verify_exchange(card(), description, *compiled)),
      (std::vector<std::string>{
          "tile 1: transfer 0 arrival cycle: expected 113, found no receive of it then",
          "tile 1, word 1: exchange events: expected none for no transfer, found a receive"}));
}

}  // namespace
}  // namespace meshweave
