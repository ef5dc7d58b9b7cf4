#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <iterator>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "events/plan_events.hpp"
#include "meshweave/topology/topology.hpp"
#include "plan_rows.hpp"
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
class TabledRouteTimes {
 public:
  explicit TabledRouteTimes(std::uint32_t source_physical) noexcept {
    for (std::uint32_t low = 0; low < low_patterns; ++low) {
      on_row_zero_[low] = time_to_mux(source_physical, low);
    }
  }

  std::int32_t operator()(std::uint32_t destination) const noexcept {
    return on_row_zero_[destination % low_patterns] -
           2 * static_cast<std::int32_t>(route::Row::get(destination));
  }

  // Fewer receivers than this are timed route by route.
  static constexpr std::size_t worthwhile = 64;

 private:
  static constexpr std::uint32_t low_patterns = 64;

  std::array<std::int32_t, low_patterns> on_row_zero_{};
};

class DirectRouteTimes {
 public:
  explicit DirectRouteTimes(std::uint32_t source_physical) noexcept : source_(source_physical) {}

  std::int32_t operator()(std::uint32_t destination) const noexcept {
    return time_to_mux(source_, destination);
  }

 private:
  std::uint32_t source_;
};

static_assert(route::Row::low == 6, "the table covers exactly the bits below the card row");

// Where a receiver row differs from receiver to receiver: the arrival cycle in
// the first XPIC's wait, and the card row's phase in the PIC's wait. Every other
// word depends only on the sender and the count, so rows start as one template.
// The PIC follows the first XPIC, except after the mux-release XPIC of a short
// transfer of more than one word.
constexpr std::size_t short_pic_index = 3;
constexpr std::size_t pic_index(std::uint32_t count) noexcept {
  return count != 1 && count <= plan_rows::short_receive_max ? short_pic_index
                                                             : short_pic_index - 1;
}
static_assert([] {
  for (const std::uint32_t count : {1u, 2u, 51u, 52u, 53u, MAX_TRANSFER_WORDS}) {
    PlanRow row{};
    plan_rows::write_multicast_receiver_row(row, 0, 0, 0, count);
    if (!pic_word::kind.matches(row[pic_index(count)])) {
      return false;
    }
  }
  return true;
}());

constexpr std::uint32_t arrival_unit = std::uint32_t{1} << xpic_word::Wait::low;
constexpr std::uint32_t phase_unit = std::uint32_t{1} << pic_word::Wait::low;

// What the checking pass leaves for each receiver's row: the additions to the
// template's first XPIC (the route's time, wrapping when negative; the start
// comes later) and to its PIC (the card row's phase), so that writing the rows
// needs neither the route nor the tile table again.
struct RowPatch {
  std::uint32_t arrival;
  std::uint32_t phase;
};

// One per receiver; small receiver sets keep them on the stack.
class RowPatches {
 public:
  explicit RowPatches(std::size_t receivers) {
    if (receivers <= inline_receivers) {
      patches_ = inline_patches_.data();
    } else {
      // Every patch is written before it is read: no need to clear the buffer.
      heap_patches_ = std::make_unique_for_overwrite<RowPatch[]>(receivers);
      patches_ = heap_patches_.get();
    }
  }
  RowPatches(const RowPatches&) = delete;
  RowPatches& operator=(const RowPatches&) = delete;

  RowPatch* data() noexcept { return patches_; }

 private:
  static constexpr std::size_t inline_receivers = 64;

  std::array<RowPatch, inline_receivers> inline_patches_;
  std::unique_ptr<RowPatch[]> heap_patches_;
  RowPatch* patches_;
};

// One pass checks the receiver set and times every route. A receiver outside
// the table is a bad set, not a bad tile: the sender alone reports Tile. Only
// receivers that passed the set check get a patch, and at most tile_count - 1
// can, so `patches` needs no more room than that.
template <class RouteTimes>
ExplainedStatus check_receivers(const Topology& topology, std::uint16_t sender_logical,
                                std::span<const std::uint16_t> receiver_logical,
                                const RouteTimes& route_time, RowPatch* patches, MuxSpan& mux) {
  const std::span<const std::uint16_t> logical_to_physical = topology.logical_to_physical();
  const std::size_t tile_count = logical_to_physical.size();
  const ExchangeError bad_set = ExchangeError::receiver_set();
  TileSet set{tile_count};
  const TileSetView used = set.view();
  used.insert(sender_logical);
  // Locals rather than `mux` itself, so that they can stay in registers.
  std::int32_t earliest = mux.earliest;
  std::int32_t latest = mux.latest;
  std::uint32_t farthest_physical = mux.farthest_physical;
  for (const std::uint16_t receiver : receiver_logical) {
    if (receiver >= tile_count) {
      return std::unexpected(tile_refusal(topology, bad_set, RefusedArgument::receiver, receiver));
    }
    if (!used.insert(receiver)) {
      return refuse(
          bad_set,
          receiver == sender_logical ? Reason::receiver_is_sender : Reason::receiver_repeated,
          RefusedArgument::receiver, receiver);
    }
    const std::uint32_t receiver_physical = logical_to_physical[receiver];
    const std::int32_t mux_time = route_time(receiver_physical);
    *patches++ = RowPatch{static_cast<std::uint32_t>(mux_time) * arrival_unit,
                          plan_rows::receiver_phase(receiver_physical) * phase_unit};
    earliest = std::min(earliest, mux_time);
    latest = std::max(latest, mux_time);
    farthest_physical = std::max(farthest_physical, receiver_physical);
  }
  mux = MuxSpan{earliest, latest, farthest_physical};
  return {};
}

