#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <expected>

#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/instruction_words/error.hpp"
#include "meshweave/instruction_words/refusal.hpp"
#include "meshweave/plans/plan.hpp"
#include "meshweave/topology/route.hpp"

namespace meshweave {

// The row layouts of tile-to-tile plans, private to the planners: callers plan
// through Topology. The row builders are constexpr functions, so that the
// documented rows are checked at compile time, and both planners share one
// receive stage.
namespace plan_rows {

// Physical tiles per card row; the receiver's row number sets its phase.
inline constexpr std::uint32_t tiles_per_row = 64;
// Words one SEND word carries; a longer transfer continues in a continuation SEND.
inline constexpr std::uint32_t send_words = send_word::CountMinusOne::max + 1;
// Direction field naming both routes (multicast to several tiles, continuation SENDs).
inline constexpr std::uint32_t both_directions = 3;
// A sender row lasts at least this many cycles; shorter ones close with a DELAY.
inline constexpr std::int64_t min_sender_cycles = 6;

// Point-to-point: the receiver's first XPIC waits this field (113 cycles), and the
// sender starts its SEND at this cycle minus the route's time to the mux.
inline constexpr std::uint32_t point_arrival_wait = 112;
// Word 0 of a point-to-point receiver template: the index, in the finalized row,
// of the XPIC whose selector receives the sender's physical tile.
inline constexpr std::uint32_t point_patch_index = 1;
// Multicast: rows may start no later than this cycle (the XPIC wait field's maximum),
// and no receiver may receive later.
inline constexpr std::uint32_t multicast_latest_cycle = xpic_word::Wait::max;
// Multicast receivers' PIC address until the caller patches it (byte address 0x50000).
inline constexpr std::uint32_t multicast_receive_word = 0x14000;

// Receive stage, the words after a receiver's first XPIC. Transfers of up to
// `short_receive_max` words release the mux (XPIC with `released_selector`) before
// the PIC takes the data; longer ones after it.
inline constexpr std::uint32_t short_receive_max = 51;
inline constexpr std::uint32_t split_receive_count = short_receive_max + 1;
inline constexpr std::uint32_t released_selector = xpic_word::released_selector;
// PIC wait of a long transfer on card row 0; each row adds two cycles of phase.
inline constexpr std::uint32_t pic_wait_base = 51;
// Closing DELAY field: count + short_receive_tail for short transfers, fixed for long ones.
inline constexpr std::uint32_t short_receive_tail = 4;
inline constexpr std::uint32_t long_receive_tail = 56;

constexpr std::uint32_t receiver_phase(std::uint32_t receiver_physical) noexcept {
  return receiver_physical / tiles_per_row * 2;
}

// The largest phase whose longest PIC wait (phase + pic_wait_base) still fits the
// PIC wait field: card rows up to 38. The M1472 card ends at row 22; only caller
// tables reach further, and their rows would otherwise be cut silently.
inline constexpr std::uint32_t max_receiver_phase = pic_word::Wait::max - pic_wait_base;
constexpr ExplainedStatus check_receiver_phase(std::uint32_t receiver_physical) noexcept {
  if (receiver_phase(receiver_physical) > max_receiver_phase) {
    return refuse(ExchangeError::schedule(schedule_message::receiver_phase), Reason::receiver_phase,
                  RefusedArgument::receiver, receiver_physical);
  }
  return {};
}

// validate_count, with its reason.
constexpr ExplainedStatus check_count(std::uint32_t count) noexcept {
  if (const Status valid = validate_count(count); !valid) {
    return refuse(valid.error(), Reason::count_range, RefusedArgument::count, count);
  }
  return {};
}

// The rows are built in place: the write_ functions fill a row of zeros where it
// is kept. A row built word by word in a temporary and then copied as a whole
// makes the copy wait until every word has been stored, which costs more than
// building the row.

// The SEND word that opens a sender row: the first up to 64 words, address 0.
constexpr Result<std::uint32_t> first_send(std::uint32_t send_direction,
                                           std::uint32_t count) noexcept {
  return encode_send(std::min(count, send_words) - 1, send_direction, 0);
}

// entry, [DELAY of sender_delay + 1 cycles], `send` (first_send), [continuation
// SEND of the rest], [DELAY up to min_sender_cycles], return.
// `sender_delay` is -1 (SEND at cycle 0) to delay_word::Cycles::max and `count` a
// valid transfer length; the planners check both before calling.
constexpr void write_sender_row(PlanRow& row, std::int32_t sender_delay, std::uint32_t send,
                                std::uint32_t continuation_direction,
                                std::uint32_t count) noexcept {
  std::size_t cursor = 0;
  row[cursor++] = ROW_ENTRY_INSTRUCTION;
  if (sender_delay >= 0) row[cursor++] = delay(static_cast<std::uint32_t>(sender_delay));
  row[cursor++] = send;
  if (count > send_words)
    row[cursor++] = send_off(count - send_words - 1, continuation_direction, 0);
  const std::int64_t accounted = std::int64_t{sender_delay} + 1 + count;
  if (accounted < min_sender_cycles) {
    row[cursor++] = delay(static_cast<std::uint32_t>(min_sender_cycles - 1 - accounted));
  }
  row[cursor] = RETURN_INSTRUCTION;
}

constexpr Result<PlanRow> sender_row(std::int32_t sender_delay, std::uint32_t send_direction,
                                     std::uint32_t continuation_direction,
                                     std::uint32_t count) noexcept {
  const Result<std::uint32_t> send = first_send(send_direction, count);
  if (!send) return std::unexpected(send.error());
  PlanRow row{};
  write_sender_row(row, sender_delay, *send, continuation_direction, count);
  return row;
}

// Writes the receive stage and the return word from `cursor` on (4 words).
constexpr void write_receive_stage(PlanRow& row, std::size_t cursor, std::uint32_t count,
                                   std::uint32_t phase, std::uint32_t pic_address) noexcept {
  if (count <= short_receive_max) {
    row[cursor++] = delay_xpic(count - 1, 0, released_selector);
    row[cursor++] = delay_pic(pic_wait_base - count + phase, 0, pic_address);
    row[cursor++] = delay(count + short_receive_tail);
  } else if (count == split_receive_count) {
    row[cursor++] = delay_pic(phase + pic_wait_base - 1, 0, pic_address);
    row[cursor++] = delay_xpic(0, 0, released_selector);
    row[cursor++] = delay(long_receive_tail);
  } else {
    row[cursor++] = delay_pic(phase + pic_wait_base, 0, pic_address);
    row[cursor++] = delay_xpic(count - split_receive_count - 1, 0, released_selector);
    row[cursor++] = delay(long_receive_tail);
  }
  row[cursor] = RETURN_INSTRUCTION;
}

// Template: patch index, entry, XPIC waiting for the data (selector still 0),
// receive stage with PIC address 0, return.
constexpr void write_point_receiver_row(PlanRow& row, std::uint32_t receiver_physical,
                                        std::uint32_t count) noexcept {
  row[0] = point_patch_index;
  row[1] = ROW_ENTRY_INSTRUCTION;
  row[2] = delay_xpic(point_arrival_wait, 0, 0);
  write_receive_stage(row, 3, count, receiver_phase(receiver_physical), 0);
}

// entry, XPIC waiting until `receive_cycle` and naming the sender, receive stage.
// A one-word transfer has no mux-release stage.
constexpr void write_multicast_receiver_row(PlanRow& row, std::uint32_t receive_cycle,
                                            std::uint32_t receiver_physical,
                                            std::uint32_t source_physical,
                                            std::uint32_t count) noexcept {
  const std::uint32_t phase = receiver_phase(receiver_physical);
  row[0] = ROW_ENTRY_INSTRUCTION;
  row[1] = delay_xpic(receive_cycle, 0, source_physical);
  if (count == 1) {
    row[2] = delay_pic(phase + pic_wait_base, 0, multicast_receive_word);
    row[3] = delay(count + short_receive_tail);
    row[4] = RETURN_INSTRUCTION;
  } else {
    write_receive_stage(row, 2, count, phase, multicast_receive_word);
  }
}

// Both rows of a point-to-point transfer between two physical tiles, written into
// `plan`, whose rows must be all zeros. Checks the count, and that the sender's
// start fits a DELAY and the receiver's card row its PIC wait (both always do on
// the M1472 card; other tables may place tiles too far apart). On failure `plan`
// is unspecified.
constexpr ExplainedStatus write_point_to_point(Plan& plan, std::uint32_t sender_physical,
                                               std::uint32_t receiver_physical,
                                               std::uint32_t count) noexcept {
  if (const ExplainedStatus valid = check_count(count); !valid) return valid;
  const std::int32_t displacement = route_displacement(sender_physical, receiver_physical);
  const std::int32_t mux_time =
      route::time_to_mux_along(sender_physical, receiver_physical, displacement);
  const std::int32_t sender_delay = static_cast<std::int32_t>(point_arrival_wait) - 1 - mux_time;
  if (sender_delay < -1 || sender_delay > static_cast<std::int32_t>(delay_word::Cycles::max)) {
    return refuse(ExchangeError::schedule(schedule_message::sender_delay), Reason::sender_delay,
                  RefusedArgument::receiver, receiver_physical, sender_physical);
  }
  if (const ExplainedStatus phase = check_receiver_phase(receiver_physical); !phase) return phase;
  const std::uint32_t send_direction = route::direction_along(displacement);
  const Result<std::uint32_t> send = first_send(send_direction, count);
  if (!send) return refuse(send.error());
  write_sender_row(plan.sender, sender_delay, *send, send_direction, count);
  write_point_receiver_row(plan.receiver, receiver_physical, count);
  return {};
}

// The documented rows, checked where they are built.
consteval Plan written_point_to_point(std::uint32_t sender_physical,
                                      std::uint32_t receiver_physical, std::uint32_t count) {
  Plan plan{};
  if (!write_point_to_point(plan, sender_physical, receiver_physical, count)) {
    throw "refused";
  }
  return plan;
}
consteval PlanRow written_multicast_receiver(std::uint32_t receive_cycle,
                                             std::uint32_t receiver_physical,
                                             std::uint32_t source_physical, std::uint32_t count) {
  PlanRow row{};
  write_multicast_receiver_row(row, receive_cycle, receiver_physical, source_physical, count);
  return row;
}

static_assert(written_point_to_point(0, 53, 3) ==
              Plan{{0x41800003, 0x40a00086, 0x78400001, 0x43a00000, 0, 0, 0, 0, 0},
                   {0x00000001, 0x41800003, 0x641c0000, 0x64008640, 0x61800000, 0x40a00007,
                    0x43a00000, 0, 0}});
static_assert(written_point_to_point(32, 260, 52).receiver ==
              PlanRow{0x00000001, 0x41800003, 0x641c0000, 0x61d00000, 0x64000640, 0x40a00038,
                      0x43a00000, 0, 0});
static_assert(written_point_to_point(1024, 0, 4148).sender ==
              PlanRow{0x41800003, 0x40a0006c, 0x7fe00001, 0x766fc001, 0x43a00000, 0, 0, 0, 0});
static_assert(written_point_to_point(1440, 0, 1).sender ==
              PlanRow{0x41800003, 0x78000002, 0x40a00004, 0x43a00000, 0, 0, 0, 0, 0});
static_assert(written_multicast_receiver(20, 53, 32, 1) ==
              PlanRow{0x41800003, 0x64050020, 0x61994000, 0x40a00005, 0x43a00000, 0, 0, 0, 0});

}  // namespace plan_rows
}  // namespace meshweave
