// Reductions: exchanges with combines between them.
//
// A ring of m members reduces m parts: in step s member q sends its running
// sum of part q - s - 1 (mod m) to member q + 1, which adds its own
// contribution; after m - 1 steps member q holds the full sum of part q.
// Several rings of one length run in the same steps.
#include <functional>

#include "collective_detail.hpp"

namespace meshweave::collectives_detail {

namespace {

struct Ring {
  std::vector<std::uint16_t> members;
  // Where member q keeps its own contribution to part i, and where its full
  // sum of its own part q goes.
  std::function<std::uint32_t(std::size_t q, std::size_t i)> contribution;
  std::function<std::uint32_t(std::size_t q)> result;
};

// `part_words` words per part; `received` and `running` are scratch areas of
// that size on every member.
void run_rings(const std::vector<Ring>& rings, std::uint32_t part_words, std::uint32_t received,
               std::uint32_t running, StepList& steps) {
  const std::size_t m = rings.front().members.size();
  for (std::size_t s = 0; s + 1 < m; ++s) {
    steps.next_step();
    for (const Ring& ring : rings) {
      for (std::size_t q = 0; q < m; ++q) {
        const std::size_t part = (q + m - (s + 1) % m) % m;
        const std::uint32_t source = s == 0 ? ring.contribution(q, part) : running;
        steps.point(ring.members[q], ring.members[(q + 1) % m], part_words, source, received);
      }
    }
    for (const Ring& ring : rings) {
      for (std::size_t q = 0; q < m; ++q) {
        const std::size_t next = (q + 1) % m;
        const std::size_t part = (q + m - (s + 1) % m) % m;
        const bool last = s + 2 == m;
        steps.combine(ring.members[next], last ? ring.result(next) : running,
                      {received, ring.contribution(next, part)}, part_words);
      }
    }
  }
}

// Where participant q's reduced shard goes: the output, or its own slot of it.
std::uint32_t result_address(const CollectiveRequest& r, std::size_t q) {
  return r.kind == CollectiveKind::AllReduce ? slot(r.output, r.words, q) : r.output;
}

void ring(const CollectiveRequest& r, StepList& steps) {
  const std::uint32_t w = r.words;
  Ring whole{r.tiles, [&](std::size_t, std::size_t i) { return slot(r.input, w, i); },
             [&](std::size_t q) { return result_address(r, q); }};
  run_rings({whole}, w, r.scratch, r.scratch + 4 * w, steps);
}

void direct(const CollectiveRequest& r, StepList& steps) {
  steps.next_step();
  const std::size_t n = r.tiles.size();
  const std::uint32_t w = r.words;
  personal_exchange(r, r.input, r.scratch, steps);
  for (std::size_t k = 0; k < n; ++k) {
    std::vector<std::uint32_t> sources{slot(r.input, w, k)};
    for (std::size_t j = 0; j < n; ++j) {
      if (j != k) sources.push_back(slot(r.scratch, w, j));
    }
    steps.combine(r.tiles[k], result_address(r, k), std::move(sources), w);
  }
}

// Rings across the groups first, over parts of a group's g shards each (so
// every part is contiguous), then rings within each group over single shards.
void two_dimensional(const CollectiveRequest& r, std::uint16_t group, StepList& steps) {
  const std::size_t n = r.tiles.size();
  const std::size_t groups = n / group;
  const std::uint32_t w = r.words;
  const std::uint32_t part = group * w;
  const std::uint32_t partial = r.scratch;  // the group's part summed across groups
  const std::uint32_t received = r.scratch + 4 * part;
  const std::uint32_t running = r.scratch + 8 * part;
  std::vector<Ring> across;
  for (std::size_t k = 0; k < group; ++k) {
    Ring ring;
    for (std::size_t h = 0; h < groups; ++h) ring.members.push_back(r.tiles[h * group + k]);
    ring.contribution = [&, part](std::size_t, std::size_t i) { return slot(r.input, part, i); };
    ring.result = [partial](std::size_t) { return partial; };
    across.push_back(std::move(ring));
  }
  run_rings(across, part, received, running, steps);
  std::vector<Ring> within;
  for (std::size_t h = 0; h < groups; ++h) {
    Ring ring;
    for (std::size_t k = 0; k < group; ++k) ring.members.push_back(r.tiles[h * group + k]);
    ring.contribution = [partial, w](std::size_t, std::size_t i) { return slot(partial, w, i); };
    ring.result = [&, h, group](std::size_t q) { return result_address(r, h * group + q); };
    within.push_back(std::move(ring));
  }
  run_rings(within, w, received, running, steps);
}

}  // namespace

void build_reduction(const CollectiveRequest& request, CollectiveAlgorithm algorithm,
                     std::uint16_t group_size, StepList& steps) {
  switch (algorithm) {
    case CollectiveAlgorithm::Direct: direct(request, steps); break;
    case CollectiveAlgorithm::Hierarchical: two_dimensional(request, group_size, steps); break;
    default: ring(request, steps); break;
  }
  if (request.kind == CollectiveKind::AllReduce) {
    // Every reduced shard sits in its owner's output slot: gather them in place.
    const CollectiveAlgorithm gather = algorithm == CollectiveAlgorithm::Hierarchical
                                           ? CollectiveAlgorithm::Hierarchical
                                           : CollectiveAlgorithm::Flat;
    build_all_gather_in_place(request, gather, group_size, steps);
  }
}

}  // namespace meshweave::collectives_detail
