#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "meshweave/plans.hpp"

namespace meshweave {
namespace {

// Every receiver row of a multicast depends only on its own route and the
// start: it is the row of a one-receiver multicast started at the same cycle.
// Long receiver lists are timed from a per-sender table, one receiver route by
// route, so this checks the table against the route model on both sides of
// its threshold, for every shape of receive stage.
void expect_rows_follow_the_routes(const Topology& topology, std::uint16_t sender,
                                   const std::vector<std::uint16_t>& receivers, std::uint32_t count,
                                   std::uint32_t offset) {
  const Result<MulticastPlan> plan = topology.multicast(sender, receivers, count, offset);
  ASSERT_TRUE(plan.has_value()) << plan.error();
  const auto table = topology.logical_to_physical();
  const std::uint32_t source = table[sender];
  const auto lead = [&](std::uint16_t receiver) {
    return std::max(0, -time_to_mux(source, table[receiver]));
  };
  std::int32_t start = 0;
  for (const std::uint16_t receiver : receivers) start = std::max(start, lead(receiver));
  start += static_cast<std::int32_t>(offset);
  ASSERT_EQ(plan->receivers.size(), receivers.size());
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    const std::vector<std::uint16_t> one{receivers[i]};
    const auto same_start = static_cast<std::uint32_t>(start - lead(receivers[i]));
    const Result<MulticastPlan> alone = topology.multicast(sender, one, count, same_start);
    ASSERT_TRUE(alone.has_value()) << alone.error();
    ASSERT_EQ(plan->receivers[i], alone->receivers[0])
        << "receiver " << receivers[i] << " of " << receivers.size();
  }
}

TEST(MulticastRows, FollowTheRoutes) {
  const Topology card = Topology::m1472();
  // Receivers up to the last card row the PIC wait allows, and a sender with
  // bits above the card row, which the route ignores.
  std::vector<std::uint16_t> scattered(600);
  for (std::size_t i = 0; i < scattered.size(); ++i) {
    scattered[i] = static_cast<std::uint16_t>((i * 37) % 2432);
  }
  scattered[0] = 3 * 2048 + 5;
  const Topology far{scattered};
  std::mt19937 random(7);
  for (const Topology* topology : {&card, &far}) {
    const auto tiles = static_cast<std::uint16_t>(topology->tile_count());
    for (const std::size_t size : {1u, 2u, 63u, 64u, 65u, 300u, tiles - 1u}) {
      for (const std::uint32_t count : {1u, 2u, 51u, 52u, 53u, 64u, 4148u}) {
        const auto sender = static_cast<std::uint16_t>(topology == &far ? 0 : random() % tiles);
        std::vector<std::uint16_t> receivers;
        for (std::uint16_t tile = 0; tile < tiles; ++tile) {
          if (tile != sender) receivers.push_back(tile);
        }
        std::shuffle(receivers.begin(), receivers.end(), random);
        receivers.resize(size);
        SCOPED_TRACE(testing::Message() << tiles << " tiles, sender " << sender << ", " << size
                                        << " receivers, count " << count);
        expect_rows_follow_the_routes(*topology, sender, receivers, count, random() % 8);
      }
    }
  }
}

}  // namespace
}  // namespace meshweave
