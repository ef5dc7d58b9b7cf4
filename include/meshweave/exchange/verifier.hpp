#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/description.hpp"
#include "meshweave/topology/topology.hpp"

namespace meshweave {

// One mismatch between a compiled program and what its description demands.
struct VerifyIssue {
  std::uint16_t tile = 0;           // logical tile whose program is wrong
  std::optional<std::size_t> word;  // index of the offending word, when there is one
  std::string check;                // what was checked, e.g. "SEND base word"
  std::string expected;
  std::string found;

  friend bool operator==(const VerifyIssue&, const VerifyIssue&) = default;
};

// "tile 5, word 7: SEND base word: expected 0x14810, found 0x0"
std::string to_string(const VerifyIssue& issue);
std::ostream& operator<<(std::ostream& out, const VerifyIssue& issue);

// Replays every program on the shared timeline and checks it against the
// description alone (the compiler's timings are not trusted): framing words,
// the common horizon, each SEND's count, direction and source, each receiver's
// PIC address and first XPIC selector, and that every receiver's first XPIC
// ends exactly time_to_mux + 1 cycles after its sender's SEND starts.
// Returns every issue found; an empty list means the programs are right.
std::vector<VerifyIssue> verify_exchange(const Topology& topology,
                                         const ExchangeDescription& description,
                                         const CompiledExchange& compiled);

}  // namespace meshweave
