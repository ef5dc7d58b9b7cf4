// Verifying programs compiled from the transfers form.
//
// Nothing the scheduler recorded is used: the programs are replayed, their
// exchange events grouped into roles (a SEND with its continuation; a first
// XPIC with its receive stages), and the roles matched to the description's
// transfers (a transfer longer than one SEND pair carries is split into pieces
// of 4148 words) by source or destination address, sender tile and the arrival
// relation; transfers the scheduler may have merged into one multicast
// (multicast_groups) are first matched as that multicast, each receiver's
// receive role going to its own transfer. The matched roles then give every window, against which
// the builder's rule on each tile and every dependency are checked afresh.
#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "meshweave/exchange/verifier.hpp"
#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/topology/route.hpp"
#include "multicast_merge.hpp"
#include "piece_rows.hpp"
#include "range_clock.hpp"
#include "scheduled_verifier.hpp"

namespace meshweave::exchange_detail {

namespace {

constexpr std::uint32_t second_stage_selector = xpic_word::released_selector;
constexpr std::size_t none = static_cast<std::size_t>(-1);

std::string hex(std::uint64_t value) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
  return "0x" + std::string(digits, end);
}
std::string dec(std::int64_t value) { return std::to_string(value); }

enum class Kind : std::uint8_t { Send, Continuation, Pic, Xpic };

struct Event {
  Kind kind;
  std::size_t index;
  std::int64_t start;
  std::int64_t end;
  std::uint32_t word;
};

// A run of events that one row of one transfer produced.
struct Role {
  bool send = false;
  std::size_t first_word = 0;
  std::int64_t event = 0;   // SEND start or arrival
  std::int64_t last = 0;    // end of its last event
  std::uint32_t count = 0;  // words sent (send roles)
  std::uint32_t direction = 0;
  std::uint32_t continuation_direction = 0;
  std::uint32_t address = 0;  // word address: SEND base or PIC destination
  std::uint32_t selector = 0;
  std::vector<Kind> stages;  // after the first XPIC
  std::size_t piece = none;  // matched piece
  std::int64_t row_end = 0;  // end of the matched row
};

struct Piece {
  std::size_t transfer;
  std::uint32_t offset;
  std::uint32_t count;
};

class ScheduledVerifier {
 public:
  ScheduledVerifier(const Topology& topology, const ExchangeDescription& description,
                    const CompiledExchange& compiled)
      : topology_{topology}, description_{description}, compiled_{compiled} {}

  std::vector<VerifyIssue> run() {
    expand();
    for (const TileProgram& program : compiled_.programs) replay(program);
    match();
    check_rows();
    check_dependencies();
    return std::move(issues_);
  }

 private:
  void report(std::uint16_t tile, std::optional<std::size_t> word, std::string check,
              std::string expected, std::string found) {
    issues_.push_back(
        VerifyIssue{tile, word, std::move(check), std::move(expected), std::move(found)});
  }

  void expand() {
    for (std::size_t index = 0; index < description_.transfers.size(); ++index) {
      first_piece_.push_back(pieces_.size());
      const std::uint32_t count = view(description_.transfers[index].transfer).count;
      for (std::uint32_t offset = 0; offset == 0 || offset < count; offset += max_piece_words) {
        pieces_.push_back(Piece{index, offset, std::min(max_piece_words, count - offset)});
        if (count <= max_piece_words) break;
      }
    }
    first_piece_.push_back(pieces_.size());
  }

