#include "meshweave/instruction_words/refusal.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace meshweave {

namespace {

constexpr std::array reason_texts = {
#define MESHWEAVE_REASON_TEXT(name, text) std::string_view{text},
    MESHWEAVE_REFUSAL_REASONS(MESHWEAVE_REASON_TEXT)
#undef MESHWEAVE_REASON_TEXT
};

constexpr std::array argument_names = {
#define MESHWEAVE_ARGUMENT_TEXT(name, text) std::string_view{text},
    MESHWEAVE_REFUSED_ARGUMENTS(MESHWEAVE_ARGUMENT_TEXT)
#undef MESHWEAVE_ARGUMENT_TEXT
};

std::string hex(std::uint32_t value) {
  constexpr char digits[] = "0123456789abcdef";
  std::string out;
  do {
    out.insert(out.begin(), digits[value & 0xfu]);
    value >>= 4;
  } while (value != 0);
  return "0x" + out;
}

}  // namespace

std::string_view reason_text(Reason reason) noexcept {
  const auto index = static_cast<std::size_t>(reason);
  return index < reason_texts.size() ? reason_texts[index] : reason_texts.front();
}

std::string_view argument_name(RefusedArgument argument) noexcept {
  const auto index = static_cast<std::size_t>(argument);
  return index < argument_names.size() ? argument_names[index] : argument_names.front();
}

std::string explain(const Refusal& refusal) {
  const std::string_view text = reason_text(refusal.reason);
  std::string out;
  out.reserve(text.size() + 16);
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find('{', at);
    const std::size_t close = open == std::string_view::npos ? open : text.find('}', open);
    if (close == std::string_view::npos) {
      out.append(text.substr(at));
      break;
    }
    out.append(text.substr(at, open - at));
    const std::string_view name = text.substr(open + 1, close - open - 1);
    if (name == "arg") {
      out.append(argument_name(refusal.argument));
    } else if (name == "a") {
      out += std::to_string(refusal.first);
    } else if (name == "b") {
      out += std::to_string(refusal.second);
    } else if (name == "A") {
      out += hex(refusal.first);
    } else if (name == "B") {
      out += hex(refusal.second);
    } else if (name == "error") {
      out += to_string(refusal.error);
    } else {
      out.append(text.substr(open, close - open + 1));
    }
    at = close + 1;
  }
  return out;
}

}  // namespace meshweave
