#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <limits>
#include <utility>
#include <span>
#include <vector>

#include "../events/plan_events.hpp"
#include "meshweave/plans/plan_rows.hpp"
#include "meshweave/topology/topology.hpp"
#include "point_to_point_into.hpp"
#include "tile_set.hpp"

namespace meshweave {

namespace {

// Earliest and latest arrival of the sender's data over all receivers.
struct MuxSpan {
  std::int32_t earliest = std::numeric_limits<std::int32_t>::max();
  std::int32_t latest = std::numeric_limits<std::int32_t>::min();
  std::uint32_t farthest_physical = 0;  // the receiver on the highest card row
};

// Routes from one sender, timed. A route's time depends on the receiver's low
// six bits (lane, group, half) and falls by two cycles per card row, so for many
// receivers one table of the 64 low-bit patterns on row 0 replaces working out
// every route; for a few, building the table would cost more than it saves.
class RouteTimes {
 public:
  RouteTimes(std::uint32_t source_physical, std::size_t receivers) noexcept
      : source_(source_physical), tabled_(receivers >= table_threshold) {
    if (tabled_) {
      for (std::uint32_t low = 0; low < low_patterns; ++low) {
        on_row_zero_[low] = time_to_mux(source_physical, low);
      }
    }
  }

  std::int32_t operator()(std::uint32_t destination) const noexcept {
    if (!tabled_) return time_to_mux(source_, destination);
    return on_row_zero_[destination % low_patterns] -
           2 * static_cast<std::int32_t>(route::Row::get(destination));
  }

 private:
  static constexpr std::uint32_t low_patterns = 64;
  static constexpr std::size_t table_threshold = 64;