  void replay(const TileProgram& program) {
    const auto& words = program.words;
    const std::uint16_t tile = program.logical;
    if (auto physical = topology_.physical(tile); !physical) {
      report(tile, std::nullopt, "tile", "a tile of the topology", "tile " + dec(tile));
      return;
    } else if (*physical != program.physical) {
      report(tile, std::nullopt, "physical tile", dec(*physical), dec(program.physical));
    }
    if (words.empty() || words.front() != ROW_ENTRY_INSTRUCTION) {
      report(tile, 0, "first word", hex(ROW_ENTRY_INSTRUCTION),
             words.empty() ? "nothing" : hex(words.front()));
    }
    if (words.empty() || words.back() != RETURN_INSTRUCTION) {
      report(tile, words.empty() ? 0 : words.size() - 1, "last word", hex(RETURN_INSTRUCTION),
             words.empty() ? "nothing" : hex(words.back()));
    }
    std::vector<Event> events;
    std::int64_t cycle = 0;
    for (std::size_t index = 0; index < words.size(); ++index) {
      const std::uint32_t word = words[index];
      const std::int64_t start = cycle;
      cycle += instruction_advance(word);
      const bool framing = (index == 0 && word == ROW_ENTRY_INSTRUCTION) ||
                           (index + 1 == words.size() && word == RETURN_INSTRUCTION);
      if (framing || delay_word::kind.matches(word)) continue;
      if (pic_word::kind.matches(word)) {
        events.push_back(Event{Kind::Pic, index, start, cycle, word});
      } else if (xpic_word::kind.matches(word)) {
        events.push_back(Event{Kind::Xpic, index, start, cycle, word});
      } else if (send_off_word::kind.matches(word)) {
        events.push_back(Event{Kind::Continuation, index, start, cycle, word});
      } else if (send_word::kind.matches(word)) {
        events.push_back(Event{Kind::Send, index, start, cycle, word});
      } else {
        report(tile, index, "word kind", "an exchange word", hex(word));
      }
    }
    if (cycle != compiled_.horizon)
      report(tile, std::nullopt, "cycles", dec(compiled_.horizon), dec(cycle));
    group(tile, events);
  }

  // Events into roles. A second XPIC stage names selector 1600, which no
  // sender tile has, so a first XPIC always starts a new role.
  void group(std::uint16_t tile, const std::vector<Event>& events) {
    auto& roles = roles_[tile];
    for (std::size_t i = 0; i < events.size();) {
      const Event& event = events[i];
      Role role;
      role.first_word = event.index;
      if (event.kind == Kind::Send) {
        role.send = true;
        role.event = event.start;
        role.last = event.end;
        role.count = send_word::CountMinusOne::get(event.word) + 1;
        role.direction = send_word::Direction::get(event.word);
        role.address = send_word::BaseWord::get(event.word);
        ++i;
        if (i < events.size() && events[i].kind == Kind::Continuation) {
          if (events[i].start != event.end) {
            report(tile, events[i].index, "continuation SEND start", dec(event.end),
                   dec(events[i].start));
          }
          role.count += static_cast<std::uint32_t>(events[i].end - events[i].start);
          role.continuation_direction = send_off_word::Direction::get(events[i].word);
          role.last = events[i].end;
          ++i;
        }
      } else if (event.kind == Kind::Xpic &&
                 xpic_word::Selector::get(event.word) != second_stage_selector) {
        role.event = event.end;
        role.last = event.end;
        role.selector = xpic_word::Selector::get(event.word);
        ++i;
        const auto second_xpic = [&](std::size_t at) {
          return at < events.size() && events[at].kind == Kind::Xpic &&
                 xpic_word::Selector::get(events[at].word) == second_stage_selector;
        };
        const auto take = [&](Kind kind) {
          role.stages.push_back(kind);
          if (kind == Kind::Pic) role.address = pic_word::Address::get(events[i].word);
          role.last = events[i].end;
          ++i;
        };
        if (second_xpic(i)) {
          take(Kind::Xpic);
          if (i < events.size() && events[i].kind == Kind::Pic) take(Kind::Pic);
        } else if (i < events.size() && events[i].kind == Kind::Pic) {
          take(Kind::Pic);
          if (second_xpic(i)) take(Kind::Xpic);
        }
      } else {
        report(tile, event.index, "exchange events", "a SEND or a first XPIC", hex(event.word));
        ++i;
        continue;
      }
      roles.push_back(std::move(role));
    }
  }

