#pragma once

// The scheduler behind schedule_exchange and estimate_exchange.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <vector>

#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/description.hpp"
#include "meshweave/exchange/schedule.hpp"
#include "meshweave/topology/topology.hpp"

namespace meshweave::exchange_detail {

// What a tile's rows demand of any schedule: the earliest their first event
// can lie after a row's start, and the cycles their occupied spans cover.
struct TileLoad {
  std::uint32_t rows = 0;
  std::uint64_t earliest_event = 0;
  std::uint64_t busy = 0;
};

struct ScheduleResult {
  ExchangeSchedule schedule;
  // The phases' own layout, when the description is a phase form that the
  // phase compiler accepts.
  std::optional<ExchangeSchedule> phase_layout;
  std::uint64_t lower_bound = 0;
  std::vector<TileLoad> tiles;  // by logical tile
};

// Schedules `description`; a phase form is placed with its barriers dropped,
// and its phase layout is kept alongside.
std::expected<ScheduleResult, CompileError> run_scheduler(const Topology& topology,
                                                          const ExchangeDescription& description,
                                                          const ScheduleOptions& options);

}  // namespace meshweave::exchange_detail
