#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "meshweave/instruction_words/error.hpp"

namespace meshweave::testing {

// One row of a golden table: the call as written, what it produced and what it
// must produce. Packers (plain words) and checked encoders (word or error) share
// the shape, so a single table can mix them.
struct WordCase {
  const char* call;
  Result<std::uint32_t> actual;
  Result<std::uint32_t> expected;
};

inline Result<std::uint32_t> schedule_error(std::string_view message) {
  return std::unexpected(ExchangeError::schedule(message));
}

inline std::string describe(const Result<std::uint32_t>& result) {
  if (!result) return to_string(result.error());
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(*result));
  return text;
}

inline void expect_words(std::span<const WordCase> cases) {
  for (const WordCase& c : cases) {
    EXPECT_TRUE(c.actual == c.expected)
        << c.call << ": got " << describe(c.actual) << ", want " << describe(c.expected);
  }
}

}  // namespace meshweave::testing

// A golden row whose label is the call itself.
#define MESHWEAVE_WORD_CASE(expected, ...) \
  ::meshweave::testing::WordCase { #__VA_ARGS__, (__VA_ARGS__), (expected) }
