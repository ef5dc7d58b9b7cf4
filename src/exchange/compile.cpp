#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/schedule.hpp"
#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/plans.hpp"
#include "meshweave/scheduling.hpp"
#include "meshweave/topology/route.hpp"
#include "piece_rows.hpp"
#include "plans/point_to_point_into.hpp"
#include "schedule_compiler.hpp"
#include "scheduler.hpp"
#include "transfer_order.hpp"

namespace meshweave {

const TileProgram* CompiledExchange::program(std::uint16_t logical) const noexcept {
  const auto it = std::lower_bound(
      programs.begin(), programs.end(), logical,
      [](const TileProgram& program, std::uint16_t tile) { return program.logical < tile; });
  return it != programs.end() && it->logical == logical ? &*it : nullptr;
}

std::span<const std::uint32_t> arrival_cycles(const CompiledExchange& compiled,
                                              const TransferTiming& timing) noexcept {
  const std::size_t size = compiled.arrival_cycles.size();
  if (timing.first_arrival > size || timing.arrivals > size - timing.first_arrival) return {};
  return std::span<const std::uint32_t>{compiled.arrival_cycles}.subspan(timing.first_arrival,
                                                                         timing.arrivals);
}

namespace {

constexpr std::size_t never = std::numeric_limits<std::size_t>::max();

// One tile's program while it is being built: the finished stretches, and the
// builder of the current stretch, which counts cycles from `base`.
struct TileStream {
  std::vector<std::uint32_t> done;
  std::uint32_t base = 0;
  std::optional<PlanProgramBuilder> builder;
};

// One planned transfer: its rows in the order sender, receivers (the same
// record the scheduler plans into).
using exchange_detail::cycles_before_send;
using exchange_detail::PlannedRows;
using PlannedTransfer = PlannedRows;

// Where a step of compiling works, for the errors it reports.
struct Site {
  std::size_t phase = 0;
  std::optional<std::size_t> transfer;
  std::optional<std::uint16_t> tile;

  Site at(std::uint16_t on) const noexcept {
    Site site = *this;
    site.tile = on;
    return site;
  }
  CompileError error(ExchangeError cause,
                     CompileError::Kind kind = CompileError::Kind::Library) const {
    CompileError located;
    located.kind = kind;
    located.error = cause;
    located.phase = phase;
    located.transfer = transfer;
    located.tile = tile;
    return located;
  }
  std::unexpected<CompileError> fail(ExchangeError cause) const {
    return std::unexpected(error(cause));
  }
  std::unexpected<CompileError> fail(const Refusal& refusal) const {
    CompileError located = error(refusal.error);
    located.refusal = refusal;
    return std::unexpected(located);
  }
};

class ExchangeCompiler {
 public:
  ExchangeCompiler(const Topology& topology, const CompileOptions& options)
      : topology_{topology},
        options_{options},
        streams_(topology.tile_count()),
        seen_phase_(topology.tile_count(), never),
        seen_transfer_(topology.tile_count(), never) {}

