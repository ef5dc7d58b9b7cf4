// Scheduling the transfers form.
//
// Placement is list scheduling in program order, each transfer as early as
// possible: its earliest start is the latest end of the windows it depends on
// (byte ranges and `after`), moved later until every one of its tiles has a
// hole that holds its row there (TileTimeline). Later transfers may fill holes
// that earlier ones left, so transfers that nothing relates are reordered and
// overlapped, while every dependency points to a transfer already placed.
// Program order as priority keeps the result predictable and the cost near
// linear; critical-path priorities were not needed to reach the gains measured
// on the full-card patterns (docs/scheduling.md). Hole searches are bounded
// (TileTimeline), so a start is the earliest among the holes visited.
#include <algorithm>
#include <limits>
#include <map>
#include <set>
#include <string_view>

#include "meshweave/instruction_words/control_words.hpp"
#include "multicast_merge.hpp"
#include "piece_rows.hpp"
#include "range_clock.hpp"
#include "scheduler.hpp"
#include "tile_timeline.hpp"
#include "transfer_order.hpp"

namespace meshweave::exchange_detail {

namespace {

struct Byte {
  std::uint64_t begin;
  std::uint64_t end;
};
Byte bytes(std::uint32_t address, std::uint32_t word_offset, std::uint32_t count) {
  const std::uint64_t begin = std::uint64_t{address} + 4 * std::uint64_t{word_offset};
  return Byte{begin, begin + 4 * std::uint64_t{count}};
}
bool overlap(Byte a, Byte b) { return a.begin < b.end && b.begin < a.end; }

// Whether two transfers touch overlapping bytes of a tile where one writes.
bool conflict(const TransferView& a, const TransferView& b) {
  const Byte a_source = bytes(a.source_address, 0, a.count);
  const Byte b_source = bytes(b.source_address, 0, b.count);
  for (std::size_t i = 0; i < a.receivers.size(); ++i) {
    const Byte a_written = bytes(a.destination(i), 0, a.count);
    if (a.receivers[i] == b.sender && overlap(a_written, b_source)) return true;
    for (std::size_t k = 0; k < b.receivers.size(); ++k) {
      if (a.receivers[i] == b.receivers[k] &&
          overlap(a_written, bytes(b.destination(k), 0, b.count))) {
        return true;
      }
    }
  }
  for (std::size_t k = 0; k < b.receivers.size(); ++k) {
    if (b.receivers[k] == a.sender && overlap(bytes(b.destination(k), 0, b.count), a_source)) {
      return true;
    }
  }
  return false;
}

// Rounds over a transfer's tiles before it is placed past all their rows.
constexpr std::size_t max_fit_rounds = 2;

std::int64_t at_least_zero(std::int64_t value) { return std::max<std::int64_t>(value, 0); }

class Scheduler {
 public:
  Scheduler(const Topology& topology, const TransferList& list, const ScheduleOptions& options,
            bool keep_rows)
      : topology_{topology}, list_{list}, options_{options}, keep_rows_{keep_rows} {}

  std::expected<ScheduleResult, CompileError> run() {
    auto order = placement_order(list_);
    if (!order) return std::unexpected(order.error());
    shapes_ = list_.transfers;
    // The phase layout compares transfer by transfer, so phase forms stay unmerged.
    if (options_.merge_into_multicasts && list_.phases.empty()) merge();
    expand();
    const std::size_t tiles = topology_.tile_count();
    timelines_.resize(tiles);
    mark_shared();
    reads_.resize(tiles);
    writes_.resize(tiles);
    result_.tiles.resize(tiles);
    placed_end_.assign(pieces_.size(), 0);
    bound_end_.assign(pieces_.size(), 0);
    rows_end_.assign(pieces_.size(), 0);
    if (keep_rows_) result_.planned.rows.resize(first_role_.back());
    const bool in_order = std::is_sorted(order->begin(), order->end());
    std::set<std::size_t> unplaced;
    if (!in_order) {
      for (std::size_t index = 0; index < list_.size(); ++index) unplaced.insert(index);
    }
    for (const std::size_t transfer : *order) {
      if (!in_order) {
        if (auto cycle = check_deferred(transfer, unplaced); !cycle) {
          return std::unexpected(cycle.error());
        }
      }
      for (std::size_t piece = first_piece_[transfer]; piece < first_piece_[transfer + 1];
           ++piece) {
        if (auto placed = place(transfer, piece); !placed) return std::unexpected(placed.error());
      }
    }
    result_.schedule.horizon = static_cast<std::uint32_t>(horizon_);
    for (std::size_t tile = 0; tile < tiles; ++tile) {
      const TileLoad& load = result_.tiles[tile];
      if (load.rows == 0) continue;
      lower_bound_ = std::max(lower_bound_, load.earliest_event + load.busy + load.rows - 1);
    }
    result_.lower_bound = lower_bound_;
    lay_out_phases();
    if (keep_rows_) result_.planned.first_role = std::move(first_role_);
    return std::move(result_);
  }

