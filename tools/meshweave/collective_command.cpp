#include "collective_command.hpp"

#include <iostream>
#include <ostream>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "command_support.hpp"
#include "description_writer.hpp"
#include "diagnostics.hpp"
#include "exit_codes.hpp"
#include "meshweave/collectives.hpp"
#include "meshweave/exchange/verifier.hpp"
#include "meshweave/topology/topology.hpp"
#include "number_text.hpp"
#include "output_files.hpp"
#include "range_text.hpp"

namespace meshweave::tool {
namespace {

constexpr std::string_view command_name = "collective";

CLI::Option* number_option(CLI::App& app, const std::string& name, std::uint64_t& target,
                           const std::string& description) {
  const CLI::Validator number_text(
      [](std::string& text) {
        return parse_unsigned(text) ? std::string{} : "\"" + text + "\" is not a number";
      },
      "NUMBER", "number");
  return app
      .add_option_function<std::string>(
          name, [&target](const std::string& text) { target = parse_unsigned(text).value_or(0); },
          description)
      ->check(number_text);
}

std::string known_collectives() {
  std::string names;
  for (const CollectiveKind kind : all_collectives()) {
    names += (names.empty() ? "" : ", ") + std::string{collective_name(kind)};
  }
  return names;
}

struct UsageError {
  std::string where;
  std::string what;
};

template <class T>
std::expected<T, UsageError> fitted(std::string_view option, std::uint64_t value) {
  if (const auto fitting = fit<T>(value)) return *fitting;
  return std::unexpected(UsageError{std::string{option}, std::to_string(value) + " is too large"});
}

// "RxC", e.g. "8x8".
std::expected<std::pair<std::uint16_t, std::uint16_t>, UsageError> parse_grid(
    std::string_view text) {
  const std::size_t cross = text.find('x');
  const auto rows = parse_unsigned(text.substr(0, cross));
  const auto columns =
      cross == std::string_view::npos ? std::nullopt : parse_unsigned(text.substr(cross + 1));
  const auto refuse = [&](std::string_view why) {
    return std::unexpected(UsageError{"--grid", quoted_refusal(text, why)});
  };
  if (!rows || !columns) return refuse("is not a grid (expected ROWSxCOLUMNS, e.g. 8x8)");
  const auto fitting_rows = fit<std::uint16_t>(*rows);
  const auto fitting_columns = fit<std::uint16_t>(*columns);
  if (!fitting_rows || !fitting_columns) return refuse("is too large a grid");
  return std::pair{*fitting_rows, *fitting_columns};
}

// The library's request from the command line, or why the line is wrong.
std::expected<CollectiveRequest, UsageError> build_request(const CollectiveCommandLine& line,
                                                           const Topology& topology) {
  CollectiveRequest request;
  const auto kind = parse_collective(line.name);
  if (!kind) {
    return std::unexpected(UsageError{"", "unknown collective \"" + echo(line.name) +
                                              "\" (collectives: " + known_collectives() + ")"});
  }
  request.kind = *kind;
  // CLI11 has checked the name against the four algorithms.
  request.algorithm = parse_algorithm(line.algorithm).value_or(CollectiveAlgorithm::Auto);
  if (line.tiles) {
    auto tiles = parse_tile_list(*line.tiles, topology.tile_count());
    if (!tiles) return std::unexpected(UsageError{"--tiles", tiles.error()});
    request.tiles = std::move(*tiles);
  }
  const auto words = fitted<std::uint32_t>("--words", line.words);
  const auto root = fitted<std::uint16_t>("--root", line.root);
  const auto group = fitted<std::uint16_t>("--group", line.group);
  const auto input = fitted<std::uint32_t>("--input", line.input);
  const auto output = fitted<std::uint32_t>("--output", line.output);
  const auto scratch = fitted<std::uint32_t>("--scratch", line.scratch);
  for (const auto* checked : {&words, &input, &output, &scratch}) {
    if (!*checked) return std::unexpected(checked->error());
  }
  for (const auto* checked : {&root, &group}) {
    if (!*checked) return std::unexpected(checked->error());
  }
  request.words = *words;
  request.root = *root;
  request.group_size = *group;
  request.input = *input;
  request.output = *output;
  request.scratch = *scratch;
  if (request.kind != CollectiveKind::Halo) {
    if (line.halo_option_given) {
      return std::unexpected(UsageError{
          "", "--grid, --north, --south, --east, --west and --periodic apply to halo only"});
    }
    return request;
  }
  if (!line.grid)
    return std::unexpected(UsageError{"--grid", "halo needs a grid (e.g. --grid 8x8)"});
  const auto grid = parse_grid(*line.grid);
  if (!grid) return std::unexpected(grid.error());
  const auto north = fitted<std::uint32_t>("--north", line.north);
  const auto south = fitted<std::uint32_t>("--south", line.south);
  const auto east = fitted<std::uint32_t>("--east", line.east);
  const auto west = fitted<std::uint32_t>("--west", line.west);
  for (const auto* checked : {&north, &south, &east, &west}) {
    if (!*checked) return std::unexpected(checked->error());
  }
  request.halo = HaloWords{.north = *north,
                           .south = *south,
                           .west = *west,
                           .east = *east,
                           .rows = grid->first,
                           .columns = grid->second,
                           .periodic = line.periodic};
  return request;
}

// explain_choice, with the estimated horizon of a named algorithm too.
std::expected<std::string, std::string> explanation(const Topology& topology,
                                                    const CollectivePlan& plan) {
  std::string text = explain_choice(plan);
  if (!plan.candidates.empty()) return text;
  const auto estimate = estimate_collective(topology, plan);
  if (!estimate) return std::unexpected(explain(estimate.error()));
  text.pop_back();
  return text + ": " + std::to_string(estimate->horizon) + " cycles\n";
}

// Each step's programs as `meshweave compile` prints them; several steps are
// headed "step K of N:" (text, hex) or listed under "steps" (json).
std::string render_steps(std::span<const CompiledExchange> compiled, ProgramFormat format) {
  if (compiled.size() == 1) return render_programs(compiled.front(), format);
  std::string text = format == ProgramFormat::Json ? "{\"steps\": [\n" : "";
  for (std::size_t k = 0; k < compiled.size(); ++k) {
    std::string listing = render_programs(compiled[k], format);
    if (format == ProgramFormat::Json) {
      while (!listing.empty() && listing.back() == '\n') listing.pop_back();
      text += listing + (k + 1 < compiled.size() ? ",\n" : "\n");
    } else {
      text += "step " + std::to_string(k) + " of " + std::to_string(compiled.size()) + ":\n";
      text += listing;
    }
  }
  if (format == ProgramFormat::Json) text += "]}\n";
  return text;
}

// Every step verified against its description, then the whole collective
// replayed on symbolic memories; each issue is reported. True when none.
bool verify_collective(const Topology& topology, const CollectivePlan& plan,
                       std::span<const CompiledExchange> compiled, std::ostream& err) {
  std::size_t issues = 0;
  for (std::size_t k = 0; k < plan.steps.size(); ++k) {
    for (const VerifyIssue& issue :
         verify_exchange(topology, plan.steps[k].exchange, compiled[k])) {
      report_error(err, command_name, "step " + std::to_string(k),
                   "verification: " + to_string(issue));
      ++issues;
    }
  }
  if (issues == 0) {
    for (const ReplayIssue& issue : replay_collective(topology, plan, compiled)) {
      report_error(err, command_name, "", "replay: " + to_string(issue));
      ++issues;
    }
  }
  if (issues != 0) {
    report_error(
        err, command_name, "",
        "verification found " + std::to_string(issues) + " issue" + (issues == 1 ? "" : "s"));
  }
  return issues == 0;
}

}  // namespace

std::expected<std::vector<std::uint16_t>, std::string> parse_tile_list(std::string_view text,
                                                                       std::size_t tile_count) {
  const auto refuse = [&](std::string_view why) {
    return std::unexpected(quoted_refusal(text, why));
  };
  std::vector<std::uint16_t> tiles;
  std::vector<bool> listed(tile_count, false);
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    const std::string_view item = text.substr(start, comma - start);
    if (item.empty()) return refuse("has an empty item (expected e.g. 0,5,9-12)");
    const auto range = parse_range(item);
    if (!range) return std::unexpected(range.error());
    if (range->last >= tile_count) {
      return refuse("names tile " + std::to_string(range->last) + ", not on the card (tiles 0 to " +
                    std::to_string(tile_count - 1) + ")");
    }
    for (std::uint64_t tile = range->first; tile <= range->last; ++tile) {
      if (listed[tile]) return refuse("lists tile " + std::to_string(tile) + " twice");
      listed[tile] = true;
      tiles.push_back(static_cast<std::uint16_t>(tile));
    }
    if (comma == std::string_view::npos) return tiles;
    start = comma + 1;
  }
}

