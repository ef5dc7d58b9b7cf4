#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "meshweave/exchange/verifier.hpp"
#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/topology/route.hpp"
#include "scheduled_verifier.hpp"

namespace meshweave {

std::string to_string(const VerifyIssue& issue) {
  std::string out = "tile " + std::to_string(issue.tile);
  if (issue.word) out += ", word " + std::to_string(*issue.word);
  return out + ": " + issue.check + ": expected " + issue.expected + ", found " + issue.found;
}

std::ostream& operator<<(std::ostream& out, const VerifyIssue& issue) {
  return out << to_string(issue);
}

namespace {

// The receive-side selector of the XPIC stages that follow the first one.
constexpr std::uint32_t second_stage_selector = xpic_word::released_selector;

std::string hex(std::uint64_t value) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
  return "0x" + std::string(digits, end);
}
std::string dec(std::uint64_t value) { return std::to_string(value); }

enum class EventKind : std::uint8_t { Send, Continuation, Pic, Xpic };

// A timed word other than a DELAY, with the cycles it occupies on the timeline.
struct Event {
  EventKind kind;
  std::size_t index;
  std::uint64_t start;
  std::uint64_t end;
  std::uint32_t word;
};

const char* name(EventKind kind) {
  switch (kind) {
    case EventKind::Send: return "SEND";
    case EventKind::Continuation: return "continuation SEND";
    case EventKind::Pic: return "PIC";
    case EventKind::Xpic: return "XPIC";
  }
  return "?";
}

// A tile's part in one transfer, with what checking its events needs: the
// programs are checked tile by tile, and reading each role's transfer from the
// description would visit the whole description once per tile. `number`
// counts the transfers of all phases in order.
struct Role {
  std::size_t number;
  std::size_t receiver_index;  // for receivers
  std::uint32_t count;
  std::uint32_t address;  // the source, or this receiver's destination (bytes)
  std::uint16_t sender_tile;
  std::uint16_t first_receiver;
  bool sender;
  bool multicast;
  bool single_receiver;

  static Role of(const TransferView& transfer, std::size_t number, bool sender,
                 std::size_t receiver_index) noexcept {
    return Role{number,
                receiver_index,
                transfer.count,
                sender ? transfer.source_address : transfer.destination(receiver_index),
                transfer.sender,
                transfer.receivers.empty() ? std::uint16_t{0} : transfer.receivers.front(),
                sender,
                transfer.multicast,
                transfer.receivers.size() == 1};
  }
};

// Marks a send start or XPIC end no program supplied.
constexpr std::uint64_t unrecorded = std::numeric_limits<std::uint64_t>::max();

class Verifier {
 public:
  Verifier(const Topology& topology, const ExchangeDescription& description,
           const CompiledExchange& compiled)
      : topology_{topology}, description_{description}, compiled_{compiled} {}

  std::vector<VerifyIssue> run() {
    collect_roles();
    for (const TileProgram& program : compiled_.programs) check_program(program);
    for (std::size_t tile = 0; tile + 1 < first_role_.size(); ++tile) {
      const auto logical = static_cast<std::uint16_t>(tile);
      if (first_role_[tile] != first_role_[tile + 1] && compiled_.program(logical) == nullptr) {
        report(logical, std::nullopt, "program", "a program", "none");
      }
    }
    check_arrivals();
    return std::move(issues_);
  }

 private:
  void report(std::uint16_t tile, std::optional<std::size_t> word, std::string check,
              std::string expected, std::string found) {
    issues_.push_back(
        VerifyIssue{tile, word, std::move(check), std::move(expected), std::move(found)});
  }

  // Calls visit(number, transfer) for every transfer, numbered in order.
  template <class Visit>
  void for_each_transfer(Visit&& visit) const {
    std::size_t number = 0;
    for (const Phase& phase : description_.phases) {
      for (const Transfer& transfer : phase.transfers) visit(number++, view(transfer));
    }
  }

  // Each tile's roles, in description order, as one list grouped by tile
  // (first_role_[tile] to first_role_[tile + 1]); the first receiver of each
  // transfer in the list of XPIC ends.
  void collect_roles() {
    constexpr std::size_t tiles = std::size_t{1} << 16;
    first_role_.assign(tiles + 1, 0);
    std::size_t transfers = 0;
    for (const Phase& phase : description_.phases) transfers += phase.transfers.size();
    first_receiver_.reserve(transfers + 1);
    first_receiver_.assign(1, 0);
    // Counted per tile first, then placed from the start of each tile's range.
    for_each_transfer([&](std::size_t number, const TransferView& transfer) {
      ++first_role_[transfer.sender + 1];
      for (const std::uint16_t receiver : transfer.receivers) ++first_role_[receiver + 1];
      first_receiver_.push_back(first_receiver_[number] + transfer.receivers.size());
    });
    for (std::size_t tile = 1; tile <= tiles; ++tile) first_role_[tile] += first_role_[tile - 1];
    send_starts_.assign(first_receiver_.size() - 1, unrecorded);
    first_xpic_ends_.assign(first_receiver_.back(), unrecorded);
    roles_.resize(first_role_.back());
    std::vector<std::size_t> next(first_role_.begin(), first_role_.end() - 1);
    for_each_transfer([&](std::size_t number, const TransferView& transfer) {
      roles_[next[transfer.sender]++] = Role::of(transfer, number, true, 0);
      check_buffer(transfer.sender, "source buffer", transfer.source_address, transfer.count);
      for (std::size_t r = 0; r < transfer.receivers.size(); ++r) {
        roles_[next[transfer.receivers[r]]++] = Role::of(transfer, number, false, r);
        check_buffer(transfer.receivers[r], "destination buffer", transfer.destination(r),
                     transfer.count);
      }
    });
  }

