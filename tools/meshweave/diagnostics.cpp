#include "diagnostics.hpp"

#include <cstdint>

namespace meshweave::tool {
namespace {

// Length of the well-formed UTF-8 sequence at the start of `text`, or 0 when
// it does not start with one (overlong forms and surrogates count as malformed).
std::size_t utf8_sequence_length(std::string_view text) noexcept {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(0);
  std::size_t length = 0;
  std::uint32_t minimum = 0;
  std::uint32_t code = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2, minimum = 0x80, code = lead & 0x1fu;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3, minimum = 0x800, code = lead & 0x0fu;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4, minimum = 0x10000, code = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xc0u) != 0x80u) return 0;
    code = (code << 6) | (byte(i) & 0x3fu);
  }
  if (code < minimum || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return 0;
  return length;
}

void append_escaped_byte(std::string& out, std::uint8_t byte) {
  constexpr char digits[] = "0123456789abcdef";
  switch (byte) {
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    case '\\': out += "\\\\"; return;
    default:
      out += "\\x";
      out += digits[byte >> 4];
      out += digits[byte & 0xfu];
  }
}

}  // namespace

std::string quoted_refusal(std::string_view text, std::string_view why) {
  // Appended piece by piece: GCC 12 misreads "literal" + string as overlapping.
  std::string message{"\""};
  message += echo(text);
  message += "\" ";
  message += why;
  return message;
}

std::string echo(std::string_view text, std::size_t limit) {
  std::string out;
  std::size_t shown = 0;  // characters of the input shown so far
  while (!text.empty()) {
    if (shown == limit) {
      out += "...";
      break;
    }
    const std::size_t length = utf8_sequence_length(text);
    const auto lead = static_cast<std::uint8_t>(text[0]);
    if (length == 0 || (length == 1 && (lead < 0x20 || lead == 0x7f || lead == '\\'))) {
      append_escaped_byte(out, lead);
      text.remove_prefix(1);
    } else if (length == 2 && lead == 0xc2 && static_cast<std::uint8_t>(text[1]) < 0xa0) {
      // C1 control characters (U+0080 to U+009F) act as terminal controls too.
      append_escaped_byte(out, lead);
      append_escaped_byte(out, static_cast<std::uint8_t>(text[1]));
      text.remove_prefix(2);
    } else {
      out.append(text.substr(0, length));
      text.remove_prefix(length);
    }
    ++shown;
  }
  return out;
}

std::string error_line(std::string_view command, std::string_view where, std::string_view what) {
  std::string line = "meshweave";
  if (!command.empty()) line.append(" ").append(command);
  line += ": error: ";
  if (!where.empty()) line.append(where).append(": ");
  // The message itself is ours, but may carry echoed text: keep it on one line.
  for (const char c : what) {
    if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else {
      line += c;
    }
  }
  return line;
}

void report_error(std::ostream& err, std::string_view command, std::string_view where,
                  std::string_view what) {
  err << error_line(command, where, what) << '\n';
}

}  // namespace meshweave::tool
