#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace meshweave::tool {

// A non-negative integer written in decimal or as "0x" followed by hex digits.
// Anything else (signs, spaces, empty digits, trailing text, values past 64 bits)
// is refused, so that a typo never turns into a silently different number.
std::optional<std::uint64_t> parse_unsigned(std::string_view text) noexcept;

// An instruction word: hex digits with or without a leading "0x", at most 8 of them.
std::optional<std::uint32_t> parse_word(std::string_view text) noexcept;

// "0x41800003": eight hex digits, the form every listing uses for words.
std::string hex_word(std::uint32_t word);
// "0x50000": the shortest hex form, used for addresses.
std::string hex_address(std::uint64_t address);

}  // namespace meshweave::tool
