#include "lexer.hpp"

#include <charconv>
#include <system_error>

namespace meshweave::lexer {

namespace {

constexpr bool is_blank(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

}  // namespace

LineTokens::LineTokens(std::string_view line) : line_{line.substr(0, line.find(';'))} {
  end_ = line_.size();
  while (end_ > 0 && is_blank(line_[end_ - 1])) --end_;
}

std::optional<Token> LineTokens::next() {
  while (position_ < end_ && is_blank(line_[position_])) ++position_;
  if (position_ >= end_) return std::nullopt;
  const std::size_t start = position_;
  while (position_ < end_ && !is_blank(line_[position_])) ++position_;
  return Token{line_.substr(start, position_ - start), start + 1};
}

std::optional<Number> parse_number(std::string_view text) noexcept {
  Number number{false, 0};
  if (text.starts_with('-')) {
    number.negative = true;
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, number.magnitude, base);
  if (stop != end) return std::nullopt;
  if (error == std::errc::result_out_of_range) {
    number.magnitude = std::numeric_limits<std::uint64_t>::max();
  } else if (error != std::errc{}) {
    return std::nullopt;
  }
  return number;
}

std::string shown(std::string_view text, std::size_t limit) {
  constexpr char digits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i == limit) {
      out += "...";
      break;
    }
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\\') {
      out += "\\\\";
    } else if (byte < 0x20 || byte > 0x7e) {
      out += "\\x";
      out += digits[byte >> 4];
      out += digits[byte & 0xfu];
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

}  // namespace meshweave::lexer
