// Multicast plans over random receiver sets, on the M1472 card and on small
// custom tables. A plan either fails with exactly the error its checks predict,
// in their documented order, or every row is executable and timed as the routes
// demand: the SEND starts at the start cycle, the sender row lasts
// max(start + count, 6) cycles and each receiver row receive_cycle + phase +
// count + 58 cycles.
//
// Input: a shape byte (bit 0: sender, count and offset raw rather than cut to
// valid values; bit 1: every other tile receives; bit 2: a custom table),
// sender (u16), count (u32), schedule offset (u32), then for a custom table its
// length (u8) and entries (u16, cut to the route model's 11 bits), then the
// receivers: their number (u8) and each one (u16).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "event_recorder.hpp"
#include "fuzz_check.hpp"
#include "fuzz_input.hpp"
#include "meshweave/topology/route.hpp"
#include "meshweave/topology/topology.hpp"
#include "plan_row_properties.hpp"

namespace {

using namespace meshweave;
using fuzz::hex;
using fuzz::words;

constexpr std::uint32_t latest_cycle = 4095;
constexpr std::uint32_t default_receive_word = 0x14000;
constexpr std::uint32_t released_selector = 1600;

struct Request {
  std::uint16_t sender = 0;
  std::vector<std::uint16_t> receivers;
  std::uint32_t count = 0;
  std::uint32_t offset = 0;
};

// The plan's start cycle, or the error the checks must report, in their order.
std::expected<std::uint32_t, ExchangeError> expected_start(const Topology& topology,
                                                           const Request& request) {
  if (request.count == 0 || request.count > 4148) {
    return std::unexpected(ExchangeError::count(request.count));
  }
  if (request.sender >= topology.tile_count()) {
    return std::unexpected(ExchangeError::tile(request.sender));
  }
  if (request.receivers.empty()) return std::unexpected(ExchangeError::receiver_set());
  std::vector<bool> used(topology.tile_count());
  used[request.sender] = true;
  const std::uint16_t source = topology.logical_to_physical()[request.sender];
  std::int32_t earliest = std::numeric_limits<std::int32_t>::max();
  std::int32_t latest = std::numeric_limits<std::int32_t>::min();
  for (const std::uint16_t receiver : request.receivers) {
    if (receiver >= topology.tile_count() || used[receiver]) {
      return std::unexpected(ExchangeError::receiver_set());
    }
    used[receiver] = true;
    const std::int32_t mux = time_to_mux(source, topology.logical_to_physical()[receiver]);
    earliest = std::min(earliest, mux);
    latest = std::max(latest, mux);
  }
  const std::int64_t start = std::max<std::int64_t>(-std::int64_t{earliest}, 0) + request.offset;
  if (start > latest_cycle) {
    return std::unexpected(ExchangeError::schedule(schedule_message::multicast_start_cycle));
  }
  if (start + latest > latest_cycle) {
    return std::unexpected(ExchangeError::schedule(schedule_message::multicast_receive_cycle));
  }
  return static_cast<std::uint32_t>(start);
}

void check_sender_row(const PlanRow& row, const Topology& topology, const Request& request,
                      std::uint32_t start) {
  fuzz::check_executable_row(row, "sender row");
  const std::size_t send = fuzz::find_kind(row, send_word::kind);
  FUZZ_CHECK(send < row.size() && fuzz::start_cycle(row, send) == start,
             "SEND does not start at cycle " << start << ": " << words(row));
  const std::uint32_t source = topology.logical_to_physical()[request.sender];
  const std::uint32_t route =
      request.receivers.size() == 1
          ? direction(source, topology.logical_to_physical()[request.receivers[0]])
          : 3u;
  FUZZ_CHECK(
      send_word::Direction::get(row[send]) == route &&
          send_word::CountMinusOne::get(row[send]) == std::min(request.count, 64u) - 1 &&
          send_word::BaseWord::get(row[send]) == 0,
      "SEND " << hex(row[send]) << " for " << request.count << " words, direction " << route);
  const std::size_t more = fuzz::find_kind(row, send_off_word::kind);
  if (request.count > 64) {
    FUZZ_CHECK(more == send + 1 && instruction_advance(row[more]) == request.count - 64 &&
                   send_off_word::Direction::get(row[more]) == 3,
               "continuation of " << request.count << " words: " << words(row));
  } else {
    FUZZ_CHECK(more == row.size(), "continuation SEND for " << request.count << " words");
  }
  const std::uint64_t expected = std::max<std::uint64_t>(std::uint64_t{start} + request.count, 6);
  FUZZ_CHECK(fuzz::total_cycles(row) == expected, "sender row lasts " << fuzz::total_cycles(row)
                                                                      << ", expected " << expected
                                                                      << ": " << words(row));
}

void check_receiver_row(const PlanRow& row, std::uint32_t source, std::uint32_t physical,
                        std::uint32_t count, std::uint32_t start) {
  fuzz::check_executable_row(row, "receiver row");
  FUZZ_CHECK(row[6] == 0 && row[7] == 0 && row[8] == 0, "receiver row " << words(row));
  const std::int64_t receive = std::int64_t{start} + time_to_mux(source, physical);
  FUZZ_CHECK(receive >= 0 && receive <= latest_cycle, "receive cycle " << receive);
  FUZZ_CHECK(
      xpic_word::kind.matches(row[1]) &&
          instruction_advance(row[1]) == static_cast<std::uint64_t>(receive) + 1 &&
          xpic_word::Selector::get(row[1]) == (source & 0x1fffu),
      "first XPIC " << hex(row[1]) << " for receive cycle " << receive << " from tile " << source);
  std::size_t xpics = 0;
  std::size_t pics = 0;
  for (std::size_t i = 2; i < row.size(); ++i) {
    if (xpic_word::kind.matches(row[i])) {
      ++xpics;
      FUZZ_CHECK(xpic_word::Selector::get(row[i]) == released_selector, "XPIC " << hex(row[i]));
    }
    if (pic_word::kind.matches(row[i])) {
      ++pics;
      FUZZ_CHECK(pic_word::Address::get(row[i]) == default_receive_word, "PIC " << hex(row[i]));
    }
  }
  FUZZ_CHECK(pics == 1 && xpics == (count == 1 ? 0u : 1u), pics << " PICs and " << xpics + 1
                                                                << " XPICs for " << count
                                                                << " words: " << words(row));
  const std::uint64_t expected =
      static_cast<std::uint64_t>(receive) + physical / 64 * 2 + count + 58;
  FUZZ_CHECK(fuzz::total_cycles(row) == expected, "receiver row lasts " << fuzz::total_cycles(row)
                                                                        << ", expected " << expected
                                                                        << ": " << words(row));
}

std::string list_text(std::span<const std::uint16_t> tiles) {
  std::string text = "[";
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    text += (i == 0 ? "" : ", ") + std::to_string(tiles[i]);
  }
  return text + "]";
}

