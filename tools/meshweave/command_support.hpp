#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "meshweave/topology/topology.hpp"

namespace meshweave::tool {

// `value` as T when it fits, so that a number too wide for a parameter is
// refused instead of being cut.
template <class T>
constexpr std::optional<T> fit(std::uint64_t value) noexcept {
  if (value > std::numeric_limits<T>::max()) return std::nullopt;
  return static_cast<T>(value);
}

// "tile 736 (physical 32)"; a tile off the table is named without its physical number.
inline std::string tile_label(const Topology& topology, std::uint16_t logical) {
  const auto physical = topology.physical(logical);
  return "tile " + std::to_string(logical) +
         (physical ? " (physical " + std::to_string(*physical) + ")" : "");
}

}  // namespace meshweave::tool