  std::span<const Role> roles_of(std::uint16_t tile) const {
    if (std::size_t{tile} + 1 >= first_role_.size()) return {};
    return std::span<const Role>{roles_}.subspan(first_role_[tile],
                                                 first_role_[tile + 1] - first_role_[tile]);
  }

  // A program may address only its own tile's memory, all of each buffer included.
  void check_buffer(std::uint16_t tile, const char* check, std::uint32_t address,
                    std::uint32_t count) {
    const std::uint64_t end = std::uint64_t{address} + std::uint64_t{count} * 4;
    if (end > TILE_MEMORY_BYTES) {
      report(tile, std::nullopt, check, "an end at or below " + hex(TILE_MEMORY_BYTES),
             dec(count) + " words from " + hex(address) + " ending at " + hex(end));
    }
  }

  std::optional<std::uint16_t> physical(std::uint16_t tile) {
    auto found = topology_.physical(tile);
    if (!found) {
      report(tile, std::nullopt, "tile", "a tile of the topology", "tile " + dec(tile));
      return std::nullopt;
    }
    return *found;
  }

  // Framing, horizon and the list of exchange events of one program, into
  // `events` (reused from program to program).
  void replay(const TileProgram& program, std::vector<Event>& events) {
    const auto& words = program.words;
    const std::uint16_t tile = program.logical;
    events.clear();
    if (words.empty() || words.front() != ROW_ENTRY_INSTRUCTION) {
      report(tile, 0, "first word", hex(ROW_ENTRY_INSTRUCTION),
             words.empty() ? "nothing" : hex(words.front()));
    }
    if (words.empty() || words.back() != RETURN_INSTRUCTION) {
      report(tile, words.empty() ? 0 : words.size() - 1, "last word", hex(RETURN_INSTRUCTION),
             words.empty() ? "nothing" : hex(words.back()));
    }
    std::uint64_t cycle = 0;
    for (std::size_t index = 0; index < words.size(); ++index) {
      const std::uint32_t word = words[index];
      const std::uint32_t advance = instruction_advance(word);
      const std::uint64_t start = cycle;
      cycle += advance;
      const bool framing = (index == 0 && word == ROW_ENTRY_INSTRUCTION) ||
                           (index + 1 == words.size() && word == RETURN_INSTRUCTION);
      if (framing || delay_word::kind.matches(word)) continue;
      if (pic_word::kind.matches(word)) {
        events.push_back(Event{EventKind::Pic, index, start, cycle, word});
      } else if (xpic_word::kind.matches(word)) {
        events.push_back(Event{EventKind::Xpic, index, start, cycle, word});
      } else if (send_off_word::kind.matches(word)) {
        events.push_back(Event{EventKind::Continuation, index, start, cycle, word});
      } else if (send_word::kind.matches(word)) {
        events.push_back(Event{EventKind::Send, index, start, cycle, word});
      } else {
        report(tile, index, "word kind", "an exchange word", hex(word));
      }
    }
    if (cycle != compiled_.horizon) {
      report(tile, std::nullopt, "cycles", dec(compiled_.horizon), dec(cycle));
    }
  }

  void check_program(const TileProgram& program) {
    const std::uint16_t tile = program.logical;
    if (const auto expected = physical(tile); expected && *expected != program.physical) {
      report(tile, std::nullopt, "physical tile", dec(*expected), dec(program.physical));
    }
    replay(program, events_);
    const std::vector<Event>& events = events_;
    std::size_t next = 0;
    const auto take = [&](EventKind kind, const char* what) -> const Event* {
      if (next >= events.size()) {
        report(tile, std::nullopt, what, name(kind), "end of program");
        return nullptr;
      }
      const Event& event = events[next++];
      if (event.kind != kind) {
        report(tile, event.index, what, name(kind), hex(event.word));
        return nullptr;
      }
      return &event;
    };
    for (const Role& role : roles_of(tile)) {
      const bool complete =
          role.sender ? check_send(tile, role, take) : check_receive(tile, role, take);
      if (!complete) return;  // later events no longer line up
    }
    if (next < events.size()) {
      report(tile, events[next].index, "exchange events", "no more", hex(events[next].word));
    }
  }

