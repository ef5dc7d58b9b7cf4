#pragma once

// The rows of one scheduled piece, planned at offset 0 and patched, and where
// their exchange events lie relative to the rows' start. Shared by the
// scheduler, the compiler of schedules, the estimate and the verifier, so that
// all of them time a transfer the same way.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <vector>

#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/description.hpp"
#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/plans/plan.hpp"
#include "meshweave/topology/topology.hpp"

namespace meshweave::exchange_detail {

// The most words one SEND and its continuation carry.
inline constexpr std::uint32_t max_piece_words = MAX_TRANSFER_WORDS;

// A transfer's rows as planned: a point-to-point transfer is planned straight
// into `point` and its receiver row finalized there, so that planning one
// allocates and copies nothing; a multicast keeps its planner's plan.
struct PlannedRows {
  // The rows are left unset: the planners write every word of the rows in use,
  // and clearing them first would be a block clear per transfer.
  PlannedRows() noexcept {}

  std::uint16_t sender_physical = 0;
  bool multicast = false;
  Plan point;           // rows of a point-to-point transfer
  MulticastPlan group;  // rows of a multicast

  PlanRow& sender() noexcept { return multicast ? group.sender : point.sender; }
  const PlanRow& sender() const noexcept { return multicast ? group.sender : point.sender; }
  std::span<PlanRow> receivers() noexcept {
    return multicast ? std::span<PlanRow>{group.receivers} : std::span<PlanRow>{&point.receiver, 1};
  }
  std::span<const PlanRow> receivers() const noexcept {
    return multicast ? std::span<const PlanRow>{group.receivers}
                     : std::span<const PlanRow>{&point.receiver, 1};
  }
};

// A row's first exchange event (SEND start, or the end of a receiver's first
// XPIC: its arrival) and its end, in cycles from the row's start.
struct RowTiming {
  std::uint32_t event = 0;
  std::uint32_t end = 0;
};

struct PieceTiming {
  RowTiming sender;
  std::uint32_t send_end = 0;  // end of the last SEND word
  std::vector<RowTiming> receivers;

  // Earliest window start and latest window end, from the rows' start.
  std::uint32_t first_window() const noexcept;
  std::uint32_t last_window_end() const noexcept;
  std::uint32_t rows_end() const noexcept;
};

// Plans `count` words of `transfer` from `word_offset` on (its buffers moved by
// 4 * word_offset bytes), patches the addresses and finalizes the receivers.
// Errors carry `index` as their transfer.
std::expected<void, CompileError> plan_piece(const Topology& topology, const TransferView& transfer,
                                             std::uint32_t word_offset, std::uint32_t count,
                                             std::size_t index, PlannedRows& rows);

void time_piece(const PlannedRows& rows, std::uint32_t count, PieceTiming& timing);
void time_rows(const PlanRow& sender, std::span<const PlanRow> receivers, std::uint32_t count,
               PieceTiming& timing);

// Cycles of a planned row before its SEND word.
std::uint32_t cycles_before_send(const PlanRow& row) noexcept;

// A located error of the transfers form.
CompileError scheduled_error(ExchangeError error, std::optional<std::size_t> transfer,
                             std::optional<std::uint16_t> tile = std::nullopt);

}  // namespace meshweave::exchange_detail
