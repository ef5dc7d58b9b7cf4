#pragma once

#include <string>
#include <vector>

namespace meshweave::tool::testing {

struct ToolRun {
  int status = -1;  // exit status, or -1 when the tool did not exit normally
  std::string out;
  std::string err;
};

// Runs the built `meshweave` executable with `arguments` (no shell involved),
// feeding `input` to its standard input, and collects both output streams.
// `output_path`, when given, receives standard output instead (e.g. /dev/full).
ToolRun run_tool(const std::vector<std::string>& arguments, const std::string& input = "",
                 const std::string& output_path = "");

// A fresh empty directory for the files of one test, removed again by the caller.
std::string scratch_directory(const std::string& name);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& contents);

// Absolute path of a file of the source tree, e.g. source_path("examples/ring16.json").
std::string source_path(const std::string& relative);

}  // namespace meshweave::tool::testing
