// Point-to-point plans and the row operations applied to them. Every plan row is
// executable (entry word, one return word, zeros after it) with the timing the
// route demands; the planner's checks run in their documented order; and any
// sequence of patches, offsets and finalizations keeps the rows executable,
// changes only the field it names, and leaves a row untouched when it fails.
//
// Input: a shape byte (bit 0 set: tiles and count are taken raw, otherwise cut
// to valid values; bit 1 set: a custom table instead of the card), sender and
// receiver (u16), count (u32), for a custom table its length (u8) and entries
// (u16, cut to 11 bits); then operations, each a row byte, an operation byte and
// a u32 argument (a replaced row takes 9 more u32).

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "event_recorder.hpp"
#include "fuzz_check.hpp"
#include "fuzz_input.hpp"
#include "meshweave/plans/row_patching.hpp"
#include "meshweave/topology/route.hpp"
#include "meshweave/topology/topology.hpp"
#include "plan_row_properties.hpp"
#include "row_patching_properties.hpp"

namespace {

using namespace meshweave;
using fuzz::hex;
using fuzz::words;

std::optional<ExchangeError> expected_failure(const Topology& topology, std::uint16_t sender,
                                              std::uint16_t receiver, std::uint32_t count) {
  if (count == 0 || count > 4148) return ExchangeError::count(count);
  if (sender == receiver) return ExchangeError::duplicate_tile();
  if (sender >= topology.tile_count()) return ExchangeError::tile(sender);
  if (receiver >= topology.tile_count()) return ExchangeError::tile(receiver);
  // The SEND must start at a cycle a DELAY can wait for (or at cycle 0); tables
  // other than the card's can place tiles too far apart.
  const std::int32_t sender_delay = 111 - time_to_mux(topology.logical_to_physical()[sender],
                                                      topology.logical_to_physical()[receiver]);
  if (sender_delay < -1 || sender_delay > 0x7ffff) {
    return ExchangeError::schedule(schedule_message::sender_delay);
  }
  return std::nullopt;
}

// A small table of physical numbers the route model tells apart (11 bits).
Topology custom_table(fuzz::FuzzInput& input) {
  std::vector<std::uint16_t> table(input.in_range(1, 64));
  for (std::uint16_t& entry : table) entry = input.u16() & 0x7ffu;
  return Topology{std::move(table)};
}

// The SEND starts where the data reaches the receiver's mux at cycle 112; the
// row lasts at least 6 cycles.
std::uint64_t check_sender_row(const PlanRow& row, std::uint32_t sender, std::uint32_t receiver,
                               std::uint32_t count) {
  fuzz::check_executable_row(row, "sender row");
  const std::int64_t mux_time = time_to_mux(sender, receiver);
  const std::size_t send = fuzz::find_kind(row, send_word::kind);
  FUZZ_CHECK(send < row.size(), "sender row without a SEND: " << words(row));
  const std::int64_t send_start = static_cast<std::int64_t>(fuzz::start_cycle(row, send));
  FUZZ_CHECK(send_start + mux_time == 112, "SEND starts at " << send_start << " with time_to_mux "
                                                             << mux_time << ": " << words(row));
  const std::uint32_t route = direction(sender, receiver);
  FUZZ_CHECK(send_word::Direction::get(row[send]) == route &&
                 send_word::CountMinusOne::get(row[send]) == std::min(count, 64u) - 1 &&
                 send_word::BaseWord::get(row[send]) == 0,
             "SEND " << hex(row[send]) << " for " << count << " words, direction " << route);
  const std::size_t more = fuzz::find_kind(row, send_off_word::kind);
  if (count > 64) {
    FUZZ_CHECK(more == send + 1 && instruction_advance(row[more]) == count - 64 &&
                   send_off_word::Direction::get(row[more]) == route,
               "continuation of " << count << " words: " << words(row));
  } else {
    FUZZ_CHECK(more == row.size(), "continuation SEND for " << count << " words");
  }
  const std::uint64_t cycles = fuzz::total_cycles(row);
  const auto expected =
      static_cast<std::uint64_t>(std::max<std::int64_t>(112 - mux_time + count, 6));
  FUZZ_CHECK(cycles == expected, "sender row lasts " << cycles << " cycles, expected " << expected
                                                     << ": " << words(row));
  return cycles;
}

// Patch index 1, then an executable row whose first XPIC waits 113 cycles with
// selector 0 and whose one PIC has address 0; it lasts count + phase + 170 cycles.
std::uint64_t check_receiver_template(const PlanRow& row, std::uint32_t receiver,
                                      std::uint32_t count) {
  FUZZ_CHECK(row[0] == 1, "receiver template patch index " << row[0]);
  const std::span<const std::uint32_t> executable = std::span{row}.subspan(1);
  fuzz::check_executable_row(executable, "receiver row");
  FUZZ_CHECK(row[2] == delay_xpic(112, 0, 0), "first XPIC " << hex(row[2]));
  const std::size_t pic = fuzz::find_kind(executable, pic_word::kind);
  FUZZ_CHECK(pic < executable.size() && pic_word::Address::get(executable[pic]) == 0 &&
                 fuzz::find_kind(executable.subspan(pic + 1), pic_word::kind) ==
                     executable.size() - pic - 1,
             "receiver row needs exactly one PIC with address 0: " << words(row));
  const std::uint64_t cycles = fuzz::total_cycles(executable);
  const std::uint64_t expected = count + receiver / 64 * 2 + 170;
  FUZZ_CHECK(cycles == expected, "receiver row lasts " << cycles << " cycles, expected " << expected
                                                       << ": " << words(row));
  return cycles;
}

void check_event(const fuzz::EventRecorder& recorder, bool planned, std::uint16_t sender,
                 std::uint16_t receiver, std::uint32_t count) {
  if (!planned) {
    FUZZ_CHECK(recorder.events.empty(), "a failed plan emitted an event");
    return;
  }
  FUZZ_CHECK(recorder.events.size() == 1, recorder.events.size() << " events for one plan");
  const auto& event = recorder.events.front();
  const std::vector<std::string> names{"sender_logical", "receiver_logical", "count"};
  const std::vector<std::string> values{std::to_string(sender), std::to_string(receiver),
                                        std::to_string(count)};
  FUZZ_CHECK(event.message == event_message::point_to_point && event.names == names &&
                 event.values == values,
             "event " << event.message << " for " << sender << " -> " << receiver);
}

// The state of one row while operations are applied to it.
struct RowUnderTest {
  PlanRow row{};
  bool template_form = false;  // a receiver template: patch index in word 0
  bool plan_shaped = true;     // still the planner's row, not replaced by raw words
  std::uint64_t cycles = 0;    // what the executable part must account for
};

void check_still_plan_row(const RowUnderTest& state) {
  if (!state.plan_shaped) return;
  const std::span<const std::uint32_t> executable =
      std::span{state.row}.subspan(state.template_form ? 1 : 0);
  if (state.template_form) FUZZ_CHECK(state.row[0] == 1, "patch index " << state.row[0]);
  const std::size_t end = fuzz::check_executable_row(executable, "patched row");
  FUZZ_CHECK(fuzz::total_cycles(executable.first(end)) == state.cycles,
             "patched row " << words(state.row) << " no longer lasts " << state.cycles);
}

void apply_operation(fuzz::FuzzInput& input, RowUnderTest& state, std::uint16_t sender_physical) {
  const std::uint8_t op = input.u8();
  const std::uint32_t argument = input.u32();
  // Bit 3 narrows the argument to values that are often accepted.
  const bool narrow = (op & 8u) != 0;
  switch (op % 6) {
    case 0:
      fuzz::row_patching::patch_sender(state.row, narrow ? argument & 0xffffcu : argument);
      break;
    case 1:
      fuzz::row_patching::patch_receiver(state.row, narrow ? argument & 0xffffcu : argument);
      break;
    case 2: {
      const std::uint32_t cycles = narrow ? argument & 0xfffu : argument;
      const PlanRow before = state.row;
      fuzz::row_patching::offset(state.row, cycles);
      if (state.row != before) state.cycles += cycles;
      break;
    }
    case 3: {
      const auto source = narrow ? sender_physical : static_cast<std::uint16_t>(argument);
      const Result<PlanRow> finalized = fuzz::row_patching::finalize(state.row, source);
      if (!finalized) break;
      if (state.plan_shaped && state.template_form) {
        FUZZ_CHECK(xpic_word::Selector::get((*finalized)[1]) == source,
                   "finalized row names tile " << xpic_word::Selector::get((*finalized)[1]));
      }
      state.row = *finalized;
      state.plan_shaped = state.plan_shaped && state.template_form;
      state.template_form = false;
      break;
    }
    case 4: fuzz::row_patching::normalize(state.row); break;
    default:
      for (std::uint32_t& word : state.row) word = input.u32();
      state.plan_shaped = false;
      break;
  }
  check_still_plan_row(state);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input{data, size};
  const std::uint8_t shape = input.u8();
  const bool raw = (shape & 1u) != 0;
  std::uint16_t sender = input.u16();
  std::uint16_t receiver = input.u16();
  std::uint32_t count = input.u32();
  static const Topology card = Topology::m1472();
  const Topology custom = (shape & 2u) != 0 ? custom_table(input) : Topology{{}};
  const Topology& topology = (shape & 2u) != 0 ? custom : card;
  if (!raw) {
    const auto tiles = static_cast<std::uint16_t>(topology.tile_count());
    sender = static_cast<std::uint16_t>(sender % tiles);
    receiver = static_cast<std::uint16_t>(receiver % tiles);
    count = count % 4148 + 1;
  }

  fuzz::EventRecorder& recorder = fuzz::installed_recorder();
  const Result<Plan> plan = topology.point_to_point(sender, receiver, count);
  const std::optional<ExchangeError> failure = expected_failure(topology, sender, receiver, count);
  check_event(recorder, plan.has_value(), sender, receiver, count);
  if (failure) {
    FUZZ_CHECK(!plan && plan.error() == *failure, "point_to_point("
                                                      << sender << ", " << receiver << ", " << count
                                                      << "): " << fuzz::outcome(plan));
    return 0;
  }
  FUZZ_CHECK(plan.has_value(), "point_to_point(" << sender << ", " << receiver << ", " << count
                                                 << "): " << plan.error());
  const std::uint16_t sender_physical = topology.logical_to_physical()[sender];
  const std::uint16_t receiver_physical = topology.logical_to_physical()[receiver];
  std::array<RowUnderTest, 2> rows{};
  rows[0].row = plan->sender;
  rows[0].cycles = check_sender_row(plan->sender, sender_physical, receiver_physical, count);
  rows[1].row = plan->receiver;
  rows[1].template_form = true;
  rows[1].cycles = check_receiver_template(plan->receiver, receiver_physical, count);

  for (int step = 0; step < 24 && !input.empty(); ++step) {
    const std::uint8_t which = input.u8();
    apply_operation(input, rows[which & 1u], sender_physical);
  }
  return 0;
}
