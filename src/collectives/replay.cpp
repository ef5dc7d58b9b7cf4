// The data-flow replay of a collective plan.
#include "meshweave/collectives/replay.hpp"

#include <algorithm>
#include <charconv>
#include <map>
#include <span>
#include <tuple>

#include "collective_detail.hpp"
#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/plans.hpp"
#include "symbolic_memory.hpp"

namespace meshweave {

namespace {

using namespace collectives_detail;

std::string hex(std::uint64_t value) {
  char digits[20];
  const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
  return "0x" + std::string(digits, end);
}

std::string bytes(std::uint32_t word, std::uint32_t count) {
  return "bytes " + hex(4ull * word) + ".." + hex(4ull * (std::uint64_t{word} + count));
}

// Cycles a row accounts for, up to its return word.
std::uint32_t row_cycles(const PlanRow& row) {
  std::uint32_t cycles = 0;
  for (const std::uint32_t word : row) {
    if (word == RETURN_INSTRUCTION) break;
    cycles += instruction_advance(word);
  }
  return cycles;
}

// One access window of a piece on one tile.
struct Window {
  std::uint32_t begin = 0;  // words
  std::uint32_t end = 0;
  bool write = false;
  std::size_t piece = 0;
};

struct Piece {
  std::size_t transfer = 0;
  TransferView view;
  std::uint32_t offset = 0;  // words into the transfer
  std::uint32_t count = 0;
  std::int64_t send = 0;
  std::vector<std::int64_t> arrival;
  std::vector<std::int64_t> landed;  // end of each receiver's row
  std::vector<SymbolPiece> data;
};

struct Event {
  std::int64_t time = 0;
  std::uint8_t order = 0;  // closes before opens at one cycle
  std::size_t piece = 0;
  std::size_t receiver = 0;  // receivers.size() for the sender's read
  bool open = false;
  friend bool operator<(const Event& a, const Event& b) {
    return std::tie(a.time, a.order, a.piece, a.receiver) <
           std::tie(b.time, b.order, b.piece, b.receiver);
  }
};

class Replay {
 public:
  Replay(const Topology& topology, const CollectivePlan& plan, std::size_t limit)
      : topology_{topology},
        plan_{plan},
        limit_{limit},
        memory_(topology.tile_count()),
        windows_(topology.tile_count()) {}

  std::vector<ReplayIssue> run(std::span<const CompiledExchange> compiled) {
    if (compiled.size() != plan_.steps.size()) {
      issue(0, std::nullopt, 0,
            "got " + std::to_string(compiled.size()) + " compiled steps for " +
                std::to_string(plan_.steps.size()) + " steps");
      return issues_;
    }
    for (const std::uint16_t tile : plan_.request.tiles) {
      if (tile >= memory_.size()) {
        issue(0, std::nullopt, tile, "the plan's tile is outside the topology");
        return issues_;
      }
    }
    fill_inputs();
    for (step_ = 0; step_ < plan_.steps.size() && !full(); ++step_) {
      for (const Combine& combine : plan_.steps[step_].combine_before) apply(combine);
      replay_step(plan_.steps[step_].exchange, compiled[step_]);
    }
    step_ = plan_.steps.size();
    for (const Combine& combine : plan_.combine_after) apply(combine);
    if (!full()) check_postcondition();
    return issues_;
  }

 private:
  bool full() const { return issues_.size() >= limit_; }

  void issue(std::size_t step, std::optional<std::size_t> transfer, std::uint16_t tile,
             std::string what) {
    if (!full()) issues_.push_back(ReplayIssue{step, transfer, tile, std::move(what)});
  }

  void fill_inputs() {
    const std::uint32_t base = plan_.request.input / 4;
    for (const std::uint16_t tile : plan_.request.tiles) {
      auto token = std::make_shared<SymbolNode>();
      token->origin = tile;
      memory_[tile].write(base, plan_.input_words,
                          {SymbolPiece{0, plan_.input_words, SymbolRef{token, 0}}});
    }
  }

