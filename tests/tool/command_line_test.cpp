// The command line of the built meshweave executable: version, and how
// mistakes in it are reported (one error line, exit status 2).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool_process.hpp"

namespace meshweave::tool::testing {
namespace {

TEST(CommandLine, PrintsItsVersion) {
  const ToolRun run = run_tool({"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, std::string{"meshweave "} + MESHWEAVE_VERSION + "\n");
  EXPECT_EQ(run.err, "");
}

TEST(CommandLine, MistakesGetOneEscapedErrorLine) {
  const struct {
    std::vector<std::string> arguments;
    std::string message;
  } cases[] = {
      {{"comp\x1b[2J"},
       "meshweave: error: unknown command \"comp\\x1b[2J\" (commands: compile, cost, decode, asm, "
       "route, plan, host, collective)\n"},
      {{"host", "to"},
       "meshweave host: error: unknown command \"to\" (commands: to-tile, from-tile, xreq, "
       "command-read)\n"},
      {{"host"},
       "meshweave host: error: a command is required (commands: to-tile, from-tile, xreq, "
       "command-read)\n"},
      {{"--frobnicate"},
       "meshweave: error: unknown option \"--frobnicate\" (commands: compile, cost, decode, asm, "
       "route, "
       "plan, host, collective)\n"},
      // compile takes several inputs; cost takes one.
      {{"cost", "a.json", "b\nc"},
       "meshweave cost: error: The following argument was not expected: b\\nc\n"},
      {{"route", "0", "0x\x1b"}, "meshweave route: error: to: \"0x\\x1b\" is not a number\n"},
  };
  for (const auto& c : cases) {
    const ToolRun run = run_tool(c.arguments);
    EXPECT_EQ(run.status, 2) << c.message;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.message);
  }
}

}  // namespace
}  // namespace meshweave::tool::testing
