// The collectives that only move data: every word lands somewhere unchanged.
// Within a step, a transfer that forwards data another transfer brought names
// that transfer in `after`; the scheduler would find the same order through
// the overlapping bytes, the list makes it explicit.
#include <algorithm>
#include <cmath>

#include "collective_detail.hpp"
#include "meshweave/instruction_words/control_words.hpp"

namespace meshweave::collectives_detail {

namespace {

using Tiles = std::vector<std::uint16_t>;

Tiles members_except(const CollectiveRequest& request, const Group& group, std::size_t except) {
  Tiles tiles;
  for (std::size_t p = group.first; p < group.first + group.count; ++p) {
    if (p != except) tiles.push_back(request.tiles[p]);
  }
  return tiles;
}

void ring_shift(const CollectiveRequest& r, StepList& steps) {
  steps.next_step();
  const std::size_t n = r.tiles.size();
  for (std::size_t j = 0; j < n; ++j) {
    steps.point(r.tiles[j], r.tiles[(j + 1) % n], r.words, r.input, r.output);
  }
}

void halo(const CollectiveRequest& r, StepList& steps) {
  steps.next_step();
  const HaloWords& h = r.halo;
  // Input offsets of the blocks sent north, south, west, east, and the output
  // offset where the neighbour that receives each keeps it.
  struct Direction {
    std::uint32_t words;
    std::uint32_t input_offset;
    std::uint32_t output_offset;
    int row_step;
    int column_step;
  };
  const Direction directions[] = {
      {h.north, 0, h.south, -1, 0},
      {h.south, h.north, 0, 1, 0},
      {h.west, h.north + h.south, h.south + h.north + h.east, 0, -1},
      {h.east, h.north + h.south + h.west, h.south + h.north, 0, 1},
  };
  const int rows = h.rows;
  const int columns = h.columns;
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      const std::size_t self = static_cast<std::size_t>(row * columns + column);
      for (const Direction& d : directions) {
        if (d.words == 0) continue;
        int to_row = row + d.row_step;
        int to_column = column + d.column_step;
        if (!h.periodic &&
            (to_row < 0 || to_row >= rows || to_column < 0 || to_column >= columns)) {
          continue;
        }
        to_row = (to_row + rows) % rows;
        to_column = (to_column + columns) % columns;
        const std::size_t other = static_cast<std::size_t>(to_row * columns + to_column);
        if (other == self) continue;
        steps.point(r.tiles[self], r.tiles[other], d.words, r.input + 4 * d.input_offset,
                    r.output + 4 * d.output_offset);
      }
    }
  }
}

// Chunks short enough that the second level forwards one while the first
// sends the next, long enough that rows' fixed costs stay small.
std::uint32_t broadcast_chunk(std::uint32_t words) {
  const auto balanced = static_cast<std::uint32_t>(std::sqrt(64.0 * words));
  return std::min({words, MAX_TRANSFER_WORDS, std::max<std::uint32_t>(balanced, 64)});
}

void broadcast(const CollectiveRequest& r, CollectiveAlgorithm algorithm, std::uint16_t group,
               StepList& steps) {
  steps.next_step();
  const std::size_t n = r.tiles.size();
  const std::uint16_t root = r.tiles[r.root];
  if (algorithm == CollectiveAlgorithm::Flat) {
    Tiles others;
    for (std::size_t p = 0; p < n; ++p) {
      if (p != r.root) others.push_back(r.tiles[p]);
    }
    for (std::uint32_t offset = 0; offset < r.words; offset += MAX_TRANSFER_WORDS) {
      const std::uint32_t count = std::min(MAX_TRANSFER_WORDS, r.words - offset);
      steps.multicast(root, others, count, r.input + 4 * offset, r.output + 4 * offset);
    }
    return;
  }
  const std::vector<Group> groups = groups_of(n, group, r.root);
  // The root reaches the other leaders and its own group's members at once.
  Tiles first_level;
  for (const Group& g : groups) {
    if (g.leader != r.root) first_level.push_back(r.tiles[g.leader]);
  }
  for (const Group& g : groups) {
    if (g.leader == r.root) {
      const Tiles own = members_except(r, g, r.root);
      first_level.insert(first_level.end(), own.begin(), own.end());
    }
  }
  const std::uint32_t chunk = broadcast_chunk(r.words);
  for (std::uint32_t offset = 0; offset < r.words; offset += chunk) {
    const std::uint32_t count = std::min(chunk, r.words - offset);
    const std::size_t from_root =
        steps.multicast(root, first_level, count, r.input + 4 * offset, r.output + 4 * offset);
    for (const Group& g : groups) {
      if (g.leader == r.root || g.count < 2) continue;
      steps.multicast(r.tiles[g.leader], members_except(r, g, g.leader), count,
                      r.output + 4 * offset, r.output + 4 * offset, {from_root});
    }
  }
}

