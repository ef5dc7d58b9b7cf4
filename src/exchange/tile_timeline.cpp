#include "tile_timeline.hpp"

#include <algorithm>
#include <bit>
#include <limits>

namespace meshweave::exchange_detail {

namespace {
constexpr std::int64_t unbounded = std::numeric_limits<std::int64_t>::max();
}

TileTimeline::TileTimeline() : rows_{Row{-1, -1, -1}} {}

std::int64_t TileTimeline::hole_after(std::size_t row) const noexcept {
  return row + 1 == rows_.size() ? unbounded : rows_[row + 1].event - rows_[row].end - 1;
}

std::size_t TileTimeline::before(std::int64_t from) const noexcept {
  if (rows_.back().start < from) return rows_.size() - 1;
  const auto first_not_before =
      std::lower_bound(rows_.begin(), rows_.end(), from,
                       [](const Row& row, std::int64_t at) { return row.start < at; });
  return static_cast<std::size_t>(first_not_before - rows_.begin()) - 1;
}

std::int64_t TileTimeline::earliest(std::int64_t from, std::uint32_t event,
                                    std::uint32_t end) const {
  const std::int64_t need = std::int64_t{end} - event + 1;
  const auto class_of = [](std::int64_t cycles) {
    return std::min<std::size_t>(
        static_cast<std::size_t>(std::bit_width(static_cast<std::uint64_t>(cycles))) - 1,
        classes - 1);
  };
  // Holes before the pointer of class floor(log2 need) are all too small;
  // those of class ceil(log2 need) and above are all large enough.
  const std::size_t smaller = class_of(need);
  const std::size_t larger = class_of(2 * need - 1);
  const auto fits = [&](std::size_t at, std::int64_t& start) {
    start = std::max({from, rows_[at].start + 1, rows_[at].end + 1 - std::int64_t{event}});
    if (at + 1 == rows_.size()) return true;
    const Row& next = rows_[at + 1];
    return start <= std::min(next.start - 1, next.event - 1 - std::int64_t{end});
  };
  // A few holes from each pointer, then the end of the timeline: a hole that
  // is large enough may still be refused when the start order of the rows
  // around it leaves no room, and visiting every such hole would cost time in
  // everything placed.
  std::size_t row = before(from);
  std::int64_t start = 0;
  for (const std::size_t size_class : {smaller, larger}) {
    row = std::max(row, first_hole_[size_class]);
    for (std::size_t visited = 0; visited < scan_limit && row < rows_.size(); ++visited, ++row) {
      if (fits(row, start)) return start;
    }
    if (row >= rows_.size()) break;
  }
  fits(rows_.size() - 1, start);
  return start;
}

std::int64_t TileTimeline::after_all(std::int64_t from, std::uint32_t event) const noexcept {
  const Row& last = rows_.back();
  return std::max({from, last.start + 1, last.end + 1 - std::int64_t{event}});
}

void TileTimeline::insert(std::int64_t start, std::uint32_t event, std::uint32_t end) {
  const std::size_t after = before(start);
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(after + 1),
               Row{start, start + event, start + end});
  for (std::size_t c = 0; c < classes; ++c) {
    std::size_t& pointer = first_hole_[c];
    if (pointer > after) {
      ++pointer;  // its row moved up
    } else if (pointer == after) {
      const std::int64_t size = std::int64_t{1} << c;
      while (hole_after(pointer) < size) ++pointer;
    }
  }
}

}  // namespace meshweave::exchange_detail
