#include "meshweave/topology/topology.hpp"

#include <utility>

namespace meshweave {

Topology::Topology(std::vector<std::uint16_t> logical_to_physical)
    : logical_to_physical_{std::move(logical_to_physical)} {}

Topology Topology::m1472() {
  std::vector<std::uint16_t> table(M1472_TILE_COUNT);
  for (std::uint16_t logical = 0; logical < M1472_TILE_COUNT; ++logical) {
    table[logical] = m1472_logical_to_physical(logical);
  }
  return Topology{std::move(table)};
}

}  // namespace meshweave
