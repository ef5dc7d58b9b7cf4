// `meshweave compile` of several inputs at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tool_process.hpp"

namespace meshweave::tool::testing {
namespace {

namespace fs = std::filesystem;

class BatchCompile : public ::testing::Test {
 protected:
  void SetUp() override {
    directory = scratch_directory("batch");
    out = directory + "/out";
    fs::create_directories(out);
    for (const char* name : {"ring16", "broadcast", "multiphase", "ring16_scheduled"}) {
      inputs.push_back(directory + "/" + name + ".json");
      write_file(inputs.back(), read_file(source_path(std::string{"examples/"} + name + ".json")));
    }
  }
  void TearDown() override { fs::remove_all(directory); }

  std::vector<std::string> compile(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), "compile");
    return arguments;
  }

  std::string directory;
  std::string out;
  std::vector<std::string> inputs;
};

TEST_F(BatchCompile, EachInputGetsWhatCompilingItAloneWrites) {
  for (const std::string format : {"text", "json", "hex"}) {
    const std::string extension = format == "text" ? ".txt" : "." + format;
    std::vector<std::string> arguments = inputs;
    arguments.insert(arguments.end(), {"--format", format, "--verify", "-j", "3", "-o", out});
    const ToolRun run = run_tool(compile(arguments));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    for (const std::string& input : inputs) {
      const ToolRun alone = run_tool({"compile", input, "--format", format});
      ASSERT_EQ(alone.status, 0) << alone.err;
      EXPECT_EQ(read_file(out + "/" + fs::path{input}.stem().string() + extension), alone.out)
          << input << " " << format;
    }
  }
}

TEST_F(BatchCompile, ABadInputIsNamedAndWritesNothingWhileTheOthersAreWritten) {
  const std::string bad = directory + "/bad.json";
  write_file(bad, R"({"phases": [{"transfers": [{"from": 0, "to": 0, "words": 4}]}]})");
  const ToolRun run = run_tool(compile({inputs[0], bad, inputs[1], "-j", "2", "-o", out}));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("meshweave compile: error: " + bad), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find(inputs[0]), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(out + "/bad.txt"));
  EXPECT_TRUE(fs::exists(out + "/ring16.txt"));
  EXPECT_TRUE(fs::exists(out + "/broadcast.txt"));
}

TEST_F(BatchCompile, RefusesOutputsItCannotNameBeforeReadingAnything) {
  const std::string file = directory + "/file.txt";
  write_file(file, "kept");
  const std::string other = directory + "/other";
  fs::create_directories(other);
  write_file(other + "/ring16.json", "{}");
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  };
  const std::string error = "meshweave compile: error: ";
  const Case cases[] = {
      {{inputs[0], inputs[1]},
       error + "--output: several inputs need -o naming a directory for "
               "their programs\n"},
      {{inputs[0], inputs[1], "-o", "-"},
       error + "--output: several inputs need -o naming a directory for their programs\n"},
      {{inputs[0], inputs[1], "-o", file},
       error + "--output: " + file + " is not a directory (several inputs write one file each)\n"},
      {{inputs[0], inputs[1], "-o", out, "--svg", directory + "/a.svg"},
       error + "--svg: takes one input, not several\n"},
      {{inputs[0], inputs[1], "-o", out, "--trace", directory + "/a.json"},
       error + "--trace: takes one input, not several\n"},
      {{inputs[0], "-", "-o", out}, error + "-: standard input cannot be one of several inputs\n"},
      {{inputs[0], other + "/ring16.json", "-o", out},
       error + "--output " + out + "/ring16.txt: names the same file as --output " + out +
           "/ring16.txt\n"},
      {{inputs[0], inputs[1], "--format", "json", "-o", directory},
       error + "--output " + inputs[0] + ": is the input file\n"},
  };
  for (const Case& c : cases) {
    const ToolRun run = run_tool(compile(c.arguments));
    EXPECT_EQ(run.status, 2) << c.message;
    EXPECT_EQ(run.err, c.message);
    EXPECT_TRUE(fs::is_empty(out)) << c.message;
  }
  EXPECT_EQ(read_file(file), "kept");
}

}  // namespace
}  // namespace meshweave::tool::testing
