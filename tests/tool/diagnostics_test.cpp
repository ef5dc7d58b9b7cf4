#include "diagnostics.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>

namespace meshweave::tool {
namespace {

std::string repeat(std::string_view piece, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += piece;
  return text;
}

TEST(Diagnostics, EchoEscapesAndBoundsUserText) {
  using namespace std::string_view_literals;
  const struct {
    std::string_view text;
    std::size_t limit;
    std::string shown;
  } cases[] = {
      {"phases", 80, "phases"},
      {"a\tb\nc\r", 80, "a\\tb\\nc\\r"},
      {"\x1b[31mred\x1b[0m", 80, "\\x1b[31mred\\x1b[0m"},
      {"a\\x41", 80, "a\\\\x41"},  // a backslash cannot forge an escape
      {"a\0b\x7f"sv, 80, "a\\x00b\\x7f"},
      {"\xc2\x9b"
       "2J",
       80, "\\xc2\\x9b2J"},  // C1 control
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", 80,
       "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
      {"\xff\xfe", 80, "\\xff\\xfe"},           // not UTF-8
      {"\xc0\xaf", 80, "\\xc0\\xaf"},           // overlong '/'
      {"\xed\xa0\x80", 80, "\\xed\\xa0\\x80"},  // surrogate
      {"\xe2\x82", 80, "\\xe2\\x82"},           // cut sequence
      {"abcdef", 3, "abc..."},
      {"abc", 3, "abc"},
  };
  for (const auto& c : cases) EXPECT_EQ(echo(c.text, c.limit), c.shown) << c.shown;

  // The limit counts characters as the user typed them, escaped or not.
  EXPECT_EQ(echo(repeat("x", 80)), repeat("x", 80));
  EXPECT_EQ(echo(repeat("x", 81)), repeat("x", 80) + "...");
  EXPECT_EQ(echo(repeat("\xc3\xa9", 81)), repeat("\xc3\xa9", 80) + "...");
  EXPECT_EQ(echo(repeat("\n", 100)), repeat("\\n", 80) + "...");
}

TEST(Diagnostics, ErrorLineHasOneFormatOnOneLine) {
  const struct {
    std::string_view command;
    std::string_view where;
    std::string_view what;
    std::string line;
  } cases[] = {
      {"compile", "ring.json:3:7: phases[0]", "missing \"to\"",
       "meshweave compile: error: ring.json:3:7: phases[0]: missing \"to\""},
      {"route", "", "tile 5 is both the sender and the receiver",
       "meshweave route: error: tile 5 is both the sender and the receiver"},
      {"", "", "unknown command \"x\"", "meshweave: error: unknown command \"x\""},
      {"asm", "<stdin>:2:1", "two\nlines\r", "meshweave asm: error: <stdin>:2:1: two\\nlines\\r"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(error_line(c.command, c.where, c.what), c.line);
    std::ostringstream err;
    report_error(err, c.command, c.where, c.what);
    EXPECT_EQ(err.str(), c.line + "\n");
  }
}

}  // namespace
}  // namespace meshweave::tool
