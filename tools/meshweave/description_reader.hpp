#pragma once

#include <expected>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

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
// Strict: unknown or repeated keys, wrong types and out-of-range values are
// refused with the JSON path of the offending value and the reason. Checks that
// need the whole exchange (a tile in two transfers of a phase, timing) are left
// to the compiler, which reports them with their location.
std::expected<ExchangeDescription, InputError> read_description(std::string_view json_text);
std::expected<ExchangeDescription, InputError> read_description(const nlohmann::json& document);

}  // namespace meshweave::tool