  // Each piece, in program order, takes the earliest free SEND role that fits
  // and whose receivers all have a free receive role arriving on time.
  void match() {
    std::map<std::tuple<std::uint16_t, std::uint32_t, std::uint32_t>, std::vector<std::size_t>>
        sends;
    std::map<std::tuple<std::uint16_t, std::uint32_t, std::uint32_t>,
             std::map<std::int64_t, std::size_t>>
        receives;
    for (auto& [tile, roles] : roles_) {
      for (std::size_t r = 0; r < roles.size(); ++r) {
        if (roles[r].send) {
          sends[{tile, roles[r].address, roles[r].count}].push_back(r);
        } else {
          receives[{tile, roles[r].selector, roles[r].address}].emplace(roles[r].event, r);
        }
      }
    }
    send_role_.assign(pieces_.size(), none);
    match_merged(sends, receives);
    for (std::size_t p = 0; p < pieces_.size(); ++p) {
      if (send_role_[p] != none) continue;  // carried by a multicast
      const Piece& piece = pieces_[p];
      const TransferView transfer = view(description_.transfers[piece.transfer].transfer);
      PlannedRows rows;
      if (auto planned =
              plan_piece(topology_, transfer, piece.offset, piece.count, piece.transfer, rows);
          !planned) {
        report(transfer.sender, std::nullopt,
               "transfer " + dec(static_cast<std::int64_t>(piece.transfer)),
               "a transfer the planners accept", to_string(planned.error()));
        continue;
      }
      PieceTiming timing;
      time_piece(rows, piece.count, timing);
      const std::uint32_t source = (transfer.source_address / 4) + piece.offset;
      const auto candidates = sends.find({transfer.sender, source, piece.count});
      const std::string what = "transfer " + dec(static_cast<std::int64_t>(piece.transfer));
      if (candidates == sends.end()) {
        report(transfer.sender, std::nullopt, what + " SEND",
               dec(piece.count) + " words from word " + hex(source), "none");
        continue;
      }
      auto& sender_roles = roles_[transfer.sender];
      const auto receiver_role = [&](std::size_t i,
                                     std::int64_t send_start) -> std::optional<std::size_t> {
        const std::uint16_t tile = transfer.receivers[i];
        const auto found =
            receives.find({tile, rows.sender_physical, transfer.destination(i) / 4 + piece.offset});
        if (found == receives.end()) return std::nullopt;
        const std::int64_t arrival = send_start + timing.receivers[i].event - timing.sender.event;
        const auto role = found->second.find(arrival);
        if (role == found->second.end() || roles_[tile][role->second].piece != none)
          return std::nullopt;
        return role->second;
      };
      std::size_t chosen = none;
      for (const std::size_t r : candidates->second) {
        if (sender_roles[r].piece != none) continue;
        if (chosen == none) chosen = r;
        bool all = true;
        for (std::size_t i = 0; i < transfer.receivers.size() && all; ++i) {
          all = receiver_role(i, sender_roles[r].event).has_value();
        }
        if (all) {
          chosen = r;
          break;
        }
      }
      if (chosen == none) {
        report(transfer.sender, std::nullopt, what + " SEND",
               dec(piece.count) + " words from word " + hex(source), "none left");
        continue;
      }
      Role& send = sender_roles[chosen];
      send.piece = p;
      send_role_[p] = chosen;
      const std::int64_t start = send.event - timing.sender.event;
      send.row_end = start + timing.sender.end;
      check_send(transfer, rows, send, piece);
      for (std::size_t i = 0; i < transfer.receivers.size(); ++i) {
        const std::uint16_t tile = transfer.receivers[i];
        const auto r = receiver_role(i, send.event);
        if (!r) {
          report(tile, std::nullopt, what + " arrival cycle",
                 dec(start + timing.receivers[i].event), "no receive of it then");
          continue;
        }
        Role& receive = roles_[tile][*r];
        receive.piece = p;
        receive.row_end = start + timing.receivers[i].end;
        check_stages(tile, transfer, receive, piece.count);
      }
    }
    for (const auto& [tile, roles] : roles_) {
      for (const Role& role : roles) {
        if (role.piece == none) {
          report(tile, role.first_word, "exchange events", "none for no transfer",
                 role.send ? "a SEND" : "a receive");
        }
      }
    }
  }

