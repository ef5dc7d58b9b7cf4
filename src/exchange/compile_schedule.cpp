// Programs from a schedule: the same road as the phase compiler (plan at
// offset 0, patch, finalize, shift with offset_plan, one builder per tile,
// one common horizon), with rows appended to each tile's builder in start
// order. Rows of one tile may start before the stream's horizon (their waiting
// overlaps the rows before), which offset_plan cannot express once the shift
// outgrows its DELAY words; the builder is therefore shown the horizon only
// relative to the row: a row starting `d` cycles before the horizon is appended
// unshifted to a builder showing `d` occupied cycles, and a row starting later
// is shifted by the gap plus one over a builder showing one occupied cycle.
// Either way the builder cuts and checks exactly the words it would for the row
// shifted to its absolute start.
#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

#include "meshweave/plans.hpp"
#include "meshweave/scheduling.hpp"
#include "multicast_merge.hpp"
#include "piece_rows.hpp"
#include "schedule_compiler.hpp"

namespace meshweave::exchange_detail {

namespace {

constexpr std::string_view unknown_transfer = "scheduled transfer unknown";
constexpr std::string_view unmergeable = "merged transfers differ in sender, source or count";

// Whether the transfers a piece carries can travel as one multicast: whole,
// point-to-point, and of one sender, source address and count.
bool mergeable(const TransferList& list, const ScheduledPiece& piece) {
  const auto* first = std::get_if<PointToPointTransfer>(list.transfers[piece.transfer]);
  if (first == nullptr || piece.word_offset != 0 || piece.count != first->count) return false;
  return std::all_of(piece.merged.begin(), piece.merged.end(), [&](std::size_t index) {
    const auto* other = std::get_if<PointToPointTransfer>(list.transfers[index]);
    return other != nullptr && other->sender == first->sender &&
           other->source_address == first->source_address && other->count == first->count;
  });
}

// Appends `row`, planned at offset 0, so that it starts at absolute cycle `start`.
Status append_at(PlanProgramBuilder& builder, PlanRow row, std::uint32_t start) {
  std::uint32_t horizon = builder.event_cycles;
  if (horizon == 0 && start <= row_patch::max_delay_cycles) {
    if (auto shifted = offset_plan(row, start); !shifted) return shifted;
    return builder.append_scheduled_row(row);
  }
  // Long idle stretches are padded first, so the shift fits the row's room.
  while (start > horizon && start - horizon > row_patch::max_delay_cycles) {
    builder.words.push_back(delay(row_patch::max_delay_cycles - 1));
    horizon += row_patch::max_delay_cycles;
    builder.event_cycles = horizon;
  }
  const std::uint32_t shown = start < horizon ? horizon - start : 1;
  const std::uint32_t shift = start < horizon ? 0 : start - horizon + 1;
  if (auto shifted = offset_plan(row, shift); !shifted) return shifted;
  builder.event_cycles = shown;
  const Status appended = builder.append_scheduled_row(row);
  builder.event_cycles = appended ? horizon + (builder.event_cycles - shown) : horizon;
  return appended;
}

}  // namespace

std::expected<CompiledExchange, CompileError> compile_schedule(
    const Topology& topology, const TransferList& list, const ExchangeSchedule& schedule,
    const CompileOptions& options, std::vector<std::size_t>* word_counts,
    const PlannedPieces* planned) {
  const auto& pieces = schedule.pieces;
  if (planned != nullptr && planned->first_role.size() != pieces.size() + 1) planned = nullptr;
  // Where each piece's timings go (one per transfer it carries) and where their
  // arrival cycles go (one per receiver), both in program order.
  std::vector<std::size_t> first_timing(pieces.size() + 1, 0);
  std::vector<std::size_t> first_arrival(pieces.size() + 1, 0);
  bool merged = false;
  for (std::size_t index = 0; index < pieces.size(); ++index) {
    const ScheduledPiece& piece = pieces[index];
    for (std::size_t k = 0; k <= piece.merged.size(); ++k) {
      const std::size_t transfer = k == 0 ? piece.transfer : piece.merged[k - 1];
      if (transfer >= list.size()) {
        return std::unexpected(
            scheduled_error(ExchangeError::schedule(unknown_transfer), transfer));
      }
    }
    if (!piece.merged.empty()) {
      merged = true;
      if (!mergeable(list, piece)) {
        return std::unexpected(
            scheduled_error(ExchangeError::schedule(unmergeable), piece.transfer));
      }
    }
    first_timing[index + 1] = first_timing[index] + 1 + piece.merged.size();
    // A merged multicast's transfers are point-to-point: one arrival each.
    const std::size_t arrivals = piece.merged.empty()
                                     ? view(*list.transfers[piece.transfer]).receivers.size()
                                     : 1 + piece.merged.size();
    first_arrival[index + 1] = first_arrival[index] + arrivals;
  }
  // Start order (program order among equal starts), sorted without indirection.
  std::vector<std::pair<std::uint32_t, std::size_t>> by_start(pieces.size());
  for (std::size_t index = 0; index < pieces.size(); ++index) {
    by_start[index] = {pieces[index].start, index};
  }
  std::sort(by_start.begin(), by_start.end());

  const std::size_t tiles = std::min<std::size_t>(topology.tile_count(), std::size_t{1} << 16);
  std::vector<std::optional<PlanProgramBuilder>> builders(topology.tile_count());
  if (word_counts != nullptr) word_counts->assign(tiles, 0);
  CompiledExchange result;
  result.horizon = schedule.horizon;
  result.timings.resize(first_timing.back());
  result.arrival_cycles.resize(first_arrival.back());
  PlannedRows rows;
  PieceTiming timing;
  std::vector<std::size_t> group;
  Transfer multicast;
  const auto append = [&](std::uint16_t tile, const PlanRow& row, std::uint32_t start,
                          std::size_t transfer) -> std::expected<void, CompileError> {
    auto& builder = builders[tile];
    if (!builder) builder.emplace();
    if (auto appended = append_at(*builder, row, start); !appended) {
      return std::unexpected(scheduled_error(appended.error(), transfer, tile));
    }
    if (word_counts != nullptr) {
      (*word_counts)[tile] += builder->words.size() - 1;
      builder->words.resize(1);
    }
    return {};
  };
  for (const auto& [piece_start, index] : by_start) {
    const ScheduledPiece& piece = pieces[index];
    if (!piece.merged.empty()) {
      group.assign(1, piece.transfer);
      group.insert(group.end(), piece.merged.begin(), piece.merged.end());
      multicast = merged_multicast(list, group);
    }
    const TransferView transfer =
        view(piece.merged.empty() ? *list.transfers[piece.transfer] : multicast);
    const PlanRow* sender_row = nullptr;
    std::span<const PlanRow> receivers;
    if (planned != nullptr) {
      const PlanRow* first = planned->rows.data() + planned->first_role[index];
      sender_row = first;
      receivers = {first + 1,
                   first + (planned->first_role[index + 1] - planned->first_role[index])};
    } else {
      if (auto plan =
              plan_piece(topology, transfer, piece.word_offset, piece.count, piece.transfer, rows);
          !plan) {
        return std::unexpected(plan.error());
      }
      sender_row = &rows.sender();
      receivers = rows.receivers();
    }
    time_rows(*sender_row, receivers, piece.count, timing);
    if (piece.merged.empty()) {
      TransferTiming& record = result.timings[first_timing[index]];
      record.transfer = piece.transfer;
      record.phase_start = piece.start;
      record.start = piece.start;
      record.word_offset = piece.word_offset;
      record.count = piece.count;
      record.send_cycle = piece.start + timing.sender.event;
      record.first_arrival = first_arrival[index];
      record.arrivals = static_cast<std::uint32_t>(first_arrival[index + 1] - first_arrival[index]);
      // The planners give one row per receiver; a shorter list leaves the rest 0.
      const std::size_t timed = std::min<std::size_t>(record.arrivals, timing.receivers.size());
      for (std::size_t r = 0; r < timed; ++r) {
        result.arrival_cycles[record.first_arrival + r] = piece.start + timing.receivers[r].event;
      }
    } else {
      // Each transfer a multicast carries keeps its own timing.
      for (std::size_t k = 0; k < group.size(); ++k) {
        TransferTiming& record = result.timings[first_timing[index] + k];
        record.transfer = group[k];
        record.phase_start = piece.start;
        record.start = piece.start;
        record.word_offset = piece.word_offset;
        record.count = piece.count;
        record.send_cycle = piece.start + timing.sender.event;
        record.first_arrival = first_arrival[index] + k;
        record.arrivals = 1;
        result.arrival_cycles[record.first_arrival] = piece.start + timing.receivers[k].event;
      }
    }
    if (auto ok = append(transfer.sender, *sender_row, piece.start, piece.transfer); !ok) {
      return std::unexpected(ok.error());
    }
    for (std::size_t i = 0; i < receivers.size(); ++i) {
      if (auto ok = append(transfer.receivers[i], receivers[i], piece.start, piece.transfer); !ok) {
        return std::unexpected(ok.error());
      }
    }
  }
  if (merged) {  // back to program order
    // A transfer's pieces keep word order (a merged transfer is one piece).
    std::sort(result.timings.begin(), result.timings.end(),
              [](const TransferTiming& a, const TransferTiming& b) {
                return a.transfer != b.transfer ? a.transfer < b.transfer
                                                : a.word_offset < b.word_offset;
              });
  }
  for (std::size_t logical = 0; logical < tiles; ++logical) {
    auto& builder = builders[logical];
    if (!builder && !options.idle_programs) continue;
    const auto tile = static_cast<std::uint16_t>(logical);
    if (!builder) builder.emplace();
    auto words = std::move(*builder).finish(schedule.horizon);
    if (!words) return std::unexpected(scheduled_error(words.error(), std::nullopt, tile));
    if (word_counts != nullptr) {
      (*word_counts)[logical] += words->size();
      continue;
    }
    result.programs.push_back(
        TileProgram{tile, topology.physical(tile).value(), std::move(*words)});
  }
  return result;
}

}  // namespace meshweave::exchange_detail

namespace meshweave {

std::expected<CompiledExchange, CompileError> compile_exchange(
    const Topology& topology, const ExchangeDescription& description,
    const ExchangeSchedule& schedule, const CompileOptions& options) {
  if (!description.phases.empty() && !description.transfers.empty()) {
    CompileError error;
    error.kind = CompileError::Kind::BothForms;
    error.scheduled = true;
    return std::unexpected(error);
  }
  const exchange_detail::TransferList list = exchange_detail::list_transfers(description);
  return exchange_detail::compile_schedule(topology, list, schedule, options, nullptr);
}

}  // namespace meshweave
