// Tile topology and routes: the M1472 map is a bijection on 0..1471 with an
// inverse read off the physical number's bit layout, Topology::physical agrees
// with it and refuses every other tile, and the route functions obey their laws
// for any pair of physical numbers.
//
// Input: source, destination (u32), logical (u16), then a custom table: length
// (u16, cut to 1..4096) followed by its entries (u16 each).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_check.hpp"
#include "fuzz_input.hpp"
#include "meshweave/topology/route.hpp"
#include "meshweave/topology/topology.hpp"

namespace {

using namespace meshweave;

constexpr std::uint32_t card_rows = 23;
constexpr std::uint32_t card_tiles = 1472;

// Logical number of an M1472 physical tile: row in bits 15..6, block / 2 in 5..2,
// lane in bit 1, block & 1 in bit 0; odd blocks run back up the card.
std::uint32_t m1472_physical_to_logical(std::uint32_t physical) {
  const std::uint32_t row = physical >> 6;
  const std::uint32_t block = ((physical >> 2) & 0xfu) * 2 + (physical & 1u);
  const std::uint32_t lane = (physical >> 1) & 1u;
  const std::uint32_t pair_row = (block & 1u) != 0 ? card_rows - 1 - row : row;
  return (block * card_rows + pair_row) * 2 + lane;
}

void check_map(std::uint16_t logical) {
  const std::uint16_t physical = m1472_logical_to_physical(logical);
  FUZZ_CHECK(physical <= 4255, "m1472_logical_to_physical(" << logical << ") = " << physical);
  const std::uint32_t tile = logical % card_tiles;
  const std::uint16_t on_card = m1472_logical_to_physical(static_cast<std::uint16_t>(tile));
  FUZZ_CHECK(on_card < card_tiles && m1472_physical_to_logical(on_card) == tile,
             "logical " << tile << " maps to " << on_card);
  const std::uint16_t back =
      m1472_logical_to_physical(static_cast<std::uint16_t>(m1472_physical_to_logical(tile)));
  FUZZ_CHECK(back == tile, "physical " << tile << " round trips to " << back);

  static const Topology card = Topology::m1472();
  const Result<std::uint16_t> looked_up = card.physical(logical);
  if (logical < card_tiles) {
    FUZZ_CHECK(looked_up && *looked_up == physical,
               "physical(" << logical << "): " << fuzz::outcome(looked_up));
  } else {
    FUZZ_CHECK(!looked_up && looked_up.error() == ExchangeError::tile(logical),
               "physical(" << logical << "): " << fuzz::outcome(looked_up));
  }
}

void check_route(std::uint32_t source, std::uint32_t destination) {
  const std::int32_t displacement = route_displacement(source, destination);
  FUZZ_CHECK(displacement % 3 != 0,
             "route_displacement(" << source << ", " << destination << ") = " << displacement);
  FUZZ_CHECK(
      direction(source, destination) == (displacement > 0 ? 1u : 2u),
      "direction(" << source << ", " << destination << ") with displacement " << displacement);
  // Only the row (bits 10..6) and bits 5..0 take part.
  const std::uint32_t s = source & 0x7ffu;
  const std::uint32_t d = destination & 0x7ffu;
  FUZZ_CHECK(route_displacement(s, d) == displacement &&
                 direction(s, d) == direction(source, destination) &&
                 time_to_mux(s, d) == time_to_mux(source, destination),
             "routes of " << source << " -> " << destination << " depend on bits above 10");

  // The crossing term of time_to_mux in its closed form: (source_raw & 8) + 3 -
  // destination_raw. Every other term is written out as the route model has it.
  const auto raw = [](std::uint32_t p) { return static_cast<std::int32_t>((p >> 2) & 0xfu); };
  const auto column = [](std::int32_t r) { return r <= 7 ? r : 15 - r; };
  const auto row = [](std::uint32_t p) { return static_cast<std::int32_t>((p >> 6) & 0x1fu); };
  const std::int32_t source_low = static_cast<std::int32_t>((s >> 2) & 7u);
  const bool same_half = ((s ^ d) & 0x20u) == 0;
  const std::int32_t expected = (raw(s) & 8) + 3 - raw(d) + 4 * column(raw(s)) +
                                (same_half ? source_low + 1 : 16 - source_low) -
                                4 * column(raw(d)) + 2 * (row(s) - row(d)) +
                                (displacement < 0 ? -displacement : displacement) - 34;
  FUZZ_CHECK(time_to_mux(source, destination) == expected,
             "time_to_mux(" << source << ", " << destination << ") = "
                            << time_to_mux(source, destination) << ", expected " << expected);
}

void check_custom_table(fuzz::FuzzInput& input, std::uint16_t logical) {
  const std::size_t length = input.in_range(1, 4096);
  std::vector<std::uint16_t> table(length);
  for (std::uint16_t& entry : table) entry = input.u16();
  const Topology topology{table};
  FUZZ_CHECK(topology.tile_count() == length, "table of " << length << " entries");
  const Result<std::uint16_t> looked_up = topology.physical(logical);
  if (logical < length) {
    FUZZ_CHECK(looked_up && *looked_up == table[logical],
               "custom physical(" << logical << "): " << fuzz::outcome(looked_up));
  } else {
    FUZZ_CHECK(
        !looked_up && looked_up.error() == ExchangeError::tile(logical),
        "custom physical(" << logical << ") of " << length << ": " << fuzz::outcome(looked_up));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input{data, size};
  const std::uint32_t source = input.u32();
  const std::uint32_t destination = input.u32();
  const std::uint16_t logical = input.u16();
  check_map(logical);
  check_route(source, destination);
  check_route(destination, source);
  // A tile of the card against any tile of the route model.
  check_route(m1472_logical_to_physical(logical), source & 0x7ffu);
  if (!input.empty()) check_custom_table(input, logical);
  return 0;
}
