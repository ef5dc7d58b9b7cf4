#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "meshweave/instruction_words/error.hpp"
#include "meshweave/instruction_words/refusal.hpp"
#include "meshweave/plans/plan.hpp"
#include "meshweave/topology/topology.hpp"

namespace meshweave {

// Topology::point_to_point with the plan written into `plan` (whatever it held)
// instead of returned: the same checks in the same order and the same event. The
// exchange compiler plans into its own storage with it, since copying a plan
// just built word by word costs more than building it. On failure `plan` is
// unspecified.
Status point_to_point_into(const Topology& topology, std::uint16_t sender_logical,
                           std::uint16_t receiver_logical, std::uint32_t count,
                           Plan& plan) noexcept;

// The same with the reason of a refusal.
ExplainedStatus explained_point_to_point_into(const Topology& topology,
                                              std::uint16_t sender_logical,
                                              std::uint16_t receiver_logical, std::uint32_t count,
                                              Plan& plan) noexcept;

// Tile(logical) from Topology::physical, as the refusal of `argument`.
inline Refusal tile_refusal(const Topology& topology, ExchangeError error, RefusedArgument argument,
                            std::uint16_t logical) noexcept {
  const std::size_t tiles = topology.tile_count();
  const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(tiles, UINT32_MAX));
  return Refusal{error, Reason::tile_off_topology, argument, logical, count};
}

}  // namespace meshweave
