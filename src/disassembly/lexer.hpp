#pragma once

// The pieces of one line of instruction text: whitespace-separated tokens with
// their columns, and the numbers written in operands.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace meshweave::lexer {

struct Token {
  std::string_view text;
  std::size_t column;  // 1-based
};

// The tokens of one line, up to a `;` comment.
class LineTokens {
 public:
  explicit LineTokens(std::string_view line);

  std::optional<Token> next();
  // The column just past the last token, where a missing operand would start.
  std::size_t end_column() const noexcept { return end_ + 1; }

 private:
  std::string_view line_;
  std::size_t position_ = 0;
  std::size_t end_ = 0;
};

// A number as written: decimal or 0x-hexadecimal, after an optional '-'.
// Magnitudes beyond 64 bits are kept as the largest 64-bit value; they are out
// of range for every operand anyway.
struct Number {
  bool negative;
  std::uint64_t magnitude;
};

std::optional<Number> parse_number(std::string_view text) noexcept;

// Input text as a message may show it: at most `limit` bytes, then "...", with
// bytes outside printable ASCII and backslashes escaped (\xNN, \\), so that a
// huge or binary token can neither flood a message nor reach a terminal raw.
std::string shown(std::string_view text, std::size_t limit = 40);

// The number as a value of type M, or the nearest value of M when it does not
// fit; `clamped` tells which.
template <class M>
struct Fitted {
  M value;
  bool clamped;
};

template <class M>
constexpr Fitted<M> fit(Number number) noexcept {
  using Limits = std::numeric_limits<M>;
  if (number.negative && number.magnitude != 0) {
    if constexpr (std::is_signed_v<M>) {
      // Negated in unsigned arithmetic: -min() itself overflows for 64 bits.
      const std::uint64_t lowest = std::uint64_t{0} - static_cast<std::uint64_t>(Limits::min());
      if (number.magnitude <= lowest) {
        return {static_cast<M>(static_cast<std::int64_t>(std::uint64_t{0} - number.magnitude)),
                false};
      }
    }
    return {Limits::min(), true};
  }
  if (number.magnitude <= static_cast<std::uint64_t>(Limits::max())) {
    return {static_cast<M>(number.magnitude), false};
  }
  return {Limits::max(), true};
}

}  // namespace meshweave::lexer