void scatter(const CollectiveRequest& r, CollectiveAlgorithm algorithm, std::uint16_t group,
             StepList& steps) {
  steps.next_step();
  const std::size_t n = r.tiles.size();
  const std::uint16_t root = r.tiles[r.root];
  const std::uint32_t w = r.words;
  steps.combine(root, r.output, {slot(r.input, w, r.root)}, w);
  if (algorithm == CollectiveAlgorithm::Flat) {
    for (std::size_t j = 0; j < n; ++j) {
      if (j != r.root) steps.point(root, r.tiles[j], w, slot(r.input, w, j), r.output);
    }
    return;
  }
  const std::vector<Group> groups = groups_of(n, group, r.root);
  std::vector<std::size_t> to_leader(groups.size());
  for (std::size_t k = 0; k < groups.size(); ++k) {
    const Group& g = groups[k];
    if (g.leader == r.root) continue;
    to_leader[k] = steps.point(root, r.tiles[g.leader], static_cast<std::uint32_t>(g.count * w),
                               slot(r.input, w, g.first), r.scratch);
    steps.combine(r.tiles[g.leader], r.output, {slot(r.scratch, w, g.leader - g.first)}, w);
  }
  for (std::size_t k = 0; k < groups.size(); ++k) {
    const Group& g = groups[k];
    for (std::size_t p = g.first; p < g.first + g.count; ++p) {
      if (p == g.leader) continue;
      if (g.leader == r.root) {
        steps.point(root, r.tiles[p], w, slot(r.input, w, p), r.output);
      } else {
        steps.point(r.tiles[g.leader], r.tiles[p], w, slot(r.scratch, w, p - g.first), r.output,
                    {to_leader[k]});
      }
    }
  }
}

void gather(const CollectiveRequest& r, CollectiveAlgorithm algorithm, std::uint16_t group,
            StepList& steps) {
  const std::size_t n = r.tiles.size();
  const std::uint16_t root = r.tiles[r.root];
  const std::uint32_t w = r.words;
  if (algorithm == CollectiveAlgorithm::Flat) {
    steps.next_step();
    for (std::size_t j = 0; j < n; ++j) {
      if (j != r.root) steps.point(r.tiles[j], root, w, r.input, slot(r.output, w, j));
    }
    steps.combine(root, slot(r.output, w, r.root), {r.input}, w);
    return;
  }
  const std::vector<Group> groups = groups_of(n, group, r.root);
  // A leader's own shard joins its group's chunk before the exchange.
  for (const Group& g : groups) {
    if (g.leader != r.root) {
      steps.combine(r.tiles[g.leader], slot(r.scratch, w, g.leader - g.first), {r.input}, w);
    }
  }
  steps.next_step();
  for (const Group& g : groups) {
    std::vector<std::size_t> into_chunk;
    for (std::size_t p = g.first; p < g.first + g.count; ++p) {
      if (p == g.leader) continue;
      if (g.leader == r.root) {
        steps.point(r.tiles[p], root, w, r.input, slot(r.output, w, p));
      } else {
        into_chunk.push_back(steps.point(r.tiles[p], r.tiles[g.leader], w, r.input,
                                         slot(r.scratch, w, p - g.first)));
      }
    }
    if (g.leader != r.root) {
      steps.point(r.tiles[g.leader], root, static_cast<std::uint32_t>(g.count * w), r.scratch,
                  slot(r.output, w, g.first), std::move(into_chunk));
    }
  }
  steps.combine(root, slot(r.output, w, r.root), {r.input}, w);
}

void all_to_all(const CollectiveRequest& r, CollectiveAlgorithm algorithm, std::uint16_t group,
                StepList& steps) {
  if (algorithm == CollectiveAlgorithm::Hierarchical) return build_all_to_all_grid(r, group, steps);
  steps.next_step();
  personal_exchange(r, r.input, r.output, steps);
  const std::uint32_t w = r.words;
  for (std::size_t j = 0; j < r.tiles.size(); ++j) {
    steps.combine(r.tiles[j], slot(r.output, w, j), {slot(r.input, w, j)}, w);
  }
}

