#pragma once

#include <expected>
#include <string_view>

#include <nlohmann/json.hpp>

#include "input_error.hpp"

namespace meshweave::tool {

// Parses JSON text, refusing what a plain parse would let through silently: a
// key repeated inside one object (the plain parser keeps the last value and
// drops the other). Syntax errors carry the line and column of the parser.
std::expected<nlohmann::json, InputError> parse_strict_json(std::string_view text);

}  // namespace meshweave::tool
