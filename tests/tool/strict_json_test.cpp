#include "strict_json.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace meshweave::tool {
namespace {

// Takes every event and notes it with the offset it came with.
class EventLog final : public JsonReceiver {
 public:
  std::vector<std::string> events;

  void object_start(std::size_t at) override { note("{", at); }
  void object_end(std::size_t at) override { note("}", at); }
  void array_start(std::size_t at) override { note("[", at); }
  void array_end(std::size_t at) override { note("]", at); }
  void key(std::string_view key, std::size_t at) override { note("key " + std::string{key}, at); }
  void string(std::string_view value, std::size_t at) override {
    note("string " + std::string{value}, at);
  }
  void number(const JsonNumber& number, std::size_t at) override {
    std::string kind = number.integer_syntax ? "integer " : "number ";
    if (number.integer_syntax && !number.magnitude) kind = "huge ";
    note(kind + std::string{number.text}, at);
  }
  void boolean(bool value, std::size_t at) override { note(value ? "true" : "false", at); }
  void null(std::size_t at) override { note("null", at); }

 private:
  void note(const std::string& event, std::size_t at) {
    events.push_back(event + " @" + std::to_string(at));
  }
};

TEST(StrictJson, EventsCarryTheOffsetWhereTheirTokenStarts) {
  const std::string text =
      "{\"a\": [1,-0 , 2.5e3]\n,\"b\":{\"c\" :true},\"d\": [null, \"x\\\"y\"],"
      "\"e\": 18446744073709551616}";
  EventLog log;
  ASSERT_FALSE(read_json_events(text, log).has_value());
  const std::vector<std::string> expected = {
      "{ @0",
      "key a @1",
      "[ @6",
      "integer 1 @7",
      "integer -0 @9",
      "number 2.5e3 @14",
      "] @19",
      "key b @22",
      "{ @26",
      "key c @27",
      "true @32",
      "} @36",
      "key d @38",
      "[ @43",
      "null @44",
      "string x\"y @50",
      "] @56",
      "key e @58",
      "huge 18446744073709551616 @63",
      "} @83",
  };
  EXPECT_EQ(log.events, expected);
}

TEST(StrictJson, RefusesWhatAPlainParseMishandles) {
  const std::string deepest_allowed(max_json_depth, '[');
  const struct {
    const char* what;
    std::string text;
    std::string reason;
    std::size_t line;
    std::size_t column;
  } cases[] = {
      {"one level too deep", "\n" + deepest_allowed + "{", "nesting deeper than 64 levels", 2,
       max_json_depth + 1},
      {"NUL after the value", std::string{"[1]\n\0x", 6}, "unexpected NUL byte", 2, 1},
      {"NUL inside a number", std::string{"[12\0]", 5}, "unexpected NUL byte", 1, 4},
      {"lone low surrogate", "[\"a\\udc00\"]",
       "syntax error: a low surrogate must follow a high one", 1, 4},
      {"lone high surrogate", "[\"\\ud800x\"]",
       "syntax error: a high surrogate must be followed by a low one", 1, 3},
      {"ill-formed UTF-8", "[\"\xc0\xaf\"]", "syntax error: ill-formed UTF-8 in a string", 1, 3},
      {"raw line break in a string", "[\"a\nb\"]",
       "syntax error: control character U+000A in a string must be escaped", 1, 4},
      {"broken literal", "[tr ue]", "syntax error: invalid value; found ' '", 1, 4},
      {"leading zero", "[01]",
       "syntax error: missing a comma or ']' after an array element; found '1'", 1, 3},
      {"trailing comma", "{\"a\": 1,}",
       "syntax error: expected a key (a string) in the object; found '}'", 1, 9},
      {"two values", "[] []", "syntax error: more after the value; found '['", 1, 4},
      {"nothing", "", "syntax error: expected a value; found the end of the text", 1, 1},
      {"number past a double, which the receiver takes", "[1, -2e999]",
       "number -2e999 is beyond the range of a double", 1, 5},
  };
  for (const auto& c : cases) {
    EventLog log;
    const auto refused = read_json_events(c.text, log);
    ASSERT_TRUE(refused.has_value()) << c.what;
    EXPECT_EQ(*refused, (InputError{{}, c.reason, c.line, c.column})) << c.what;
  }
  EventLog log;
  EXPECT_FALSE(read_json_events(deepest_allowed + std::string(max_json_depth, ']'), log));
}

TEST(StrictJson, DecodesEscapes) {
  EventLog log;
  ASSERT_FALSE(read_json_events(R"(["\u00e9\ud83d\ude00\n\/", 1e300])", log).has_value());
  const std::vector<std::string> expected = {"[ @0", "string \u00e9\U0001F600\n/ @1",
                                             "number 1e300 @27", "] @32"};
  EXPECT_EQ(log.events, expected);
}

TEST(StrictJson, PositionsCountLinesAndBytes) {
  const std::string text = "ab\ncd\n\nx";
  EXPECT_EQ(position_in(text, 0).line, 1u);
  EXPECT_EQ(position_in(text, 4).line, 2u);
  EXPECT_EQ(position_in(text, 4).column, 2u);
  EXPECT_EQ(position_in(text, 7).line, 4u);
  EXPECT_EQ(position_in(text, 7).column, 1u);
  EXPECT_EQ(position_in(text, 8).column, 2u);  // the end of the text
}

}  // namespace
}  // namespace meshweave::tool
