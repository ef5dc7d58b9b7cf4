#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <expected>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "program_renderers.hpp"

namespace meshweave::tool {

// `meshweave collective` as given on the command line; numbers are checked
// against their parameters by the command, so that a value too wide is
// refused rather than cut.
struct CollectiveCommandLine {
  std::string name;
  std::uint64_t words = 0;
  std::optional<std::string> tiles;  // "0-63", "0,5,9-12"; every tile when absent
  std::string algorithm = "auto";
  std::uint64_t root = 0;
  std::uint64_t group = 0;  // 0: the planner chooses
  // Halo only.
  std::optional<std::string> grid;  // "RxC"
  std::uint64_t north = 0;
  std::uint64_t south = 0;
  std::uint64_t east = 0;
  std::uint64_t west = 0;
  bool periodic = false;
  bool halo_option_given = false;
  // Buffers: by default 256 KiB apart from address 0.
  std::uint64_t input = 0x0;
  std::uint64_t output = 0x40000;
  std::uint64_t scratch = 0x80000;
  std::optional<std::uint64_t> step;  // write this step's exchange alone
  bool explain = false;
  bool compile = false;
  bool verify = false;
  ProgramFormat format = ProgramFormat::Text;
  std::optional<std::string> output_path;  // standard output when absent or "-"
};

// Adds the `collective` subcommand to `app`; once parsed, `command` runs it
// on the standard streams.
CLI::App* add_collective_command(CLI::App& app, CollectiveCommandLine& line,
                                 std::function<int()>& command);

// "0-63", "0,5,9-12": logical tiles below `tile_count`, each at most once,
// in the order given. Refusals quote the text.
std::expected<std::vector<std::uint16_t>, std::string> parse_tile_list(std::string_view text,
                                                                       std::size_t tile_count);

// `meshweave collective`: plans the collective and writes its description
// (or, with --compile, its programs; with --explain, the candidates weighed).
// Every output is written, or none. Returns the exit status.
int run_collective(const CollectiveCommandLine& line, std::ostream& out, std::ostream& err);

}  // namespace meshweave::tool
