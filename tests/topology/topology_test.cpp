#include "meshweave/topology.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace meshweave {
namespace {

static_assert(m1472_logical_to_physical(0) == 0 && m1472_logical_to_physical(1) == 2);
static_assert(m1472_logical_to_physical(65535) <= 4255);

TEST(M1472Topology, DocumentedLogicalToPhysicalExamples) {
  const Topology topology = Topology::m1472();
  struct Case {
    std::uint16_t logical;
    std::uint16_t physical;
  };
  const Case cases[] = {
      {0, 0},     {1, 2},     {2, 64},   {3, 66},    {44, 1408}, {45, 1410},
      {46, 1409}, {47, 1411}, {90, 1},   {91, 3},    {92, 4},    {93, 6},
      {100, 260}, {274, 9},   {736, 32}, {1286, 53}, {1470, 61}, {1471, 63},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(m1472_logical_to_physical(c.logical), c.physical) << c.logical;
    const Result<std::uint16_t> looked_up = topology.physical(c.logical);
    ASSERT_TRUE(looked_up.has_value()) << c.logical;
    EXPECT_EQ(*looked_up, c.physical) << c.logical;
  }
}

TEST(M1472Topology, LogicalTilesBeyondTheCardAreRefused) {
  const Topology topology = Topology::m1472();
  EXPECT_EQ(topology.tile_count(), 1472u);
  for (const std::uint16_t logical :
       {std::uint16_t{1472}, std::uint16_t{1473}, std::uint16_t{4095}, std::uint16_t{65535}}) {
    const Result<std::uint16_t> looked_up = topology.physical(logical);
    ASSERT_FALSE(looked_up.has_value()) << logical;
    EXPECT_EQ(looked_up.error(), ExchangeError::tile(logical));
  }
}

TEST(M1472Topology, TableIsABijectionOntoTheCardsPhysicalTiles) {
  const Topology topology = Topology::m1472();
  ASSERT_EQ(topology.logical_to_physical().size(), 1472u);
  std::vector<int> owner(1472, -1);
  for (std::uint32_t logical = 0; logical < 1472; ++logical) {
    const std::uint16_t physical = topology.logical_to_physical()[logical];
    ASSERT_EQ(physical, m1472_logical_to_physical(static_cast<std::uint16_t>(logical)));
    ASSERT_LT(physical, 1472u) << logical;
    ASSERT_EQ(owner[physical], -1)
        << "logical " << logical << " and " << owner[physical] << " share physical " << physical;
    owner[physical] = static_cast<int>(logical);
  }
}

// The rule is total: no input wraps around, and the two tiles of a logical pair
// always differ only in the lane bit.
TEST(M1472Topology, RuleIsTotalOverEveryU16) {
  std::uint32_t largest = 0;
  for (std::uint32_t logical = 0; logical <= 0xffff; logical += 2) {
    const std::uint16_t even = m1472_logical_to_physical(static_cast<std::uint16_t>(logical));
    const std::uint16_t odd = m1472_logical_to_physical(static_cast<std::uint16_t>(logical + 1));
    ASSERT_EQ(odd, even + 2) << logical;
    ASSERT_EQ(even & 2u, 0u) << logical;
    largest = std::max<std::uint32_t>(largest, odd);
  }
  EXPECT_EQ(largest, 4255u);
}

TEST(CallerTopology, UsesTheCallersTableAsGiven) {
  // Physical numbers off the card and repeats are the caller's business.
  const Topology topology{std::vector<std::uint16_t>{4000, 65535, 7, 7}};
  EXPECT_EQ(topology.tile_count(), 4u);
  struct Case {
    std::uint16_t logical;
    std::uint16_t physical;
  };
  for (const Case c : {Case{0, 4000}, Case{1, 65535}, Case{2, 7}, Case{3, 7}}) {
    const Result<std::uint16_t> looked_up = topology.physical(c.logical);
    ASSERT_TRUE(looked_up.has_value()) << c.logical;
    EXPECT_EQ(*looked_up, c.physical);
  }
  EXPECT_EQ(topology.physical(4).error(), ExchangeError::tile(4));
  EXPECT_EQ(topology.physical(1471).error(), ExchangeError::tile(1471));

  const Topology empty{std::vector<std::uint16_t>{}};
  EXPECT_EQ(empty.tile_count(), 0u);
  EXPECT_EQ(empty.physical(0).error(), ExchangeError::tile(0));
}

}  // namespace
}  // namespace meshweave
