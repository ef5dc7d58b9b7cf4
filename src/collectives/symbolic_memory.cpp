#include "symbolic_memory.hpp"

#include <algorithm>

namespace meshweave::collectives_detail {

std::optional<std::vector<SymbolPiece>> SymbolicMemory::read(std::uint32_t begin,
                                                             std::uint32_t count) const {
  std::vector<SymbolPiece> pieces;
  const bool whole =
      visit(begin, count, [&](std::uint32_t from, std::uint32_t to, const SymbolRef& value) {
        pieces.push_back(SymbolPiece{from - begin, to - begin,
                                     SymbolRef{value.node, value.shift + std::int64_t{begin}}});
      });
  if (!whole) return std::nullopt;
  return pieces;
}

void SymbolicMemory::split(std::uint32_t at) {
  auto run = runs_.upper_bound(at);
  if (run == runs_.begin()) return;
  --run;
  if (run->first == at || run->second.end <= at) return;
  Run tail{run->second.end, run->second.value};
  run->second.end = at;
  runs_.emplace_hint(std::next(run), at, std::move(tail));
}

void SymbolicMemory::write(std::uint32_t begin, std::uint32_t count,
                           const std::vector<SymbolPiece>& pieces) {
  const std::uint32_t end = begin + count;
  split(begin);
  split(end);
  runs_.erase(runs_.lower_bound(begin), runs_.lower_bound(end));
  for (const SymbolPiece& piece : pieces) {
    runs_.emplace(begin + piece.begin,
                  Run{begin + piece.end,
                      SymbolRef{piece.value.node, piece.value.shift - std::int64_t{begin}}});
  }
}

const std::vector<Contribution>& Flattener::flatten(const SymbolNode* node) {
  if (auto known = cache_.find(node); known != cache_.end()) return known->second;
  // Only the nodes asked about are kept: the partial sums of a ring nest
  // n - 1 deep, and keeping each one's expansion would cost n^2 per ring.
  std::vector<Contribution> sum;
  std::vector<std::pair<const SymbolNode*, std::int64_t>> pending{{node, 0}};
  while (!pending.empty()) {
    const auto [next, delta] = pending.back();
    pending.pop_back();
    if (next->terms.empty()) {
      sum.push_back(Contribution{next->origin, delta});
      continue;
    }
    for (const SymbolRef& term : next->terms)
      pending.emplace_back(term.node.get(), delta + term.shift);
  }
  std::sort(sum.begin(), sum.end());
  return cache_.emplace(node, std::move(sum)).first->second;
}

}  // namespace meshweave::collectives_detail