  template <class Take>
  bool check_send(std::uint16_t tile, const Role& role, Take& take) {
    const auto sender = physical(role.sender_tile);
    const auto first_receiver = physical(role.first_receiver);
    if (!sender || !first_receiver) return false;
    const std::uint32_t expected_direction =
        role.single_receiver ? direction(*sender, *first_receiver) : 3u;
    const Event* send = take(EventKind::Send, "SEND");
    if (send == nullptr) return false;
    const std::uint32_t first_packet = std::min<std::uint32_t>(role.count, 64);
    expect(tile, send->index, "SEND word count", first_packet,
           send_word::CountMinusOne::get(send->word) + 1);
    expect(tile, send->index, "SEND direction", expected_direction,
           send_word::Direction::get(send->word));
    expect_hex(tile, send->index, "SEND source word address", role.address / 4,
               send_word::BaseWord::get(send->word));
    send_starts_[role.number] = send->start;
    if (role.count > 64) {
      const Event* rest = take(EventKind::Continuation, "continuation SEND");
      if (rest == nullptr) return false;
      expect(tile, rest->index, "continuation SEND word count", role.count - 64,
             rest->end - rest->start);
      expect(tile, rest->index, "continuation SEND start", send->end, rest->start);
      expect(tile, rest->index, "continuation SEND direction",
             role.multicast ? 3u : expected_direction, send_off_word::Direction::get(rest->word));
    }
    return true;
  }

  template <class Take>
  bool check_receive(std::uint16_t tile, const Role& role, Take& take) {
    const auto sender = physical(role.sender_tile);
    if (!sender) return false;
    const Event* first = take(EventKind::Xpic, "first XPIC");
    if (first == nullptr) return false;
    expect(tile, first->index, "first XPIC sender tile", *sender,
           xpic_word::Selector::get(first->word));
    first_xpic_ends_[first_receiver_[role.number] + role.receiver_index] = first->end;
    // The receive stages after the first XPIC, by transfer length.
    std::array<EventKind, 2> stages{EventKind::Pic, EventKind::Xpic};
    std::size_t stage_count = 2;
    if (role.multicast && role.count == 1) {
      stage_count = 1;
    } else if (role.count <= 51) {
      stages = {EventKind::Xpic, EventKind::Pic};
    }
    for (const EventKind stage : std::span{stages}.first(stage_count)) {
      const Event* event = take(stage, "receive stage");
      if (event == nullptr) return false;
      if (stage == EventKind::Pic) {
        expect_hex(tile, event->index, "PIC destination word address", role.address / 4,
                   pic_word::Address::get(event->word));
      } else {
        expect(tile, event->index, "XPIC stage selector", second_stage_selector,
               xpic_word::Selector::get(event->word));
      }
    }
    return true;
  }

  void check_arrivals() {
    for_each_transfer([&](std::size_t number, const TransferView& transfer) {
      const std::uint64_t send = send_starts_[number];
      const auto sender = topology_.physical(transfer.sender);
      if (send == unrecorded || !sender) return;  // already reported
      for (std::size_t r = 0; r < transfer.receivers.size(); ++r) {
        const std::uint64_t end = first_xpic_ends_[first_receiver_[number] + r];
        const auto receiver = topology_.physical(transfer.receivers[r]);
        if (end == unrecorded || !receiver) continue;
        const std::int64_t expected =
            static_cast<std::int64_t>(send) + time_to_mux(*sender, *receiver) + 1;
        if (expected != static_cast<std::int64_t>(end)) {
          report(transfer.receivers[r], std::nullopt, "arrival cycle", std::to_string(expected),
                 dec(end));
        }
      }
    });
  }

  void expect(std::uint16_t tile, std::size_t word, const char* check, std::uint64_t expected,
              std::uint64_t found) {
    if (expected != found) report(tile, word, check, dec(expected), dec(found));
  }
  void expect_hex(std::uint16_t tile, std::size_t word, const char* check, std::uint64_t expected,
                  std::uint64_t found) {
    if (expected != found) report(tile, word, check, hex(expected), hex(found));
  }

  const Topology& topology_;
  const ExchangeDescription& description_;
  const CompiledExchange& compiled_;
  std::vector<std::size_t> first_role_;
  std::vector<Role> roles_;
  std::vector<std::size_t> first_receiver_;
  std::vector<std::uint64_t> send_starts_;
  std::vector<std::uint64_t> first_xpic_ends_;
  std::vector<Event> events_;
  std::vector<VerifyIssue> issues_;
};

}  // namespace

std::vector<VerifyIssue> verify_exchange(const Topology& topology,
                                         const ExchangeDescription& description,
                                         const CompiledExchange& compiled) {
  if (!description.transfers.empty()) {
    return exchange_detail::verify_scheduled(topology, description, compiled);
  }
  return Verifier{topology, description, compiled}.run();
}

}  // namespace meshweave
