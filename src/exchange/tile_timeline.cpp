#include "tile_timeline.hpp"

#include <algorithm>
#include <bit>
#include <iterator>
#include <limits>

namespace meshweave::exchange_detail {

namespace {
constexpr std::int64_t unbounded = std::numeric_limits<std::int64_t>::max();
}

TileTimeline::TileTimeline() {
  rows_.emplace(-1, Span{-1, -1});
  first_hole_.fill(rows_.cbegin());
}

std::int64_t TileTimeline::hole_after(Rows::const_iterator row) const noexcept {
  const auto next = std::next(row);
  return next == rows_.end() ? unbounded : next->second.event - row->second.end - 1;
}

std::int64_t TileTimeline::earliest(std::int64_t from, std::uint32_t event,
                                    std::uint32_t end) const {
  const std::int64_t need = std::int64_t{end} - event + 1;
  const auto class_of = [](std::int64_t cycles) {
    return std::min<std::size_t>(static_cast<std::size_t>(std::bit_width(static_cast<std::uint64_t>(cycles))) - 1,
                                 classes - 1);
  };
  // Holes before the pointer of class floor(log2 need) are all too small;
  // those of class ceil(log2 need) and above are all large enough.
  const std::size_t smaller = class_of(need);
  const std::size_t larger = std::min(class_of(2 * need - 1), classes - 1);
  // The row just before `from`: holes before it end before `from`. Most
  // searches start past every row: no descent then.
  auto row = rows_.crbegin()->first < from ? std::prev(rows_.cend())
                                           : std::prev(rows_.lower_bound(from));
  const auto later = [](Rows::const_iterator a, Rows::const_iterator b) {
    return a->first < b->first ? b : a;
  };
  const auto fits = [&](Rows::const_iterator at, std::int64_t& start) {
    const std::int64_t low =
        std::max({from, at->first + 1, at->second.end + 1 - std::int64_t{event}});
    const auto next = std::next(at);
    if (next == rows_.end()) {
      start = low;
      return true;
    }
    const std::int64_t high = std::min(next->first - 1, next->second.event - 1 - std::int64_t{end});
    start = low;
    return low <= high;
  };
  // A few holes from each pointer, then the end of the timeline: a hole that
  // is large enough may still be refused when the start order of the rows
  // around it leaves no room, and visiting every such hole would cost time in
  // everything placed.
  std::int64_t start = 0;
  for (const std::size_t size_class : {smaller, larger}) {
    row = later(row, first_hole_[size_class]);
    for (std::size_t visited = 0; visited < scan_limit && row != rows_.end(); ++visited, ++row) {
      if (fits(row, start)) return start;
    }
    if (row == rows_.end()) break;
  }
  fits(std::prev(rows_.cend()), start);
  return start;
}

void TileTimeline::insert(std::int64_t start, std::uint32_t event, std::uint32_t end) {
  const auto hint = rows_.crbegin()->first < start ? rows_.cend() : rows_.lower_bound(start);
  const auto placed = rows_.emplace_hint(hint, start,
                                         Span{start + event, start + end});
  const auto before = std::prev(placed);
  for (std::size_t c = 0; c < classes; ++c) {
    if (first_hole_[c] != before) continue;
    const std::int64_t size = std::int64_t{1} << c;
    while (hole_after(first_hole_[c]) < size) ++first_hole_[c];
  }
}

}  // namespace meshweave::exchange_detail