  std::expected<CompiledExchange, CompileError> run(const ExchangeDescription& description) {
    reserve_results(description);
    // Reused from phase to phase.
    std::vector<PlannedTransfer> planned;
    std::uint64_t start = 0;
    for (std::size_t phase = 0; phase < description.phases.size(); ++phase) {
      const auto& transfers = description.phases[phase].transfers;
      // Every transfer of the phase is planned before any row is shifted, since
      // the phase lasts as long as its longest row.
      planned.clear();
      planned.reserve(transfers.size());
      std::uint32_t span = 0;
      for (std::size_t index = 0; index < transfers.size(); ++index) {
        PlannedTransfer& plan = planned.emplace_back();
        const Site site{phase, index, std::nullopt};
        if (auto planned_ok = plan_transfer(site, view(transfers[index]), plan); !planned_ok) {
          return std::unexpected(planned_ok.error());
        }
        span = std::max(span, plan_span(plan));
      }
      const std::uint64_t end = start + span;
      if (end > std::numeric_limits<std::uint32_t>::max()) {
        return Site{phase, std::nullopt, std::nullopt}.fail(
            ExchangeError::schedule(schedule_message::plan_event_horizon_overflow));
      }
      const auto phase_start = static_cast<std::uint32_t>(start);
      result_.phase_starts.push_back(phase_start);
      result_.phase_ends.push_back(static_cast<std::uint32_t>(end));
      for (std::size_t index = 0; index < transfers.size(); ++index) {
        const Site site{phase, index, std::nullopt};
        if (auto placed = place(site, view(transfers[index]), planned[index], phase_start);
            !placed) {
          return std::unexpected(placed.error());
        }
      }
      // The next phase starts one cycle after this one ends: a row that sends at
      // its very first cycle then still begins with a DELAY the builder can shorten.
      start = end + 1;
    }
    result_.horizon = result_.phase_ends.empty() ? 0 : result_.phase_ends.back();
    const Site last{description.phases.empty() ? 0 : description.phases.size() - 1, std::nullopt,
                    std::nullopt};
    if (auto finished = finish(last); !finished) return std::unexpected(finished.error());
    return std::move(result_);
  }

 private:
  // The result's lists have known lengths; sized once, they never move.
  void reserve_results(const ExchangeDescription& description) {
    std::size_t transfers = 0;
    std::size_t arrivals = 0;
    for (const Phase& phase : description.phases) {
      transfers += phase.transfers.size();
      for (const Transfer& transfer : phase.transfers) arrivals += view(transfer).receivers.size();
    }
    result_.timings.reserve(transfers);
    result_.arrival_cycles.reserve(arrivals);
    result_.phase_starts.reserve(description.phases.size());
    result_.phase_ends.reserve(description.phases.size());
  }

  // A tile may take part in one transfer per phase. Out-of-range tiles were
  // already refused by the planner.
  std::optional<CompileError> claim(const Site& site, std::uint16_t tile) {
    const std::size_t transfer = site.transfer.value_or(never);
    if (seen_phase_[tile] == site.phase && seen_transfer_[tile] != transfer) {
      CompileError conflict =
          site.at(tile).error(ExchangeError::host_packet(), CompileError::Kind::TileConflict);
      conflict.other_transfer = seen_transfer_[tile];
      return conflict;
    }
    seen_phase_[tile] = site.phase;
    seen_transfer_[tile] = transfer;
    return std::nullopt;
  }

  // The planners check only a buffer's first word; a SEND or PIC past the last
  // word of tile memory would wrap round. Names the first tile whose buffer
  // (source, then each receiver's destination) does not fit.
  static std::optional<CompileError> find_buffer_outside_memory(const Site& site,
                                                                const TransferView& transfer) {
    const auto outside = [&](std::uint32_t address) {
      // An address that is itself past the end is refused by the row patching.
      return in_tile_memory(address) && !buffer_fits_tile_memory(address, transfer.count);
    };
    const auto located = [&](std::uint16_t tile, std::uint32_t address) {
      return site.at(tile).error(ExchangeError::address(address), CompileError::Kind::AddressRange);
    };
    if (outside(transfer.source_address)) return located(transfer.sender, transfer.source_address);
    for (std::size_t i = 0; i < transfer.receivers.size(); ++i) {
      if (outside(transfer.destination(i))) {
        return located(transfer.receivers[i], transfer.destination(i));
      }
    }
    return std::nullopt;
  }