 private:
  // Groups that go as one multicast: the planner must accept it, and its rows
  // must end no later than the sender alone needs for the transfers sent one
  // after another (the first one's SEND offset, each row's occupied span, a
  // cycle between rows). Its receivers are then free of the sender's
  // serialisation, which is what shortens the horizon; a longer multicast row
  // would delay every receiver instead.
  void merge() {
    auto groups = multicast_groups(list_, topology_.tile_count());
    if (groups.empty()) return;
    merged_.reserve(groups.size());
    for (auto& group : groups) {
      MulticastTransfer multicast = merged_multicast(list_, group);
      if (!plan_piece(topology_, view(multicast), 0, view(multicast).count, group.front(), rows_)) {
        continue;  // refused: the transfers go one by one
      }
      time_piece(rows_, view(multicast).count, timing_);
      const std::uint64_t merged_end = timing_.rows_end();
      std::uint64_t apart_end = 0;
      std::uint64_t first_send = std::numeric_limits<std::uint64_t>::max();
      bool planned = true;
      for (const std::size_t index : group) {
        const TransferView alone = view(*list_.transfers[index]);
        if (!plan_piece(topology_, alone, 0, alone.count, index, rows_)) {
          planned = false;  // its own error is reported when it is placed
          break;
        }
        time_piece(rows_, alone.count, timing_);
        first_send = std::min<std::uint64_t>(first_send, timing_.sender.event);
        apart_end += timing_.sender.end - timing_.sender.event + 1;
      }
      if (!planned || merged_end > first_send + apart_end - 1) continue;
      merged_.push_back(std::move(multicast));
      shapes_[group.front()] = &merged_.back();
      for (std::size_t k = 1; k < group.size(); ++k) absorbed_.insert(group[k]);
      carried_.emplace(group.front(), std::vector<std::size_t>(group.begin() + 1, group.end()));
    }
  }

  void expand() {
    first_piece_.reserve(list_.size() + 1);
    pieces_.reserve(list_.size());
    for (std::size_t index = 0; index < list_.size(); ++index) {
      first_piece_.push_back(pieces_.size());
      if (!absorbed_.empty() && absorbed_.contains(index))
        continue;  // its group's piece carries it
      const std::uint32_t count = view(*shapes_[index]).count;
      if (!carried_.empty()) {
        if (auto carried = carried_.find(index); carried != carried_.end()) {
          pieces_.push_back(ScheduledPiece{index, 0, count, 0, std::move(carried->second)});
          continue;
        }
      }
      if (!options_.split_long_transfers || count <= max_piece_words) {
        pieces_.push_back(ScheduledPiece{index, 0, count, 0});
        continue;
      }
      split_ = true;
      for (std::uint32_t offset = 0; offset < count; offset += max_piece_words) {
        pieces_.push_back(
            ScheduledPiece{index, offset, std::min(max_piece_words, count - offset), 0});
      }
    }
    first_piece_.push_back(pieces_.size());
  }

