#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "events/plan_events.hpp"
#include "plan_rows.hpp"
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

// Each receiver's time to the mux, from the timing pass, so that the row pass
// need not work the route out again. Small receiver sets keep them on the stack.
class MuxTimes {
 public:
  explicit MuxTimes(std::size_t receivers) {
    if (receivers <= inline_receivers) {
      times_ = std::span{inline_times_}.first(receivers);
    } else {
      // Every time is written before it is read: no need to clear the buffer.
      heap_times_ = std::make_unique_for_overwrite<std::int32_t[]>(receivers);
      times_ = std::span{heap_times_.get(), receivers};
    }
  }
  MuxTimes(const MuxTimes&) = delete;
  MuxTimes& operator=(const MuxTimes&) = delete;

  std::int32_t& operator[](std::size_t receiver) noexcept { return times_[receiver]; }

 private:
  static constexpr std::size_t inline_receivers = 64;

  std::array<std::int32_t, inline_receivers> inline_times_{};
  std::unique_ptr<std::int32_t[]> heap_times_;
  std::span<std::int32_t> times_;
};

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
  // Only receivers that passed the set check get a time, and at most
  // tile_count - 1 can: a longer list never needs more room than that.
  MuxTimes mux_times{std::min(receiver_logical.size(), tile_count)};
  for (std::size_t index = 0; index < receiver_logical.size(); ++index) {
    const std::uint16_t receiver = receiver_logical[index];
    if (receiver >= tile_count) {
      return std::unexpected(tile_refusal(topology, bad_set, RefusedArgument::receiver, receiver));
    }
    if (!used.insert(receiver)) {
      return refuse(bad_set,
                    receiver == sender_logical ? Reason::receiver_is_sender
                                               : Reason::receiver_repeated,
                    RefusedArgument::receiver, receiver);
    }
    const std::int32_t mux_time = time_to_mux(source_physical, logical_to_physical[receiver]);
    mux_times[index] = mux_time;
    mux.earliest = std::min(mux.earliest, mux_time);
    mux.latest = std::max(mux.latest, mux_time);
    mux.farthest_physical =
        std::max<std::uint32_t>(mux.farthest_physical, logical_to_physical[receiver]);
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
  // The latest receiver decides; checked before any row is built.
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

  MulticastPlan plan{*sender, {}};
  plan.receivers.reserve(receiver_logical.size());
  for (std::size_t index = 0; index < receiver_logical.size(); ++index) {
    const std::uint32_t receiver_physical = logical_to_physical[receiver_logical[index]];
    // Never negative: the start is at least the earliest route's lead.
    const auto receive_cycle =
        static_cast<std::uint32_t>(static_cast<std::int32_t>(start_cycle) + mux_times[index]);
    plan_rows::write_multicast_receiver_row(plan.receivers.emplace_back(), receive_cycle,
                                            receiver_physical, source_physical, count);
  }

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
