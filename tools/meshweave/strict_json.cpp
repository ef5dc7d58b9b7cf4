#include "strict_json.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

#include "diagnostics.hpp"

namespace meshweave::tool {
namespace {

// Length of the well-formed UTF-8 sequence of two to four bytes at the start of
// `text`, or 0 (overlong forms, surrogates and code points past U+10FFFF are
// ill-formed).
std::size_t multibyte_length(std::string_view text) noexcept {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(0);
  std::size_t length = 0;
  std::uint32_t minimum = 0;
  std::uint32_t code = 0;
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

void append_utf8(std::string& out, std::uint32_t code) {
  const auto put = [&](std::uint32_t byte) { out += static_cast<char>(byte); };
  if (code < 0x80) {
    put(code);
  } else if (code < 0x800) {
    put(0xc0 | (code >> 6));
    put(0x80 | (code & 0x3f));
  } else if (code < 0x10000) {
    put(0xe0 | (code >> 12));
    put(0x80 | ((code >> 6) & 0x3f));
    put(0x80 | (code & 0x3f));
  } else {
    put(0xf0 | (code >> 18));
    put(0x80 | ((code >> 12) & 0x3f));
    put(0x80 | ((code >> 6) & 0x3f));
    put(0x80 | (code & 0x3f));
  }
}

bool is_digit(char c) noexcept {
  return c >= '0' && c <= '9';
}

// A strict JSON (RFC 8259) reader over text held in memory: one pass, pointer
// arithmetic only, strings handed on as views of the text unless they hold
// escapes. Containers are followed on an explicit stack of bounded depth.
class EventReader {
  // What the reader looks for next.
  enum class Next : std::uint8_t { Value, Key, AfterValue };

 public:
  EventReader(std::string_view text, JsonReceiver& receiver) noexcept
      : text_{text}, receiver_{receiver} {}

  void run() {
    if (text_.starts_with("\xEF\xBB\xBF")) at_ = 3;  // a byte order mark is allowed
    Next next = Next::Value;
    for (;;) {
      switch (next) {
        case Next::Value:
          next = value();
          break;
        case Next::Key:
          key();
          next = Next::Value;
          break;
        case Next::AfterValue:
          if (depth_ == 0) {
            skip_space();
            if (at_ != text_.size()) unexpected("value", "end of input");
            return;
          }
          next = after_value();
          break;
      }
    }
  }

 private:
  [[noreturn]] void fail(std::string reason, std::size_t offset) const {
    throw JsonRefusal{{}, std::move(reason), offset};
  }

  // What stands at the current byte, as a syntax error names it.
  std::string found() const {
    if (at_ >= text_.size()) return "end of input";
    const char c = text_[at_];
    if (c == '"') return "string literal";
    if (c == '-' || is_digit(c)) return "number literal";
    if (static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7f) {
      return std::string{"'"} + c + "'";
    }
    return "'" + echo(std::string_view{&text_[at_], 1}) + "'";
  }

  [[noreturn]] void unexpected(std::string_view context, std::string_view expected) const {
    if (at_ < text_.size() && text_[at_] == '\0') fail("unexpected NUL byte", at_);
    fail("syntax error while parsing " + std::string{context} + " - unexpected " + found() +
             "; expected " + std::string{expected},
         at_);
  }

  void skip_space() noexcept {
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c != ' ' && c != '\n' && c != '\r' && c != '\t') return;
      ++at_;
    }
  }

  void open(char bracket) {
    if (depth_ == max_json_depth) {
      fail("nesting deeper than " + std::to_string(max_json_depth) + " levels", at_);
    }
    stack_[depth_++] = bracket;
  }

  // Reads one value, or opens a container; returns what comes next.
  Next value() {
    skip_space();
    if (at_ >= text_.size()) unexpected("value", "'[', '{', or a literal");
    const std::size_t start = at_;
    switch (text_[at_]) {
      case '{':
        open('{');
        receiver_.object_start(start);
        ++at_;
        skip_space();
        if (at_ < text_.size() && text_[at_] == '}') return close();
        return Next::Key;
      case '[':
        open('[');
        receiver_.array_start(start);
        ++at_;
        skip_space();
        if (at_ < text_.size() && text_[at_] == ']') return close();
        return Next::Value;
      case '"':
        receiver_.string(string(), start);
        return Next::AfterValue;
      case 't':
        literal("true");
        receiver_.boolean(true, start);
        return Next::AfterValue;
      case 'f':
        literal("false");
        receiver_.boolean(false, start);
        return Next::AfterValue;
      case 'n':
        literal("null");
        receiver_.null(start);
        return Next::AfterValue;
      default:
        if (text_[at_] == '-' || is_digit(text_[at_])) {
          number();
          return Next::AfterValue;
        }
        unexpected("value", "'[', '{', or a literal");
    }
  }