void check_event(const fuzz::EventRecorder& recorder, bool planned, const Request& request) {
  if (!planned) {
    FUZZ_CHECK(recorder.events.empty(), "a failed plan emitted an event");
    return;
  }
  FUZZ_CHECK(recorder.events.size() == 1, recorder.events.size() << " events for one plan");
  const auto& event = recorder.events.front();
  const std::vector<std::string> names{"sender_logical", "receiver_logical", "count",
                                       "schedule_offset"};
  const std::vector<std::string> values{std::to_string(request.sender),
                                        list_text(request.receivers), std::to_string(request.count),
                                        std::to_string(request.offset)};
  FUZZ_CHECK(
      event.message == event_message::multicast && event.names == names && event.values == values,
      "event " << event.message << " for sender " << request.sender);
}

Topology custom_table(fuzz::FuzzInput& input) {
  std::vector<std::uint16_t> table(input.in_range(1, 64));
  for (std::uint16_t& entry : table) entry = input.u16() & 0x7ffu;
  return Topology{std::move(table)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input{data, size};
  const std::uint8_t shape = input.u8();
  const bool raw = (shape & 1u) != 0;
  const bool everyone = (shape & 2u) != 0;
  Request request;
  request.sender = input.u16();
  request.count = input.u32();
  request.offset = input.u32();
  static const Topology card = Topology::m1472();
  const Topology custom = (shape & 4u) != 0 ? custom_table(input) : Topology{{}};
  const Topology& topology = (shape & 4u) != 0 ? custom : card;
  const auto tiles = static_cast<std::uint16_t>(topology.tile_count());
  if (!raw) {
    request.sender = static_cast<std::uint16_t>(request.sender % tiles);
    request.count = request.count % 4148 + 1;
    request.offset %= 4096;
  }
  if (everyone) {
    for (std::uint16_t tile = 0; tile < tiles; ++tile) {
      if (tile != request.sender) request.receivers.push_back(tile);
    }
  } else {
    const std::uint8_t n = input.u8();
    for (std::uint8_t i = 0; i < n; ++i) {
      const std::uint16_t receiver = input.u16();
      request.receivers.push_back(raw ? receiver : static_cast<std::uint16_t>(receiver % tiles));
    }
  }

  fuzz::EventRecorder& recorder = fuzz::installed_recorder();
  const Result<MulticastPlan> plan =
      topology.multicast(request.sender, request.receivers, request.count, request.offset);
  const auto start = expected_start(topology, request);
  check_event(recorder, plan.has_value(), request);
  if (!start) {
    FUZZ_CHECK(!plan && plan.error() == start.error(),
               "multicast from " << request.sender << " to " << request.receivers.size()
                                 << " tiles, count " << request.count << ", offset "
                                 << request.offset << ": " << fuzz::outcome(plan) << ", expected "
                                 << start.error());
    return 0;
  }
  FUZZ_CHECK(plan.has_value(), "multicast from " << request.sender << ": " << plan.error());
  check_sender_row(plan->sender, topology, request, *start);
  FUZZ_CHECK(plan->receivers.size() == request.receivers.size(),
             plan->receivers.size() << " rows for " << request.receivers.size() << " receivers");
  const std::uint32_t source = topology.logical_to_physical()[request.sender];
  for (std::size_t i = 0; i < request.receivers.size(); ++i) {
    check_receiver_row(plan->receivers[i], source,
                       topology.logical_to_physical()[request.receivers[i]], request.count, *start);
  }
  return 0;
}
