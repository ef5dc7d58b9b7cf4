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
  const std::size_t size_class =
      std::min<std::size_t>(static_cast<std::size_t>(std::bit_width(
                                static_cast<std::uint64_t>(need))) - 1,
                            classes - 1);
  // The row just before `from`: holes before it end before `from`.
  // Most searches start past every row: no descent then.
  auto row = rows_.crbegin()->first < from ? std::prev(rows_.cend())
                                           : std::prev(rows_.lower_bound(from));
  if (first_hole_[size_class]->first > row->first) row = first_hole_[size_class];
  for (;; ++row) {
    const std::int64_t low =
        std::max({from, row->first + 1, row->second.end + 1 - std::int64_t{event}});
    const auto next = std::next(row);
    if (next == rows_.end()) return low;
    const std::int64_t high =
        std::min(next->first - 1, next->second.event - 1 - std::int64_t{end});
    if (low <= high) return low;
  }
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