  void key() {
    skip_space();
    if (at_ >= text_.size() || text_[at_] != '"') unexpected("object key", "string literal");
    const std::size_t start = at_;
    receiver_.key(string(), start);
    skip_space();
    if (at_ >= text_.size() || text_[at_] != ':') unexpected("object separator", "':'");
    ++at_;
  }

  Next after_value() {
    skip_space();
    const bool object = stack_[depth_ - 1] == '{';
    const char closing = object ? '}' : ']';
    if (at_ < text_.size() && text_[at_] == ',') {
      ++at_;
      return object ? Next::Key : Next::Value;
    }
    if (at_ < text_.size() && text_[at_] == closing) return close();
    unexpected(object ? "object" : "array", object ? "',' or '}'" : "',' or ']'");
  }

  // The current byte closes the innermost container.
  Next close() {
    const std::size_t bracket = at_++;
    if (stack_[--depth_] == '{') {
      receiver_.object_end(bracket);
    } else {
      receiver_.array_end(bracket);
    }
    return Next::AfterValue;
  }

  void literal(std::string_view word) {
    std::size_t matched = 0;
    while (matched < word.size() && at_ + matched < text_.size() &&
           text_[at_ + matched] == word[matched]) {
      ++matched;
    }
    if (matched < word.size()) {
      // Refused at the first byte that breaks the word (or the end of the text).
      const std::size_t bad = at_ + matched;
      if (bad < text_.size() && text_[bad] == '\0') fail("unexpected NUL byte", bad);
      fail("syntax error while parsing value - invalid literal; last read: '" +
               echo(text_.substr(at_, matched + 1)) + "'",
           bad);
    }
    at_ += word.size();
  }

  void number() {
    const std::size_t start = at_;
    const bool negative = text_[at_] == '-';
    if (negative) ++at_;
    const auto digits = [&](std::string_view after) {
      if (at_ >= text_.size() || !is_digit(text_[at_])) {
        if (at_ < text_.size() && text_[at_] == '\0') fail("unexpected NUL byte", at_);
        fail("syntax error while parsing value - invalid number; expected a digit after " +
                 std::string{after},
             at_);
      }
      while (at_ < text_.size() && is_digit(text_[at_])) ++at_;
    };
    const std::size_t integer_start = at_;
    if (at_ < text_.size() && text_[at_] == '0') {
      ++at_;
    } else {
      digits("'-'");
    }
    const std::size_t integer_end = at_;
    bool integer = true;
    if (at_ < text_.size() && text_[at_] == '.') {
      ++at_;
      digits("'.'");
      integer = false;
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
      digits("the exponent mark");
      integer = false;
    }
    JsonNumber number;
    number.text = text_.substr(start, at_ - start);
    number.integer_syntax = integer;
    number.negative = negative;
    if (integer) {
      std::uint64_t magnitude = 0;
      const char* const first = text_.data() + integer_start;
      const char* const last = text_.data() + integer_end;
      const auto [stop, error] = std::from_chars(first, last, magnitude);
      if (error == std::errc{} && stop == last) number.magnitude = magnitude;
    }
    receiver_.number(number, start);
  }

