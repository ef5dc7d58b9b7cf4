#include "description_reader.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
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
        {"from": 0, "to": 1471, "words": 4148, "source": "0x50000", "destination": 1048572},
        {"from": 5, "to": [6, 7], "words": 1, "source": 4096, "destination": ["0x52000", "0X52040"]}
      ]},
      {"transfers": [{"from": 6, "to": [5], "words": 16, "source": 0, "destination": "0xffffc"}]},
      {"transfers": []}
    ]})");
  ASSERT_TRUE(description.has_value()) << to_string(description.error());
  const ExchangeDescription expected{{
      Phase{{PointToPointTransfer{0, 1471, 4148, 0x50000, 0xffffc},
             MulticastTransfer{5, {6, 7}, 1, 4096, {0x52000, 0x52040}}}},
      Phase{{MulticastTransfer{6, {5}, 16, 0, {0xffffc}}}},
      Phase{},
  }};
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
  const RefusedCase cases[] = {
      {"top level not an object", "[]", "expected an object at the top level, found an array"},
      {"phases missing", R"({"topology": "m1472"})", "missing \"phases\""},
      {"unknown top-level key", R"({"phases": [], "tiles": 3})",
       "tiles: unknown key (expected topology, phases)"},
      {"unknown topology", R"({"topology": "m2000", "phases": []})",
       "topology: unknown topology \"m2000\" (the only one is \"m1472\")"},
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
       R"({"phases": [{"transfers": []}, {"transfers": [{}, {"from": 1, "from": 2}]}]})",
       "phases[1].transfers[1].from: duplicate key"},
      {"tile as a string", one_transfer(R"({"from": "0", "to": 1, "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].from: expected an integer, found a string"},
      {"fractional tile", one_transfer(R"({"from": 0.5, "to": 1, "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].from: expected an integer, found a fractional number"},
      {"negative tile", one_transfer(R"({"from": -1, "to": 1, "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].from: tile -1 is negative"},
      {"sender off the card", one_transfer(R"({"from": 1472, "to": 1, "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].from: tile 1472 is not on the card"},
      {"huge receiver", one_transfer(R"({"from": 0, "to": 18446744073709551615, "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].to: tile 18446744073709551615 is not on the card"},
      {"receiver is the sender", one_transfer(R"({"from": 3, "to": 3, "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].to: tile 3 is the sender"},
      {"multicast receiver off the card",
       R"({"phases": [{"transfers": []}, {"transfers": []}, {"transfers": [{"from": 0, "to": [1, 2, 3, 1472], "words": 4, "source": 0, "destination": 0}]}]})",
       "phases[2].transfers[0].to[3]: tile 1472 is not on the card"},
      {"duplicate receiver", one_transfer(R"({"from": 0, "to": [5, 7, 7], "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].to[2]: tile 7 is already a receiver of this transfer"},
      {"sender among receivers", one_transfer(R"({"from": 5, "to": [6, 5], "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].to[1]: tile 5 is the sender"},
      {"no receivers", one_transfer(R"({"from": 0, "to": [], "words": 4, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].to: a multicast needs at least one receiver"},
      {"zero words", one_transfer(R"({"from": 0, "to": 1, "words": 0, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].words: word count 0 is out of range (1 to 4148)"},
      {"too many words", one_transfer(R"({"from": 0, "to": [1], "words": 4149, "source": 0, "destination": 0})"),
       "phases[0].transfers[0].words: word count 4149 is out of range (1 to 4148)"},
      {"misaligned source", one_transfer(R"({"from": 0, "to": 1, "words": 4, "source": "0x50002", "destination": 0})"),
       "phases[0].transfers[0].source: address 0x50002 is not a multiple of 4"},
      {"address at the limit", one_transfer(R"({"from": 0, "to": 1, "words": 4, "source": 0, "destination": 1048576})"),
       "phases[0].transfers[0].destination: address 0x100000 is not below 0x100000"},
      {"address past 64 bits", one_transfer(R"({"from": 0, "to": 1, "words": 4, "source": "0x10000000000000000", "destination": 0})"),
       "phases[0].transfers[0].source: \"0x10000000000000000\" is not an address (expected an "
       "integer or \"0x...\")"},
      {"long address string is shortened",
       one_transfer(R"({"from": 0, "to": 1, "words": 4, "source": ")" + std::string(100, 'z') +
                    R"(", "destination": 0})"),
       "phases[0].transfers[0].source: \"" + std::string(40, 'z') +
           "...\" is not an address (expected an integer or \"0x...\")"},
      {"decimal address string", one_transfer(R"({"from": 0, "to": 1, "words": 4, "source": "4096", "destination": 0})"),
       "phases[0].transfers[0].source: \"4096\" is not an address (expected an integer or "
       "\"0x...\")"},
      {"address of the wrong type", one_transfer(R"({"from": 0, "to": 1, "words": 4, "source": true, "destination": 0})"),
       "phases[0].transfers[0].source: expected an address (an integer or \"0x...\"), found a "
       "boolean"},
      {"destination list on a point-to-point transfer",
       one_transfer(R"({"from": 0, "to": 1, "words": 4, "source": 0, "destination": [0]})"),
       "phases[0].transfers[0].destination: a point-to-point transfer has one destination "
       "address"},
      {"destination list of the wrong length",
       one_transfer(R"({"from": 0, "to": [1, 2, 3], "words": 4, "source": 0, "destination": [0, 4]})"),
       "phases[0].transfers[0].destination: 2 addresses for 3 receivers (give one shared "
       "address or one per receiver)"},
      {"bad address inside a destination list",
       one_transfer(R"({"from": 0, "to": [1, 2], "words": 4, "source": 0, "destination": [0, 6]})"),
       "phases[0].transfers[0].destination[1]: address 0x6 is not a multiple of 4"},
      {"syntax error", "{\"phases\": [\n  {\"transfers\": ]}",
       "parse error at line 2, column 17: syntax error while parsing value - unexpected ']'; "
       "expected '[', '{', or a literal"},
  };
  for (const RefusedCase& c : cases) {
    const auto description = read_description(c.document);
    ASSERT_FALSE(description.has_value()) << c.what;
    EXPECT_EQ(to_string(description.error()), c.message) << c.what;
  }
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
