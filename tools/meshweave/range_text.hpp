#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace meshweave::tool {

// A closed range of numbers, first <= last.
struct InclusiveRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;

  friend bool operator==(const InclusiveRange&, const InclusiveRange&) = default;
};

// "A-B" with A <= B, or a single "A" meaning A-A; each number decimal or "0x"
// hexadecimal (see parse_unsigned). Anything else is refused with a message
// that quotes the text (escaped and bounded).
std::expected<InclusiveRange, std::string> parse_range(std::string_view text);

}  // namespace meshweave::tool
