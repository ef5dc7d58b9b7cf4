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

// Lead bytes of the multi-byte forms: the fixed bits, the sequence length and
// the least character the form may encode (anything less is overlong).
struct LeadForm {
  std::uint8_t mask;
  std::uint8_t pattern;
  std::size_t length;
  char32_t minimum;
};
constexpr LeadForm lead_forms[] = {
    {0xE0, 0xC0, 2, 0x80}, {0xF0, 0xE0, 3, 0x800}, {0xF8, 0xF0, 4, 0x10000}};

Decoded decode(std::string_view text) noexcept {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(0);
  if (lead < 0x80) return {1, lead};
  const LeadForm* form = nullptr;
  for (const LeadForm& candidate : lead_forms) {
    if ((lead & candidate.mask) == candidate.pattern) form = &candidate;
  }
  if (form == nullptr) return {};
  const std::size_t length = form->length;
  char32_t value = lead & static_cast<std::uint8_t>(~form->mask);
  if (text.size() < length) return {};
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return {};
    value = (value << 6) | (byte(i) & 0x3Fu);
  }
  if (value < form->minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return {};
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