  void apply(const Combine& combine) {
    if (combine.tile >= memory_.size()) {
      issue(step_, std::nullopt, combine.tile, "combine on a tile outside the topology");
      return;
    }
    // Every repetition's bytes inside tile memory, or none is done.
    const std::uint64_t last = combine.repeat == 0 ? 0 : combine.repeat - 1;
    const std::uint64_t span = 4ull * combine.words;
    std::uint64_t highest = combine.destination + last * combine.destination_stride + span;
    for (const std::uint32_t address : combine.sources) {
      highest = std::max(highest, address + last * combine.source_stride + span);
    }
    if (highest > TILE_MEMORY_BYTES) {
      issue(step_, std::nullopt, combine.tile,
            "combine reaches byte " + hex(highest) + ", past the end of tile memory");
      return;
    }
    std::vector<std::uint32_t> sources(combine.sources.size());
    for (std::uint32_t r = 0; r < combine.repeat; ++r) {
      for (std::size_t s = 0; s < sources.size(); ++s) {
        sources[s] = combine.sources[s] + r * combine.source_stride;
      }
      if (!apply_once(combine.tile, combine.destination + r * combine.destination_stride, sources,
                      combine.words)) {
        return;
      }
    }
  }

  // One repetition of a combine; false when it reads bytes that hold no data.
  bool apply_once(std::uint16_t tile, std::uint32_t destination,
                  const std::vector<std::uint32_t>& addresses, std::uint32_t words) {
    SymbolicMemory& memory = memory_[tile];
    std::vector<std::vector<SymbolPiece>> sources;
    for (const std::uint32_t address : addresses) {
      auto read = memory.read(address / 4, words);
      if (!read) {
        issue(step_, std::nullopt, tile,
              "combine reads " + bytes(address / 4, words) + " that hold no data");
        return false;
      }
      sources.push_back(std::move(*read));
    }
    if (sources.size() == 1) {
      memory.write(destination / 4, words, sources[0]);
      return true;
    }
    // Cut the range where any source's pieces change; each cut is one sum.
    std::vector<std::uint32_t> cuts{0, words};
    for (const auto& source : sources) {
      for (const SymbolPiece& piece : source) cuts.push_back(piece.begin);
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    std::vector<SymbolPiece> result;
    std::vector<std::size_t> at(sources.size(), 0);
    for (std::size_t c = 0; c + 1 < cuts.size(); ++c) {
      auto sum = std::make_shared<SymbolNode>();
      for (std::size_t s = 0; s < sources.size(); ++s) {
        while (sources[s][at[s]].end <= cuts[c]) ++at[s];
        sum->terms.push_back(sources[s][at[s]].value);
      }
      result.push_back(SymbolPiece{cuts[c], cuts[c + 1], SymbolRef{std::move(sum), 0}});
    }
    memory.write(destination / 4, words, result);
    return true;
  }

  // Pieces of the step with their windows, from the compiled timings.
  bool collect(const ExchangeDescription& description, const CompiledExchange& compiled) {
    pieces_.clear();
    std::size_t previous = description.transfers.size();
    std::uint32_t offset = 0;
    for (const TransferTiming& timing : compiled.timings) {
      if (timing.transfer >= description.transfers.size()) {
        issue(step_, timing.transfer, 0, "a timing names a transfer the step does not have");
        return false;
      }
      offset = timing.transfer == previous ? offset + MAX_TRANSFER_WORDS : 0;
      previous = timing.transfer;
      Piece piece;
      piece.transfer = timing.transfer;
      piece.view = view(description.transfers[timing.transfer].transfer);
      const std::span<const std::uint32_t> arrivals = arrival_cycles(compiled, timing);
      if (offset >= piece.view.count || arrivals.size() != piece.view.receivers.size()) {
        issue(step_, timing.transfer, piece.view.sender, "timings do not match the transfer");
        return false;
      }
      piece.offset = offset;
      piece.count = std::min(MAX_TRANSFER_WORDS, piece.view.count - offset);
      piece.send = timing.send_cycle;
      piece.arrival.assign(arrivals.begin(), arrivals.end());
      if (!receive_ends(piece, timing.start)) return false;
      pieces_.push_back(std::move(piece));
    }
    return true;
  }

  // Where each receiver's row ends: there its words are in memory.
  bool receive_ends(Piece& piece, std::uint32_t start) {
    const TransferView& v = piece.view;
    if (v.multicast) {
      auto plan = topology_.multicast(v.sender, v.receivers, piece.count, 0);
      if (!plan) {
        issue(step_, piece.transfer, v.sender, "the transfer cannot be planned");
        return false;
      }
      for (const PlanRow& row : plan->receivers)
        piece.landed.push_back(start + std::int64_t{row_cycles(row)});
      return true;
    }
    auto plan = topology_.point_to_point(v.sender, v.receivers[0], piece.count);
    if (!plan) {
      issue(step_, piece.transfer, v.sender, "the transfer cannot be planned");
      return false;
    }
    auto row = finalize_point_receiver(plan->receiver, topology_.physical(v.sender).value());
    if (!row) {
      issue(step_, piece.transfer, v.sender, "the transfer cannot be planned");
      return false;
    }
    piece.landed.push_back(start + std::int64_t{row_cycles(*row)});
    return true;
  }

  void replay_step(const ExchangeDescription& description, const CompiledExchange& compiled) {
    if (!collect(description, compiled)) return;
    std::vector<Event> events;
    for (std::size_t p = 0; p < pieces_.size(); ++p) {
      const Piece& piece = pieces_[p];
      const std::size_t sender = piece.view.receivers.size();
      events.push_back(Event{piece.send, 1, p, sender, true});
      events.push_back(Event{piece.send + piece.count, 0, p, sender, false});
      for (std::size_t i = 0; i < sender; ++i) {
        events.push_back(Event{piece.arrival[i], 1, p, i, true});
        events.push_back(Event{std::max(piece.landed[i], piece.arrival[i]), 0, p, i, false});
      }
    }
    std::sort(events.begin(), events.end());
    for (const Event& event : events) {
      if (full()) return;
      handle(event);
    }
  }

  // The tile and words an event touches.
  Window window_of(const Event& event, std::uint16_t& tile) const {
    const Piece& piece = pieces_[event.piece];
    const bool read = event.receiver == piece.view.receivers.size();
    tile = read ? piece.view.sender : piece.view.receivers[event.receiver];
    const std::uint32_t address =
        read ? piece.view.source_address : piece.view.destination(event.receiver);
    const std::uint32_t begin = address / 4 + piece.offset;
    return Window{begin, begin + piece.count, !read, event.piece};
  }

  void handle(const Event& event) {
    Piece& piece = pieces_[event.piece];
    std::uint16_t tile = 0;
    const Window window = window_of(event, tile);
    std::vector<Window>& open = windows_[tile];
    if (!event.open) {
      const auto same = std::find_if(open.begin(), open.end(), [&](const Window& w) {
        return w.piece == window.piece && w.write == window.write && w.begin == window.begin;
      });
      if (same != open.end()) open.erase(same);
      if (window.write) memory_[tile].write(window.begin, piece.count, piece.data);
      return;
    }
    for (const Window& other : open) {
      if ((other.write || window.write) && other.begin < window.end && window.begin < other.end) {
        issue(step_, piece.transfer, tile,
              std::string{window.write ? "writes " : "reads "} + bytes(window.begin, piece.count) +
                  " while transfer " + std::to_string(pieces_[other.piece].transfer) + " " +
                  (other.write ? "writes" : "reads") + " them");
        return;
      }
    }
    open.push_back(window);
    if (window.write) return;
    auto data = memory_[tile].read(window.begin, piece.count);
    if (!data) {
      issue(step_, piece.transfer, tile,
            "reads " + bytes(window.begin, piece.count) + " before they hold data");
      return;
    }
    piece.data = std::move(*data);
  }

  // Expected: word i of [address, address + words) on `tile` is the sum over
  // `origins` of token(origin, index + i).
  // `what(...)` names the expected data, built only for an issue.
  template <typename What>
  void expect(std::uint16_t tile, std::uint32_t address, std::uint32_t words,
              const std::vector<std::uint16_t>& origins, std::uint32_t index, What what) {
    if (full()) return;
    const std::uint32_t begin = address / 4;
    bool right = true;
    const bool whole = memory_[tile].visit(
        begin, words, [&](std::uint32_t from, std::uint32_t, const SymbolRef& value) {
          if (!right) return;
          // value(a) = sum of token(origin, a + shift + delta); expected index + a - begin.
          const std::int64_t delta = std::int64_t{index} - begin - value.shift;
          // A reduced shard is one node shared by every tile it reaches: judge it once.
          const auto key = std::tuple{value.node.get(), delta, &origins};
          if (const auto known = verdicts_.find(key); known != verdicts_.end()) {
            right = known->second;
            return;
          }
          const auto& sum = flattener_.flatten(value.node.get());
          right = sum.size() == origins.size();
          for (std::size_t k = 0; right && k < sum.size(); ++k) {
            right = sum[k].origin == origins[k] && sum[k].delta == delta;
          }
          verdicts_.emplace(key, right);
          (void)from;
        });
    if (!whole || !right) {
      issue(step_, std::nullopt, tile,
            bytes(begin, words) + (whole ? " do not hold " : " hold no data for ") + what());
    }
  }

  void check_postcondition() {
    const CollectiveRequest& r = plan_.request;
    const std::vector<std::uint16_t>& t = r.tiles;
    const std::size_t n = t.size();
    const std::uint32_t w = r.words;
    // Participants' tiles as one-origin lists, made once (verdicts are kept
    // by the list's address).
    singles_.resize(n);
    for (std::size_t j = 0; j < n; ++j) singles_[j] = {t[j]};
    const auto& origin = singles_;
    const auto shard = [](std::size_t j) { return [j] { return "shard " + std::to_string(j); }; };
    const auto text = [](const char* words) { return [words] { return std::string{words}; }; };
    switch (r.kind) {
      case CollectiveKind::RingShift:
        for (std::size_t j = 0; j < n; ++j) {
          expect(t[(j + 1) % n], r.output, w, origin[j], 0,
                 [j] { return "the shard of participant " + std::to_string(j); });
        }
        break;
      case CollectiveKind::Halo: check_halo(); break;
      case CollectiveKind::Broadcast:
        for (std::size_t j = 0; j < n; ++j) {
          if (j != r.root) expect(t[j], r.output, w, origin[r.root], 0, text("the root's message"));
        }
        break;
      case CollectiveKind::Scatter:
        for (std::size_t j = 0; j < n; ++j) {
          expect(t[j], r.output, w, origin[r.root], static_cast<std::uint32_t>(j * w), shard(j));
        }
        break;
      case CollectiveKind::Gather:
        for (std::size_t j = 0; j < n; ++j) {
          expect(t[r.root], slot(r.output, w, j), w, origin[j], 0, shard(j));
        }
        break;
      case CollectiveKind::AllGather:
        for (std::size_t k = 0; k < n; ++k) {
          for (std::size_t j = 0; j < n; ++j)
            expect(t[k], slot(r.output, w, j), w, origin[j], 0, shard(j));
        }
        break;
      case CollectiveKind::AllToAll:
        for (std::size_t k = 0; k < n; ++k) {
          for (std::size_t j = 0; j < n; ++j) {
            expect(t[k], slot(r.output, w, j), w, origin[j], static_cast<std::uint32_t>(k * w),
                   [j, k] {
                     return "block " + std::to_string(k) + " of participant " + std::to_string(j);
                   });
          }
        }
        break;
      case CollectiveKind::ReduceScatter:
      case CollectiveKind::AllReduce: {
        std::vector<std::uint16_t> all = t;
        std::sort(all.begin(), all.end());
        for (std::size_t k = 0; k < n; ++k) {
          if (r.kind == CollectiveKind::ReduceScatter) {
            expect(t[k], r.output, w, all, static_cast<std::uint32_t>(k * w),
                   [k] { return "the sum of shard " + std::to_string(k); });
            continue;
          }
          for (std::size_t j = 0; j < n; ++j) {
            expect(t[k], slot(r.output, w, j), w, all, static_cast<std::uint32_t>(j * w),
                   [j] { return "the sum of shard " + std::to_string(j); });
          }
        }
        break;
      }
    }
  }

  void check_halo() {
    const CollectiveRequest& r = plan_.request;
    const HaloWords& h = r.halo;
    // The neighbour in each direction sends the block facing us: output slot,
    // its words, its input offset, and the step to that neighbour.
    struct Side {
      std::uint32_t output_offset;
      std::uint32_t words;
      std::uint32_t input_offset;
      int row_step;
      int column_step;
      const char* name;
    };
    const Side sides[] = {
        {0, h.south, h.north, -1, 0, "the north neighbour's south block"},
        {h.south, h.north, 0, 1, 0, "the south neighbour's north block"},
        {h.south + h.north, h.east, h.north + h.south + h.west, 0, -1,
         "the west neighbour's east block"},
        {h.south + h.north + h.east, h.west, h.north + h.south, 0, 1,
         "the east neighbour's west block"},
    };
    const int rows = h.rows;
    const int columns = h.columns;
    for (int row = 0; row < rows; ++row) {
      for (int column = 0; column < columns; ++column) {
        const std::uint16_t tile = r.tiles[static_cast<std::size_t>(row * columns + column)];
        for (const Side& side : sides) {
          if (side.words == 0) continue;
          int from_row = row + side.row_step;
          int from_column = column + side.column_step;
          if (!h.periodic &&
              (from_row < 0 || from_row >= rows || from_column < 0 || from_column >= columns)) {
            continue;
          }
          from_row = (from_row + rows) % rows;
          from_column = (from_column + columns) % columns;
          const auto from = static_cast<std::size_t>(from_row * columns + from_column);
          if (r.tiles[from] == tile) continue;
          const char* name = side.name;
          expect(tile, r.output + 4 * side.output_offset, side.words, singles_[from],
                 side.input_offset, [name] { return std::string{name}; });
        }
      }
    }
  }

  const Topology& topology_;
  const CollectivePlan& plan_;
  std::size_t limit_;
  std::vector<SymbolicMemory> memory_;
  std::vector<std::vector<Window>> windows_;
  std::vector<Piece> pieces_;
  Flattener flattener_;
  std::map<std::tuple<const SymbolNode*, std::int64_t, const void*>, bool> verdicts_;
  std::vector<std::vector<std::uint16_t>> singles_;
  std::vector<ReplayIssue> issues_;
  std::size_t step_ = 0;
};

}  // namespace

std::string to_string(const ReplayIssue& issue) {
  std::string text = "step " + std::to_string(issue.step);
  if (issue.transfer) text += ", transfer " + std::to_string(*issue.transfer);
  text += ", tile " + std::to_string(issue.tile) + ": " + issue.what;
  return text;
}

std::vector<ReplayIssue> replay_collective(const Topology& topology, const CollectivePlan& plan,
                                           std::span<const CompiledExchange> compiled,
                                           std::size_t limit) {
  return Replay{topology, plan, limit}.run(compiled);
}

}  // namespace meshweave
