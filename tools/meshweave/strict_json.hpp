#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "input_error.hpp"

namespace meshweave::tool {

// A JSON number as written. `magnitude` holds its absolute value when it is
// written as an integer (no fraction, no exponent) that fits 64 bits.
struct JsonNumber {
  std::string_view text;
  bool integer_syntax = false;
  bool negative = false;
  std::optional<std::uint64_t> magnitude;
};

// Receives the events of one JSON text in document order. Every event comes
// with the byte offset at which its token starts. A receiver refuses the input
// by throwing JsonRefusal, which ends the reading.
class JsonReceiver {
 public:
  virtual void object_start(std::size_t at) = 0;
  virtual void object_end(std::size_t at) = 0;
  virtual void array_start(std::size_t at) = 0;
  virtual void array_end(std::size_t at) = 0;
  virtual void key(std::string_view key, std::size_t at) = 0;
  virtual void string(std::string_view value, std::size_t at) = 0;
  virtual void number(const JsonNumber& number, std::size_t at) = 0;
  virtual void boolean(bool value, std::size_t at) = 0;
  virtual void null(std::size_t at) = 0;

 protected:
  ~JsonReceiver() = default;
};

struct JsonRefusal {
  std::string path;
  std::string reason;
  std::size_t offset = 0;  // byte offset in the text of what is refused
};

// Objects and arrays nest at most this deep; deeper input is refused before it
// can cost memory.
inline constexpr std::size_t max_json_depth = 64;

// Reads `text` as exactly one JSON value (RFC 8259; a leading byte order mark
// is allowed), in one pass, in time linear in the text and in memory that does
// not grow with it beyond the longest string holding escapes. Refuses, with the
// line and column of the offending byte: any syntax error (echoing at most a
// bounded piece of the text), any NUL byte (which some parsers take for the end
// of the text), nesting deeper than max_json_depth, and whatever `receiver`
// refuses.
std::optional<InputError> read_json_events(std::string_view text, JsonReceiver& receiver);

// 1-based line and column (in bytes) of byte `offset` of `text`.
struct TextPosition {
  std::size_t line = 1;
  std::size_t column = 1;
};
TextPosition position_in(std::string_view text, std::size_t offset) noexcept;

}  // namespace meshweave::tool
