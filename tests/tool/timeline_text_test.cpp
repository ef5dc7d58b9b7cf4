#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "range_text.hpp"
#include "xml_text.hpp"

namespace meshweave::tool {
namespace {

TEST(ParseRange, ReadsRangesAndSingleNumbers) {
  const struct {
    std::string_view text;
    InclusiveRange range;
  } cases[] = {
      {"0-47", {0, 47}},
      {"5-5", {5, 5}},
      {"12", {12, 12}},
      {"0x10-0x1f", {16, 31}},
      {"0-18446744073709551615", {0, 18446744073709551615u}},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_range(c.text), c.range) << c.text;
}

TEST(ParseRange, RefusesBadText) {
  const struct {
    std::string_view text;
    std::string_view message;
  } cases[] = {
      {"", "\"\" is not a range (expected A-B or A, e.g. 0-47)"},
      {"-", "\"-\" is not a range (expected A-B or A, e.g. 0-47)"},
      {"3-", "\"3-\" is not a range (expected A-B or A, e.g. 0-47)"},
      {"-3", "\"-3\" is not a range (expected A-B or A, e.g. 0-47)"},
      {"1-2-3", "\"1-2-3\" is not a range (expected A-B or A, e.g. 0-47)"},
      {" 1-2", "\" 1-2\" is not a range (expected A-B or A, e.g. 0-47)"},
      {"a-b", "\"a-b\" is not a range (expected A-B or A, e.g. 0-47)"},
      {"0-18446744073709551616",
       "\"0-18446744073709551616\" is not a range (expected A-B or A, e.g. 0-47)"},
      {"9-3", "\"9-3\" is not a range: it ends before it starts"},
      {"1\n-2", "\"1\\n-2\" is not a range (expected A-B or A, e.g. 0-47)"},
  };
  for (const auto& c : cases) {
    const auto range = parse_range(c.text);
    ASSERT_FALSE(range.has_value()) << c.text;
    EXPECT_EQ(range.error(), c.message);
  }
}

TEST(XmlText, EscapesMarkupAndReplacesWhatXmlCannotHold) {
  const struct {
    std::string_view text;
    std::string_view xml;
  } cases[] = {
      {"a<b & \"c\">", "a&lt;b &amp; &quot;c&quot;&gt;"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\ttab",
       "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\ttab"},
      {"two\nlines\r", "two lines "},
      {std::string_view{"nul\0!", 5}, "nul\xEF\xBF\xBD!"},
      {"bell\x07 esc\x1b[31m del\x7f", "bell\xEF\xBF\xBD esc\xEF\xBF\xBD[31m del\xEF\xBF\xBD"},
      {"c1 \xC2\x85", "c1 \xEF\xBF\xBD"},
      {"latin1 \xE9t\xE9", "latin1 \xEF\xBF\xBDt\xEF\xBF\xBD"},
      {"cut \xE2\x82", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
      {"overlong \xC0\xAF", "overlong \xEF\xBF\xBD\xEF\xBF\xBD"},
      {"surrogate \xED\xA0\x80", "surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"past \xF4\x90\x80\x80", "past \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"nonchar \xEF\xBF\xBF", "nonchar \xEF\xBF\xBD"},
  };
  for (const auto& c : cases) EXPECT_EQ(xml_text(c.text), c.xml) << c.text;
}

}  // namespace
}  // namespace meshweave::tool
