#pragma once

#include <cstdint>

#include "meshweave/instruction_words/bit_field.hpp"

namespace meshweave {

// Route model of the exchange between two physical tiles. Every term is a masked
// bit field of the inputs, so the functions are total and cannot overflow.
namespace route {
using Raw = BitField<2, 4>;    // the 4-bit group field, bits 5..2
using Low = BitField<2, 3>;    // position within a half row, unmirrored
using Half = BitField<5, 1>;   // which half of the row
using Row = BitField<6, 5>;    // card row
using Lanes = BitField<0, 2>;  // position within a group of four tiles
using Parity = BitField<0, 1>;

inline constexpr std::int32_t half_groups = 8;

// Groups of four tiles from the nearer end of the row: 0 at both ends, 7 in the middle.
constexpr std::int32_t column(std::uint32_t raw) noexcept {
  return static_cast<std::int32_t>(raw <= 7 ? raw : raw ^ 0xfu);
}
constexpr std::int32_t as_signed(std::uint32_t field) noexcept {
  return static_cast<std::int32_t>(field);
}
}  // namespace route

// Signed position of `destination` relative to `source` along the exchange.
// Never a multiple of 3, so never 0.
constexpr std::int32_t route_displacement(std::uint32_t source,
                                          std::uint32_t destination) noexcept {
  const std::uint32_t source_raw = route::Raw::get(source);
  const std::uint32_t destination_raw = route::Raw::get(destination);
  const std::int32_t source_mux =
      route::column(source_raw) + route::as_signed((source_raw >> 3) ^ route::Parity::get(source));
  const std::int32_t base = (route::column(destination_raw) - source_mux) * 6;
  const std::uint32_t destination_lane = route::Lanes::get(destination);
  const std::uint32_t destination_half = destination_raw >> 3;
  std::int32_t lane_term = 0;
  if (destination_lane <= 1) {
    lane_term = destination_half == destination_lane ? 1 : 5;
  } else {
    lane_term = destination_half == route::Parity::get(destination) ? 2 : 4;
  }
  return base + lane_term;
}

namespace route {
// The direction and the time of a route whose displacement (route_displacement)
// the caller already has, so that a planner that needs both works it out once.
constexpr std::uint32_t direction_along(std::int32_t displacement) noexcept {
  return displacement > 0 ? 1u : 2u;
}
constexpr std::int32_t time_to_mux_along(std::uint32_t source, std::uint32_t destination,
                                         std::int32_t displacement) noexcept {
  const std::uint32_t source_raw = Raw::get(source);
  const std::uint32_t destination_raw = Raw::get(destination);
  const std::uint32_t source_low = Low::get(source);
  // 4 x column: the raw field times four, mirrored for the upper half.
  const auto edge = [](std::uint32_t raw) {
    return as_signed(raw > 7 ? (raw * 4) ^ 0x3cu : raw * 4);
  };
  const std::uint32_t local = ((source >> 2) & 8u) | ((source >> 3) & 3u);
  const std::int32_t crossing =
      as_signed(local) - as_signed(destination_raw) + as_signed((source_low >> 1) ^ 3u);
  const bool same_region = Half::get(source) == Half::get(destination);
  const std::int32_t turn = same_region ? as_signed(source_low) + 1 : 16 - as_signed(source_low);
  const std::int32_t group_delta =
      2 * (as_signed(Row::get(source)) - as_signed(Row::get(destination)));
  const std::int32_t distance = displacement < 0 ? -displacement : displacement;
  return crossing + edge(source_raw) + turn - edge(destination_raw) + group_delta + distance - 34;
}
}  // namespace route

// Direction field of a SEND from `source` to `destination`: 1 or 2.
constexpr std::uint32_t direction(std::uint32_t source, std::uint32_t destination) noexcept {
  return route::direction_along(route_displacement(source, destination));
}

// Signed cycle offset from `source` to the input multiplexer of `destination`.
constexpr std::int32_t time_to_mux(std::uint32_t source, std::uint32_t destination) noexcept {
  return route::time_to_mux_along(source, destination, route_displacement(source, destination));
}

static_assert(route_displacement(32, 260) == -41 && time_to_mux(32, 260) == 49);
static_assert(route_displacement(0, 53) == 13 && time_to_mux(0, 53) == -23);
static_assert(direction(5, 5) == 2 && time_to_mux(1471, 0) == 31);

}  // namespace meshweave
