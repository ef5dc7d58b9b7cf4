// Estimating an exchange without building its programs.
//
// The horizon is the one compiling gives: the schedule's for the transfers
// form, the phase layout's for the phase form (which compiles phase by phase).
// Word counts come from the same builders, emptied after every row.
//
// The lower bound holds for every correct schedule of the same transfers
// as the scheduler places them (after splitting and merging into multicasts),
// since each of its two terms does:
// - per tile: the tile's rows occupy disjoint spans [event, end], each
//   starting at least one cycle after the one before ends (the builder's rule),
//   and the first can start no earlier than the smallest event offset of its
//   rows; so the last row ends at or after that offset plus the spans' lengths
//   plus one cycle per gap;
// - per dependency chain: placing every transfer at the earliest start its
//   dependencies allow, ignoring the tiles, gives starts no correct schedule
//   can undercut (by induction along program order), and each transfer's rows
//   end after that start plus their length.
#include <algorithm>
#include <limits>

#include "meshweave/exchange/schedule.hpp"
#include "schedule_compiler.hpp"
#include "scheduler.hpp"
#include "transfer_order.hpp"

namespace meshweave {

std::expected<ExchangeEstimate, CompileError> estimate_exchange(
    const Topology& topology, const ExchangeDescription& description, const CompileOptions& options,
    const ScheduleOptions& schedule_options) {
  if (auto form = check_form(description); !form) return std::unexpected(form.error());
  const bool phase_form = !description.phases.empty();
  ScheduleOptions scheduling = schedule_options;
  // The phase compiler never splits; a long transfer is refused there.
  if (phase_form) scheduling.split_long_transfers = false;
  auto result = exchange_detail::run_scheduler(topology, description, scheduling, true);
  if (!result) return std::unexpected(result.error());
  if (phase_form && !result->phase_layout) {
    // The phase compiler refuses this form; let it say why.
    auto compiled = compile_exchange(topology, description, options);
    if (!compiled) return std::unexpected(compiled.error());
  }
  const ExchangeSchedule& schedule =
      phase_form && result->phase_layout ? *result->phase_layout : result->schedule;
  const exchange_detail::TransferList list = exchange_detail::list_transfers(description);
  std::vector<std::size_t> words;
  auto counted = exchange_detail::compile_schedule(topology, list, schedule, options, &words,
                                                   &result->planned);
  if (!counted) return std::unexpected(counted.error());

  ExchangeEstimate estimate;
  estimate.horizon = schedule.horizon;
  estimate.lower_bound = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(result->lower_bound, std::numeric_limits<std::uint32_t>::max()));
  for (std::size_t logical = 0; logical < words.size(); ++logical) {
    if (words[logical] == 0) continue;
    const exchange_detail::TileLoad& load = result->tiles[logical];
    estimate.tiles.push_back(TileEstimate{static_cast<std::uint16_t>(logical),
                                          static_cast<std::uint32_t>(load.busy), words[logical]});
  }
  return estimate;
}

}  // namespace meshweave
