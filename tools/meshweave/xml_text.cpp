#include "xml_text.hpp"

#include <cstddef>
#include <cstdint>

namespace meshweave::tool {
namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";  // U+FFFD

// Length of the well-formed UTF-8 sequence at the start of `text` and the
// character it encodes, or a length of 0 when it is not one (overlong forms,
// surrogates and values past U+10FFFF included).
struct Decoded {
  std::size_t length = 0;
  char32_t character = 0;
};

Decoded decode(std::string_view text) noexcept {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(0);
  std::size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead < 0x80) return {1, lead};
  if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1Fu, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0Fu, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07u, minimum = 0x10000;
  } else {
    return {};
  }
  if (text.size() < length) return {};
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return {};
    value = (value << 6) | (byte(i) & 0x3Fu);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return {};
  return {length, value};
}

bool shown_as_is(char32_t c) noexcept {
  if (c == '\t') return true;
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return false;
  return c != 0xFFFE && c != 0xFFFF;
}

}  // namespace

std::string xml_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const Decoded decoded = decode(text);
    if (decoded.length == 0) {
      out += replacement;  // one replacement per byte that starts no valid sequence
      text.remove_prefix(1);
      continue;
    }
    const char32_t c = decoded.character;
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\n':
      case '\r': out += ' '; break;
      default:
        if (shown_as_is(c)) {
          out += text.substr(0, decoded.length);
        } else {
          out += replacement;
        }
    }
    text.remove_prefix(decoded.length);
  }
  return out;
}

}  // namespace meshweave::tool
