#include "strict_json.hpp"

#include <rapidjson/error/error.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <system_error>

#include "diagnostics.hpp"

namespace meshweave::tool {
namespace {

// Strict RFC 8259: no comments, trailing commas or NaN; strings must be valid
// UTF-8.
constexpr unsigned parse_flags = rapidjson::kParseValidateEncodingFlag;

std::size_t hex_digit(char c) noexcept {
  if (c >= '0' && c <= '9') return static_cast<std::size_t>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<std::size_t>(c - 'a' + 10);
  return static_cast<std::size_t>(c - 'A' + 10);
}

// Offset of the quote that opens the string whose closing quote is at `close`:
// the nearest quote before it that no backslash escapes.
std::size_t opening_quote(std::string_view text, std::size_t close) noexcept {
  std::size_t at = close;
  for (;;) {
    at = text.rfind('"', at - 1);
    std::size_t backslashes = 0;
    while (backslashes < at && text[at - 1 - backslashes] == '\\') ++backslashes;
    if (backslashes % 2 == 0) return at;
  }
}

// Offset of the first \u escape in the raw string `raw` (starting at `base`)
// that writes a low surrogate without a high one before it, if any. The parser
// has already checked that every high surrogate is followed by a low one.
std::optional<std::size_t> lone_low_surrogate(std::string_view raw, std::size_t base) noexcept {
  for (std::size_t at = raw.find('\\'); at != std::string_view::npos; at = raw.find('\\', at)) {
    if (raw[at + 1] != 'u') {
      at += 2;
      continue;
    }
    const std::size_t unit = hex_digit(raw[at + 2]) << 12 | hex_digit(raw[at + 3]) << 8 |
                             hex_digit(raw[at + 4]) << 4 | hex_digit(raw[at + 5]);
    if (unit >= 0xdc00 && unit <= 0xdfff) return base + at;
    at += unit >= 0xd800 && unit <= 0xdbff ? 12 : 6;
  }
  return std::nullopt;
}

// Whether decoded UTF-8 holds a surrogate code point (ED A0..BF), which only a
// \u escape can have put there: the raw text is validated.
bool holds_surrogate(std::string_view decoded) noexcept {
  for (std::size_t at = decoded.find('\xed'); at != std::string_view::npos;
       at = decoded.find('\xed', at + 1)) {
    if (at + 1 < decoded.size() && static_cast<unsigned char>(decoded[at + 1]) >= 0xa0) return true;
  }
  return false;
}

std::size_t digits_from(std::string_view text, std::size_t at) noexcept {
  return std::min(text.find_first_not_of("0123456789", at), text.size());
}

// The number literal that starts at `at`, as far as it is well formed.
std::string_view number_literal(std::string_view text, std::size_t at) noexcept {
  std::size_t end = digits_from(text, at + (text[at] == '-' ? 1 : 0));
  if (end < text.size() && text[end] == '.') end = digits_from(text, end + 1);
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    ++end;
    if (end < text.size() && (text[end] == '+' || text[end] == '-')) ++end;
    end = digits_from(text, end);
  }
  return text.substr(at, end - at);
}

JsonNumber number_in(std::string_view literal) noexcept {
  JsonNumber number;
  number.text = literal;
  number.negative = literal.starts_with('-');
  number.integer_syntax =
      std::ranges::none_of(literal, [](char c) { return c == '.' || c == 'e' || c == 'E'; });
  if (number.integer_syntax) {
    std::uint64_t magnitude = 0;
    const char* const first = literal.data() + (number.negative ? 1 : 0);
    const char* const last = literal.data() + literal.size();
    const auto [stop, error] = std::from_chars(first, last, magnitude);
    if (error == std::errc{} && stop == last) number.magnitude = magnitude;
  }
  return number;
}

// Passes the parser's events on to a JsonReceiver with the offset where each
// token starts. The parser knows nothing of exceptions, so a refusal (or any
// other exception) is kept and parsing stopped by returning false.
class EventForwarder final
    : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, EventForwarder> {
 public:
  EventForwarder(std::string_view text, std::size_t start, const rapidjson::MemoryStream& stream,
                 JsonReceiver& receiver) noexcept
      : text_{text}, start_{start}, stream_{stream}, receiver_{receiver} {}

  bool StartObject() {
    return open([this](std::size_t at) { receiver_.object_start(at); });
  }
  bool EndObject(rapidjson::SizeType) {
    return close([this](std::size_t at) { receiver_.object_end(at); });
  }
  bool StartArray() {
    return open([this](std::size_t at) { receiver_.array_start(at); });
  }
  bool EndArray(rapidjson::SizeType) {
    return close([this](std::size_t at) { receiver_.array_end(at); });
  }

  bool Key(const char* str, rapidjson::SizeType length, bool) {
    return text_value(str, length,
                      [this](std::string_view value, std::size_t at) { receiver_.key(value, at); });
  }
  bool String(const char* str, rapidjson::SizeType length, bool) {
    return text_value(str, length, [this](std::string_view value, std::size_t at) {
      receiver_.string(value, at);
    });
  }

  bool Bool(bool value) {
    const std::size_t at = position() - (value ? 4 : 5);
    return deliver([&] { receiver_.boolean(value, at); });
  }
  bool Null() {
    const std::size_t at = position() - 4;
    return deliver([&] { receiver_.null(at); });
  }

  // The parser has read the number's value; the receiver gets its text too.
  bool Uint(unsigned value) { return integer(value, false); }
  bool Uint64(std::uint64_t value) { return integer(value, false); }
  bool Int(int value) { return integer(0 - static_cast<std::uint64_t>(value), true); }
  bool Int64(std::int64_t value) { return integer(0 - static_cast<std::uint64_t>(value), true); }
  bool Double(double) {
    const std::string_view literal = number_before(position());
    const auto at = static_cast<std::size_t>(literal.data() - text_.data());
    return deliver([&] { receiver_.number(number_in(literal), at); });
  }

  // Whatever stopped the parse from this side, rethrown.
  void rethrow_stop() const {
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  // The stream stands just past the token the parser has read.
  std::size_t position() const noexcept { return start_ + stream_.Tell(); }

  template <typename Call>
  bool deliver(Call&& call) {
    try {
      call();
      return true;
    } catch (...) {
      failure_ = std::current_exception();
      return false;
    }
  }

  // Only a negative number is read as a signed one.
  bool integer(std::uint64_t magnitude, bool negative) {
    JsonNumber number;
    number.text = number_before(position());
    number.integer_syntax = true;
    number.negative = negative;
    number.magnitude = magnitude;
    const auto at = static_cast<std::size_t>(number.text.data() - text_.data());
    return deliver([&] { receiver_.number(number, at); });
  }

  // The number literal that ends at `end`: whatever stands before a number is
  // none of its characters.
  std::string_view number_before(std::size_t end) const noexcept {
    const auto in_number = [](char c) {
      return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
    };
    std::size_t at = end;
    while (at > 0 && in_number(text_[at - 1])) --at;
    return text_.substr(at, end - at);
  }

  template <typename Call>
  bool open(Call&& call) {
    const std::size_t at = position() - 1;
    if (depth_ == max_json_depth) {
      failure_ = std::make_exception_ptr(
          JsonRefusal{{}, "nesting deeper than " + std::to_string(max_json_depth) + " levels", at});
      return false;
    }
    ++depth_;
    return deliver([&] { call(at); });
  }

  template <typename Call>
  bool close(Call&& call) {
    --depth_;
    const std::size_t at = position() - 1;
    return deliver([&] { call(at); });
  }

  template <typename Call>
  bool text_value(const char* str, rapidjson::SizeType length, Call&& call) {
    const std::size_t close_quote = position() - 1;
    const std::string_view value{str, length};
    // Every escape is longer than what it stands for, so a string as long as
    // its decoded value holds none and opens `length` bytes before it closes.
    const std::size_t plain_open = close_quote - length - 1;
    if (text_[plain_open] == '"' && (plain_open == 0 || text_[plain_open - 1] != '\\')) {
      return deliver([&] { call(value, plain_open); });
    }
    const std::size_t open_quote = opening_quote(text_, close_quote);
    if (holds_surrogate(value)) {
      const std::string_view raw = text_.substr(open_quote + 1, close_quote - open_quote - 1);
      if (const auto bad = lone_low_surrogate(raw, open_quote + 1)) {
        failure_ = std::make_exception_ptr(
            JsonRefusal{{}, "syntax error: a low surrogate must follow a high one", *bad});
        return false;
      }
    }
    return deliver([&] { call(value, open_quote); });
  }

  std::string_view text_;
  std::size_t start_;  // offset in text_ where the stream begins
  const rapidjson::MemoryStream& stream_;
  JsonReceiver& receiver_;
  std::size_t depth_ = 0;
  std::exception_ptr failure_;
};

// What stands at `offset`, as a syntax error names it.
std::string found_at(std::string_view text, std::size_t offset) {
  if (offset >= text.size()) return "the end of the text";
  // Appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict on
  // "'" + std::string.
  std::string found = "'";
  found += echo(text.substr(offset, 1));
  found += '\'';
  return found;
}

// The parser's error at `offset`, in words.
std::string syntax_error(std::string_view text, rapidjson::ParseErrorCode code,
                         std::size_t offset) {
  const std::string found = "; found " + found_at(text, offset);
  switch (code) {
    case rapidjson::kParseErrorDocumentEmpty: return "syntax error: expected a value" + found;
    case rapidjson::kParseErrorDocumentRootNotSingular:
      return "syntax error: more after the value" + found;
    case rapidjson::kParseErrorObjectMissName:
      return "syntax error: expected a key (a string) in the object" + found;
    case rapidjson::kParseErrorObjectMissColon:
      return "syntax error: missing ':' after an object key" + found;
    case rapidjson::kParseErrorObjectMissCommaOrCurlyBracket:
      return "syntax error: missing a comma or '}' after an object member" + found;
    case rapidjson::kParseErrorArrayMissCommaOrSquareBracket:
      return "syntax error: missing a comma or ']' after an array element" + found;
    case rapidjson::kParseErrorStringUnicodeEscapeInvalidHex:
      return "syntax error: '\\u' must be followed by 4 hex digits";
    case rapidjson::kParseErrorStringUnicodeSurrogateInvalid:
      return "syntax error: a high surrogate must be followed by a low one";
    case rapidjson::kParseErrorStringEscapeInvalid: {
      const auto byte = static_cast<unsigned char>(text[offset]);
      if (byte < 0x20) {
        constexpr char hex[] = "0123456789ABCDEF";
        return std::string{"syntax error: control character U+00"} + hex[byte >> 4] +
               hex[byte & 0xf] + " in a string must be escaped";
      }
      return "syntax error: invalid escape after a backslash";
    }
    case rapidjson::kParseErrorStringMissQuotationMark:
      return "syntax error: missing the closing quote of a string; last read: '" +
             echo(text.substr(opening_quote(text, text.size()))) + "'";
    case rapidjson::kParseErrorStringInvalidEncoding:
      return "syntax error: ill-formed UTF-8 in a string";
    case rapidjson::kParseErrorNumberTooBig:
      return "number " + echo(number_literal(text, offset)) + " is beyond the range of a double";
    case rapidjson::kParseErrorNumberMissFraction:
      return "syntax error: expected a digit after '.'" + found;
    case rapidjson::kParseErrorNumberMissExponent:
      return "syntax error: expected a digit in the exponent" + found;
    default: return "syntax error: invalid value" + found;
  }
}

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
  const auto refuse = [&](std::string reason, std::size_t offset, std::string path = {}) {
    const TextPosition position = position_in(text, offset);
    return InputError{std::move(path), std::move(reason), position.line, position.column};
  };
  // Refused first and wherever it is: the parser would take a NUL for the end
  // of the text.
  if (const void* nul = std::memchr(text.data(), '\0', text.size())) {
    return refuse("unexpected NUL byte",
                  static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()));
  }
  const std::size_t start =
      text.starts_with("\xEF\xBB\xBF") ? 3 : 0;  // a byte order mark is allowed
  rapidjson::MemoryStream stream{text.data() + start, text.size() - start};
  EventForwarder forwarder{text, start, stream, receiver};
  rapidjson::Reader reader;
  const rapidjson::ParseResult result = reader.Parse<parse_flags>(stream, forwarder);
  if (result.Code() == rapidjson::kParseErrorTermination) {
    try {
      forwarder.rethrow_stop();
    } catch (const JsonRefusal& refusal) {
      return refuse(refusal.reason, refusal.offset, refusal.path);
    }
  }
  if (result.Code() == rapidjson::kParseErrorNumberTooBig) {
    // The parser stops at a number past the range of a double, which the
    // receiver may refuse in its own, more telling words (where it is, what it
    // should be). Whatever it makes of it, reading ends there.
    const std::size_t at = start + result.Offset();
    try {
      receiver.number(number_in(number_literal(text, at)), at);
    } catch (const JsonRefusal& refusal) {
      return refuse(refusal.reason, refusal.offset, refusal.path);
    }
  }
  if (result.IsError()) {
    const std::size_t offset = start + result.Offset();
    return refuse(syntax_error(text, result.Code(), offset), offset);
  }
  return std::nullopt;
}

}  // namespace meshweave::tool
