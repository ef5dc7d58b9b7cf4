#pragma once

#include <expected>
#include <span>
#include <vector>

#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/description.hpp"
#include "meshweave/topology/topology.hpp"

namespace meshweave {

// Compiles every description with compile_exchange on up to `threads` threads
// (0: one per hardware thread; never more than there are descriptions). The
// results are in input order and equal to compiling the descriptions one by
// one: each description is compiled wholly by one thread, which shares only the
// topology, read-only, with the others. An exception thrown while compiling
// (std::bad_alloc) is rethrown once every thread has stopped.
std::vector<std::expected<CompiledExchange, CompileError>> compile_exchanges(
    const Topology& topology, std::span<const ExchangeDescription> descriptions,
    unsigned threads = 0, const CompileOptions& options = {},
    const ScheduleOptions& schedule_options = {});

}  // namespace meshweave