// The receivers' rows: the template with each receiver's patch. The vector is
// built from these iterators so that it is allocated once and each row is
// written straight into place, with no reallocation path in the loop to spill
// its registers around. The PIC's position is a constant, so that the row is put
// together in registers: a row patched in memory and then copied as a whole
// waits for the patches to land.
template <std::size_t PicIndex>
class ReceiverRowIterator {
 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = PlanRow;
  using difference_type = std::ptrdiff_t;
  using pointer = const PlanRow*;
  using reference = PlanRow;  // rows are made, not stored

  ReceiverRowIterator(const PlanRow& template_row, const RowPatch* patch) noexcept
      : template_row_(&template_row), patch_(patch) {}

  PlanRow operator*() const noexcept {
    PlanRow row = *template_row_;
    row[1] += patch_->arrival;
    row[PicIndex] += patch_->phase;
    return row;
  }
  ReceiverRowIterator& operator++() noexcept {
    ++patch_;
    return *this;
  }
  ReceiverRowIterator operator++(int) noexcept {
    ReceiverRowIterator before = *this;
    ++patch_;
    return before;
  }
  friend bool operator==(const ReceiverRowIterator& a, const ReceiverRowIterator& b) noexcept {
    return a.patch_ == b.patch_;
  }

 private:
  const PlanRow* template_row_;
  const RowPatch* patch_;
};

template <std::size_t PicIndex>
std::vector<PlanRow> receiver_rows(const PlanRow& template_row, std::span<const RowPatch> patches) {
  using Iterator = ReceiverRowIterator<PicIndex>;
  return std::vector<PlanRow>(Iterator{template_row, patches.data()},
                              Iterator{template_row, patches.data() + patches.size()});
}

// Arrival = route time + start: never negative, since the start is at least the
// earliest route's lead.
std::vector<PlanRow> receiver_rows(std::uint32_t source_physical, std::uint32_t count,
                                   std::uint32_t start_cycle, std::span<const RowPatch> patches) {
  PlanRow template_row{};
  plan_rows::write_multicast_receiver_row(template_row, 0, 0, source_physical, count);
  template_row[1] += start_cycle * arrival_unit;
  return pic_index(count) == short_pic_index
             ? receiver_rows<short_pic_index>(template_row, patches)
             : receiver_rows<short_pic_index - 1>(template_row, patches);
}

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

  if (receiver_logical.empty()) {
    return refuse(ExchangeError::receiver_set(), Reason::no_receivers, RefusedArgument::receiver);
  }
  RowPatches patches{std::min(receiver_logical.size(), tile_count)};
  MuxSpan mux;
  const ExplainedStatus checked =
      receiver_logical.size() >= TabledRouteTimes::worthwhile
          ? check_receivers(topology, sender_logical, receiver_logical,
                            TabledRouteTimes{source_physical}, patches.data(), mux)
          : check_receivers(topology, sender_logical, receiver_logical,
                            DirectRouteTimes{source_physical}, patches.data(), mux);
  if (!checked) return std::unexpected(checked.error());

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
                  Reason::multicast_receive_late, RefusedArgument::schedule_offset, schedule_offset,
                  static_cast<std::uint32_t>(latest_receive));
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

  MulticastPlan plan{*sender, receiver_rows(source_physical, count, start_cycle,
                                            {patches.data(), receiver_logical.size()})};

  if (plan_events::wanted()) {
    plan_events::emit_multicast(sender_logical, receiver_logical, count, schedule_offset);
  }
  return plan;
}

Result<MulticastPlan> Topology::multicast(std::uint16_t sender_logical,
                                          std::span<const std::uint16_t> receiver_logical,
                                          std::uint32_t count,
                                          std::uint32_t schedule_offset) const {
  return without_reason(
      explained::multicast(*this, sender_logical, receiver_logical, count, schedule_offset));
}

}  // namespace meshweave
