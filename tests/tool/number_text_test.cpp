#include "number_text.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace meshweave::tool {
namespace {

TEST(NumberText, ParsesDecimalAndPrefixedHexOnly) {
  const struct {
    std::string_view text;
    std::optional<std::uint64_t> value;
  } cases[] = {
      {"0", 0},
      {"1472", 1472},
      {"0x50000", 0x50000},
      {"0XfF", 0xff},
      {"18446744073709551615", UINT64_MAX},
      {"0xffffffffffffffff", UINT64_MAX},
      {"18446744073709551616", std::nullopt},  // one past 64 bits
      {"0x10000000000000000", std::nullopt},
      {"", std::nullopt},
      {"0x", std::nullopt},
      {"-1", std::nullopt},
      {"+1", std::nullopt},
      {" 1", std::nullopt},
      {"1 ", std::nullopt},
      {"12abc", std::nullopt},
      {"ff", std::nullopt},  // hex needs its prefix here
      {"0x-1", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_unsigned(c.text), c.value) << c.text;
}

TEST(NumberText, ParsesWordsAsHexWithOrWithoutPrefix) {
  const struct {
    std::string_view text;
    std::optional<std::uint32_t> value;
  } cases[] = {
      {"41800003", 0x41800003u},
      {"0x43a00000", 0x43a00000u},
      {"0XFFFFFFFF", 0xffffffffu},
      {"1", 1u},
      {"0x0", 0u},
      {"100000000", std::nullopt},
      {"0x", std::nullopt},
      {"", std::nullopt},
      {"0x41800003z", std::nullopt},
      {"-1", std::nullopt},
      {"g", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_word(c.text), c.value) << c.text;
}

TEST(NumberText, FormatsWordsAndAddresses) {
  EXPECT_EQ(hex_word(0), "0x00000000");
  EXPECT_EQ(hex_word(0x41800003u), "0x41800003");
  EXPECT_EQ(hex_address(0x50000), "0x50000");
  EXPECT_EQ(hex_address(UINT64_MAX), "0xffffffffffffffff");
}

}  // namespace
}  // namespace meshweave::tool