  // Plans `transfer` into `planned`, a fresh entry.
  std::expected<void, CompileError> plan_transfer(const Site& site, const TransferView& transfer,
                                                  PlannedTransfer& planned) {
    if (transfer.multicast) {
      if (!destination_count_fits(transfer.destination_addresses.size(),
                                  transfer.receivers.size())) {
        return std::unexpected(
            site.error(ExchangeError::receiver_set(), CompileError::Kind::DestinationCount));
      }
    }
    if (auto outside = find_buffer_outside_memory(site, transfer)) {
      return std::unexpected(*outside);
    }
    if (transfer.multicast) {
      auto plan =
          explained::multicast(topology_, transfer.sender, transfer.receivers, transfer.count, 0);
      if (!plan) return site.fail(plan.error());
      planned.multicast = true;
      planned.group = std::move(*plan);
    } else if (const ExplainedStatus plan =
                   explained_point_to_point_into(topology_, transfer.sender, transfer.receivers[0],
                                                 transfer.count, planned.point);
               !plan) {
      return site.fail(plan.error());
    }
    // Tiles are known to exist once the planner has accepted them.
    planned.sender_physical = topology_.physical(transfer.sender).value();
    if (auto conflict = claim(site, transfer.sender)) return std::unexpected(*conflict);
    for (const std::uint16_t receiver : transfer.receivers) {
      if (auto conflict = claim(site, receiver)) return std::unexpected(*conflict);
    }

    if (auto patched = explained::patch_sender_address(planned.sender(), transfer.source_address);
        !patched) {
      return site.at(transfer.sender).fail(patched.error());
    }
    const std::span<PlanRow> receivers = planned.receivers();
    for (std::size_t i = 0; i < receivers.size(); ++i) {
      const Site on_receiver = site.at(transfer.receivers[i]);
      PlanRow& row = receivers[i];
      if (!transfer.multicast) {
        const ExplainedStatus finalized =
            explained::finalize_point_receiver_in_place(row, planned.sender_physical);
        if (!finalized) return on_receiver.fail(finalized.error());
      }
      if (auto patched = explained::patch_receiver_address(row, transfer.destination(i));
          !patched) {
        return on_receiver.fail(patched.error());
      }
    }
    return {};
  }

  // The plan's horizon: the longest of its rows.
  static std::uint32_t plan_span(const PlannedTransfer& planned) noexcept {
    std::uint32_t span = plan_row_cycles(planned.sender());
    for (const PlanRow& row : planned.receivers()) span = std::max(span, plan_row_cycles(row));
    return span;
  }

  // Shifts the rows to the phase start, appends them to their tiles' streams and
  // records the transfer's timing.
  std::expected<void, CompileError> place(const Site& site, const TransferView& transfer,
                                          PlannedTransfer& planned, std::uint32_t phase_start) {
    TransferTiming& timing = result_.timings.emplace_back();
    timing.phase = site.phase;
    timing.transfer = site.transfer.value_or(0);
    timing.phase_start = phase_start;
    timing.start = phase_start;
    timing.count = transfer.count;
    timing.send_cycle = phase_start + cycles_before_send(planned.sender());
    timing.first_arrival = result_.arrival_cycles.size();
    // The planners accept each receiver once, and tiles are u16: this fits.
    timing.arrivals = static_cast<std::uint32_t>(transfer.receivers.size());
    for (const std::uint16_t receiver : transfer.receivers) {
      const std::uint16_t physical = topology_.physical(receiver).value();
      // The planners never put a SEND before cycle -time_to_mux, so this is not negative.
      const std::int64_t arrival =
          std::int64_t{timing.send_cycle} + time_to_mux(planned.sender_physical, physical) + 1;
      result_.arrival_cycles.push_back(static_cast<std::uint32_t>(arrival));
    }
    if (auto appended = append(site.at(transfer.sender), planned.sender(), phase_start);
        !appended) {
      return appended;
    }
    const std::span<PlanRow> receivers = planned.receivers();
    for (std::size_t i = 0; i < receivers.size(); ++i) {
      if (auto appended = append(site.at(transfer.receivers[i]), receivers[i], phase_start);
          !appended) {
        return appended;
      }
    }
    return {};
  }

  // Rows are shifted to their phase start with offset_plan, which has room for
  // only a few DELAY words after a row's return word. A tile's stream therefore
  // goes in stretches: once a row would need a shift beyond `max_row_shift`, the
  // builder so far is finished at the phase start (padded to exactly that cycle)
  // and a fresh builder takes over from there, counting from that cycle.
  static constexpr std::uint32_t max_row_shift = 2 * (delay_word::Cycles::max + 1);

