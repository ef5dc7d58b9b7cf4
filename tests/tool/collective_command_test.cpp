// `meshweave collective`: the written descriptions against the library's
// plans, the explanation, compiled and verified steps, and refusals.
#include "collective_command.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "meshweave/collectives.hpp"
#include "meshweave/topology/topology.hpp"
#include "tool_process.hpp"

namespace meshweave::tool::testing {
namespace {

using nlohmann::json;

std::uint32_t address(const json& text) {
  return static_cast<std::uint32_t>(std::stoul(text.get<std::string>(), nullptr, 16));
}

// A transfers-form document back into the library's description, "after"
// resolved through the ids.
ExchangeDescription description_of(const json& document) {
  EXPECT_EQ(document.at("topology"), "m1472");
  std::map<std::string, std::size_t> index;
  for (const json& t : document.at("transfers")) index.emplace(t.at("id"), index.size());
  ExchangeDescription description;
  for (const json& t : document.at("transfers")) {
    ScheduledTransfer scheduled;
    const auto sender = t.at("from").get<std::uint16_t>();
    const auto words = t.at("words").get<std::uint32_t>();
    if (t.at("to").is_array()) {
      MulticastTransfer multicast{
          sender, t.at("to").get<std::vector<std::uint16_t>>(), words, address(t.at("source")), {}};
      const json& destination = t.at("destination");
      for (const json& d : destination.is_array() ? destination : json::array({destination})) {
        multicast.destination_addresses.push_back(address(d));
      }
      scheduled.transfer = multicast;
    } else {
      scheduled.transfer =
          PointToPointTransfer{sender, t.at("to").get<std::uint16_t>(), words,
                               address(t.at("source")), address(t.at("destination"))};
    }
    for (const json& id : t.value("after", json::array())) scheduled.after.push_back(index.at(id));
    description.transfers.push_back(std::move(scheduled));
  }
  return description;
}

std::vector<Combine> combines_of(const json& list) {
  std::vector<Combine> combines;
  for (const json& c : list) {
    Combine combine{c.at("tile").get<std::uint16_t>(),
                    address(c.at("destination")),
                    {},
                    c.at("words").get<std::uint32_t>()};
    for (const json& source : c.at("sources")) combine.sources.push_back(address(source));
    combine.repeat = c.value("repeat", 1U);
    combine.destination_stride = c.value("destination_stride", 0U);
    combine.source_stride = c.value("source_stride", 0U);
    combines.push_back(std::move(combine));
  }
  return combines;
}

CollectivePlan planned(CollectiveKind kind, CollectiveAlgorithm algorithm,
                       std::vector<std::uint16_t> tiles, std::uint32_t words,
                       std::uint16_t group = 0) {
  CollectiveRequest request{.kind = kind,
                            .algorithm = algorithm,
                            .tiles = std::move(tiles),
                            .words = words,
                            .input = 0x0,
                            .output = 0x40000,
                            .scratch = 0x80000,
                            .group_size = group,
                            .halo = {}};
  auto plan = plan_collective(Topology::m1472(), request);
  EXPECT_TRUE(plan.has_value());
  return plan.value_or(CollectivePlan{});
}

TEST(CollectiveCommand, WritesThePlansSteps) {
  // Several steps with local work: the steps document.
  struct Case {
    std::vector<std::string> arguments;
    CollectiveKind kind;
    CollectiveAlgorithm algorithm;
    std::uint16_t group;
  };
  const Case cases[] = {
      {{"reduce-scatter", "--algorithm", "flat"},
       CollectiveKind::ReduceScatter,
       CollectiveAlgorithm::Flat,
       0},
      // Its transposes are repeated copies.
      {{"all-to-all", "--algorithm", "hierarchical", "--group", "2"},
       CollectiveKind::AllToAll,
       CollectiveAlgorithm::Hierarchical,
       2},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments{"collective", "--tiles", "0-3", "--words", "2"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const ToolRun run = run_tool(arguments);
    ASSERT_EQ(run.status, 0) << run.err;
    const CollectivePlan plan = planned(c.kind, c.algorithm, {0, 1, 2, 3}, 2, c.group);
    const json document = json::parse(run.out);
    EXPECT_EQ(document.at("collective"), c.arguments[0]);
    EXPECT_EQ(document.at("algorithm"), c.arguments[2]);
    ASSERT_EQ(document.at("steps").size(), plan.steps.size());
    ASSERT_GT(plan.steps.size(), 1U);
    for (std::size_t k = 0; k < plan.steps.size(); ++k) {
      const json& step = document.at("steps")[k];
      EXPECT_EQ(description_of(step.at("description")), plan.steps[k].exchange) << "step " << k;
      EXPECT_EQ(combines_of(step.at("compute_before")), plan.steps[k].combine_before);
    }
    EXPECT_EQ(combines_of(document.at("compute_after")), plan.combine_after);
  }
}

TEST(CollectiveCommand, WritesOneExchangeAsThePlainTransfersForm) {
  struct Case {
    std::vector<std::string> arguments;
    CollectiveKind kind;
    std::size_t step;
  };
  const Case cases[] = {
      // One exchange, no local work: written plain without --step.
      {{"ring-shift", "--tiles", "0-3", "--words", "3"}, CollectiveKind::RingShift, 0},
      // Its own shard's copy is local work: plain only as the step asked for.
      {{"all-gather", "--tiles", "0-3", "--words", "2", "--step", "0"},
       CollectiveKind::AllGather,
       0},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments{"collective"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const ToolRun run = run_tool(arguments);
    ASSERT_EQ(run.status, 0) << run.err;
    const json document = json::parse(run.out);
    EXPECT_EQ(document.size(), 2U) << "only topology and transfers: " << run.out;
    const CollectivePlan plan = planned(c.kind, CollectiveAlgorithm::Flat, {0, 1, 2, 3},
                                        c.kind == CollectiveKind::RingShift ? 3 : 2);
    EXPECT_EQ(description_of(document), plan.steps.at(c.step).exchange) << c.arguments[0];
  }
}

TEST(CollectiveCommand, ExplainsTheChoice) {
  std::vector<std::uint16_t> tiles(64);
  for (std::uint16_t t = 0; t < 64; ++t) tiles[t] = t;
  const CollectivePlan automatic =
      planned(CollectiveKind::AllGather, CollectiveAlgorithm::Auto, tiles, 4);
  ASSERT_GT(automatic.candidates.size(), 1U);
  const ToolRun chosen =
      run_tool({"collective", "all-gather", "--tiles", "0-63", "--words", "4", "--explain"});
  EXPECT_EQ(chosen.status, 0) << chosen.err;
  EXPECT_EQ(chosen.out, explain_choice(automatic));

  // A named algorithm gets its estimate too; the description goes to -o.
  const CollectivePlan flat =
      planned(CollectiveKind::AllGather, CollectiveAlgorithm::Flat, tiles, 4);
  const auto estimate = estimate_collective(Topology::m1472(), flat);
  ASSERT_TRUE(estimate.has_value());
  const std::string directory = scratch_directory("collective_explain");
  const std::string file = directory + "/all-gather.json";
  const ToolRun named = run_tool({"collective", "all-gather", "--tiles", "0-63", "--words", "4",
                                  "--algorithm", "flat", "--explain", "-o", file});
  EXPECT_EQ(named.status, 0) << named.err;
  EXPECT_EQ(named.out, "flat: " + std::to_string(estimate->horizon) + " cycles\n");
  EXPECT_EQ(json::parse(read_file(file)).at("algorithm"), "flat");
  std::filesystem::remove_all(directory);
}

TEST(CollectiveCommand, CompilesAndVerifiesEveryStep) {
  const CollectivePlan plan =
      planned(CollectiveKind::ReduceScatter, CollectiveAlgorithm::Flat, {0, 1, 2, 3}, 2);
  const ToolRun text = run_tool({"collective", "reduce-scatter", "--tiles", "0-3", "--words", "2",
                                 "--algorithm", "flat", "--compile", "--verify"});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_EQ(text.err, "");
  for (std::size_t k = 0; k < plan.steps.size(); ++k) {
    const std::string heading =
        "step " + std::to_string(k) + " of " + std::to_string(plan.steps.size()) + ":\n";
    EXPECT_NE(text.out.find(heading), std::string::npos) << heading;
  }
  const ToolRun listing = run_tool({"collective", "reduce-scatter", "--tiles", "0-3", "--words",
                                    "2", "--algorithm", "flat", "--compile", "--format", "json"});
  ASSERT_EQ(listing.status, 0) << listing.err;
  const json steps = json::parse(listing.out).at("steps");
  ASSERT_EQ(steps.size(), plan.steps.size());
  for (const json& step : steps) EXPECT_EQ(step.at("programs").size(), 4U);
}

TEST(CollectiveCommand, RefusesWithOneLine) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string line;
  };
  const std::string prefix = "meshweave collective: error: ";
  const Case cases[] = {
      {{"gossip", "--words", "1"},
       2,
       "unknown collective \"gossip\" (collectives: ring-shift, halo, broadcast, scatter, "
       "gather, all-gather, all-to-all, reduce-scatter, all-reduce)"},
      {{"all-gather", "--tiles", "0,,3", "--words", "1"},
       2,
       "--tiles: \"0,,3\" has an empty item (expected e.g. 0,5,9-12)"},
      {{"all-gather", "--tiles", "4-2", "--words", "1"},
       2,
       "--tiles: \"4-2\" is not a range: it ends before it starts"},
      {{"all-gather", "--tiles", "0-3,2", "--words", "1"},
       2,
       "--tiles: \"0-3,2\" lists tile 2 twice"},
      {{"all-gather", "--tiles", "0-99999", "--words", "1"},
       2,
       "--tiles: \"0-99999\" names tile 99999, not on the card (tiles 0 to 1471)"},
      {{"all-gather", "--tiles", "0-3", "--words", "5000000000"},
       2,
       "--words: 5000000000 is too large"},
      {{"all-gather", "--tiles", "0-3", "--words", "1", "--north", "1"},
       2,
       "--grid, --north, --south, --east, --west and --periodic apply to halo only"},
      {{"halo", "--tiles", "0-3", "--grid", "2by2"},
       2,
       "--grid: \"2by2\" is not a grid (expected ROWSxCOLUMNS, e.g. 8x8)"},
      {{"all-gather", "--tiles", "0-3", "--words", "1", "--output", "0xffffc"},
       1,
       "buffer: output bytes 0xffffc..0x10000c pass the end of tile memory (0x100000)"},
      {{"all-gather", "--tiles", "0-3", "--words", "1", "--algorithm", "direct"},
       1,
       "algorithm: all-gather has no direct algorithm"},
      {{"all-gather", "--tiles", "0-3", "--words", "1", "--step", "1"},
       1,
       "--step: step 1 is past the plan's 1 step (numbered from 0)"},
      {{"all-gather", "--tiles", "0-3", "--words", "1", "--explain", "-o", "-"},
       2,
       "-o -: standard output already receives --explain"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments{"collective"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const ToolRun run = run_tool(arguments);
    EXPECT_EQ(run.status, c.status) << c.line;
    EXPECT_EQ(run.err, prefix + c.line + "\n");
    EXPECT_EQ(run.out, "");
  }
}

TEST(CollectiveCommand, ParsesTileListsInOrder) {
  const auto tiles = parse_tile_list("9-11,0,0x5", 1472);
  ASSERT_TRUE(tiles.has_value()) << tiles.error();
  EXPECT_EQ(*tiles, (std::vector<std::uint16_t>{9, 10, 11, 0, 5}));
  EXPECT_FALSE(parse_tile_list("", 1472).has_value());
  EXPECT_FALSE(parse_tile_list("3,", 1472).has_value());
}

}  // namespace
}  // namespace meshweave::tool::testing
