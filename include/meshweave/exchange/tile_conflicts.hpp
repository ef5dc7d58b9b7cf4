#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "meshweave/exchange/description.hpp"

namespace meshweave {

// A tile that takes part in two transfers of one phase: in `transfer`, and
// before it in `other_transfer`, the first transfer of the phase it is in.
struct TileConflict {
  std::size_t phase = 0;
  std::size_t transfer = 0;
  std::size_t other_transfer = 0;
  std::uint16_t tile = 0;

  friend bool operator==(const TileConflict&, const TileConflict&) = default;
};

struct TileConflicts {
  std::vector<TileConflict> first;  // the first `limit` conflicts, in description order
  std::size_t total = 0;            // every conflict, those kept included
};

// Every conflict of the description, in phase, transfer and tile order (the
// sender, then the receivers), each appearance after a tile's first in a phase
// counting once. A tile named twice within one transfer is not a conflict
// between transfers and is left out. Time and memory linear in the description.
TileConflicts find_tile_conflicts(const ExchangeDescription& description, std::size_t limit);

}  // namespace meshweave
