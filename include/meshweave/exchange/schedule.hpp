#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <vector>

#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/description.hpp"
#include "meshweave/topology/topology.hpp"

namespace meshweave {

// One transfer as the scheduler places it: `count` words of description
// transfer `transfer`, starting `word_offset` words into its source and
// destination buffers (a whole transfer has offset 0 and its own count; a long
// one is split into consecutive pieces), with its rows starting at `start`.
// A piece with `merged` carries, besides point-to-point transfer `transfer`,
// the point-to-point transfers listed there (same sender, source and count) as
// one multicast to all their receivers, each at its own destination.
struct ScheduledPiece {
  std::size_t transfer = 0;
  std::uint32_t word_offset = 0;
  std::uint32_t count = 0;
  std::uint32_t start = 0;
  std::vector<std::size_t> merged{};

  friend bool operator==(const ScheduledPiece&, const ScheduledPiece&) = default;
};

// Where every transfer of a description runs. The pieces are in program order
// (a split transfer's pieces in word order); `horizon` is the cycle at which
// every program ends.
struct ExchangeSchedule {
  std::uint32_t horizon = 0;
  std::vector<ScheduledPiece> pieces;
  // Set when the phases' own layout was kept because the scheduled one was no
  // shorter (only for a description in the phase form).
  bool phase_layout = false;

  friend bool operator==(const ExchangeSchedule&, const ExchangeSchedule&) = default;
};

// Places every transfer of `description` (either form; a phase form is taken
// without its barriers) on the shared timeline. Each tile's rows, in start
// order, are accepted by PlanProgramBuilder, and a transfer starts only after
// every window it depends on has ended:
// - on a tile, where the byte ranges [address, address + 4 * words) of two
//   transfers overlap and one of them writes, the later one in program order
//   waits (sending from a written range waits for the receive window; writing a
//   sent or written range waits for that send or receive window);
// - `after` makes every window of a transfer wait for every window of the
//   transfers it names.
// A send window runs from the start of the SEND word to the end of the last
// SEND word; a receive window from the receiver's arrival cycle (the end of its
// first XPIC) to the end of its row. Transfers nothing relates may be reordered
// and overlapped. Placement is as early as possible, transfer by transfer in
// program order (a transfer named in `after` first); for a phase form the phase
// layout is kept when it is not longer.
std::expected<ExchangeSchedule, CompileError> schedule_exchange(
    const Topology& topology, const ExchangeDescription& description,
    const ScheduleOptions& options = {});

// The programs of a schedule of `description`: every piece planned at offset
// 0, patched, shifted to its start and appended to its tiles' builders in start
// order; all programs end on the schedule's horizon. A schedule whose rows the
// builders refuse fails with the builder's error.
std::expected<CompiledExchange, CompileError> compile_exchange(
    const Topology& topology, const ExchangeDescription& description,
    const ExchangeSchedule& schedule, const CompileOptions& options = {});

// Refuses a description that gives both forms, or whose `after` lists name a
// transfer that does not exist or wait in a cycle.
std::expected<void, CompileError> check_form(const ExchangeDescription& description);

// One tile's share of an estimate.
struct TileEstimate {
  std::uint16_t logical = 0;
  // Cycles the tile's rows keep it busy: from each row's first exchange event
  // (SEND start or arrival) to the row's end.
  std::uint32_t busy_cycles = 0;
  // Words of its finished program, entry and return words included.
  std::size_t program_words = 0;

  friend bool operator==(const TileEstimate&, const TileEstimate&) = default;
};

struct ExchangeEstimate {
  // The horizon compile_exchange gives for the same description and options.
  std::uint32_t horizon = 0;
  // No correct schedule of the same transfers ends earlier (see estimate.cpp).
  std::uint32_t lower_bound = 0;
  // Tiles that take part, by logical number.
  std::vector<TileEstimate> tiles;

  friend bool operator==(const ExchangeEstimate&, const ExchangeEstimate&) = default;
};

// What compiling `description` would give, without building any program.
std::expected<ExchangeEstimate, CompileError> estimate_exchange(
    const Topology& topology, const ExchangeDescription& description,
    const CompileOptions& options = {}, const ScheduleOptions& schedule_options = {});

}  // namespace meshweave