// All-gather where participant j's shard is at `source(j)` and must land in
// slot j of every output (its own slot included unless `own_in_place`).
template <typename Source>
void all_gather(const CollectiveRequest& r, CollectiveAlgorithm algorithm, std::uint16_t group,
                Source source, bool own_in_place, StepList& steps) {
  const std::size_t n = r.tiles.size();
  const std::uint32_t w = r.words;
  if (algorithm == CollectiveAlgorithm::Flat) {
    steps.next_step();
    for (std::size_t j = 0; j < n; ++j) {
      Tiles others;
      others.reserve(n - 1);
      for (std::size_t k = 0; k < n; ++k) {
        if (k != j) others.push_back(r.tiles[k]);
      }
      steps.multicast(r.tiles[j], std::move(others), w, source(j), slot(r.output, w, j));
    }
    if (!own_in_place) {
      for (std::size_t j = 0; j < n; ++j) {
        steps.combine(r.tiles[j], slot(r.output, w, j), {source(j)}, w);
      }
    }
    return;
  }
  const std::vector<Group> groups = groups_of(n, group, 0);
  if (!own_in_place) {
    for (const Group& g : groups) {
      steps.combine(r.tiles[g.leader], slot(r.output, w, g.leader), {source(g.leader)}, w);
    }
  }
  steps.next_step();
  // Members to their leader.
  std::vector<std::vector<std::size_t>> chunk_filled(groups.size());
  for (std::size_t k = 0; k < groups.size(); ++k) {
    const Group& g = groups[k];
    for (std::size_t p = g.first + 1; p < g.first + g.count; ++p) {
      chunk_filled[k].push_back(
          steps.point(r.tiles[p], r.tiles[g.leader], w, source(p), slot(r.output, w, p)));
    }
  }
  // Each leader's chunk to every other participant at once: no tile forwards
  // more than its own group's chunk, and every tile receives each chunk once.
  for (std::size_t k = 0; k < groups.size(); ++k) {
    const Group& g = groups[k];
    Tiles others;
    others.reserve(n - 1);
    for (std::size_t p = 0; p < n; ++p) {
      if (p != g.leader) others.push_back(r.tiles[p]);
    }
    steps.multicast(r.tiles[g.leader], std::move(others), static_cast<std::uint32_t>(g.count * w),
                    slot(r.output, w, g.first), slot(r.output, w, g.first), chunk_filled[k]);
  }
}

}  // namespace

// Round k: every tile sends to the tile k places on, so that no receiver is
// the target of every sender at once. Each transfer follows the same
// sender's transfer of the round before and the one its receiver got then:
// a tile handles one block at a time anyway, and without the chain every
// placement would search the tile's whole timeline, full of holes too short
// to use, from cycle 0 (cubic in the tiles).
void personal_exchange(const CollectiveRequest& r, std::uint32_t source, std::uint32_t destination,
                       StepList& steps) {
  const std::size_t n = r.tiles.size();
  const std::uint32_t w = r.words;
  std::vector<std::size_t> sent(n);
  std::vector<std::size_t> received(n);
  for (std::size_t k = 1; k < n; ++k) {
    std::vector<std::size_t> round(n);
    for (std::size_t j = 0; j < n; ++j) {
      const std::size_t to = (j + k) % n;
      std::vector<std::size_t> after;
      if (k > 1) after = {sent[j], received[to]};
      round[j] = steps.point(r.tiles[j], r.tiles[to], w, slot(source, w, to),
                             slot(destination, w, j), std::move(after));
    }
    for (std::size_t j = 0; j < n; ++j) {
      sent[j] = round[j];
      received[(j + k) % n] = round[j];
    }
  }
}

void build_all_gather_in_place(const CollectiveRequest& request, CollectiveAlgorithm algorithm,
                               std::uint16_t group_size, StepList& steps) {
  const auto own_slot = [&](std::size_t j) { return slot(request.output, request.words, j); };
  all_gather(request, algorithm, group_size, own_slot, true, steps);
}

void build_movement(const CollectiveRequest& request, CollectiveAlgorithm algorithm,
                    std::uint16_t group_size, StepList& steps) {
  switch (request.kind) {
    case CollectiveKind::RingShift: return ring_shift(request, steps);
    case CollectiveKind::Halo: return halo(request, steps);
    case CollectiveKind::Broadcast: return broadcast(request, algorithm, group_size, steps);
    case CollectiveKind::Scatter: return scatter(request, algorithm, group_size, steps);
    case CollectiveKind::Gather: return gather(request, algorithm, group_size, steps);
    case CollectiveKind::AllGather: {
      const auto input = [&](std::size_t) { return request.input; };
      return all_gather(request, algorithm, group_size, input, false, steps);
    }
    case CollectiveKind::AllToAll: return all_to_all(request, algorithm, group_size, steps);
    default: return;
  }
}

}  // namespace meshweave::collectives_detail