  // A group of transfers that may travel as one multicast takes a free SEND
  // role of the multicast's direction whose receivers all receive at the
  // multicast's arrival cycles; a group without one is matched transfer by
  // transfer afterwards.
  template <typename Sends, typename Receives>
  void match_merged(Sends& sends, Receives& receives) {
    const TransferList list = list_transfers(description_);
    for (const auto& group : multicast_groups(list, topology_.tile_count())) {
      const Transfer shape = merged_multicast(list, group);
      const TransferView multicast = view(shape);
      PlannedRows rows;
      if (!plan_piece(topology_, multicast, 0, multicast.count, group.front(), rows)) continue;
      PieceTiming timing;
      time_piece(rows, multicast.count, timing);
      const auto candidates =
          sends.find({multicast.sender, multicast.source_address / 4, multicast.count});
      if (candidates == sends.end()) continue;
      const auto send_word_of =
          std::find_if(rows.sender().begin(), rows.sender().end(),
                       [](std::uint32_t word) { return send_word::kind.matches(word); });
      const std::uint32_t direction = send_word::Direction::get(*send_word_of);
      auto& sender_roles = roles_[multicast.sender];
      const auto receiver_role = [&](std::size_t i,
                                     std::int64_t send_start) -> std::optional<std::size_t> {
        const std::uint16_t tile = multicast.receivers[i];
        const auto found =
            receives.find({tile, rows.sender_physical, multicast.destination(i) / 4});
        if (found == receives.end()) return std::nullopt;
        const auto role =
            found->second.find(send_start + timing.receivers[i].event - timing.sender.event);
        if (role == found->second.end() || roles_[tile][role->second].piece != none)
          return std::nullopt;
        return role->second;
      };
      std::size_t chosen = none;
      for (const std::size_t r : candidates->second) {
        if (sender_roles[r].piece != none || sender_roles[r].direction != direction) continue;
        bool all = true;
        for (std::size_t i = 0; i < multicast.receivers.size() && all; ++i) {
          all = receiver_role(i, sender_roles[r].event).has_value();
        }
        if (all) {
          chosen = r;
          break;
        }
      }
      if (chosen == none) continue;
      Role& send = sender_roles[chosen];
      const std::int64_t start = send.event - timing.sender.event;
      send.piece = first_piece_[group.front()];
      send.row_end = start + timing.sender.end;
      check_send(multicast, rows, send, pieces_[send.piece]);
      for (std::size_t i = 0; i < group.size(); ++i) {
        const std::uint16_t tile = multicast.receivers[i];
        Role& receive = roles_[tile][*receiver_role(i, send.event)];
        const std::size_t p = first_piece_[group[i]];
        send_role_[p] = chosen;
        receive.piece = p;
        receive.row_end = start + timing.receivers[i].end;
        check_stages(tile, multicast, receive, multicast.count);
      }
    }
  }

  void check_send(const TransferView& transfer, const PlannedRows& rows, const Role& send,
                  const Piece& piece) {
    // The planned row's SEND word carries the direction the route demands.
    const auto planned =
        std::find_if(rows.sender().begin(), rows.sender().end(),
                     [](std::uint32_t word) { return send_word::kind.matches(word); });
    const std::uint32_t expected = send_word::Direction::get(*planned);
    if (send.direction != expected) {
      report(transfer.sender, send.first_word, "SEND direction", dec(expected),
             dec(send.direction));
    }
    if (piece.count > 64) {
      const std::uint32_t continuation = transfer.multicast ? 3u : expected;
      if (send.continuation_direction != continuation) {
        report(transfer.sender, send.first_word, "continuation SEND direction", dec(continuation),
               dec(send.continuation_direction));
      }
    }
  }

  void check_stages(std::uint16_t tile, const TransferView& transfer, const Role& receive,
                    std::uint32_t count) {
    std::vector<Kind> stages;
    if (transfer.multicast && count == 1) {
      stages = {Kind::Pic};
    } else if (count <= 51) {
      stages = {Kind::Xpic, Kind::Pic};
    } else {
      stages = {Kind::Pic, Kind::Xpic};
    }
    if (stages != receive.stages) {
      report(tile, receive.first_word, "receive stages",
             dec(static_cast<std::int64_t>(stages.size())) + " for " + dec(count) + " words",
             dec(static_cast<std::int64_t>(receive.stages.size())));
    }
  }

  // The builder's rule: each row's first event after the end of the row before.
  void check_rows() {
    for (auto& [tile, roles] : roles_) {
      const Role* before = nullptr;
      for (const Role& role : roles) {
        if (role.piece == none) continue;
        if (before != nullptr && role.event <= before->row_end) {
          report(tile, role.first_word,
                 "rows of transfers " +
                     dec(static_cast<std::int64_t>(pieces_[before->piece].transfer)) + " and " +
                     dec(static_cast<std::int64_t>(pieces_[role.piece].transfer)),
                 "first event after cycle " + dec(before->row_end), "cycle " + dec(role.event));
        }
        before = &role;
      }
    }
  }

  struct Windows {
    bool known = false;
    std::int64_t first = 0;
    std::int64_t last = 0;
  };

