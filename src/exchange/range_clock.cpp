#include "range_clock.hpp"

#include <algorithm>
#include <iterator>

namespace meshweave::exchange_detail {

WindowEnds RangeClock::latest(std::uint64_t begin, std::uint64_t end) const {
  WindowEnds latest;
  auto piece = pieces_.upper_bound(begin);
  if (piece != pieces_.begin()) --piece;
  for (; piece != pieces_.end() && piece->first < end; ++piece) {
    if (piece->second.end <= begin) continue;
    latest.placed = std::max(latest.placed, piece->second.ends.placed);
    latest.bound = std::max(latest.bound, piece->second.ends.bound);
  }
  return latest;
}

void RangeClock::raise(std::uint64_t begin, std::uint64_t end, WindowEnds ends) {
  if (begin >= end) return;
  // Split the pieces that straddle `begin` or `end`, so that every piece lies
  // wholly inside or wholly outside the range.
  const auto split = [&](std::uint64_t at) {
    auto piece = pieces_.upper_bound(at);
    if (piece == pieces_.begin()) return;
    --piece;
    if (piece->first < at && at < piece->second.end) {
      pieces_.emplace_hint(std::next(piece), at, Piece{piece->second.end, piece->second.ends});
      piece->second.end = at;
    }
  };
  split(begin);
  split(end);
  std::uint64_t cursor = begin;
  auto piece = pieces_.lower_bound(begin);
  while (cursor < end) {
    if (piece == pieces_.end() || piece->first > cursor) {
      // A gap: a new piece up to the next one or the range's end.
      const std::uint64_t stop = piece == pieces_.end() ? end : std::min(end, piece->first);
      pieces_.emplace_hint(piece, cursor, Piece{stop, ends});
      cursor = stop;
      continue;
    }
    piece->second.ends.placed = std::max(piece->second.ends.placed, ends.placed);
    piece->second.ends.bound = std::max(piece->second.ends.bound, ends.bound);
    cursor = piece->second.end;
    ++piece;
  }
}

}  // namespace meshweave::exchange_detail