  // Marks every role whose bytes overlap another role's on its tile. Only
  // those can take part in a dependency, so only they consult and feed the
  // range clocks: on patterns without overlaps that saves most of the work.
  void mark_shared() {
    struct Range {
      std::uint64_t begin;
      std::uint64_t end;
      std::size_t role;
    };
    std::vector<std::vector<Range>> tiles(topology_.tile_count());
    {  // sized once: growing millions of ranges costs more than counting them
      std::vector<std::size_t> counts(tiles.size(), 0);
      for (const ScheduledPiece& piece : pieces_) {
        const TransferView transfer = view(*shapes_[piece.transfer]);
        if (transfer.sender < counts.size()) ++counts[transfer.sender];
        for (const std::uint16_t tile : transfer.receivers) {
          if (tile < counts.size()) ++counts[tile];
        }
      }
      for (std::size_t tile = 0; tile < tiles.size(); ++tile) {
        tiles[tile].reserve(counts[tile]);
        timelines_[tile].reserve(counts[tile]);
      }
    }
    first_role_.reserve(pieces_.size() + 1);
    std::size_t role = 0;
    for (const ScheduledPiece& piece : pieces_) {
      first_role_.push_back(role);
      const TransferView transfer = view(*shapes_[piece.transfer]);
      // Tiles off the topology are refused when the piece is planned.
      const Byte source = bytes(transfer.source_address, piece.word_offset, piece.count);
      if (transfer.sender < tiles.size())
        tiles[transfer.sender].push_back({source.begin, source.end, role});
      ++role;
      for (std::size_t i = 0; i < transfer.receivers.size(); ++i, ++role) {
        const Byte written = bytes(transfer.destination(i), piece.word_offset, piece.count);
        if (transfer.receivers[i] < tiles.size()) {
          tiles[transfer.receivers[i]].push_back({written.begin, written.end, role});
        }
      }
    }
    first_role_.push_back(role);
    shared_.assign(role, 0);
    for (auto& ranges : tiles) {
      std::sort(ranges.begin(), ranges.end(),
                [](const Range& a, const Range& b) { return a.begin < b.begin; });
      std::uint64_t reach = 0;  // furthest end of the ranges before
      for (std::size_t i = 0; i < ranges.size(); ++i) {
        const bool after_overlap = i > 0 && ranges[i].begin < reach;
        const bool before_overlap = i + 1 < ranges.size() && ranges[i + 1].begin < ranges[i].end;
        if (after_overlap || before_overlap) shared_[ranges[i].role] = 1;
        reach = std::max(reach, ranges[i].end);
      }
    }
  }

  // A transfer placed before an earlier one (because of `after`) must not
  // also follow it through overlapping bytes: that would be a cycle.
  std::expected<void, CompileError> check_deferred(std::size_t transfer,
                                                   std::set<std::size_t>& unplaced) {
    const TransferView placed = view(*shapes_[transfer]);
    for (auto earlier = unplaced.begin(); earlier != unplaced.end() && *earlier < transfer;
         ++earlier) {
      if (conflict(view(*shapes_[*earlier]), placed)) {
        CompileError error;
        error.kind = CompileError::Kind::AfterCycle;
        error.transfer = *earlier;
        error.other_transfer = transfer;
        error.scheduled = true;
        return std::unexpected(error);
      }
    }
    unplaced.erase(transfer);
    return {};
  }