  // Reads the string whose opening quote is the current byte.
  std::string_view string() {
    const std::size_t open_quote = at_++;
    std::size_t run = at_;  // start of the bytes not yet copied into decoded_
    bool escaped = false;
    for (;;) {
      if (at_ >= text_.size()) {
        fail(
            "syntax error while parsing value - invalid string: missing closing quote; last read: "
            "'" +
                echo(text_.substr(open_quote)) + "'",
            text_.size());
      }
      const auto c = static_cast<unsigned char>(text_[at_]);
      if (c == '"') break;
      if (c == '\\') {
        if (!escaped) decoded_.clear();
        escaped = true;
        decoded_.append(text_.substr(run, at_ - run));
        escape();
        run = at_;
      } else if (c < 0x20) {
        if (c == 0) fail("unexpected NUL byte", at_);
        constexpr char hex[] = "0123456789ABCDEF";
        fail(
            std::string{
                "syntax error while parsing value - invalid string: control character U+00"} +
                hex[c >> 4] + hex[c & 0xf] + " must be escaped",
            at_);
      } else if (c < 0x80) {
        ++at_;
      } else {
        const std::size_t length = multibyte_length(text_.substr(at_));
        if (length == 0)
          fail("syntax error while parsing value - invalid string: ill-formed UTF-8 byte", at_);
        at_ += length;
      }
    }
    const std::size_t close_quote = at_++;
    if (!escaped) return text_.substr(open_quote + 1, close_quote - open_quote - 1);
    decoded_.append(text_.substr(run, close_quote - run));
    return decoded_;
  }

  // Decodes the escape whose backslash is the current byte.
  void escape() {
    const std::size_t backslash = at_++;
    if (at_ >= text_.size()) return;  // the string's end is reported as unterminated
    const char c = text_[at_++];
    switch (c) {
      case '"':
        decoded_ += '"';
        return;
      case '\\':
        decoded_ += '\\';
        return;
      case '/':
        decoded_ += '/';
        return;
      case 'b':
        decoded_ += '\b';
        return;
      case 'f':
        decoded_ += '\f';
        return;
      case 'n':
        decoded_ += '\n';
        return;
      case 'r':
        decoded_ += '\r';
        return;
      case 't':
        decoded_ += '\t';
        return;
      case 'u':
        break;
      case '\0':
        fail("unexpected NUL byte", at_ - 1);
      default:
        fail(
            "syntax error while parsing value - invalid string: forbidden character after "
            "backslash",
            at_ - 1);
    }
    std::uint32_t code = code_unit();
    if (code >= 0xdc00 && code <= 0xdfff) {
      fail(
          "syntax error while parsing value - invalid string: a low surrogate must follow a high "
          "one",
          backslash);
    }
    if (code >= 0xd800 && code <= 0xdbff) {
      if (text_.substr(at_, 2) != "\\u") {
        fail(
            "syntax error while parsing value - invalid string: a high surrogate must be followed "
            "by a low one",
            at_);
      }
      at_ += 2;
      const std::uint32_t low = code_unit();
      if (low < 0xdc00 || low > 0xdfff) {
        fail(
            "syntax error while parsing value - invalid string: a high surrogate must be followed "
            "by a low one",
            at_ - 6);
      }
      code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
    }
    append_utf8(decoded_, code);
  }

  // The four hex digits of a \u escape.
  std::uint32_t code_unit() {
    std::uint32_t code = 0;
    for (int i = 0; i < 4; ++i, ++at_) {
      const char c = at_ < text_.size() ? text_[at_] : '\0';
      std::uint32_t digit = 0;
      if (c >= '0' && c <= '9') {
        digit = static_cast<std::uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        digit = static_cast<std::uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        digit = static_cast<std::uint32_t>(c - 'A' + 10);
      } else {
        fail(
            "syntax error while parsing value - invalid string: '\\u' must be followed by 4 hex "
            "digits",
            std::min(at_, text_.size()));
      }
      code = code * 16 + digit;
    }
    return code;
  }

  std::string_view text_;
  JsonReceiver& receiver_;
  std::size_t at_ = 0;
  std::size_t depth_ = 0;
  std::array<char, max_json_depth> stack_{};
  std::string decoded_;  // a string with escapes, decoded
};

}  // namespace

TextPosition position_in(std::string_view text, std::size_t offset) noexcept {
  const std::string_view before = text.substr(0, std::min(offset, text.size()));
  TextPosition position;
  position.line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
  const std::size_t line_start = before.rfind('\n');
  position.column = offset + 1 - (line_start == std::string_view::npos ? 0 : line_start + 1);
  return position;
}

std::optional<InputError> read_json_events(std::string_view text, JsonReceiver& receiver) {
  try {
    EventReader{text, receiver}.run();
  } catch (const JsonRefusal& refusal) {
    const TextPosition position = position_in(text, refusal.offset);
    return InputError{refusal.path, refusal.reason, position.line, position.column};
  }
  return std::nullopt;
}

}  // namespace meshweave::tool