  // `site` names the row's tile.
  std::expected<void, CompileError> append(const Site& site, PlanRow& row,
                                           std::uint32_t phase_start) {
    TileStream& stream = streams_[*site.tile];
    if (!stream.builder) stream.builder.emplace();
    if (phase_start - stream.base > max_row_shift) {
      if (auto closed = close_stretch(site, stream, phase_start); !closed) return closed;
    }
    if (auto shifted = explained::offset_plan(row, phase_start - stream.base); !shifted) {
      return site.fail(shifted.error());
    }
    if (auto appended = stream.builder->append_scheduled_row(row); !appended) {
      return site.fail(appended.error());
    }
    return {};
  }

  // Finishes the stream's current builder at absolute cycle `end` and keeps its
  // words, without the return word, ahead of what follows.
  static std::expected<void, CompileError> close_stretch(const Site& site, TileStream& stream,
                                                         std::uint32_t end) {
    auto words = std::move(*stream.builder).finish(end - stream.base);
    if (!words) return site.fail(words.error());
    words->pop_back();  // the return word
    // Every stretch but the first drops its entry word: the stream has one.
    const auto from = stream.done.empty() ? words->begin() : words->begin() + 1;
    stream.done.insert(stream.done.end(), from, words->end());
    stream.base = end;
    stream.builder.emplace();
    return {};
  }

  // `last` names the last phase: padding to the horizon follows it.
  std::expected<void, CompileError> finish(const Site& last) {
    // Logical tiles are u16: a larger caller table has no further addressable tiles.
    const std::size_t tiles = std::min<std::size_t>(streams_.size(), std::size_t{1} << 16);
    std::size_t programs = 0;
    for (std::size_t logical = 0; logical < tiles; ++logical) {
      if (streams_[logical].builder || options_.idle_programs) ++programs;
    }
    result_.programs.reserve(programs);
    for (std::size_t logical = 0; logical < tiles; ++logical) {
      TileStream& stream = streams_[logical];
      if (!stream.builder && !options_.idle_programs) continue;
      const auto tile = static_cast<std::uint16_t>(logical);
      if (!stream.builder) stream.builder.emplace();
      auto words = std::move(*stream.builder).finish(result_.horizon - stream.base);
      if (!words) return last.at(tile).fail(words.error());
      if (!stream.done.empty()) {
        stream.done.insert(stream.done.end(), words->begin() + 1, words->end());
        words = std::move(stream.done);
      }
      result_.programs.push_back(
          TileProgram{tile, topology_.physical(tile).value(), std::move(*words)});
    }
    return {};
  }

  const Topology& topology_;
  CompileOptions options_;
  std::vector<TileStream> streams_;
  std::vector<std::size_t> seen_phase_;
  std::vector<std::size_t> seen_transfer_;
  CompiledExchange result_;
};

}  // namespace

std::expected<CompiledExchange, CompileError> compile_exchange(
    const Topology& topology, const ExchangeDescription& description, const CompileOptions& options,
    const ScheduleOptions& schedule_options) {
  if (!description.transfers.empty() || !description.phases.empty()) {
    if (auto form = check_form(description); !form) return std::unexpected(form.error());
  }
  if (!description.transfers.empty()) {
    // The scheduler's rows are compiled as they are: planning every piece a
    // second time costs as much as planning the phase form.
    auto scheduled = exchange_detail::run_scheduler(topology, description, schedule_options, true);
    if (!scheduled) return std::unexpected(scheduled.error());
    const exchange_detail::TransferList list = exchange_detail::list_transfers(description);
    return exchange_detail::compile_schedule(topology, list, scheduled->schedule, options, nullptr,
                                             &scheduled->planned);
  }
  return ExchangeCompiler{topology, options}.run(description);
}

}  // namespace meshweave
