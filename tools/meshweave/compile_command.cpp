#include "compile_command.hpp"

#include <filesystem>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "description_reader.hpp"
#include "diagnostics.hpp"
#include "exit_codes.hpp"
#include "input_text.hpp"
#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/tile_conflicts.hpp"
#include "meshweave/exchange/verifier.hpp"
#include "meshweave/topology/topology.hpp"
#include "output_files.hpp"
#include "svg_timeline.hpp"
#include "tile_conflict_messages.hpp"

namespace meshweave::tool {

namespace {

// The description of `path`, or nothing once every problem found in it is
// reported: the first reading error, or every tile conflict (up to a bound).
std::optional<ExchangeDescription> read_checked_description(const std::string& path,
                                                            const std::string& name,
                                                            std::istream& in, std::ostream& err) {
  constexpr std::size_t conflicts_shown = 20;
  std::expected<ExchangeDescription, InputError> description;
  {
    // The text goes as soon as it is read: it is as large as the description.
    auto text = read_input_text(path, in);
    if (!text) {
      report_error(err, "compile", {}, text.error());
      return std::nullopt;
    }
    description = read_description(*text);
  }
  if (!description) {
    report_error(err, "compile", location(description.error(), name), description.error().reason);
    return std::nullopt;
  }
  const TileConflicts conflicts = find_tile_conflicts(*description, conflicts_shown);
  if (conflicts.total != 0) {
    for (const std::string& message : tile_conflict_messages(conflicts)) {
      report_error(err, "compile", name, message);
    }
    return std::nullopt;
  }
  return std::move(*description);
}

}  // namespace

int run_compile(const CompileRequest& request, std::istream& in, std::ostream& out,
                std::ostream& err) {
  const std::string name = input_name(request.input_path);
  if (request.output_path && request.svg_path && *request.output_path == *request.svg_path) {
    err << "meshweave compile: -o and --svg name the same file\n";
    return exit_usage;
  }
  const auto description = read_checked_description(request.input_path, name, in, err);
  if (!description) return exit_bad_input;
  const Topology topology = Topology::m1472();
  const auto compiled =
      compile_exchange(topology, *description, CompileOptions{.idle_programs = request.idle});
  if (!compiled) {
    err << name << ": " << to_string(compiled.error()) << '\n';
    return exit_bad_input;
  }
  if (request.verify) {
    const std::vector<VerifyIssue> issues = verify_exchange(topology, *description, *compiled);
    if (!issues.empty()) {
      err << name << ": verification found " << issues.size() << " issue"
          << (issues.size() == 1 ? "" : "s") << '\n';
      for (const VerifyIssue& issue : issues) err << "  " << to_string(issue) << '\n';
      return exit_bad_input;
    }
  }

  std::string programs = render_programs(*compiled, request.format);
  std::vector<OutputFile> files;
  if (request.output_path) files.push_back({*request.output_path, std::move(programs)});
  if (request.svg_path) {
    TimelineOptions options;
    options.title = "meshweave exchange: " + std::filesystem::path(name).filename().string();
    files.push_back({*request.svg_path,
                     render_svg_timeline(topology, *description, *compiled, options)});
  }
  if (auto written = write_output_files(files); !written) {
    err << "meshweave: " << written.error() << '\n';
    return exit_bad_input;
  }
  if (!request.output_path) out << programs;
  return exit_success;
}

}  // namespace meshweave::tool
