#include "range_text.hpp"

#include <optional>
#include <utility>

#include "diagnostics.hpp"
#include "number_text.hpp"

namespace meshweave::tool {

std::expected<InclusiveRange, std::string> parse_range(std::string_view text) {
  const auto refuse = [&](std::string_view why) {
    return std::unexpected(quoted_refusal(text, why));
  };
  const std::size_t dash = text.find('-');
  const std::string_view first_text = text.substr(0, dash);
  const std::string_view last_text =
      dash == std::string_view::npos ? first_text : text.substr(dash + 1);
  const std::optional<std::uint64_t> first = parse_unsigned(first_text);
  const std::optional<std::uint64_t> last = parse_unsigned(last_text);
  if (!first || !last) return refuse("is not a range (expected A-B or A, e.g. 0-47)");
  if (*last < *first) return refuse("is not a range: it ends before it starts");
  return InclusiveRange{*first, *last};
}

}  // namespace meshweave::tool
