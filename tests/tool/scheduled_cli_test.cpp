// The tool on scheduled exchanges: compile of the transfers form and of
// --schedule, verified by the library; cost and the summary line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "golden_file.hpp"
#include "tool_process.hpp"

namespace meshweave::tool::testing {
namespace {

std::string example(const std::string& name) { return source_path("examples/" + name); }

TEST(ScheduledCli, OutputMatchesGoldenFiles) {
  const struct {
    std::string golden;
    std::vector<std::string> arguments;
  } cases[] = {
      {"compile_ring16_scheduled_text.txt",
       {"compile", example("ring16_scheduled.json"), "--verify"}},
      {"compile_pipeline_json.txt",
       {"compile", example("pipeline.json"), "--verify", "--format", "json"}},
      {"cost_pipeline_text.txt", {"cost", example("pipeline.json")}},
      {"cost_multiphase_json.txt", {"cost", example("multiphase.json"), "--format", "json"}},
  };
  for (const auto& c : cases) {
    const ToolRun run = run_tool(c.arguments);
    EXPECT_EQ(run.status, 0) << c.golden << ": " << run.err;
    EXPECT_EQ(run.err, "") << c.golden;
    EXPECT_TRUE(matches_golden(c.golden, run.out));
  }
}

// Scheduling a phase form is scheduling its transfers in phase order: the
// ring in one transfers list gives the same programs, and both verify.
TEST(ScheduledCli, ScheduleFlagEqualsTheTransfersForm) {
  const ToolRun flagged =
      run_tool({"compile", example("ring16.json"), "--schedule", "--verify", "--format", "hex"});
  const ToolRun listed =
      run_tool({"compile", example("ring16_scheduled.json"), "--verify", "--format", "hex"});
  ASSERT_EQ(flagged.status, 0) << flagged.err;
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(flagged.out, listed.out);
  EXPECT_NE(flagged.out, run_tool({"compile", example("ring16.json"), "--format", "hex"}).out);

  for (const std::string name : {"multiphase.json", "broadcast.json", "pipeline.json"}) {
    const ToolRun run =
        run_tool({"compile", example(name), "--schedule", "--verify", "--idle", "--format", "hex"});
    EXPECT_EQ(run.status, 0) << name << ": " << run.err;
    // Hex stays machine-readable: one "tile: words" line per tile, no summary.
    EXPECT_TRUE(run.out.starts_with("0: 41800003 ")) << name;
  }
}

// cost, compile's summary and compile's programs agree on the horizon.
TEST(ScheduledCli, CostAgreesWithCompile) {
  for (const std::vector<std::string>& input :
       {std::vector<std::string>{example("pipeline.json")},
        std::vector<std::string>{example("multiphase.json")},
        std::vector<std::string>{example("ring16.json"), "--schedule"}}) {
    std::vector<std::string> cost_arguments{"cost"};
    cost_arguments.insert(cost_arguments.end(), input.begin(), input.end());
    std::vector<std::string> compile_arguments{"compile"};
    compile_arguments.insert(compile_arguments.end(), input.begin(), input.end());
    cost_arguments.insert(cost_arguments.end(), {"--format", "json"});
    compile_arguments.insert(compile_arguments.end(), {"--format", "json"});

    const ToolRun cost = run_tool(cost_arguments);
    const ToolRun compiled = run_tool(compile_arguments);
    ASSERT_EQ(cost.status, 0) << cost.err;
    ASSERT_EQ(compiled.status, 0) << compiled.err;
    const auto estimate = nlohmann::json::parse(cost.out);
    const auto programs = nlohmann::json::parse(compiled.out);
    EXPECT_EQ(estimate["horizon"], programs["horizon"]) << input[0];
    EXPECT_EQ(estimate["lower_bound"], programs["lower_bound"]) << input[0];
    EXPECT_LE(estimate["lower_bound"].get<std::uint64_t>(),
              estimate["horizon"].get<std::uint64_t>());
    EXPECT_EQ(estimate["busiest_tile"], programs["busiest_tile"]) << input[0];
    // The longest program is the longest of the programs compile writes.
    std::size_t longest = 0;
    for (const auto& program : programs["programs"])
      longest = std::max(longest, program["words"].size());
    EXPECT_EQ(estimate["longest_program"]["words"], longest) << input[0];

    const ToolRun text = run_tool({"cost", input[0]});
    const ToolRun listing = run_tool({"compile", input[0]});
    if (input.size() == 1) {
      EXPECT_EQ(text.out.substr(0, text.out.find('\n')),
                listing.out.substr(0, listing.out.find('\n')));
    }
  }
}

// No phase track, no phase args, and the pieces of the split load add up to it.
TEST(ScheduledCli, TraceAndPictureShowNoPhases) {
  const ToolRun trace = run_tool(
      {"compile", example("pipeline.json"), "--format", "hex", "-o", "/dev/null", "--trace", "-"});
  ASSERT_EQ(trace.status, 0) << trace.err;
  std::uint64_t load_words = 0;
  std::size_t sends = 0;
  const auto events = nlohmann::json::parse(trace.out);
  for (const auto& event : events["traceEvents"]) {
    // Track 0 holds the phases; only the process is named there.
    if (event["tid"] == 0u) {
      EXPECT_EQ(event["name"], "process_name") << event.dump();
    }
    if (!event.contains("args") || event["name"] != "SEND") continue;
    EXPECT_FALSE(event["args"].contains("phase"));
    ++sends;
    if (event["args"]["transfer"] == 0u) load_words += event["args"]["words"].get<std::uint64_t>();
  }
  EXPECT_EQ(sends, 6u);  // five transfers, the first in two pieces
  EXPECT_EQ(load_words, 6000u);

  const ToolRun picture = run_tool(
      {"compile", example("pipeline.json"), "--format", "hex", "-o", "/dev/null", "--svg", "-"});
  ASSERT_EQ(picture.status, 0) << picture.err;
  EXPECT_EQ(picture.out.find("class=\"phase\">"), std::string::npos);
  EXPECT_NE(picture.out.find("transfer 3: tile 0 receives 64 words from 4"), std::string::npos);
}

TEST(ScheduledCli, RefusalsNameTheFileLineAndPath) {
  const struct {
    std::vector<std::string> arguments;
    std::string input;
    std::string message;
  } cases[] = {
      {{"cost", "-"},
       R"({"transfers": [{"from": 0, "to": 1, "words": 4, "source": 0, "destination": 0, "after": ["x"]}]})",
       "meshweave cost: error: <stdin>:1:90: transfers[0].after[0]: unknown id \"x\"\n"},
      {{"compile", "-", "--schedule"},
       R"({"phases": [], "transfers": []})",
       "meshweave compile: error: <stdin>:1:16: transfers: a description gives \"phases\" or "
       "\"transfers\", not both\n"},
      {{"cost", "-", "--format", "hex"},
       "",
       "meshweave cost: error: --format: hex not in {text,json}\n"},
  };
  for (const auto& c : cases) {
    const ToolRun run = run_tool(c.arguments, c.input);
    EXPECT_NE(run.status, 0) << c.message;
    EXPECT_EQ(run.out, "") << c.message;
    EXPECT_EQ(run.err, c.message);
  }
}

}  // namespace
}  // namespace meshweave::tool::testing
