#pragma once

// The rows placed on one tile, and where another row still fits.
//
// A builder accepts a tile's rows in start order when each row's first
// exchange event (SEND start or arrival) lies after the end of the row before:
// the earlier part of a row is waiting, which the builder cuts away. So the
// occupied spans [event, end] of a tile's rows are disjoint, with at least one
// free cycle between them, and ordered like the rows' starts. Rows are kept by
// start; between two rows lies a hole of free cycles.
//
// Finding the earliest hole that fits must not cost time in everything placed
// before it: for every size class c, first_hole_[c] is the first row after
// which the hole holds at least 2^c free cycles. Every hole before it is
// smaller, so a search for a row of n cycles starts at the pointer of class
// floor(log2 n), and holes from the pointer of class ceil(log2 n) on are all
// large enough. A hole only ever shrinks (split by a row), so each pointer only
// moves forward, and over a whole schedule costs time in the rows placed. A
// search visits a few holes from each pointer and then takes the end of the
// timeline, so its cost is bounded; the start it finds fits, though a hole
// further on that it did not visit might have fitted earlier.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace meshweave::exchange_detail {

class TileTimeline {
 public:
  TileTimeline();

  // A start >= `from` at which a row whose first event lies `event` cycles and
  // whose end lies `end` cycles after its start fits between the rows already
  // placed (its start strictly between theirs): the earliest among the holes
  // the search visits (see above).
  std::int64_t earliest(std::int64_t from, std::uint32_t event, std::uint32_t end) const;

  // The earliest start >= `from` past every row placed: a row always fits there.
  std::int64_t after_all(std::int64_t from, std::uint32_t event) const noexcept;

  // Places a row that fits at `start` (as earliest() found).
  void insert(std::int64_t start, std::uint32_t event, std::uint32_t end);

  bool empty() const noexcept { return rows_.size() == 1; }
  void reserve(std::size_t rows) { rows_.reserve(rows + 1); }

 private:
  struct Row {
    std::int64_t start;
    std::int64_t event;
    std::int64_t end;
  };
  static constexpr std::size_t classes = 24;
  static constexpr std::size_t scan_limit = 2;

  std::int64_t hole_after(std::size_t row) const noexcept;
  // Index of the last row starting before `from`.
  std::size_t before(std::int64_t from) const noexcept;

  // Rows by start, in one array (searches and scans stay in cache; most rows
  // go at the end), with a sentinel row at start -1 ending at cycle -1, so that
  // every hole follows a row.
  std::vector<Row> rows_;
  std::array<std::size_t, classes> first_hole_{};
};

}  // namespace meshweave::exchange_detail