  std::expected<void, CompileError> place(std::size_t transfer, std::size_t index) {
    ScheduledPiece& piece = pieces_[index];
    const TransferView view_of = view(*shapes_[transfer]);
    if (auto planned =
            plan_piece(topology_, view_of, piece.word_offset, piece.count, transfer, rows_);
        !planned) {
      return std::unexpected(planned.error());
    }
    time_piece(rows_, piece.count, timing_);
    if (keep_rows_) {
      auto kept = result_.planned.rows.begin() + static_cast<std::ptrdiff_t>(first_role_[index]);
      *kept = rows_.sender();
      std::copy(rows_.receivers().begin(), rows_.receivers().end(), kept + 1);
    }

    // Earliest start that the dependencies allow, placed and in the bound.
    std::int64_t placed = 0;
    std::int64_t bound = 0;
    const auto need = [&](WindowEnds ends, std::uint32_t window_start) {
      placed = std::max(placed, ends.placed - window_start);
      bound = std::max(bound, ends.bound - window_start);
    };
    const std::uint32_t first_window = timing_.first_window();
    for (const std::size_t other : list_.after(transfer)) {
      for (std::size_t q = first_piece_[other]; q < first_piece_[other + 1]; ++q) {
        need(WindowEnds{placed_end_[q], bound_end_[q]}, first_window);
      }
    }
    const std::size_t roles = first_role_[index];
    const Byte source = bytes(view_of.source_address, piece.word_offset, piece.count);
    if (shared_[roles]) {
      need(writes_[view_of.sender].latest(source.begin, source.end), timing_.sender.event);
    }
    for (std::size_t i = 0; i < view_of.receivers.size(); ++i) {
      if (!shared_[roles + 1 + i]) continue;
      const std::uint16_t tile = view_of.receivers[i];
      const Byte written = bytes(view_of.destination(i), piece.word_offset, piece.count);
      need(writes_[tile].latest(written.begin, written.end), timing_.receivers[i].event);
      need(reads_[tile].latest(written.begin, written.end), timing_.receivers[i].event);
    }
    placed = at_least_zero(placed);
    bound = at_least_zero(bound);

    // Later until every tile has room: the tiles are asked in turn until all
    // of them accept the same start. Tiles that keep offering holes the others
    // cannot match would make this walk hole by hole; after a few rounds the
    // transfer goes past every row of its tiles instead.
    const std::size_t tiles = 1 + view_of.receivers.size();
    const auto tile_of = [&](std::size_t k) {
      return k == 0 ? view_of.sender : view_of.receivers[k - 1];
    };
    const auto row_of = [&](std::size_t k) -> const RowTiming& {
      return k == 0 ? timing_.sender : timing_.receivers[k - 1];
    };
    std::int64_t start = placed;
    std::size_t agreed = 0;
    for (std::size_t asked = 0, k = 0; agreed < tiles; ++asked, k = (k + 1) % tiles) {
      if (asked == max_fit_rounds * tiles) {
        for (std::size_t t = 0; t < tiles; ++t) {
          start = timelines_[tile_of(t)].after_all(start, row_of(t).event);
        }
      }
      const std::int64_t at =
          timelines_[tile_of(k)].earliest(start, row_of(k).event, row_of(k).end);
      agreed = at == start ? agreed + 1 : 1;
      start = at;
    }
    const std::uint32_t rows_end = timing_.rows_end();
    if (start + rows_end > std::numeric_limits<std::uint32_t>::max()) {
      return std::unexpected(scheduled_error(
          ExchangeError::schedule(schedule_message::plan_event_horizon_overflow), transfer));
    }
    piece.start = static_cast<std::uint32_t>(start);

    const auto occupy = [&](std::uint16_t tile, const RowTiming& row) {
      timelines_[tile].insert(start, row.event, row.end);
      TileLoad& load = result_.tiles[tile];
      load.earliest_event =
          load.rows == 0 ? row.event : std::min<std::uint64_t>(load.earliest_event, row.event);
      load.busy += row.end - row.event;
      ++load.rows;
    };
    occupy(view_of.sender, timing_.sender);
    if (shared_[roles]) {
      reads_[view_of.sender].raise(source.begin, source.end,
                                   WindowEnds{start + timing_.send_end, bound + timing_.send_end});
    }
    for (std::size_t i = 0; i < view_of.receivers.size(); ++i) {
      const std::uint16_t tile = view_of.receivers[i];
      occupy(tile, timing_.receivers[i]);
      if (!shared_[roles + 1 + i]) continue;
      const Byte written = bytes(view_of.destination(i), piece.word_offset, piece.count);
      writes_[tile].raise(
          written.begin, written.end,
          WindowEnds{start + timing_.receivers[i].end, bound + timing_.receivers[i].end});
    }
    const std::uint32_t last_window = timing_.last_window_end();
    placed_end_[index] = start + last_window;
    bound_end_[index] = bound + last_window;
    rows_end_[index] = rows_end;
    horizon_ = std::max<std::int64_t>(horizon_, start + rows_end);
    lower_bound_ =
        std::max<std::uint64_t>(lower_bound_, static_cast<std::uint64_t>(bound) + rows_end);
    return {};
  }

