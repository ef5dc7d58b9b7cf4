#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>

#include "meshweave/topology.hpp"

namespace meshweave {
namespace {

static_assert(direction(0, 53) == 1 && direction(32, 260) == 2);
static_assert(time_to_mux(0xffffffffu, 0xffffffffu) == time_to_mux(0x7ff, 0x7ff));

// Bounds derived term by term from the route model, for tiles on the card
// (rows 0..22):
//   displacement: destination column 0..7 minus source mux 0..8, times 6, is
//     -48..42; the lane term adds 1..5, so -47..47.
//   time_to_mux: crossing (source_raw & 8) + 3 - destination_raw is -12..11;
//     each edge 4 x column is 0..28; turn is 1..16; group_delta 2 x (row
//     difference) is -44..44; |displacement| is 1..47; then -34.
//     Lowest:  -12 + 0 + 1 - 28 - 44 + 1 - 34 = -116.
//     Highest:  11 + 28 + 16 - 0 + 44 + 47 - 34 = 112.
constexpr std::int32_t max_displacement = 47;
constexpr std::int32_t min_time_to_mux = -116;
constexpr std::int32_t max_time_to_mux = 112;

struct Route {
  std::int32_t displacement;
  std::uint32_t direction;
  std::int32_t time_to_mux;
  friend bool operator==(const Route&, const Route&) = default;
};

Route route(std::uint32_t source, std::uint32_t destination) {
  return {route_displacement(source, destination), direction(source, destination),
          time_to_mux(source, destination)};
}

std::string describe(const Route& r) {
  std::ostringstream out;
  out << "{" << r.displacement << ", " << r.direction << ", " << r.time_to_mux << "}";
  return out.str();
}

void PrintTo(const Route& r, std::ostream* out) { *out << describe(r); }

TEST(RouteTiming, DocumentedRoutes) {
  struct Case {
    std::uint32_t source;
    std::uint32_t destination;
    Route expected;
  };
  const Case cases[] = {
      {0, 53, {13, 1, -23}},  {32, 260, {-41, 2, 49}}, {53, 63, {-10, 2, -14}},
      {1024, 0, {1, 1, 3}},   {0, 0, {1, 1, -29}},     {5, 5, {-1, 2, -29}},
      {0, 1, {5, 1, -25}},    {0, 2, {2, 1, -28}},     {0, 3, {4, 1, -26}},
      {0, 32, {47, 1, -4}},   {0, 64, {1, 1, -31}},    {9, 53, {-5, 2, -25}},
      {53, 9, {5, 1, -9}},    {0, 1471, {2, 1, -72}},  {1471, 0, {1, 1, 31}},
      {28, 36, {-1, 2, -26}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(route(c.source, c.destination), c.expected) << c.source << " -> " << c.destination;
  }
}

TEST(RouteTiming, LogicalTilesOfTheWorkedExample) {
  const Topology topology = Topology::m1472();
  const std::uint16_t source = topology.physical(736).value();
  const std::uint16_t destination = topology.physical(100).value();
  EXPECT_EQ(route(source, destination), (Route{-41, 2, 49}));
}

// Every pair of physical tiles on the card, both orders and each tile with itself.
TEST(RouteTiming, EveryPhysicalPairStaysInsideTheModelsBounds) {
  std::uint64_t violations = 0;
  std::string first;
  std::int32_t highest = min_time_to_mux;
  for (std::uint32_t source = 0; source < 1472; ++source) {
    for (std::uint32_t destination = 0; destination < 1472; ++destination) {
      const Route r = route(source, destination);
      const bool ok = r.displacement % 3 != 0 && r.displacement >= -max_displacement &&
                      r.displacement <= max_displacement &&
                      r.direction == (r.displacement > 0 ? 1u : 2u) &&
                      r.time_to_mux >= min_time_to_mux && r.time_to_mux <= max_time_to_mux;
      highest = std::max(highest, r.time_to_mux);
      if (!ok && violations++ == 0) {
        first = std::to_string(source) + " -> " + std::to_string(destination) + ": " + describe(r);
      }
    }
  }
  EXPECT_EQ(violations, 0u) << "first: " << first;
  // The upper bound is reached: the far corner of the card sends at cycle 0.
  EXPECT_EQ(highest, max_time_to_mux);
}

// What the planners see: every ordered pair of distinct logical tiles.
TEST(RouteTiming, DistinctM1472TilesArriveWithin78CyclesEarlyAnd112Late) {
  const Topology topology = Topology::m1472();
  const auto physical = topology.logical_to_physical();
  std::int32_t lowest = 0, highest = 0;
  for (std::size_t sender = 0; sender < physical.size(); ++sender) {
    for (std::size_t receiver = 0; receiver < physical.size(); ++receiver) {
      if (sender == receiver) continue;
      const std::int32_t t = time_to_mux(physical[sender], physical[receiver]);
      lowest = std::min(lowest, t);
      highest = std::max(highest, t);
    }
  }
  EXPECT_EQ(lowest, -78);
  EXPECT_EQ(highest, 112);
}

// Only bits 10..0 of a tile number take part; anything above is ignored, so
// any u32 is a valid input and gives the same route as its low bits.
TEST(RouteTiming, BitsAboveTheRowFieldAreIgnored) {
  constexpr std::uint32_t high_bits[] = {0x00000800u, 0x0000f800u, 0x00010000u,
                                         0x80000000u, 0xfffff800u, 0x55555000u};
  constexpr std::size_t patterns = std::size(high_bits);
  std::uint64_t violations = 0;
  std::string first;
  for (std::uint32_t source = 0; source < 0x800; ++source) {
    for (std::uint32_t destination = 0; destination < 0x800; ++destination) {
      const std::uint32_t wide_source = source | high_bits[(source + destination) % patterns];
      const std::uint32_t wide_destination =
          destination | high_bits[(source * 7 + destination * 3 + 1) % patterns];
      const Route narrow = route(source, destination);
      const bool ok = route(wide_source, destination) == narrow &&
                      route(source, wide_destination) == narrow &&
                      route(wide_source, wide_destination) == narrow;
      if (!ok && violations++ == 0) {
        first = std::to_string(wide_source) + " -> " + std::to_string(wide_destination);
      }
    }
  }
  EXPECT_EQ(violations, 0u) << "first: " << first;
  EXPECT_EQ(route(0xffffffffu, 0), route(0x7ff, 0));
  EXPECT_EQ(route(0, 0xffffffffu), route(0, 0x7ff));
}

}  // namespace
}  // namespace meshweave
