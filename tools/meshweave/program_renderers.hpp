#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "meshweave/exchange/compiler.hpp"

namespace meshweave::tool {

enum class ProgramFormat { Text, Json, Hex };

// "text", "json" or "hex".
std::optional<ProgramFormat> program_format(std::string_view name) noexcept;

// Readable listing: the horizon and phases, then per tile a header line
// (logical, physical, word count) and one line per word (see word_listing.hpp).
std::string render_text(const CompiledExchange& compiled);

// Machine-readable: {"horizon", "phases": [{"start", "end"}], "programs":
// [{"logical", "physical", "words"}], "transfers": [{"phase", "transfer",
// "phase_start", "send_cycle", "arrival_cycles"}]}; words are numbers.
std::string render_json(const CompiledExchange& compiled);

// One line per tile: "logical: word word ...", words as eight hex digits.
std::string render_hex(const CompiledExchange& compiled);

std::string render_programs(const CompiledExchange& compiled, ProgramFormat format);

}  // namespace meshweave::tool
