#pragma once

// Turning a schedule into programs, or only counting their words.
#include <cstddef>
#include <expected>
#include <vector>

#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/schedule.hpp"
#include "meshweave/topology/topology.hpp"
#include "scheduler.hpp"
#include "transfer_order.hpp"

namespace meshweave::exchange_detail {

// With `word_counts` set, no program is kept: each tile's builder is emptied
// after every row and only the number of words it would hold is counted, by
// logical tile (0 for tiles without a program). The returned exchange then has
// no programs. With `planned` (the scheduler's rows of the same pieces), no
// piece is planned again.
std::expected<CompiledExchange, CompileError> compile_schedule(
    const Topology& topology, const TransferList& list, const ExchangeSchedule& schedule,
    const CompileOptions& options, std::vector<std::size_t>* word_counts,
    const PlannedPieces* planned = nullptr);

}  // namespace meshweave::exchange_detail
