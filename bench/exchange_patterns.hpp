#pragma once

// Whole-card communication patterns, each in the phase form a hand layout
// would give (a tile takes one role per phase). Their transfers form is
// to_transfers_form of the same description.
#include <string>
#include <vector>

#include "meshweave/exchange.hpp"

namespace meshweave::bench {

struct Pattern {
  std::string name;
  ExchangeDescription phases;
};

// Ring shift: every tile sends 64 words to the next one, even tiles first.
Pattern ring_shift();
// 2-D halo on a 32 x 46 grid with open edges: 128 words north and south, 64
// east and west; two phases per direction (rows or columns by parity).
Pattern halo_2d();
// Tile 0 multicasts 4 blocks of 4096 words to every other tile.
Pattern broadcast();
// Every tile multicasts a 16-word shard to the 1471 others, one per phase.
Pattern all_gather();
// 16 words for every ordered pair, in shift rounds (two or three phases per
// round; 2,964 phases).
Pattern all_to_all();
// Every tile sends 16 words to tile 0, one per phase.
Pattern gather();
// Tile 0 copies one 256-word buffer to every other tile, one point-to-point
// transfer per phase: the scheduler merges them into one multicast.
Pattern copies();

std::vector<Pattern (*)()> all_patterns();

}  // namespace meshweave::bench