  // The phase compiler's layout of a phase form: phase k + 1 starts one cycle
  // after the longest row of phase k ends. Only for forms it accepts: no
  // split transfer and no tile twice in a phase.
  void lay_out_phases() {
    if (list_.phases.empty() || split_) {
      result_.schedule.pieces = std::move(pieces_);
      return;
    }
    result_.schedule.pieces = pieces_;
    std::vector<std::size_t> seen(topology_.tile_count(), std::numeric_limits<std::size_t>::max());
    for (std::size_t index = 0; index < list_.size(); ++index) {
      const TransferView transfer = view(*shapes_[index]);
      const std::size_t phase = list_.phases[index];
      if (seen[transfer.sender] == phase) return;
      seen[transfer.sender] = phase;
      for (const std::uint16_t tile : transfer.receivers) {
        if (seen[tile] == phase) return;
        seen[tile] = phase;
      }
    }
    ExchangeSchedule layout;
    layout.pieces = pieces_;
    layout.phase_layout = true;
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::size_t index = 0;  // without splitting, pieces are the transfers
    for (const Phase& phase : list_.description->phases) {
      const std::size_t stop = index + phase.transfers.size();
      std::uint32_t span = 0;
      for (std::size_t piece = index; piece < stop; ++piece)
        span = std::max(span, rows_end_[piece]);
      end = start + span;
      if (end > std::numeric_limits<std::uint32_t>::max()) return;
      for (; index < stop; ++index) layout.pieces[index].start = static_cast<std::uint32_t>(start);
      start = end + 1;
    }
    layout.horizon = static_cast<std::uint32_t>(end);
    result_.phase_layout = std::move(layout);
  }

  const Topology& topology_;
  const TransferList& list_;
  ScheduleOptions options_;
  bool keep_rows_ = false;
  // The transfer each index is placed as: its own, or its group's multicast.
  std::vector<const Transfer*> shapes_;
  std::vector<Transfer> merged_;
  std::set<std::size_t> absorbed_;                           // carried by an earlier group member
  std::map<std::size_t, std::vector<std::size_t>> carried_;  // by the group's first member
  std::vector<ScheduledPiece> pieces_;
  std::vector<std::size_t> first_piece_;
  std::vector<std::size_t> first_role_;
  std::vector<std::uint8_t> shared_;
  bool split_ = false;
  std::vector<TileTimeline> timelines_;
  std::vector<RangeClock> reads_;
  std::vector<RangeClock> writes_;
  std::vector<std::int64_t> placed_end_;
  std::vector<std::int64_t> bound_end_;
  std::vector<std::uint32_t> rows_end_;
  std::int64_t horizon_ = 0;
  std::uint64_t lower_bound_ = 0;
  PlannedRows rows_;
  PieceTiming timing_;
  ScheduleResult result_;
};

}  // namespace

std::expected<ScheduleResult, CompileError> run_scheduler(const Topology& topology,
                                                          const ExchangeDescription& description,
                                                          const ScheduleOptions& options,
                                                          bool keep_rows) {
  if (!description.phases.empty() && !description.transfers.empty()) {
    CompileError error;
    error.kind = CompileError::Kind::BothForms;
    error.scheduled = true;
    return std::unexpected(error);
  }
  const TransferList list = list_transfers(description);
  return Scheduler{topology, list, options, keep_rows}.run();
}

}  // namespace meshweave::exchange_detail

namespace meshweave {

std::expected<ExchangeSchedule, CompileError> schedule_exchange(
    const Topology& topology, const ExchangeDescription& description,
    const ScheduleOptions& options) {
  auto result = exchange_detail::run_scheduler(topology, description, options);
  if (!result) return std::unexpected(result.error());
  // The scheduled layout is never longer than the phases'.
  if (result->phase_layout && result->phase_layout->horizon < result->schedule.horizon) {
    return std::move(*result->phase_layout);
  }
  return std::move(result->schedule);
}

}  // namespace meshweave
