// The transfers form of a description: ids, "after" and what is refused in them.
#include <gtest/gtest.h>

#include <string>

#include "description_reader.hpp"
#include "meshweave/instruction_words/control_words.hpp"

namespace meshweave::tool {
namespace {

// A transfer from `from` to `from + 1` with `extra` keys appended.
std::string transfer(int from, const std::string& extra = "") {
  return R"({"from": )" + std::to_string(from) + R"(, "to": )" + std::to_string(from + 1) +
         R"(, "words": 4, "source": 0, "destination": 0)" + extra + "}";
}

TEST(ScheduledReader, ResolvesIdsForwardAndBackward) {
  const auto description =
      read_description(R"({"transfers": [)" + transfer(0, R"(, "after": ["last"])") + ",\n" +
                       transfer(2, R"(, "id": "middle")") + ",\n" +
                       transfer(4, R"(, "id": "last", "after": ["middle", "middle"])") + "]}");
  ASSERT_TRUE(description.has_value()) << to_string(description.error());
  EXPECT_TRUE(description->phases.empty());
  ASSERT_EQ(description->transfers.size(), 3u);
  EXPECT_EQ(description->transfers[0].after, (std::vector<std::size_t>{2}));
  EXPECT_TRUE(description->transfers[1].after.empty());
  EXPECT_EQ(description->transfers[2].after, (std::vector<std::size_t>{1, 1}));
  const Transfer expected = PointToPointTransfer{4, 5, 4, 0, 0};
  EXPECT_EQ(description->transfers[2].transfer, expected);
}

// The transfers form is bounded by tile memory, not by one SEND pair.
TEST(ScheduledReader, LongTransfersOnlyInTheTransfersForm) {
  const std::string long_words = std::to_string(MAX_TRANSFER_WORDS + 1);
  const std::string body =
      R"({"from": 0, "to": 1, "words": )" + long_words + R"(, "source": 0, "destination": 0})";
  EXPECT_TRUE(read_description(R"({"transfers": [)" + body + "]}").has_value());
  const auto phased = read_description(R"({"phases": [{"transfers": [)" + body + "]}]}");
  ASSERT_FALSE(phased.has_value());
  EXPECT_EQ(phased.error().path, "phases[0].transfers[0].words");

  const auto whole_memory = read_description(
      R"({"transfers": [{"from": 0, "to": 1, "words": 262145, "source": 0, "destination": 0}]})");
  ASSERT_FALSE(whole_memory.has_value());
  EXPECT_EQ(to_string(whole_memory.error()),
            "transfers[0].words: word count 262145 is out of range (1 to 262144)");
}

TEST(ScheduledReader, RefusesWithPathLineAndColumn) {
  const struct {
    const char* what;
    std::string document;
    std::string message;
    std::size_t line;
    std::size_t column;
  } cases[] = {
      {"unknown id",
       R"({"transfers": [)" + transfer(0, R"(, "id": "a")") + ",\n" +
           transfer(2, R"(, "after": ["a", "x"])") + "]}",
       "transfers[1].after[1]: unknown id \"x\"", 2, 80},
      {"duplicate id",
       R"({"transfers": [)" + transfer(0, R"(, "id": "a")") + ",\n" +
           transfer(2, R"(, "id": "a")") + "]}",
       "transfers[1].id: duplicate id \"a\" (also transfers[0])", 2, 71},
      {"cycle through two transfers",
       R"({"transfers": [)" + transfer(0, R"(, "id": "a", "after": ["b"])") + ",\n" +
           transfer(2, R"(, "id": "b", "after": ["a"])") + "]}",
       "transfers[0].after: transfer 0 waits for itself (through transfer 1)", 1, 100},
      {"transfer after itself",
       R"({"transfers": [)" + transfer(0) + ",\n" + transfer(2, R"(, "id": "s", "after": ["s"])") +
           "]}",
       "transfers[1].after: transfer 1 waits for itself", 2, 85},
      {"both forms", "{\"phases\": [],\n \"transfers\": []}",
       "transfers: a description gives \"phases\" or \"transfers\", not both", 2, 2},
      {"both forms, transfers first", R"({"transfers": [], "phases": []})",
       "phases: a description gives \"phases\" or \"transfers\", not both", 1, 19},
      {"after not an array", R"({"transfers": [)" + transfer(0, R"(, "after": "a")") + "]}",
       "transfers[0].after: expected an array, found a string", 1, 89},
      {"after holding a number", R"({"transfers": [)" + transfer(0, R"(, "after": [3])") + "]}",
       "transfers[0].after[0]: expected an id (a string), found a number", 1, 90},
      {"id not a string", R"({"transfers": [)" + transfer(0, R"(, "id": 7)") + "]}",
       "transfers[0].id: expected a string, found a number", 1, 86},
      {"id in the phase form",
       R"({"phases": [{"transfers": [)" + transfer(0, R"(, "id": "a")") + "]}]}",
       "phases[0].transfers[0].id: unknown key (expected from, to, words, source, destination)", 1,
       92},
      {"neither form", R"({"topology": "m1472"})", "missing \"phases\" (or \"transfers\")", 1, 1},
  };
  for (const auto& c : cases) {
    const auto description = read_description(c.document);
    ASSERT_FALSE(description.has_value()) << c.what;
    EXPECT_EQ(to_string(description.error()), c.message) << c.what;
    EXPECT_EQ(description.error().line, c.line) << c.what;
    EXPECT_EQ(description.error().column, c.column) << c.what;
  }
}

}  // namespace
}  // namespace meshweave::tool
