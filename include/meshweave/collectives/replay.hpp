#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "meshweave/collectives/plan.hpp"
#include "meshweave/exchange/compiler.hpp"
#include "meshweave/topology/topology.hpp"

namespace meshweave {

// A fault the data-flow replay found: a read of data not there yet, a write
// over data in use, or a postcondition that does not hold.
struct ReplayIssue {
  std::size_t step = 0;                 // the step, or steps.size() for the final checks
  std::optional<std::size_t> transfer;  // the transfer of that step's description
  std::uint16_t tile = 0;
  std::string what;

  friend bool operator==(const ReplayIssue&, const ReplayIssue&) = default;
};

// "step 3, transfer 17, tile 5: reads bytes 0x1000..0x1040 before they arrive"
std::string to_string(const ReplayIssue& issue);

// Runs the plan on symbolic tile memories: word i of the input of the tile
// with logical number t holds the token (t, i); a transfer copies tokens, a
// combine forms the sum of the contributions it combines. Within a step the
// accesses follow the compiled timings (`compiled[k]` is step k's): a SEND
// reads its source during [send cycle, send cycle + count), a receiver writes
// its destination during [arrival, end of its row) and its words hold the new
// data from that end on. Two accesses to one byte of a tile, one of them a
// write, whose windows overlap are refused, as is a read of bytes that hold
// no data yet. Split transfers are replayed piece by piece (4148-word pieces
// in word order). Each step's combines run before it; the plan's
// combine_after after the last step. Then the collective's postcondition is
// checked on every participant. Returns the issues found, at most `limit`; an
// empty list means the plan moves every word where its layout says.
std::vector<ReplayIssue> replay_collective(const Topology& topology, const CollectivePlan& plan,
                                           std::span<const CompiledExchange> compiled,
                                           std::size_t limit = 20);

}  // namespace meshweave