int run_collective(const CollectiveCommandLine& line, std::ostream& out, std::ostream& err) {
  const Topology topology = Topology::m1472();
  const auto request = build_request(line, topology);
  if (!request) {
    report_error(err, command_name, request.error().where, request.error().what);
    return exit_usage;
  }
  // The explanation takes standard output; the description or programs then
  // go only to the file -o names.
  const bool main_output = line.output_path || !line.explain;
  std::vector<OutputName> names;
  if (line.explain) names.push_back({"--explain", "-"});
  if (main_output) names.push_back({"-o", line.output_path.value_or("-")});
  if (auto checked = check_output_names(names, ""); !checked) {
    report_error(err, command_name, checked.error().where, checked.error().what);
    return exit_usage;
  }

  const auto plan = plan_collective(topology, *request);
  if (!plan) {
    report_error(err, command_name, "", to_string(plan.error()));
    return exit_bad_input;
  }
  if (line.step && *line.step >= plan->steps.size()) {
    report_error(err, command_name, "--step",
                 "step " + std::to_string(*line.step) + " is past the plan's " +
                     std::to_string(plan->steps.size()) + " step" +
                     (plan->steps.size() == 1 ? "" : "s") + " (numbered from 0)");
    return exit_bad_input;
  }

  std::vector<OutputFile> files;
  std::size_t next_name = 0;
  if (line.explain) {
    auto text = explanation(topology, *plan);
    if (!text) {
      report_error(err, command_name, "", text.error());
      return exit_bad_input;
    }
    files.push_back({names[next_name++], std::move(*text)});
  }
  if (main_output && line.compile) {
    const auto compiled = compile_collective(topology, *plan);
    if (!compiled) {
      report_error(err, command_name, "", explain(compiled.error()));
      return exit_bad_input;
    }
    if (line.verify && !verify_collective(topology, *plan, *compiled, err)) return exit_bad_input;
    files.push_back({names[next_name++], render_steps(*compiled, line.format)});
  } else if (main_output) {
    // One exchange and no local work is a plain description `meshweave
    // compile` reads; so is any one step asked for with --step.
    const bool plain =
        line.step || (plan->steps.size() == 1 && plan->steps.front().combine_before.empty() &&
                      plan->combine_after.empty());
    const ExchangeDescription* single = &plan->steps[line.step.value_or(0)].exchange;
    // The writer runs after this block: it keeps copies of the locals it needs.
    files.push_back({names[next_name++], OutputWriter{[&, plain, single](std::ostream& stream) {
                       if (plain) {
                         write_transfers_form(stream, *single);
                       } else {
                         write_collective(stream, *plan);
                       }
                       return true;
                     }}});
  }
  if (auto written = write_outputs(files, out); !written) {
    report_error(err, command_name, written.error().where, written.error().what);
    return written.error().usage ? exit_usage : exit_bad_input;
  }
  return exit_success;
}

