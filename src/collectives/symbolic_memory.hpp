#pragma once

// Tile memory as runs of symbolic words, for the data-flow replay. A run
// [begin, end) of word addresses holds value(a) = node(a + shift); a node is
// either a token (origin, x) or the sum of other nodes at shifted indices, so
// a reduction's result costs one node, not one object per word.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace meshweave::collectives_detail {

struct SymbolNode;

struct SymbolRef {
  std::shared_ptr<const SymbolNode> node;
  std::int64_t shift = 0;
};

// A token of `origin` when `terms` is empty, else the sum of the terms.
struct SymbolNode {
  std::uint16_t origin = 0;
  std::vector<SymbolRef> terms;
};

// A piece of a range read from memory, in offsets from the range's start:
// word o of it holds ref.node(o + ref.shift).
struct SymbolPiece {
  std::uint32_t begin = 0;
  std::uint32_t end = 0;
  SymbolRef value;
};

class SymbolicMemory {
 public:
  // The words [begin, begin + count) as pieces, or nothing when a word holds no data.
  std::optional<std::vector<SymbolPiece>> read(std::uint32_t begin, std::uint32_t count) const;
  void write(std::uint32_t begin, std::uint32_t count, const std::vector<SymbolPiece>& pieces);
  // Every run overlapping [begin, begin + count), clipped, in address order;
  // the function receives (run begin, run end, value) with absolute addresses.
  template <typename Visit>
  bool visit(std::uint32_t begin, std::uint32_t count, Visit visit_run) const;

 private:
  struct Run {
    std::uint32_t end = 0;
    SymbolRef value;
  };
  void split(std::uint32_t at);
  std::map<std::uint32_t, Run> runs_;
};

// The sum a node stands for: value(x) = sum of token(origin, x + delta).
struct Contribution {
  std::uint16_t origin = 0;
  std::int64_t delta = 0;
  friend auto operator<=>(const Contribution&, const Contribution&) = default;
};

// Flattens nodes once each (reductions share them across tiles).
class Flattener {
 public:
  const std::vector<Contribution>& flatten(const SymbolNode* node);

 private:
  std::unordered_map<const SymbolNode*, std::vector<Contribution>> cache_;
};

template <typename Visit>
bool SymbolicMemory::visit(std::uint32_t begin, std::uint32_t count, Visit visit_run) const {
  const std::uint64_t end = std::uint64_t{begin} + count;
  std::uint64_t at = begin;
  auto run = runs_.upper_bound(begin);
  if (run != runs_.begin()) --run;
  for (; at < end && run != runs_.end(); ++run) {
    if (run->second.end <= at) continue;
    if (run->first > at) return false;
    const std::uint64_t stop = std::min<std::uint64_t>(run->second.end, end);
    visit_run(static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(stop), run->second.value);
    at = stop;
  }
  return at >= end;
}

}  // namespace meshweave::collectives_detail
