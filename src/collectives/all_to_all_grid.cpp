// All-to-all over a grid of groups. Participant p sits in row a = p / g (its
// group) and column b = p % g of a grid of G = n / g rows. A shard from
// (a, b) to (c, d) first moves along row a to (a, d), then along column d to
// (c, d). Each tile so sends g - 1 + G - 1 blocks instead of n - 1 shards,
// which pays where each transfer's fixed cost dominates (small shards); but
// every shard moves twice, so flat wins again once the shards are long.
//
// Scratch A (n shards) holds what a tile sends next, scratch B (n shards)
// what it received in the first step:
//   before step 1  A[d][c] = input[c][d] (block d goes to column d, in row
//                  order); the tile's own column goes to B[b] directly.
//   step 1         A[d] to (a, d), into its B[b]: B[q][c] is then the shard
//                  from (a, q) to (c, b).
//   before step 2  A[c][q] = B[q][c] (block c goes to row c); the tile's own
//                  row goes straight to output[a][q].
//   step 2         A[c] to (c, b), into its output[a]: output[a][q] is then
//                  the shard from (a, q), as the layout wants.
// [i][j] is shard i * (inner count) + j of the buffer.
#include <optional>
#include <utility>

#include "collective_detail.hpp"

namespace meshweave::collectives_detail {

namespace {

// Every member of each line sends one block of `count` words to every other
// member of its line. The rounds pair the members up (the circle method; with
// an odd count one member rests each round) and partners swap blocks: a tile
// sends and receives one row at a time, and a pair keeps both busy where a
// shift by k would leave every tile wanting to send and receive at once. Each
// transfer follows its sender's send and its receiver's receive of the round
// before, as personal_exchange's do. `source(i, j)` is where member i keeps
// its block for member j, `destination(i)` where member j keeps the block from i.
template <typename Source, typename Destination>
void exchange_along(const std::vector<std::vector<std::uint16_t>>& lines, std::uint32_t count,
                    Source source, Destination destination, StepList& steps) {
  steps.next_step();
  const std::size_t m = lines.front().size();
  const std::size_t even = m + m % 2;
  const auto partner = [even](std::size_t round, std::size_t i) {
    const std::size_t fixed = even - 1;
    if (i == fixed) return round;
    if (i == round) return fixed;
    return (2 * round + fixed - i) % fixed;
  };
  for (const std::vector<std::uint16_t>& line : lines) {
    std::vector<std::optional<std::size_t>> sent(m);
    std::vector<std::optional<std::size_t>> received(m);
    for (std::size_t k = 0; k + 1 < even; ++k) {
      std::vector<std::pair<std::size_t, std::size_t>> round;
      for (std::size_t i = 0; i < m; ++i) {
        const std::size_t to = partner(k, i);
        if (to >= m) continue;
        std::vector<std::size_t> after;
        if (sent[i]) after.push_back(*sent[i]);
        if (received[to]) after.push_back(*received[to]);
        round.emplace_back(i, steps.point(line[i], line[to], count, source(i, to), destination(i),
                                          std::move(after)));
      }
      for (const auto& [i, t] : round) {
        sent[i] = t;
        received[partner(k, i)] = t;
      }
    }
  }
}

}  // namespace

void build_all_to_all_grid(const CollectiveRequest& r, std::uint16_t group, StepList& steps) {
  const std::size_t n = r.tiles.size();
  const std::size_t g = group;
  const std::size_t rows = n / g;
  const std::uint32_t w = r.words;
  const std::uint32_t shard_bytes = 4 * w;
  const std::uint32_t a_buffer = r.scratch;
  const std::uint32_t b_buffer = slot(r.scratch, w, n);
  const auto block = [w](std::uint32_t base, std::size_t index, std::size_t shards) {
    return slot(base, w, index * shards);
  };

  for (std::size_t p = 0; p < n; ++p) {
    const std::size_t b = p % g;
    for (std::size_t d = 0; d < g; ++d) {
      steps.pending.push_back(Combine{r.tiles[p],
                                      block(d == b ? b_buffer : a_buffer, d, rows),
                                      {slot(r.input, w, d)},
                                      w,
                                      static_cast<std::uint32_t>(rows),
                                      shard_bytes,
                                      static_cast<std::uint32_t>(g * shard_bytes)});
    }
  }
  std::vector<std::vector<std::uint16_t>> grid_rows(rows);
  for (std::size_t p = 0; p < n; ++p) grid_rows[p / g].push_back(r.tiles[p]);
  exchange_along(
      grid_rows, static_cast<std::uint32_t>(rows * w),
      [&](std::size_t, std::size_t to) { return block(a_buffer, to, rows); },
      [&](std::size_t from) { return block(b_buffer, from, rows); }, steps);

  for (std::size_t p = 0; p < n; ++p) {
    const std::size_t a = p / g;
    for (std::size_t c = 0; c < rows; ++c) {
      steps.pending.push_back(Combine{r.tiles[p],
                                      block(c == a ? r.output : a_buffer, c, g),
                                      {slot(b_buffer, w, c)},
                                      w,
                                      static_cast<std::uint32_t>(g),
                                      shard_bytes,
                                      static_cast<std::uint32_t>(rows * shard_bytes)});
    }
  }
  std::vector<std::vector<std::uint16_t>> grid_columns(g);
  for (std::size_t p = 0; p < n; ++p) grid_columns[p % g].push_back(r.tiles[p]);
  exchange_along(
      grid_columns, static_cast<std::uint32_t>(g * w),
      [&](std::size_t, std::size_t to) { return block(a_buffer, to, g); },
      [&](std::size_t from) { return block(r.output, from, g); }, steps);
}

}  // namespace meshweave::collectives_detail
