#pragma once

#include <iosfwd>

#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/description.hpp"
#include "meshweave/topology/topology.hpp"

namespace meshweave::tool {

// Writes the exchange as a trace in the Chrome trace event JSON format, which
// trace viewers open: {"traceEvents": [...], "otherData": {...}}.
//
// One process; a track "phases" (tid 0, left out for the transfers form) with
// a complete ("X") slice per phase,
// and a track per tile that takes part (tid logical + 1), named
// "tile L (physical P)", with a slice "SEND" per SEND window and a slice
// "receive" per receive window (see transfer_windows.hpp). Slice args: "phase"
// and "transfer" (indices into the description), "words", and the peer: "to"
// (the receiver, or an array of them for a multicast) on a SEND, "from" on a
// receive. Phase slices carry "phase" and "transfers". The transfers form has
// no "phase" arg: "transfer" indexes its transfers list.
//
// Time: the format counts microseconds; one cycle is written as one
// microsecond, so "ts" is the first cycle and "dur" the number of cycles.
//
// The trace is streamed through a small buffer: memory does not grow with the
// exchange. Write errors show in the state of `out`.
void write_chrome_trace(std::ostream& out, const Topology& topology,
                        const ExchangeDescription& description, const CompiledExchange& compiled);

}  // namespace meshweave::tool