CLI::App* add_collective_command(CLI::App& app, CollectiveCommandLine& line,
                                 std::function<int()>& command) {
  CLI::App* sub = app.add_subcommand(
      "collective", "Plan a collective and write its exchange description (or programs)");
  sub->add_option("name", line.name, "Collective: " + known_collectives())->required();
  number_option(*sub, "--words", line.words, "Shard size in words (broadcast: the message)");
  sub->add_option_function<std::string>(
      "--tiles", [&line](const std::string& text) { line.tiles = text; },
      "Participating logical tiles, e.g. 0-63 or 0,5,9-12 (default: every tile)");
  sub->add_option("--algorithm", line.algorithm, "Algorithm")
      ->check(CLI::IsMember({"auto", "flat", "direct", "hierarchical"}))
      ->capture_default_str();
  number_option(*sub, "--root", line.root, "Participant index of the root (default 0)");
  number_option(*sub, "--group", line.group, "Group size of hierarchical (default: chosen)");
  const auto halo = [&line] { line.halo_option_given = true; };
  sub->add_option_function<std::string>(
      "--grid",
      [&line, halo](const std::string& text) {
        line.grid = text;
        halo();
      },
      "Halo grid, ROWSxCOLUMNS");
  for (auto [name, target] : {std::pair{"--north", &line.north}, std::pair{"--south", &line.south},
                              std::pair{"--east", &line.east}, std::pair{"--west", &line.west}}) {
    number_option(*sub, name, *target, "Halo words sent this way")
        ->each([halo](const std::string&) { halo(); });
  }
  sub->add_flag_callback(
      "--periodic",
      [&line, halo] {
        line.periodic = true;
        halo();
      },
      "Halo grid wraps round");
  number_option(*sub, "--input", line.input, "Input buffer byte address (default 0x0)");
  number_option(*sub, "--output", line.output, "Output buffer byte address (default 0x40000)");
  number_option(*sub, "--scratch", line.scratch, "Scratch buffer byte address (default 0x80000)");
  CLI::Option* compile = sub->add_flag("--compile", line.compile, "Write every step's programs");
  sub->add_flag("--verify", line.verify, "Verify the programs and replay the collective")
      ->needs(compile);
  sub->add_option_function<std::string>(
         "--format",
         [&line](const std::string& text) {
           line.format = program_format(text).value_or(ProgramFormat::Text);
         },
         "Program format: text, json or hex")
      ->check(CLI::IsMember({"text", "json", "hex"}))
      ->needs(compile);
  sub->add_option_function<std::string>(
         "--step",
         [&line](const std::string& text) { line.step = parse_unsigned(text).value_or(0); },
         "Write only this step's exchange (from 0), as `meshweave compile` reads it")
      ->check(CLI::Validator(
          [](std::string& text) {
            return parse_unsigned(text) ? std::string{} : "\"" + text + "\" is not a number";
          },
          "NUMBER", "number"))
      ->excludes(compile);
  sub->add_flag("--explain", line.explain,
                "Print each candidate's estimated horizon (the description then goes only to -o)");
  sub->add_option_function<std::string>(
      "-o,--output-file", [&line](const std::string& text) { line.output_path = text; },
      "Write the description (or programs) here, not to stdout");
  sub->callback([&line, &command] {
    command = [&line] { return run_collective(line, std::cout, std::cerr); };
  });
  return sub;
}

}  // namespace meshweave::tool
