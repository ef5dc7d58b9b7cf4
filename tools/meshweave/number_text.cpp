#include "number_text.hpp"

#include <charconv>
#include <cstdio>
#include <system_error>

namespace meshweave::tool {
namespace {

bool has_hex_prefix(std::string_view text) noexcept {
  return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// from_chars accepts a leading '-' for signed types only, and never '+', so a
// whole-string match on an unsigned type is exactly "digits only".
template <class Unsigned>
std::optional<Unsigned> digits(std::string_view text, int base) noexcept {
  if (text.empty()) return std::nullopt;
  Unsigned value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  if (error != std::errc{} || stop != end) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::uint64_t> parse_unsigned(std::string_view text) noexcept {
  if (has_hex_prefix(text)) return digits<std::uint64_t>(text.substr(2), 16);
  return digits<std::uint64_t>(text, 10);
}

std::optional<std::uint32_t> parse_word(std::string_view text) noexcept {
  if (has_hex_prefix(text)) text.remove_prefix(2);
  constexpr std::size_t max_digits = 8;
  if (text.size() > max_digits) return std::nullopt;
  return digits<std::uint32_t>(text, 16);
}

std::string hex_word(std::uint32_t word) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08x", word);
  return buffer;
}

std::string hex_address(std::uint64_t address) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(address));
  return buffer;
}

}  // namespace meshweave::tool