  void check_dependencies() {
    // Every piece's windows, from its matched roles.
    std::vector<Windows> windows(pieces_.size());
    std::map<std::pair<std::uint16_t, std::size_t>, const Role*> receive_of;
    for (const auto& [tile, roles] : roles_) {
      for (const Role& role : roles) {
        if (role.piece == none || role.send) continue;
        receive_of[{tile, role.piece}] = &role;
      }
    }
    std::vector<std::vector<const Role*>> receivers(pieces_.size());
    for (std::size_t p = 0; p < pieces_.size(); ++p) {
      if (send_role_[p] == none) continue;
      const TransferView transfer = view(description_.transfers[pieces_[p].transfer].transfer);
      const Role& send = roles_[transfer.sender][send_role_[p]];
      Windows w{true, send.event, send.event + pieces_[p].count};
      for (const std::uint16_t tile : transfer.receivers) {
        const auto found = receive_of.find({tile, p});
        receivers[p].push_back(found == receive_of.end() ? nullptr : found->second);
        if (found == receive_of.end()) {
          w.known = false;
          continue;
        }
        w.first = std::min(w.first, found->second->event);
        w.last = std::max(w.last, found->second->row_end);
      }
      windows[p] = w;
    }
    std::map<std::uint16_t, RangeClock> reads;
    std::map<std::uint16_t, RangeClock> writes;
    const auto late = [&](std::uint16_t tile, std::size_t p, const char* window, std::int64_t at,
                          std::int64_t after) {
      report(tile, std::nullopt,
             "transfer " + dec(static_cast<std::int64_t>(pieces_[p].transfer)) + " " + window,
             "a start at or after cycle " + dec(after), "cycle " + dec(at));
    };
    for (std::size_t p = 0; p < pieces_.size(); ++p) {
      if (!windows[p].known) continue;
      const Piece& piece = pieces_[p];
      const TransferView transfer = view(description_.transfers[piece.transfer].transfer);
      const Role& send = roles_[transfer.sender][send_role_[p]];
      const std::uint64_t source = std::uint64_t{transfer.source_address} + 4ull * piece.offset;
      const std::uint64_t source_end = source + 4ull * piece.count;
      if (const auto before = writes[transfer.sender].latest(source, source_end).placed;
          send.event < before) {
        late(transfer.sender, p, "send window after a write of its source", send.event, before);
      }
      for (std::size_t i = 0; i < transfer.receivers.size(); ++i) {
        const std::uint16_t tile = transfer.receivers[i];
        const std::uint64_t begin = std::uint64_t{transfer.destination(i)} + 4ull * piece.offset;
        const std::uint64_t end = begin + 4ull * piece.count;
        const std::int64_t before =
            std::max(writes[tile].latest(begin, end).placed, reads[tile].latest(begin, end).placed);
        if (receivers[p][i]->event < before) {
          late(tile, p, "receive window after a use of its destination", receivers[p][i]->event,
               before);
        }
      }
      for (const std::size_t other : description_.transfers[piece.transfer].after) {
        if (other >= description_.transfers.size()) continue;
        for (std::size_t q = first_piece_[other]; q < first_piece_[other + 1]; ++q) {
          if (windows[q].known && windows[p].first < windows[q].last) {
            late(transfer.sender, p,
                 ("windows after transfer " + dec(static_cast<std::int64_t>(other))).c_str(),
                 windows[p].first, windows[q].last);
          }
        }
      }
      reads[transfer.sender].raise(source, source_end, WindowEnds{send.event + piece.count, 0});
      for (std::size_t i = 0; i < transfer.receivers.size(); ++i) {
        const std::uint64_t begin = std::uint64_t{transfer.destination(i)} + 4ull * piece.offset;
        writes[transfer.receivers[i]].raise(begin, begin + 4ull * piece.count,
                                            WindowEnds{receivers[p][i]->row_end, 0});
      }
    }
  }

  const Topology& topology_;
  const ExchangeDescription& description_;
  const CompiledExchange& compiled_;
  std::vector<Piece> pieces_;
  std::vector<std::size_t> first_piece_;
  std::vector<std::size_t> send_role_;
  std::map<std::uint16_t, std::vector<Role>> roles_;
  std::vector<VerifyIssue> issues_;
};

}  // namespace

std::vector<VerifyIssue> verify_scheduled(const Topology& topology,
                                          const ExchangeDescription& description,
                                          const CompiledExchange& compiled) {
  return ScheduledVerifier{topology, description, compiled}.run();
}

}  // namespace meshweave::exchange_detail
