#include "piece_rows.hpp"

#include <algorithm>
#include <limits>

#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/plans.hpp"
#include "meshweave/scheduling/plan_event_cycles.hpp"
#include "plans/point_to_point_into.hpp"

namespace meshweave::exchange_detail {

std::uint32_t PieceTiming::first_window() const noexcept {
  std::uint32_t first = sender.event;
  for (const RowTiming& row : receivers) first = std::min(first, row.event);
  return first;
}

std::uint32_t PieceTiming::last_window_end() const noexcept {
  std::uint32_t last = send_end;
  for (const RowTiming& row : receivers) last = std::max(last, row.end);
  return last;
}

std::uint32_t PieceTiming::rows_end() const noexcept {
  std::uint32_t last = sender.end;
  for (const RowTiming& row : receivers) last = std::max(last, row.end);
  return last;
}

CompileError scheduled_error(ExchangeError error, std::optional<std::size_t> transfer,
                             std::optional<std::uint16_t> tile) {
  CompileError located;
  located.error = error;
  located.transfer = transfer;
  located.tile = tile;
  located.scheduled = true;
  return located;
}

// The planners and the row patching leave only zeros after a row's return
// word, so the sum may stop there.
std::uint32_t cycles_before_send(const PlanRow& row) noexcept {
  std::uint32_t cycles = 0;
  for (const std::uint32_t word : row) {
    if (send_word::kind.matches(word)) break;
    cycles += instruction_advance(word);
  }
  return cycles;
}

namespace {

// Cycles up to the end of the row's first XPIC: the arrival.
std::uint32_t cycles_to_arrival(const PlanRow& row) noexcept {
  std::uint32_t cycles = 0;
  for (const std::uint32_t word : row) {
    cycles += instruction_advance(word);
    if (xpic_word::kind.matches(word)) break;
  }
  return cycles;
}

// `address` moved by `word_offset` words; an address that leaves 32 bits is
// reported as it was given.
std::uint32_t moved(std::uint32_t address, std::uint32_t word_offset, bool& overflow) noexcept {
  const std::uint64_t result = std::uint64_t{address} + 4 * std::uint64_t{word_offset};
  if (result > std::numeric_limits<std::uint32_t>::max()) {
    overflow = true;
    return address;
  }
  return static_cast<std::uint32_t>(result);
}

}  // namespace

std::expected<void, CompileError> plan_piece(const Topology& topology, const TransferView& transfer,
                                             std::uint32_t word_offset, std::uint32_t count,
                                             std::size_t index, PlannedRows& rows) {
  const auto fail = [&](ExchangeError error, std::optional<std::uint16_t> tile = std::nullopt) {
    return std::unexpected(scheduled_error(error, index, tile));
  };
  if (transfer.multicast) {
    if (!destination_count_fits(transfer.destination_addresses.size(), transfer.receivers.size())) {
      CompileError error = scheduled_error(ExchangeError::receiver_set(), index);
      error.kind = CompileError::Kind::DestinationCount;
      return std::unexpected(error);
    }
    auto plan = topology.multicast(transfer.sender, transfer.receivers, count, 0);
    if (!plan) return fail(plan.error());
    rows.multicast = true;
    rows.group = std::move(*plan);
  } else {
    rows.multicast = false;
    if (const Status plan = point_to_point_into(topology, transfer.sender, transfer.receivers[0],
                                                count, rows.point);
        !plan) {
      return fail(plan.error());
    }
  }
  rows.sender_physical = topology.physical(transfer.sender).value();
  bool overflow = false;
  const std::uint32_t source = moved(transfer.source_address, word_offset, overflow);
  if (overflow) return fail(ExchangeError::address(source), transfer.sender);
  if (auto patched = patch_sender_address(rows.sender(), source); !patched) {
    return fail(patched.error(), transfer.sender);
  }
  const std::span<PlanRow> receivers = rows.receivers();
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    PlanRow& row = receivers[i];
    if (!transfer.multicast) {
      auto finalized = finalize_point_receiver(row, rows.sender_physical);
      if (!finalized) return fail(finalized.error(), transfer.receivers[i]);
      row = *finalized;
    }
    const std::uint32_t destination = moved(transfer.destination(i), word_offset, overflow);
    if (overflow) return fail(ExchangeError::address(destination), transfer.receivers[i]);
    if (auto patched = patch_receiver_address(row, destination); !patched) {
      return fail(patched.error(), transfer.receivers[i]);
    }
  }
  return {};
}

void time_piece(const PlannedRows& rows, std::uint32_t count, PieceTiming& timing) {
  time_rows(rows.sender(), rows.receivers(), count, timing);
}

void time_rows(const PlanRow& sender, std::span<const PlanRow> receivers, std::uint32_t count,
               PieceTiming& timing) {
  timing.sender.event = cycles_before_send(sender);
  timing.sender.end = plan_row_cycles(sender);
  timing.send_end = timing.sender.event + count;
  timing.receivers.resize(receivers.size());
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    timing.receivers[i] = RowTiming{cycles_to_arrival(receivers[i]), plan_row_cycles(receivers[i])};
  }
}

}  // namespace meshweave::exchange_detail
