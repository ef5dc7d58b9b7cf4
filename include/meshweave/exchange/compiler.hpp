#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "meshweave/exchange/buffer_rules.hpp"
#include "meshweave/exchange/description.hpp"
#include "meshweave/instruction_words/error.hpp"
#include "meshweave/instruction_words/refusal.hpp"
#include "meshweave/topology/topology.hpp"

namespace meshweave {

// Where compiling failed: a library error kept unchanged, with the phase,
// transfer and tile it happened at, or two transfers of one phase that share a tile.
struct CompileError {
  enum class Kind : std::uint8_t {
    Library,           // `error` came from a planner, a row operation or a builder
    TileConflict,      // `tile` appears in `other_transfer` and in `transfer` of `phase`
    DestinationCount,  // a multicast's addresses are neither one nor one per receiver
    AddressRange,      // the buffer of `tile` (in `transfer`) runs past the end of tile memory
    BothForms,         // the description gives phases and transfers
    AfterIndex,        // `transfer` names `other_transfer` in `after`, and there is none
    AfterCycle,        // `transfer` and `other_transfer` wait for each other
  };

  Kind kind = Kind::Library;
  ExchangeError error = ExchangeError::host_packet();
  std::size_t phase = 0;
  std::optional<std::size_t> transfer;
  std::optional<std::uint16_t> tile;
  std::optional<std::size_t> other_transfer;
  // Why the check behind a Library error refused (explain(*refusal)), when it
  // gives a reason.
  std::optional<Refusal> refusal;
  // Set for errors of the transfers form, which has no phases: `transfer` is
  // then an index into ExchangeDescription::transfers.
  bool scheduled = false;

  friend bool operator==(const CompileError&, const CompileError&) = default;
};

// "phase 1, transfer 2, tile 7: Tile(1472)",
// "phase 0: tile 5 takes part in transfers 1 and 3" or
// "phase 0, transfer 2, tile 5: 4148 words from 0xffff0 run past 0x100000".
std::string to_string(const CompileError& error);

// The kind's enumerator name ("Library", "TileConflict", ...).
std::string_view kind_name(CompileError::Kind kind) noexcept;
std::ostream& operator<<(std::ostream& out, const CompileError& error);
// The same, with the sentence of the refused rule in place of the error's
// rendering when the error comes with its refusal:
// "phase 1, transfer 2, tile 7: tile 1472 is not on the card".
std::string explain(const CompileError& error);

// Transforms the scheduler applies to the transfers form before placing it.
struct ScheduleOptions {
  // A transfer of more than 4148 words (the most one SEND pair carries) is
  // split into consecutive pieces of at most 4148 words.
  bool split_long_transfers = true;
  // Point-to-point transfers with the same sender, source address and word
  // count (at most 4148), that neither `after` nor overlapping bytes relate to
  // any other transfer, and that go to different receivers, travel as one
  // multicast when the multicast planner accepts their receivers and its rows
  // end no later than the sender would take to send them one after another.
  bool merge_into_multicasts = true;
};

struct CompileOptions {
  // Also give every tile of the topology that takes no part an idle program
  // (padding only), so that every tile ends on the common horizon.
  bool idle_programs = false;
};

// One tile's finished exchange program.
struct TileProgram {
  std::uint16_t logical = 0;
  std::uint16_t physical = 0;
  std::vector<std::uint32_t> words;

  friend bool operator==(const TileProgram&, const TileProgram&) = default;
};

// When a transfer happens on the shared timeline. Its arrival cycles are
// `arrivals` entries of CompiledExchange::arrival_cycles from `first_arrival`
// (read them with arrival_cycles()): entry i is the cycle at which receiver i's
// first XPIC ends, send_cycle + time_to_mux + 1. `start` is the cycle at which
// the transfer's rows start (its phase start in the phase form). In the
// transfers form `phase` is 0 and `transfer` indexes
// ExchangeDescription::transfers; the pieces of a split transfer share it.
struct TransferTiming {
  std::size_t phase = 0;
  std::size_t transfer = 0;
  std::uint32_t phase_start = 0;
  std::uint32_t send_cycle = 0;
  std::size_t first_arrival = 0;
  std::uint32_t arrivals = 0;
  std::uint32_t start = 0;
  // The words this timing moves: `count` words from `word_offset` words into
  // the transfer's buffers (the whole transfer, unless it was split into pieces).
  std::uint32_t word_offset = 0;
  std::uint32_t count = 0;

  friend bool operator==(const TransferTiming&, const TransferTiming&) = default;
};

struct CompiledExchange {
  // Cycle at which every program ends.
  std::uint32_t horizon = 0;
  // Start cycle of each phase, and the end of its last event (empty for the
  // transfers form).
  std::vector<std::uint32_t> phase_starts;
  std::vector<std::uint32_t> phase_ends;
  // Programs ordered by logical tile.
  std::vector<TileProgram> programs;
  // One entry per transfer, in phase order then transfer order (transfers
  // form: in program order, split pieces in word order).
  std::vector<TransferTiming> timings;
  // The arrival cycles of all timings, one list for the whole exchange so that
  // a timing costs no allocation of its own.
  std::vector<std::uint32_t> arrival_cycles;

  // The program of `logical`, if it has one.
  const TileProgram* program(std::uint16_t logical) const noexcept;

  friend bool operator==(const CompiledExchange&, const CompiledExchange&) = default;
};

// The arrival cycles of `timing`, one per receiver in receiver order; empty
// where the timing's range is not in `compiled`.
std::span<const std::uint32_t> arrival_cycles(const CompiledExchange& compiled,
                                              const TransferTiming& timing) noexcept;

// Plans every transfer, patches its addresses, shifts its rows to the start of
// its phase, merges each tile's rows into one program and finishes all programs
// on one common horizon. A description in the transfers form is scheduled first
// (schedule_exchange) and its schedule compiled.
std::expected<CompiledExchange, CompileError> compile_exchange(
    const Topology& topology, const ExchangeDescription& description,
    const CompileOptions& options = {}, const ScheduleOptions& schedule_options = {});

}  // namespace meshweave
