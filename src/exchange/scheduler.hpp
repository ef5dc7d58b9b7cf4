#pragma once

// The scheduler behind schedule_exchange and estimate_exchange.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <vector>

#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/description.hpp"
#include "meshweave/exchange/schedule.hpp"
#include "meshweave/plans/plan.hpp"
#include "meshweave/topology/topology.hpp"

namespace meshweave::exchange_detail {

// What a tile's rows demand of any schedule: the earliest their first event
// can lie after a row's start, and the cycles their occupied spans cover.
struct TileLoad {
  std::uint32_t rows = 0;
  std::uint64_t earliest_event = 0;
  std::uint64_t busy = 0;
};

// The rows the scheduler planned, patched and at offset 0: one per role, the
// sender's first, then each receiver's; piece p's roles are
// [first_role[p], first_role[p + 1]). Rows do not depend on where a piece
// starts, so compiling the schedule needs not plan them again.
struct PlannedPieces {
  std::vector<PlanRow> rows;
  std::vector<std::size_t> first_role;
};

struct ScheduleResult {
  ExchangeSchedule schedule;
  // The phases' own layout, when the description is a phase form that the
  // phase compiler accepts.
  std::optional<ExchangeSchedule> phase_layout;
  std::uint64_t lower_bound = 0;
  std::vector<TileLoad> tiles;  // by logical tile
  PlannedPieces planned;        // empty unless asked for
};

// Schedules `description`; a phase form is placed with its barriers dropped,
// and its phase layout is kept alongside. With `keep_rows`, the planned rows
// of every piece are returned too.
std::expected<ScheduleResult, CompileError> run_scheduler(const Topology& topology,
                                                          const ExchangeDescription& description,
                                                          const ScheduleOptions& options,
                                                          bool keep_rows = false);

}  // namespace meshweave::exchange_detail
