#include "compile_command.hpp"

#include <filesystem>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "batch_compile.hpp"
#include "chrome_trace.hpp"
#include "description_reader.hpp"
#include "diagnostics.hpp"
#include "exchange_cost.hpp"
#include "exit_codes.hpp"
#include "input_text.hpp"
#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/schedule.hpp"
#include "meshweave/exchange/tile_conflicts.hpp"
#include "meshweave/exchange/verifier.hpp"
#include "meshweave/topology/topology.hpp"
#include "output_files.hpp"
#include "svg_timeline.hpp"
#include "tile_conflict_messages.hpp"

namespace meshweave::tool {
namespace {

constexpr std::string_view command = "compile";

// The programs go to standard output unless -o names a file.
std::vector<OutputName> output_names(const CompileRequest& request) {
  std::vector<OutputName> names{{"--output", request.output_path.value_or("-")}};
  if (request.svg_path) names.push_back({"--svg", *request.svg_path});
  if (request.trace_path) names.push_back({"--trace", *request.trace_path});
  return names;
}

}  // namespace

std::optional<ExchangeDescription> read_checked_description(std::string_view command_name,
                                                            const std::string& path,
                                                            const std::string& name, bool schedule,
                                                            std::istream& in, std::ostream& err) {
  constexpr std::size_t conflicts_shown = 20;
  std::expected<ExchangeDescription, InputError> description;
  {
    // The text goes as soon as it is read: it is as large as the description.
    auto text = read_input_text(path, in);
    if (!text) {
      report_error(err, command_name, name, text.error());
      return std::nullopt;
    }
    description = read_description(*text);
  }
  if (!description) {
    report_error(err, command_name, location(description.error(), name),
                 description.error().reason);
    return std::nullopt;
  }
  const TileConflicts conflicts = find_tile_conflicts(*description, conflicts_shown);
  if (conflicts.total != 0) {
    for (const std::string& message : tile_conflict_messages(conflicts)) {
      report_error(err, command_name, name, message);
    }
    return std::nullopt;
  }
  if (schedule && !description->phases.empty()) return to_transfers_form(*description);
  return std::move(*description);
}

std::optional<CompiledInput> compile_input(const CompileRequest& request, const std::string& path,
                                           const std::string& name, const Topology& topology,
                                           std::istream& in, std::ostream& err) {
  auto description = read_checked_description(command, path, name, request.schedule, in, err);
  if (!description) return std::nullopt;
  const CompileOptions compile_options{.idle_programs = request.idle};
  // A transfers form is scheduled, then compiled.
  auto compiled = compile_exchange(topology, *description, compile_options);
  if (!compiled) {
    report_error(err, command, name, explain(compiled.error()));
    return std::nullopt;
  }
  std::optional<CostSummary> cost;
  if (request.format != ProgramFormat::Hex) {
    const auto estimate = estimate_exchange(topology, *description, compile_options);
    if (!estimate) {
      report_error(err, command, name, explain(estimate.error()));
      return std::nullopt;
    }
    cost = summarise(*estimate);
  }
  if (request.verify) {
    const std::vector<VerifyIssue> issues = verify_exchange(topology, *description, *compiled);
    if (!issues.empty()) {
      // One error line per issue, then their count.
      for (const VerifyIssue& issue : issues) {
        report_error(err, command, name, "verification: " + to_string(issue));
      }
      report_error(err, command, name,
                   "verification found " + std::to_string(issues.size()) + " issue" +
                       (issues.size() == 1 ? "" : "s"));
      return std::nullopt;
    }
  }
  return CompiledInput{std::move(*description), std::move(*compiled), cost};
}

int run_compile(const CompileRequest& request, std::istream& in, std::ostream& out,
                std::ostream& err) {
  if (request.input_paths.size() != 1) return run_batch_compile(request, out, err);
  const std::string& input_path = request.input_paths.front();
  const std::string name = echo(input_name(input_path), file_name_echo_limit);
  const std::vector<OutputName> names = output_names(request);
  if (auto checked = check_output_names(names, input_path); !checked) {
    report_error(err, command, checked.error().where, checked.error().what);
    return exit_usage;
  }
  const Topology topology = Topology::m1472();
  const auto input = compile_input(request, input_path, name, topology, in, err);
  if (!input) return exit_bad_input;
  const ExchangeDescription* const description = &input->description;
  const CompiledExchange* const compiled = &input->compiled;

  std::vector<OutputFile> files;
  files.push_back({names[0], render_programs(*compiled, request.format,
                                             input->cost ? &*input->cost : nullptr)});
  std::size_t next_name = 1;
  if (request.svg_path) {
    TimelineOptions options;
    options.title =
        "meshweave exchange: " + std::filesystem::path(input_name(input_path)).filename().string();
    options.tiles = request.svg_tiles;
    options.cycles = request.svg_cycles;
    if (auto bad = check_timeline_window(options, topology, *compiled)) {
      report_error(err, command, "--" + bad->option, bad->message);
      return exit_bad_input;
    }
    files.push_back(
        {names[next_name++], render_svg_timeline(topology, *description, *compiled, options)});
  }
  if (request.trace_path) {
    // The trace of a large exchange runs to hundreds of megabytes: it is
    // rendered straight into its file, never held whole.
    files.push_back({names[next_name++], OutputWriter{[&](std::ostream& trace) {
                       write_chrome_trace(trace, topology, *description, *compiled);
                       return true;
                     }}});
  }
  if (auto written = write_outputs(files, out); !written) {
    report_error(err, command, written.error().where, written.error().what);
    return written.error().usage ? exit_usage : exit_bad_input;
  }
  return exit_success;
}

}  // namespace meshweave::tool