  std::uint32_t source_;
  bool tabled_;
  std::array<std::int32_t, low_patterns> on_row_zero_{};
};

static_assert(route::Row::low == 6, "the table covers exactly the bits below the card row");

// Where a receiver row differs from receiver to receiver: the arrival cycle in
// the first XPIC's wait, and the card row's phase in the PIC's wait. Every other
// word depends only on the sender and the count, so rows start as one template.
struct ReceiverRowShape {
  PlanRow row;
  std::size_t pic_index;
};

ReceiverRowShape receiver_row_shape(std::uint32_t source_physical, std::uint32_t count) noexcept {
  const PlanRow row = plan_rows::multicast_receiver_row(0, 0, source_physical, count);
  const auto* const pic = std::ranges::find_if(
      row, [](std::uint32_t word) { return pic_word::kind.matches(word); });
  return {row, static_cast<std::size_t>(pic - row.begin())};
}

constexpr std::uint32_t arrival_unit = std::uint32_t{1} << xpic_word::Wait::low;
constexpr std::uint32_t phase_unit = std::uint32_t{1} << pic_word::Wait::low;

}  // namespace

Explained<MulticastPlan> explained::multicast(const Topology& topology,
                                             std::uint16_t sender_logical,
                                             std::span<const std::uint16_t> receiver_logical,
                                             std::uint32_t count, std::uint32_t schedule_offset) {
  if (const ExplainedStatus valid = plan_rows::check_count(count); !valid) {
    return std::unexpected(valid.error());
  }
  const Result<std::uint16_t> source = topology.physical(sender_logical);
  if (!source) {
    return std::unexpected(
        tile_refusal(topology, source.error(), RefusedArgument::sender, sender_logical));
  }
  const std::uint32_t source_physical = *source;
  const std::span<const std::uint16_t> logical_to_physical = topology.logical_to_physical();
  const std::size_t tile_count = logical_to_physical.size();

  // One pass checks the receiver set and times every route. A receiver outside
  // the table is a bad set, not a bad tile: the sender alone reports Tile.
  const ExchangeError bad_set = ExchangeError::receiver_set();
  if (receiver_logical.empty()) {
    return refuse(bad_set, Reason::no_receivers, RefusedArgument::receiver);
  }
  TileSet used{tile_count};
  used.insert(sender_logical);
  MuxSpan mux;
  const RouteTimes route_time{source_physical, receiver_logical.size()};
  const ReceiverRowShape shape = receiver_row_shape(source_physical, count);
  // The rows are written during the checks, each with its route's time in place
  // of the arrival cycle (wrapping when negative), and moved to the start once it
  // is known. Only receivers that passed the set check get a row, and at most
  // tile_count - 1 can: a longer list never needs more room than that.
  std::vector<PlanRow> rows;
  rows.reserve(std::min(receiver_logical.size(), tile_count));
  for (const std::uint16_t receiver : receiver_logical) {
    if (receiver >= tile_count) {
      return std::unexpected(tile_refusal(topology, bad_set, RefusedArgument::receiver, receiver));
    }
    if (!used.insert(receiver)) {
      return refuse(bad_set,
                    receiver == sender_logical ? Reason::receiver_is_sender
                                               : Reason::receiver_repeated,
                    RefusedArgument::receiver, receiver);
    }
    const std::uint32_t receiver_physical = logical_to_physical[receiver];
    const std::int32_t mux_time = route_time(receiver_physical);
    mux.earliest = std::min(mux.earliest, mux_time);
    mux.latest = std::max(mux.latest, mux_time);
    mux.farthest_physical = std::max(mux.farthest_physical, receiver_physical);
    PlanRow& row = rows.emplace_back(shape.row);
    row[1] += static_cast<std::uint32_t>(mux_time) * arrival_unit;
    row[shape.pic_index] += plan_rows::receiver_phase(receiver_physical) * phase_unit;
  }

  // Start as early as no receiver has to receive before cycle 0, then later by the offset.
  const std::uint32_t natural_start =
      mux.earliest < 0 ? static_cast<std::uint32_t>(-static_cast<std::int64_t>(mux.earliest)) : 0;
  if (natural_start > plan_rows::multicast_latest_cycle ||
      schedule_offset > plan_rows::multicast_latest_cycle - natural_start) {
    return refuse(ExchangeError::schedule(schedule_message::multicast_start_cycle),
                  Reason::multicast_start_late, RefusedArgument::schedule_offset, schedule_offset,
                  natural_start);
  }
  const std::uint32_t start_cycle = natural_start + schedule_offset;
  // The latest receiver decides.
  if (const std::int64_t latest_receive = std::int64_t{start_cycle} + mux.latest;
      latest_receive > plan_rows::multicast_latest_cycle) {
    return refuse(ExchangeError::schedule(schedule_message::multicast_receive_cycle),
                  Reason::multicast_receive_late, RefusedArgument::schedule_offset,
                  schedule_offset, static_cast<std::uint32_t>(latest_receive));
  }
  // Only caller tables can fail these: the sender must fit the receivers' XPIC
  // tile selector and the farthest receiver row its PIC wait.
  if (!xpic_word::Selector::fits(source_physical)) {
    return refuse(ExchangeError::schedule(schedule_message::multicast_sender_tile),
                  Reason::multicast_sender_tile, RefusedArgument::sender, source_physical);
  }
  if (const ExplainedStatus phase = plan_rows::check_receiver_phase(mux.farthest_physical);
      !phase) {
    return std::unexpected(phase.error());
  }

  const std::uint32_t send_direction =
      receiver_logical.size() == 1
          ? direction(source_physical, logical_to_physical[receiver_logical.front()])
          : plan_rows::both_directions;
  const Result<PlanRow> sender =
      plan_rows::sender_row(static_cast<std::int32_t>(start_cycle) - 1, send_direction,
                            plan_rows::both_directions, count);
  if (!sender) return refuse(sender.error());

  // Arrival = route time + start: never negative, since the start is at least
  // the earliest route's lead.
  const std::uint32_t start_arrival = start_cycle * arrival_unit;
  for (PlanRow& row : rows) row[1] += start_arrival;
  MulticastPlan plan{*sender, std::move(rows)};

  if (plan_events::wanted()) {
    plan_events::emit_multicast(sender_logical, receiver_logical, count, schedule_offset);
  }
  return plan;
}

Result<MulticastPlan> Topology::multicast(std::uint16_t sender_logical,
                                          std::span<const std::uint16_t> receiver_logical,
                                          std::uint32_t count, std::uint32_t schedule_offset) const {
  return without_reason(
      explained::multicast(*this, sender_logical, receiver_logical, count, schedule_offset));
}

}  // namespace meshweave
