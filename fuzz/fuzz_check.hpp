#pragma once

#include <cstdint>
#include <cstdio>
#include <expected>
#include <ostream>
#include <span>
#include <sstream>
#include <string>

#include "meshweave/instruction_words/error.hpp"

namespace meshweave::fuzz {

// Prints which property broke, with the values that break it, and stops the
// fuzzer so that it saves the input as a crash artifact.
[[noreturn]] inline void report_failure(const char* condition, const char* file, int line,
                                        const std::string& context) {
  std::fprintf(stderr, "\n%s:%d: property failed: %s\n  %s\n", file, line, condition,
               context.c_str());
  std::fflush(stderr);
  __builtin_trap();
}

struct Hex {
  std::uint32_t value;
};
inline std::ostream& operator<<(std::ostream& out, Hex hex) {
  const auto flags = out.flags();
  out << "0x" << std::hex << hex.value;
  out.flags(flags);
  return out;
}

struct Words {
  std::span<const std::uint32_t> words;
};
inline std::ostream& operator<<(std::ostream& out, Words list) {
  out << '[';
  for (std::size_t i = 0; i < list.words.size(); ++i) {
    out << (i == 0 ? "" : ", ") << Hex{list.words[i]};
  }
  return out << ']';
}

inline Hex hex(std::uint32_t value) { return Hex{value}; }
inline Words words(std::span<const std::uint32_t> list) { return Words{list}; }

// "ok" or the error, for any Result.
template <class T>
std::string outcome(const std::expected<T, ExchangeError>& result) {
  return result ? std::string{"ok"} : to_string(result.error());
}

}  // namespace meshweave::fuzz

// FUZZ_CHECK(condition, "what" << value << ...): the context is only formatted
// when the condition fails.
#define FUZZ_CHECK(condition, ...)                                      \
  do {                                                                  \
    if (!(condition)) [[unlikely]] {                                    \
      std::ostringstream fuzz_context_stream;                           \
      fuzz_context_stream << __VA_ARGS__;                               \
      ::meshweave::fuzz::report_failure(#condition, __FILE__, __LINE__, \
                                        fuzz_context_stream.str());     \
    }                                                                   \
  } while (false)
