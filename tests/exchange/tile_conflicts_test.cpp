#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "meshweave/exchange.hpp"

namespace meshweave {
namespace {

PointToPointTransfer p2p(std::uint16_t sender, std::uint16_t receiver) {
  return PointToPointTransfer{sender, receiver, 1, 0, 0};
}
MulticastTransfer multicast(std::uint16_t sender, std::vector<std::uint16_t> receivers) {
  return MulticastTransfer{sender, std::move(receivers), 1, 0, {0}};
}

ExchangeDescription in_phases(std::vector<Phase> phases) {
  ExchangeDescription description;
  description.phases = std::move(phases);
  return description;
}

TEST(TileConflicts, FindsEveryConflictWithBothTransfers) {
  const struct {
    const char* what;
    std::vector<Phase> phases;
    std::vector<TileConflict> conflicts;
  } cases[] = {
      {"none, a tile in every phase", {{Phase{{p2p(0, 1), p2p(2, 3)}}, Phase{{p2p(1, 0)}}}}, {}},
      {"a receiver that also sends", {{Phase{{p2p(0, 1), p2p(2, 3), p2p(1, 4)}}}}, {{0, 2, 0, 1}}},
      {"three transfers sharing a tile name the first",
       {{Phase{}, Phase{{p2p(5, 6), multicast(7, {8, 5}), p2p(5, 9)}}}},
       {{1, 1, 0, 5}, {1, 2, 0, 5}}},
      {"several tiles of one transfer, sender first",
       {{Phase{{multicast(0, {1, 2}), multicast(2, {0, 1})}}}},
       {{0, 1, 0, 2}, {0, 1, 0, 0}, {0, 1, 0, 1}}},
      {"a tile twice within one transfer is no conflict", {{Phase{{multicast(3, {4, 4, 3})}}}}, {}},
  };
  for (const auto& c : cases) {
    const TileConflicts found = find_tile_conflicts(in_phases(c.phases), 20);
    EXPECT_EQ(found.first, c.conflicts) << c.what;
    EXPECT_EQ(found.total, c.conflicts.size()) << c.what;
  }
}

TEST(TileConflicts, KeepsTheFirstAndCountsTheRest) {
  // Tile 0 sends in each of 30 transfers of one phase: 29 conflicts.
  Phase phase;
  for (std::uint16_t t = 0; t < 30; ++t)
    phase.transfers.push_back(p2p(0, static_cast<std::uint16_t>(t + 1)));
  const TileConflicts found = find_tile_conflicts(in_phases({phase}), 5);
  EXPECT_EQ(found.total, 29u);
  ASSERT_EQ(found.first.size(), 5u);
  EXPECT_EQ(found.first.back(), (TileConflict{0, 5, 0, 0}));
  EXPECT_TRUE(find_tile_conflicts(in_phases({phase}), 0).first.empty());
}

// The compiler stops at the first conflict; it is the first one found here too.
TEST(TileConflicts, TheCompilersConflictIsTheFirst) {
  const ExchangeDescription description = in_phases({Phase{{p2p(0, 1), p2p(2, 3), p2p(3, 1)}}});
  const auto compiled = compile_exchange(Topology::m1472(), description);
  ASSERT_FALSE(compiled);
  const TileConflict first = find_tile_conflicts(description, 1).first.at(0);
  EXPECT_EQ(compiled.error().transfer, first.transfer);
  EXPECT_EQ(compiled.error().other_transfer, first.other_transfer);
  EXPECT_EQ(compiled.error().tile, first.tile);
}

}  // namespace
}  // namespace meshweave
