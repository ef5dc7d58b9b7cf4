// Runs the built meshweave executable: exit statuses, messages, written files
// and the exact output on the examples.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "golden_file.hpp"
#include "tool_process.hpp"

namespace meshweave::tool::testing {
namespace {

namespace fs = std::filesystem;

std::string example(const std::string& name) { return source_path("examples/" + name); }

std::size_t line_count(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

struct GoldenCase {
  std::string golden;
  std::vector<std::string> arguments;
  std::string input;
};

TEST(Cli, OutputMatchesGoldenFiles) {
  const GoldenCase cases[] = {
      {"compile_ring16_text.txt", {"compile", example("ring16.json"), "--verify"}, ""},
      {"compile_multiphase_json.txt",
       {"compile", example("multiphase.json"), "--format", "json"},
       ""},
      {"compile_multiphase_hex.txt",
       {"compile", "-", "--format", "hex"},
       read_file(example("multiphase.json"))},
      {"decode.txt",
       {"decode", "0x41800003", "40a00086", "7fe00002", "0x70000003", "641c0000", "61994000",
        "19800640", "438080a0", "22bbffe0", "41800013", "43a00000"},
       ""},
      {"plan_p2p.txt", {"plan", "p2p", "1286", "1471", "65"}, ""},
      {"plan_multicast.txt", {"plan", "multicast", "736", "100", "900", "--words", "52"}, ""},
      {"route.txt", {"route", "736", "100"}, ""},
      {"host_to_tile.txt",
       {"host", "to-tile", "--tile", "63", "--tile-address", "0x50000", "--host-offset", "64",
        "--bytes", "4096", "--packet-address", "0x54000"},
       ""},
      {"host_from_tile.txt",
       {"host", "from-tile", "--tile", "0", "--tile-address", "0x50000", "--host-offset", "0",
        "--bytes", "96", "--packet-address", "0x50400", "--command-address", "0x50200"},
       ""},
      {"host_xreq.txt",
       {"host", "xreq", "--tile", "31", "81", "768", "1471", "--packet-address", "0x50120"},
       ""},
      {"host_command_read.txt",
       {"host", "command-read", "--packet-address", "0x50160", "--destination-address", "0x50180",
        "--host-offset", "0x1000"},
       ""},
  };
  for (const GoldenCase& c : cases) {
    const ToolRun run = run_tool(c.arguments, c.input);
    EXPECT_EQ(run.status, 0) << c.golden << ": " << run.err;
    EXPECT_EQ(run.err, "") << c.golden;
    EXPECT_TRUE(matches_golden(c.golden, run.out));
  }
}

// The words the library documents for these calls, so that a golden file can
// never quietly hold wrong words.
TEST(Cli, ShowsTheDocumentedWords) {
  const struct {
    std::vector<std::string> arguments;
    std::vector<std::string> lines;
  } cases[] = {
      {{"plan", "p2p", "0", "1286", "3"},
       {"    1       0  0x40a00086  delay cycles=134", "    2     135  0x78400001  send",
        "    0       -  0x00000001  patch index 1", "    4     116  0x61800000  delay_pic"}},
      {{"plan", "multicast", "0", "274", "1286", "--words", "3"},
       {"    1       0  0x40a00016  delay cycles=22", "    2      23  0x78400003  send"}},
      {{"plan", "multicast", "736", "100", "--words", "1", "--offset", "4000"},
       {"    1       0  0x67f44020  delay_xpic"}},
      {{"route", "0", "1286"}, {"displacement 13", "direction 1", "time_to_mux -23"}},
      {{"route", "--physical", "1471", "0"},
       {"from tile 1427 (physical 1471)", "direction 1", "time_to_mux 31"}},
      {{"host", "to-tile", "--tile", "260", "--tile-address", "0x50120", "--host-offset", "64",
        "--bytes", "64", "--packet-address", "0x50170"},
       {"0x19800010", "0x438080a6", "0x782a02e3", "  0x50170  0xec820209",
        "  0x50174  0x00000011"}},
      {{"host", "from-tile", "--tile", "260", "--tile-address", "0x50120", "--host-offset", "64",
        "--bytes", "64", "--packet-address", "0x50160", "--command-address", "0x50180"},
       {"0x782a02c3", "0x79ea0243", "0x40a00001", "0x782a02d3", "  0x5016c  0x00000000",
        "  0x50168  0xcc82020c"}},
      {{"host", "xreq", "--tile", "260", "--packet-address", "0x50120"},
       {"0x782a0243", "  0x50120  0x00000100"}},
  };
  for (const auto& c : cases) {
    const ToolRun run = run_tool(c.arguments);
    ASSERT_EQ(run.status, 0) << run.err;
    for (const std::string& line : c.lines) {
      EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
    }
  }
}

TEST(Cli, ExamplesCompileVerifyAndWriteTheirFiles) {
  const std::string directory = scratch_directory("examples");
  for (const std::string name : {"ring16", "broadcast", "multiphase"}) {
    const std::string programs = directory + "/" + name + ".hex";
    const std::string picture = directory + "/" + name + ".svg";
    const ToolRun run = run_tool({"compile", example(name + ".json"), "--verify", "--format", "hex",
                                  "-o", programs, "--svg", picture});
    ASSERT_EQ(run.status, 0) << name << ": " << run.err;
    EXPECT_EQ(run.out, "") << name;
    EXPECT_TRUE(read_file(programs).starts_with("0: 41800003 ")) << name;
    EXPECT_TRUE(read_file(picture).ends_with("</svg>\n")) << name;
  }
  EXPECT_EQ(line_count(read_file(directory + "/broadcast.hex")), 1472u);
  EXPECT_EQ(line_count(read_file(directory + "/ring16.hex")), 16u);
  fs::remove_all(directory);
}

TEST(Cli, IdleGivesEveryTileAProgram) {
  const ToolRun run = run_tool({"compile", example("ring16.json"), "--idle", "--format", "hex"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(line_count(run.out), 1472u);
  // A tile that takes no part only waits out the horizon of 497 cycles.
  EXPECT_NE(run.out.find("\n16: 41800003 40a001f0 43a00000\n"), std::string::npos);
}

struct FailureCase {
  std::vector<std::string> arguments;
  std::string input;
  int status;
  std::string message;  // the whole of standard error, or its first line for usage errors
};

TEST(Cli, RefusesBadInputAndBadUsage) {
  const std::string multicast_off_card =
      R"({"phases": [{"transfers": []}, {"transfers": []}, {"transfers": [)"
      R"({"from": 0, "to": [1, 2, 3, 1472], "words": 4, "source": 0, "destination": 0}]}]})";
  const std::string conflict =
      R"({"phases": [{"transfers": [{"from": 0, "to": 1, "words": 4, "source": 0, "destination": 0},)"
      R"({"from": 2, "to": [3, 1], "words": 4, "source": 0, "destination": 0}]}]})";
  const FailureCase cases[] = {
      {{},
       "",
       2,
       "meshweave: error: a command is required (commands: compile, cost, decode, asm, route, "
       "plan, "
       "host, collective)\n"},
      {{"frobnicate"},
       "",
       2,
       "meshweave: error: unknown command \"frobnicate\" (commands: compile, cost, decode, asm, "
       "route, "
       "plan, host, collective)\n"},
      {{"compile"}, "", 2, "meshweave compile: error: file is required\n"},
      {{"compile", "/nonexistent/missing.json"},
       "",
       1,
       "meshweave compile: error: /nonexistent/missing.json: cannot read: No such file or "
       "directory\n"},
      {{"compile", "-"},
       multicast_off_card,
       1,
       "meshweave compile: error: <stdin>:1:94: phases[2].transfers[0].to[3]: tile 1472 is not "
       "on the card\n"},
      {{"compile", "-"},
       conflict,
       1,
       "meshweave compile: error: <stdin>: phases[0].transfers[1]: tile 1 also takes part in "
       "phases[0].transfers[0]\n"},
      {{"compile", "-"},
       "{\"phases\": [}",
       1,
       "meshweave compile: error: <stdin>:1:13: syntax error: invalid value; found '}'\n"},
      {{"compile", "-", "--tiles", "0-5"},
       "",
       2,
       "meshweave compile: error: --tiles requires --svg\n"},
      {{"compile", "-", "--svg", "x.svg", "--cycles", "9-1"},
       "",
       2,
       "meshweave compile: error: --cycles: \"9-1\" is not a range: it ends before it starts\n"},
      {{"compile", "-", "--format", "yaml"},
       "",
       2,
       "meshweave compile: error: --format: yaml not in {text,json,hex}\n"},
      {{"compile", "-", "-o", "same", "--svg", "same"},
       "",
       2,
       "meshweave compile: error: --svg same: names the same file as --output same\n"},
      {{"decode", "41800003", "zz"},
       "",
       1,
       "meshweave decode: error: argument 2: \"zz\" is not an instruction word (expected up to 8 "
       "hex digits)\n"},
      {{"decode"},
       "41800003 123456789",
       1,
       "meshweave decode: error: <stdin>:1:10: \"123456789\" is not an instruction word (expected "
       "up to 8 hex digits)\n"},
      {{"asm", "-"},
       "delay cycles=3\nsend count_minus_one=1 direction=3\n",
       1,
       "meshweave asm: error: <stdin>:2:35: missing operand `base_word`\n"},
      {{"asm", "-"},
       "sync operand=3\n  frob x=1\n",
       1,
       "meshweave asm: error: <stdin>:2:3: unknown mnemonic `frob`\n"},
      {{"route", "1472", "0"},
       "",
       1,
       "meshweave route: error: from: tile 1472 is not on the card\n"},
      {{"route", "--physical", "0", "4000"},
       "",
       1,
       "meshweave route: error: to: physical tile 4000 is not on the card\n"},
      {{"route", "5", "5"},
       "",
       1,
       "meshweave route: error: tile 5 is both the sender and the receiver\n"},
      {{"route", "zero", "1"}, "", 2, "meshweave route: error: from: \"zero\" is not a number\n"},
      {{"route", "0"}, "", 2, "meshweave route: error: to is required\n"},
      {{"plan", "p2p", "5", "5", "4"},
       "",
       1,
       "meshweave plan: error: receiver: receiver 5 is also the sender: a point-to-point exchange "
       "joins two different tiles\n"},
      {{"plan", "p2p", "0", "1", "0"},
       "",
       1,
       "meshweave plan: error: words: word count 0: a tile-to-tile transfer moves 1 to 4148 "
       "words\n"},
      {{"plan", "p2p", "0", "70000", "4"},
       "",
       1,
       "meshweave plan: error: receiver: tile 70000 is not on the card\n"},
      {{"plan", "p2p", "0", "1", "0x100000000"},
       "",
       1,
       "meshweave plan: error: words: 4294967296 does not fit 32 bits\n"},
      {{"plan", "multicast", "0", "1", "--words", "1", "--offset", "4068"},
       "",
       1,
       "meshweave plan: error: --offset: schedule offset 4068: the multicast would start after "
       "cycle 4095 (its earliest start is cycle 28)\n"},
      {{"plan", "multicast", "0", "1", "1", "--words", "1"},
       "",
       1,
       "meshweave plan: error: receivers: receiver 1 is named twice: a multicast names each "
       "receiver once\n"},
      {{"plan", "multicast", "0", "--words", "1"},
       "",
       2,
       "meshweave plan: error: receivers is required\n"},
      {{"plan"},
       "",
       2,
       "meshweave plan: error: a command is required (commands: p2p, multicast)\n"},
      {{"host", "to-tile", "--tile", "0", "--tile-address", "0x50000", "--host-offset", "0",
        "--packet-address", "0x50400"},
       "",
       2,
       "meshweave host: error: --bytes is required\n"},
      {{"host", "from-tile", "--tile", "260", "--tile-address", "0x50120", "--host-offset", "64",
        "--bytes", "64", "--packet-address", "0x50164", "--command-address", "0x50180"},
       "",
       1,
       "meshweave host: error: --packet-address: packet address 0x50164: host packet words lie at "
       "multiples of 8\n"},
      {{"host", "to-tile", "--tile", "0", "--tile-address", "0x50000", "--host-offset", "0",
        "--bytes", "0x100000000", "--packet-address", "0x50400"},
       "",
       1,
       "meshweave host: error: --bytes: 4294967296 does not fit 32 bits\n"},
      {{"host", "xreq", "--tile", "31", "70000", "--packet-address", "0x50120"},
       "",
       1,
       "meshweave host: error: --tile: 70000 does not fit 16 bits\n"},
      {{"host", "xreq", "--tile", "31", "--packet-address", "0x100000"},
       "",
       1,
       "meshweave host: error: --packet-address: packet address 0x100000: a SEND reads tile memory "
       "below 0x100000\n"},
      {{"host", "to-tile", "--tile", "0", "1", "--tile-address", "0x50000", "--host-offset", "0",
        "--bytes", "4", "--packet-address", "0x50400"},
       "",
       2,
       "meshweave host: error: --tile: At Most 1 required but received 2\n"},
  };
  for (const FailureCase& c : cases) {
    std::string command;
    for (const std::string& argument : c.arguments) command += argument + " ";
    const ToolRun run = run_tool(c.arguments, c.input);
    EXPECT_EQ(run.status, c.status) << command << "\n" << run.err;
    EXPECT_EQ(run.out, "") << command;
    if (c.status == 2 && !c.message.ends_with('\n')) {
      EXPECT_EQ(run.err.substr(0, run.err.find('\n')), c.message) << command;
    } else {
      EXPECT_EQ(run.err, c.message) << command;
    }
  }
}

TEST(Cli, WritesNoFileWhenAnythingFails) {
  const std::string directory = scratch_directory("nothing_written");
  const std::string programs = directory + "/programs.txt";
  const std::string picture = directory + "/picture.svg";

  // Refused input.
  ToolRun run = run_tool({"compile", "-", "-o", programs, "--svg", picture},
                         R"({"phases": [{"transfers": [{"from": 0}]}]})");
  EXPECT_EQ(run.status, 1);
  // The picture cannot be written: the programs must not be written either.
  run = run_tool({"compile", example("ring16.json"), "-o", programs, "--svg",
                  directory + "/missing/picture.svg"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "meshweave compile: error: " + directory +
                         "/missing/picture.svg: cannot write: No such file or directory\n");
  EXPECT_TRUE(fs::is_empty(directory));
  fs::remove_all(directory);
}

TEST(Cli, FailsWhenStandardOutputCannotBeWritten) {
  const ToolRun run = run_tool({"compile", example("ring16.json")}, "", "/dev/full");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "meshweave compile: error: <stdout>: cannot write: No space left on device\n");
}

TEST(Cli, EveryCommandHasHelp) {
  const std::vector<std::vector<std::string>> commands = {{},
                                                          {"compile"},
                                                          {"decode"},
                                                          {"asm"},
                                                          {"route"},
                                                          {"plan"},
                                                          {"plan", "p2p"},
                                                          {"plan", "multicast"},
                                                          {"host"},
                                                          {"host", "to-tile"},
                                                          {"host", "from-tile"},
                                                          {"host", "xreq"},
                                                          {"host", "command-read"}};
  for (std::vector<std::string> command : commands) {
    command.push_back("--help");
    const ToolRun run = run_tool(command);
    EXPECT_EQ(run.status, 0) << command.front();
    EXPECT_NE(run.out.find("Usage:"), std::string::npos) << command.front();
  }
}

TEST(Cli, DecodedTextAssemblesBackToTheSameWords) {
  const ToolRun words = run_tool({"compile", example("multiphase.json"), "--format", "hex"});
  ASSERT_EQ(words.status, 0) << words.err;
  // All words of all programs, given to decode on standard input.
  std::string all;
  std::istringstream lines(words.out);
  for (std::string line; std::getline(lines, line);) all += line.substr(line.find(':') + 1) + "\n";
  const ToolRun decoded = run_tool({"decode"}, all);
  ASSERT_EQ(decoded.status, 0) << decoded.err;

  std::string text;
  std::string expected;
  std::istringstream decoded_lines(decoded.out);
  for (std::string line; std::getline(decoded_lines, line);) {
    expected += line.substr(0, 10) + "\n";  // "0x41800003"
    text += line.substr(12) + "\n";         // the disassembly after two spaces
  }
  const ToolRun assembled = run_tool({"asm", "-"}, text);
  ASSERT_EQ(assembled.status, 0) << assembled.err;
  EXPECT_EQ(assembled.out, expected);
  EXPECT_GT(line_count(expected), 50u);
}

}  // namespace
}  // namespace meshweave::tool::testing
