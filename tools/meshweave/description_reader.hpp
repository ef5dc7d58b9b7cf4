#pragma once

#include <expected>
#include <string_view>

#include "input_error.hpp"
#include "meshweave/exchange/description.hpp"

namespace meshweave::tool {

// Reads an exchange description file (format in docs/exchange-format.md):
//
//   {"topology": "m1472",
//    "phases": [{"transfers": [
//      {"from": 0, "to": 1, "words": 64, "source": "0x50000", "destination": "0x51000"},
//      {"from": 5, "to": [6, 7], "words": 16, "source": 4096, "destination": "0x52000"}]}]}
//
// or, in the transfers form, a top-level "transfers" array in program order
// whose transfers may add "id" (a unique string) and "after" (an array of ids,
// resolved to indices; a cycle of them is refused).
//
// Strict: unknown or repeated keys, wrong types, out-of-range values and
// transfers running past the end of tile memory are refused with the JSON path
// of the offending value, its line and column, and the reason; the first
// problem in document order is the one reported. Reads in one pass, in time
// linear in the text, straight into the description. Checks that need the
// whole exchange (a tile in two transfers of a phase, timing) are left to
// find_tile_conflicts and the compiler.
std::expected<ExchangeDescription, InputError> read_description(std::string_view json_text);

}  // namespace meshweave::tool
