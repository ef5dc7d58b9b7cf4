#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "exchange_cost.hpp"
#include "meshweave/exchange/compiler.hpp"

namespace meshweave::tool {

enum class ProgramFormat { Text, Json, Hex };

// "text", "json" or "hex".
std::optional<ProgramFormat> program_format(std::string_view name) noexcept;

// Readable listing: the cost summary line (when given), the horizon and
// phases, then per tile a header line (logical, physical, word count) and one
// line per word (see word_listing.hpp).
std::string render_text(const CompiledExchange& compiled, const CostSummary* cost = nullptr);

// Machine-readable: {"horizon", ["lower_bound", "ratio", "longest_program",
// "busiest_tile" when the cost is given,] "phases": [{"start", "end"}],
// "programs": [{"logical", "physical", "words"}], "transfers": [{"phase",
// "transfer", "phase_start", "start", "send_cycle", "arrival_cycles"}]}; words
// are numbers. A scheduled exchange has no phases: its transfers name no
// phase and no phase start.
std::string render_json(const CompiledExchange& compiled, const CostSummary* cost = nullptr);

// One line per tile: "logical: word word ...", words as eight hex digits.
std::string render_hex(const CompiledExchange& compiled);

// The hex format stays bare, for machines: it never carries the cost.
std::string render_programs(const CompiledExchange& compiled, ProgramFormat format,
                            const CostSummary* cost = nullptr);

}  // namespace meshweave::tool
