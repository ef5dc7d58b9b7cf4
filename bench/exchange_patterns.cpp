#include "exchange_patterns.hpp"

#include <cstdint>
#include <numeric>
#include <utility>

namespace meshweave::bench {

namespace {
constexpr std::uint16_t tiles = M1472_TILE_COUNT;
using Tile = std::uint16_t;
Tile tile(std::uint32_t value) { return static_cast<Tile>(value); }

std::vector<Tile> everyone_but(Tile sender) {
  std::vector<Tile> receivers;
  receivers.reserve(tiles - 1u);
  for (std::uint32_t t = 0; t < tiles; ++t) {
    if (t != sender) receivers.push_back(tile(t));
  }
  return receivers;
}
}  // namespace

Pattern ring_shift() {
  Pattern pattern{"ring shift", {}};
  for (std::uint32_t parity = 0; parity < 2; ++parity) {
    Phase phase;
    for (std::uint32_t sender = parity; sender < tiles; sender += 2) {
      phase.transfers.push_back(
          PointToPointTransfer{tile(sender), tile((sender + 1) % tiles), 64, 0x40000, 0x50000});
    }
    pattern.phases.phases.push_back(std::move(phase));
  }
  return pattern;
}

Pattern halo_2d() {
  constexpr std::uint32_t columns = 32;
  constexpr std::uint32_t rows = 46;
  Pattern pattern{"2-D halo", {}};
  struct Direction {
    int row_step;
    int column_step;
    std::uint32_t words;
  };
  const Direction directions[] = {{-1, 0, 128}, {1, 0, 128}, {0, 1, 64}, {0, -1, 64}};
  for (std::uint32_t d = 0; d < 4; ++d) {
    const Direction& direction = directions[d];
    for (std::uint32_t parity = 0; parity < 2; ++parity) {
      Phase phase;
      for (std::uint32_t row = 0; row < rows; ++row) {
        for (std::uint32_t column = 0; column < columns; ++column) {
          const std::uint32_t along = direction.row_step != 0 ? row : column;
          if (along % 2 != parity) continue;
          const int to_row = static_cast<int>(row) + direction.row_step;
          const int to_column = static_cast<int>(column) + direction.column_step;
          if (to_row < 0 || to_row >= static_cast<int>(rows) || to_column < 0 ||
              to_column >= static_cast<int>(columns)) {
            continue;  // open edges
          }
          phase.transfers.push_back(
              PointToPointTransfer{tile(row * columns + column),
                                   tile(static_cast<std::uint32_t>(to_row) * columns +
                                        static_cast<std::uint32_t>(to_column)),
                                   direction.words, 0x10000 + d * 0x1000, 0x20000 + d * 0x1000});
        }
      }
      pattern.phases.phases.push_back(std::move(phase));
    }
  }
  return pattern;
}

Pattern broadcast() {
  Pattern pattern{"broadcast", {}};
  for (std::uint32_t block = 0; block < 4; ++block) {
    const std::uint32_t offset = block * 4096 * 4;
    pattern.phases.phases.push_back(
        Phase{{MulticastTransfer{0, everyone_but(0), 4096, 0x10000 + offset, {0x10000 + offset}}}});
  }
  return pattern;
}

Pattern all_gather() {
  Pattern pattern{"all-gather", {}};
  for (std::uint32_t sender = 0; sender < tiles; ++sender) {
    pattern.phases.phases.push_back(Phase{{MulticastTransfer{tile(sender),
                                                             everyone_but(tile(sender)),
                                                             16,
                                                             0x10000 + 64 * sender,
                                                             {0x10000 + 64 * sender}}}});
  }
  return pattern;
}

Pattern all_to_all() {
  constexpr std::uint32_t words = 16;
  Pattern pattern{"all-to-all", {}};
  for (std::uint32_t shift = 1; shift < tiles; ++shift) {
    const std::uint32_t cycles = std::gcd(std::uint32_t{tiles}, shift);
    const std::uint32_t length = tiles / cycles;
    Phase rounds[3];
    for (std::uint32_t start = 0; start < cycles; ++start) {
      for (std::uint32_t k = 0; k < length; ++k) {
        const std::uint32_t sender = (start + k * shift) % tiles;
        const std::uint32_t receiver = (sender + shift) % tiles;
        const bool closing = length % 2 == 1 && k == length - 1;
        rounds[closing ? 2 : k % 2].transfers.push_back(
            PointToPointTransfer{tile(sender), tile(receiver), words, 4 * words * receiver,
                                 0x20000 + 4 * words * sender});
      }
    }
    for (Phase& round : rounds) {
      if (!round.transfers.empty()) pattern.phases.phases.push_back(std::move(round));
    }
  }
  return pattern;
}

Pattern gather() {
  Pattern pattern{"gather", {}};
  for (std::uint32_t sender = 1; sender < tiles; ++sender) {
    pattern.phases.phases.push_back(
        Phase{{PointToPointTransfer{tile(sender), 0, 16, 0x10000, 0x10000 + 64 * sender}}});
  }
  return pattern;
}

Pattern copies() {
  Pattern pattern{"copies", {}};
  for (std::uint32_t receiver = 1; receiver < tiles; ++receiver) {
    pattern.phases.phases.push_back(
        Phase{{PointToPointTransfer{0, tile(receiver), 256, 0x10000, 0x10000}}});
  }
  return pattern;
}

std::vector<Pattern (*)()> all_patterns() {
  return {ring_shift, halo_2d, broadcast, all_gather, all_to_all, gather, copies};
}

}  // namespace meshweave::bench
