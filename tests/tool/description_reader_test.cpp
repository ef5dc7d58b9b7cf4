#include "description_reader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <variant>

namespace meshweave::tool {
namespace {

std::string example(const std::string& name) {
  std::ifstream file(std::string{MESHWEAVE_SOURCE_DIR} + "/examples/" + name);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// A document with one phase holding `transfer`, to vary one transfer at a time.
std::string one_transfer(const std::string& transfer) {
  return R"({"phases": [{"transfers": [)" + transfer + "]}]}";
}

TEST(DescriptionReader, ReadsBothTransferKindsWithEveryAddressForm) {
  const auto description = read_description(R"({
    "topology": "m1472",
    "phases": [
      {"transfers": [
        {"from": 0, "to": 1471, "words": 4148, "source": "0x50000", "destination": 1031984},
        {"from": 5, "to": [6, 7], "words": 1, "source": 4096, "destination": ["0x52000", "0X52040"]}
      ]},
      {"transfers": [{"from": 6, "to": [5], "words": 16, "source": 0, "destination": "0xfffc0"}]},
      {"transfers": []}
    ]})");
  ASSERT_TRUE(description.has_value()) << to_string(description.error());
  ExchangeDescription expected;
  expected.phases = {
      Phase{{PointToPointTransfer{0, 1471, 4148, 0x50000, 0xfbf30},
             MulticastTransfer{5, {6, 7}, 1, 4096, {0x52000, 0x52040}}}},
      Phase{{MulticastTransfer{6, {5}, 16, 0, {0xfffc0}}}},
      Phase{},
  };
  EXPECT_EQ(*description, expected);
}

TEST(DescriptionReader, TopologyMayBeLeftOutAndPhasesMayBeEmpty) {
  const auto description = read_description(R"({"phases": []})");
  ASSERT_TRUE(description.has_value());
  EXPECT_TRUE(description->phases.empty());
}

TEST(DescriptionReader, ReadsTheExamples) {
  const auto ring = read_description(example("ring16.json"));
  ASSERT_TRUE(ring.has_value()) << to_string(ring.error());
  ASSERT_EQ(ring->phases.size(), 2u);
  for (std::size_t phase = 0; phase < 2; ++phase) {
    ASSERT_EQ(ring->phases[phase].transfers.size(), 8u);
    for (std::size_t i = 0; i < 8; ++i) {
      const auto& transfer = std::get<PointToPointTransfer>(ring->phases[phase].transfers[i]);
      EXPECT_EQ(transfer.sender, 2 * i + phase);
      EXPECT_EQ(transfer.receiver, (transfer.sender + 1) % 16);
    }
  }

  const auto broadcast = read_description(example("broadcast.json"));
  ASSERT_TRUE(broadcast.has_value()) << to_string(broadcast.error());
  const auto& all = std::get<MulticastTransfer>(broadcast->phases.at(0).transfers.at(0));
  EXPECT_EQ(all.sender, 0);
  EXPECT_EQ(all.receivers.size(), 1471u);
  EXPECT_EQ(all.receivers.back(), 1471);

  const auto mixed = read_description(example("multiphase.json"));
  ASSERT_TRUE(mixed.has_value()) << to_string(mixed.error());
  EXPECT_EQ(mixed->phases.size(), 3u);
}

struct RefusedCase {
  const char* what;
  std::string document;
  std::string message;
};

TEST(DescriptionReader, RefusesBadInputWithPathAndReason) {
  const std::string good = R"("from": 0, "to": 1, "words": 4, "source": 0, "destination": 0)";
  const std::string good_transfer = "{" + good + "}";
  const RefusedCase cases[] = {
      {"top level not an object", "[]", "expected an object at the top level, found an array"},
      {"phases missing", R"({"topology": "m1472"})", "missing \"phases\" (or \"transfers\")"},
      {"unknown top-level key", R"({"phases": [], "tiles": 3})",
       "tiles: unknown key (expected topology, phases, transfers)"},
      {"unknown topology", R"({"topology": "no-such-card", "phases": []})",
       "topology: unknown topology \"no-such-card\" (the only one is \"m1472\")"},
      {"topology not a string", R"({"topology": 1472, "phases": []})",
       "topology: expected a string, found a number"},
      {"phases not an array", R"({"phases": {}})", "phases: expected an array, found an object"},
      {"phase not an object", R"({"phases": [[]]})",
       "phases[0]: expected an object, found an array"},
      {"transfers missing", R"({"phases": [{}]})", "phases[0]: missing \"transfers\""},
      {"unknown phase key", R"({"phases": [{"transfers": [], "start": 5}]})",
       "phases[0].start: unknown key (expected transfers)"},
      {"unknown transfer key", one_transfer("{" + good + R"(, "form": 3})"),
       "phases[0].transfers[0].form: unknown key (expected from, to, words, source, "
       "destination)"},
      {"transfer key missing", one_transfer(R"({"from": 0, "to": 1, "words": 4, "source": 0})"),
       "phases[0].transfers[0]: missing \"destination\""},
      {"duplicate key", one_transfer("{" + good + R"(, "words": 8})"),
       "phases[0].transfers[0].words: duplicate key"},
      {"duplicate key deeper in a later element",
       R"({"phases": [{"transfers": []}, {"transfers": [)" + good_transfer +
           R"(, {"from": 1, "from": 2}]}]})",
       "phases[1].transfers[1].from: duplicate key"},
      {"tile as a string",
       one_transfer(R"({"from": "0", "to": 1, "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].from: expected an integer, found a string"},
      {"fractional tile",
       one_transfer(R"({"from": 0.5, "to": 1, "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].from: expected an integer, found a fractional number"},
      {"negative tile",
       one_transfer(R"({"from": -1, "to": 1, "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].from: tile -1 is negative"},
      {"sender off the card",
       one_transfer(R"({"from": 1472, "to": 1, "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].from: tile 1472 is not on the card"},
      {"huge receiver",
       one_transfer(
           R"({"from": 0, "to": 18446744073709551615, "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].to: tile 18446744073709551615 is not on the card"},
      {"receiver is the sender",
       one_transfer(R"({"from": 3, "to": 3, "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].to: tile 3 is the sender"},
      {"multicast receiver off the card",
       R"({"phases": [{"transfers": []}, {"transfers": []}, {"transfers": [{"from": 0, "to": [1, 2, 3, 1472], "words": 4, "source": 0, "destination": 0}]}]})",
       "phases[2].transfers[0].to[3]: tile 1472 is not on the card"},
      {"duplicate receiver",
       one_transfer(R"({"from": 0, "to": [5, 7, 7], "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].to[2]: tile 7 is already a receiver of this transfer"},
      {"sender among receivers",
       one_transfer(R"({"from": 5, "to": [6, 5], "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].to[1]: tile 5 is the sender"},
      {"no receivers",
       one_transfer(R"({"from": 0, "to": [], "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].to: a multicast needs at least one receiver"},
      {"zero words",
       one_transfer(R"({"from": 0, "to": 1, "words": 0, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].words: word count 0 is out of range (1 to 4148)"},
      {"too many words",
       one_transfer(R"({"from": 0, "to": [1], "words": 4149, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].words: word count 4149 is out of range (1 to 4148)"},
      {"misaligned source",
       one_transfer(R"({"from": 0, "to": 1, "words": 4, "source": "0x50002", "destination": 0})"),
       "phases[0].transfers[0].source: address 0x50002 is not a multiple of 4"},
      {"address at the limit",
       one_transfer(R"({"from": 0, "to": 1, "words": 4, "source": 0, "destination": 1048576})"),
       "phases[0].transfers[0].destination: address 0x100000 is not below 0x100000"},
      {"address past 64 bits",
       one_transfer(
           R"({"from": 0, "to": 1, "words": 4, "source": "0x10000000000000000", "destination": 0})"),
       "phases[0].transfers[0].source: \"0x10000000000000000\" is not an address (expected an "
       "integer or \"0x...\")"},
      {"long address string is shortened",
       one_transfer(R"({"from": 0, "to": 1, "words": 4, "source": ")" + std::string(100, 'z') +
                    R"(", "destination": 0})"),
       "phases[0].transfers[0].source: \"" + std::string(80, 'z') +
           "...\" is not an address (expected an integer or \"0x...\")"},
      {"decimal address string",
       one_transfer(R"({"from": 0, "to": 1, "words": 4, "source": "4096", "destination": 0})"),
       "phases[0].transfers[0].source: \"4096\" is not an address (expected an integer or "
       "\"0x...\")"},
      {"address of the wrong type",
       one_transfer(R"({"from": 0, "to": 1, "words": 4, "source": true, "destination": 0})"),
       "phases[0].transfers[0].source: expected an address (an integer or \"0x...\"), found a "
       "boolean"},
      {"destination list on a point-to-point transfer",
       one_transfer(R"({"from": 0, "to": 1, "words": 4, "source": 0, "destination": [0]})"),
       "phases[0].transfers[0].destination: a point-to-point transfer has one destination "
       "address"},
      {"destination list of the wrong length",
       one_transfer(
           R"({"from": 0, "to": [1, 2, 3], "words": 4, "source": 0, "destination": [0, 4]})"),
       "phases[0].transfers[0].destination: 2 addresses for 3 receivers (give one shared "
       "address or one per receiver)"},
      {"bad address inside a destination list",
       one_transfer(R"({"from": 0, "to": [1, 2], "words": 4, "source": 0, "destination": [0, 6]})"),
       "phases[0].transfers[0].destination[1]: address 0x6 is not a multiple of 4"},
      {"syntax error", "{\"phases\": [\n  {\"transfers\": ]}",
       "syntax error: invalid value; found ']'"},
  };
  for (const RefusedCase& c : cases) {
    const auto description = read_description(c.document);
    ASSERT_FALSE(description.has_value()) << c.what;
    EXPECT_EQ(to_string(description.error()), c.message) << c.what;
  }
  const auto syntax = read_description("{\"phases\": [\n  {\"transfers\": ]}");
  ASSERT_FALSE(syntax.has_value());
  EXPECT_EQ(syntax.error().line, 2u);
  EXPECT_EQ(syntax.error().column, 17u);
}

// A refusal that must point at the first occurrence of `at` in the document.
struct PlacedCase {
  const char* what;
  std::string document;
  std::string message;
  std::string at;
};

// 1-based line and column of the first occurrence of `marker`, or of the end of
// the document for "<end>".
std::pair<std::size_t, std::size_t> place_of(const std::string& document,
                                             const std::string& marker) {
  const std::size_t offset = marker == "<end>" ? document.size() : document.find(marker);
  EXPECT_NE(offset, std::string::npos) << marker;
  const std::string before = document.substr(0, offset);
  const std::size_t line_start = before.rfind('\n');
  return {1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')),
          offset + 1 - (line_start == std::string::npos ? 0 : line_start + 1)};
}

TEST(DescriptionReader, RefusalsNameLineAndColumnAndEchoBoundedText) {
  const std::string nul{'\0'};
  const std::string digits(5'000'000, '9');
  const std::string long_key(1'000'000, 'k');
  const auto transfer = [](const std::string& from, const std::string& words,
                           const std::string& source, const std::string& destination) {
    return one_transfer(R"({"from": )" + from + R"(, "to": 1, "words": )" + words +
                        R"(, "source": )" + source + R"(, "destination": )" + destination + "}");
  };
  const PlacedCase cases[] = {
      {"NUL after the document", R"({"phases": []})" + nul + "junk", "unexpected NUL byte", nul},
      {"NUL inside the document", "{\"phases\":\n [" + nul + "]}", "unexpected NUL byte", nul},
      {"NUL inside a string", R"({"topology": "m1)" + nul + R"(472", "phases": []})",
       "unexpected NUL byte", nul},
      {"missing key names the object", "{\"phases\": [\n  {\"transfers\": [\n   {\"from\": 1}]}]}",
       "phases[0].transfers[0]: missing \"to\"", "{\"from"},
      {"-0 as a word count", transfer("0", "-0", "0", "0"),
       "phases[0].transfers[0].words: -0 is not a valid word count (1 to 4148)", "-0"},
      {"-0 as a tile", transfer("-0", "4", "0", "0"),
       "phases[0].transfers[0].from: -0 is not a valid tile (write 0)", "-0"},
      {"-0 as an address", transfer("0", "4", "-0", "0"),
       "phases[0].transfers[0].source: -0 is not a valid address (write 0)", "-0"},
      {"negative word count", transfer("0", "-5", "0", "0"),
       "phases[0].transfers[0].words: word count -5 is negative", "-5"},
      {"tile past 64 bits", transfer("18446744073709551616", "4", "0", "0"),
       "phases[0].transfers[0].from: tile 18446744073709551616 is not on the card", "1844"},
      {"address past 64 bits", transfer("0", "4", "0", "-18446744073709551616"),
       "phases[0].transfers[0].destination: address -18446744073709551616 is negative", "-1844"},
      {"integer address past 64 bits", transfer("0", "4", "18446744073709551616", "0"),
       "phases[0].transfers[0].source: address 18446744073709551616 is not below 0x100000", "1844"},
      {"exponent beyond a double", transfer("1e400", "4", "0", "0"),
       "phases[0].transfers[0].from: expected an integer, found a number with an exponent",
       "1e400"},
      {"exponent where an array belongs", R"({"phases": 1e400})",
       "phases: expected an array, found a number with an exponent", "1e400"},
      {"five million digits", transfer("0", digits, "0", "0"),
       "phases[0].transfers[0].words: word count " + std::string(80, '9') +
           "... is out of range (1 to 4148)",
       "999"},
      {"long unknown key", R"({")" + long_key + R"(": 1, "phases": []})",
       std::string(80, 'k') + "...: unknown key (expected topology, phases, transfers)", "\"k"},
      {"terminal escape and line break in a key", R"({"phases": [{"\u001b[31m\nx": 1}]})",
       "phases[0].\\x1b[31m\\nx: unknown key (expected transfers)", "\"\\u"},
      {"unterminated long string", R"({"phases": [], "topology": ")" + long_key,
       "syntax error: missing the closing quote of a string; last read: '\"" +
           std::string(79, 'k') + "...'",
       "<end>"},
      {"source running past tile memory", transfer("0", "4148", "\"0xffff0\"", "0"),
       "phases[0].transfers[0].source: transfer of 4148 words from 0xffff0 runs past 0x100000",
       "\"0xffff0"},
      {"destination running past tile memory", transfer("0", "17", "0", "1048512"),
       "phases[0].transfers[0].destination: transfer of 17 words to 0xfffc0 runs past 0x100000",
       "1048512"},
      {"one destination of a list running past",
       one_transfer(
           R"({"from": 0, "to": [1, 2], "words": 2, "source": 0, "destination": [0, "0xffffc"]})"),
       "phases[0].transfers[0].destination[1]: transfer of 2 words to 0xffffc runs past 0x100000",
       "\"0xffffc"},
      {"receiver named twice, pointing at the second",
       one_transfer(R"({"from": 0, "to": [5, 7, 7], "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].to[2]: tile 7 is already a receiver of this transfer", "7]"},
      {"deep nesting is refused at its first bracket", std::string(1'000'000, '['),
       "expected an object at the top level, found an array", "["},
  };
  for (const PlacedCase& c : cases) {
    const auto description = read_description(c.document);
    ASSERT_FALSE(description.has_value()) << c.what;
    EXPECT_EQ(to_string(description.error()), c.message) << c.what;
    const auto [line, column] = place_of(c.document, c.at);
    EXPECT_EQ(description.error().line, line) << c.what;
    EXPECT_EQ(description.error().column, column) << c.what;
  }
}

TEST(DescriptionReader, ReadsABuffersLastWordAtTheEndOfTileMemory) {
  const auto description = read_description(one_transfer(
      R"({"from": 0, "to": [1, 2], "words": 4148, "source": "0xfbf30", "destination": ["0xfbf30", 0]})"));
  ASSERT_TRUE(description.has_value()) << to_string(description.error());
  EXPECT_EQ(std::get<MulticastTransfer>(description->phases[0].transfers[0]).source_address,
            0xfbf30u);
}

// Reading is linear: a phase of 200,000 transfers, which a reader quadratic in
// the length of one array would not finish, is read whole.
TEST(DescriptionReader, ReadsOneVeryLongPhase) {
  constexpr std::size_t count = 200'000;
  std::string text = R"({"phases": [{"transfers": [)";
  for (std::size_t i = 0; i < count; ++i) {
    if (i != 0) text += ',';
    text += R"({"from": )" + std::to_string(i % 1472) + R"(, "to": )" +
            std::to_string((i + 1) % 1472) + R"(, "words": 8, "source": )" + std::to_string(4 * i) +
            R"(, "destination": "0x80000"})";
  }
  text += "]}]}";
  const auto description = read_description(text);
  ASSERT_TRUE(description.has_value()) << to_string(description.error());
  ASSERT_EQ(description->phases.at(0).transfers.size(), count);
  const auto& last = std::get<PointToPointTransfer>(description->phases[0].transfers.back());
  EXPECT_EQ(last.sender, (count - 1) % 1472);
  EXPECT_EQ(last.receiver, count % 1472);
  EXPECT_EQ(last.source_address, 4 * (count - 1));
  EXPECT_EQ(last.destination_address, 0x80000u);
}

TEST(DescriptionReader, ReportsTheFirstProblemInDocumentOrder) {
  // Phase 0 is fine; phase 1 has two bad transfers: the earlier one is named.
  const auto description = read_description(R"({"phases": [
    {"transfers": [{"from": 0, "to": 1, "words": 4, "source": 0, "destination": 0}]},
    {"transfers": [{"from": 0, "to": 1, "words": 0, "source": 0, "destination": 0},
                   {"from": 9999, "to": 1, "words": 4, "source": 0, "destination": 0}]}]})");
  ASSERT_FALSE(description.has_value());
  EXPECT_EQ(description.error().path, "phases[1].transfers[0].words");
}

}  // namespace
}  // namespace meshweave::tool
