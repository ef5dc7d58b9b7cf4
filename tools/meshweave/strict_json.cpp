#include "strict_json.hpp"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <iterator>
#include <limits>
#include <string>

#include <nlohmann/json.hpp>

#include "diagnostics.hpp"

namespace meshweave::tool {
namespace {

using nlohmann::json;

// Hands the text to the parser byte by byte and keeps, where the event
// forwarder can see it, how far the parser has read: SAX events carry no
// position of their own.
class TrackedInput {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  TrackedInput(const char* at, const char** read_up_to) noexcept
      : at_{at}, read_up_to_{read_up_to} {}

  reference operator*() const noexcept { return *at_; }
  TrackedInput& operator++() noexcept {
    *read_up_to_ = ++at_;
    return *this;
  }
  TrackedInput operator++(int) noexcept {
    TrackedInput before = *this;
    ++*this;
    return before;
  }
  friend bool operator==(const TrackedInput& a, const TrackedInput& b) noexcept {
    return a.at_ == b.at_;
  }

 private:
  const char* at_;
  const char** read_up_to_;
};

bool is_separator(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ',' || c == ':';
}

// The parser's message without its "[json.exception.parse_error.101] parse
// error at line 2, column 17: " head (the position is reported apart), and with
// the token it quotes cut short: it may be a whole unterminated string.
std::string syntax_reason(std::string_view what, std::string_view token) {
  if (const std::size_t head = what.find("parse error"); head != std::string_view::npos) {
    const std::size_t colon = what.find(": ", head);
    if (colon != std::string_view::npos) what.remove_prefix(colon + 2);
  }
  constexpr std::string_view quoted = "; last read: '";
  const std::size_t at = what.find(quoted);
  if (at == std::string_view::npos || what.substr(at + quoted.size()).substr(0, token.size()) != token) {
    return echo(what, 200);
  }
  std::string reason{what.substr(0, at + quoted.size())};
  reason += echo(token);
  reason += what.substr(at + quoted.size() + token.size());
  return reason;
}

// The SAX receiver the parser drives: finds where each token starts, guards the
// depth, and passes the events on.
class EventForwarder {
 public:
  EventForwarder(std::string_view text, JsonReceiver& receiver) noexcept
      : text_{text}, receiver_{receiver}, read_up_to_{text.data()} {
    // The parser skips a leading byte order mark.
    if (text.starts_with("\xEF\xBB\xBF")) scanned_ = 3;
  }

  const char** read_position() noexcept { return &read_up_to_; }
  std::size_t read_offset() const noexcept {
    return static_cast<std::size_t>(read_up_to_ - text_.data());
  }

  bool null() {
    receiver_.null(token_start());
    return true;
  }
  bool boolean(bool value) {
    receiver_.boolean(value, token_start());
    return true;
  }
  // The parser raises this only for numbers written with a minus sign.
  bool number_integer(json::number_integer_t value) {
    const std::size_t at = token_start();
    const std::uint64_t magnitude =
        value == std::numeric_limits<json::number_integer_t>::min()
            ? std::uint64_t{1} << 63
            : static_cast<std::uint64_t>(-value);
    std::string_view text = value == 0 ? std::string_view{"-0"} : write_number(value);
    receiver_.number(JsonNumber{text, true, true, magnitude}, at);
    return true;
  }
  bool number_unsigned(json::number_unsigned_t value) {
    const std::size_t at = token_start();
    receiver_.number(JsonNumber{write_number(value), true, false, value}, at);
    return true;
  }
  // Fractions, exponents, and integers past 64 bits.
  bool number_float(json::number_float_t, const json::string_t& text) {
    receiver_.number(unsized_number(text), token_start());
    return true;
  }
  bool string(json::string_t& value) {
    receiver_.string(value, token_start());
    return true;
  }
  bool binary(json::binary_t&) { return true; }  // never raised for JSON text
  bool start_object(std::size_t) {
    const std::size_t at = enter();
    receiver_.object_start(at);
    return true;
  }
  bool key(json::string_t& key) {
    receiver_.key(key, token_start());
    return true;
  }
  bool end_object() {
    --depth_;
    receiver_.object_end(closing());
    return true;
  }
  bool start_array(std::size_t) {
    const std::size_t at = enter();
    receiver_.array_start(at);
    return true;
  }
  bool end_array() {
    --depth_;
    receiver_.array_end(closing());
    return true;
  }

  bool parse_error(std::size_t position, const std::string& last_token,
                   const nlohmann::detail::exception& error) {
    refuse_nul();
    if (error.id == 406) {
      // A number too large even for a double: the receiver names what it stands for.
      const std::size_t at = token_start();
      receiver_.number(unsized_number(last_token), at);
      throw JsonRefusal{{}, "number " + echo(last_token) + " is out of range", at};
    }
    const std::size_t offset = std::min(position == 0 ? 0 : position - 1, text_.size());
    throw JsonRefusal{{}, syntax_reason(error.what(), last_token), offset};
  }

  // The parser takes a NUL byte for the end of the text; it never belongs in one.
  void refuse_nul() const {
    const std::size_t read = read_offset();
    if (read > 0 && text_[read - 1] == '\0') {
      throw JsonRefusal{{}, "unexpected NUL byte", read - 1};
    }
  }

 private:
  // Where the token just read starts: the first byte after the previous token
  // that is not white space or a separator. (After a number the parser has read
  // one byte ahead; that byte is white space, a separator or the closing bracket
  // of the next event, which closing() finds.)
  std::size_t token_start() noexcept {
    const std::size_t read = read_offset();
    std::size_t at = std::min(scanned_, read);
    while (at < read && is_separator(text_[at])) ++at;
    scanned_ = read;
    return at;
  }
  // A closing bracket is the last byte read.
  std::size_t closing() noexcept {
    scanned_ = read_offset();
    return scanned_ == 0 ? 0 : scanned_ - 1;
  }

  std::size_t enter() {
    const std::size_t at = token_start();
    if (++depth_ > max_json_depth) {
      throw JsonRefusal{{}, "nesting deeper than " + std::to_string(max_json_depth) + " levels",
                        at};
    }
    return at;
  }

  template <class Integer>
  std::string_view write_number(Integer value) noexcept {
    const auto end = std::to_chars(number_text_, number_text_ + sizeof number_text_, value).ptr;
    return {number_text_, static_cast<std::size_t>(end - number_text_)};
  }

  static JsonNumber unsized_number(std::string_view text) noexcept {
    JsonNumber number;
    number.text = text;
    number.negative = text.starts_with('-');
    number.integer_syntax = text.find_first_of(".eE") == std::string_view::npos;
    return number;
  }

  std::string_view text_;
  JsonReceiver& receiver_;
  const char* read_up_to_;
  std::size_t scanned_ = 0;
  std::size_t depth_ = 0;
  char number_text_[24] = {};
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
  EventForwarder forwarder{text, receiver};
  try {
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    json::sax_parse(TrackedInput{begin, forwarder.read_position()},
                    TrackedInput{end, forwarder.read_position()}, &forwarder);
    forwarder.refuse_nul();
  } catch (const JsonRefusal& refusal) {
    const TextPosition position = position_in(text, refusal.offset);
    return InputError{refusal.path, refusal.reason, position.line, position.column};
  }
  return std::nullopt;
}

}  // namespace meshweave::tool
