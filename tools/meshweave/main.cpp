// The meshweave command line: parses arguments with CLI11 and hands them to the
// command implementations of meshweave_tool.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "collective_command.hpp"
#include "compile_command.hpp"
#include "cost_command.hpp"
#include "diagnostics.hpp"
#include "exit_codes.hpp"
#include "host_commands.hpp"
#include "number_text.hpp"
#include "plan_commands.hpp"
#include "program_renderers.hpp"
#include "range_text.hpp"
#include "route_command.hpp"
#include "word_commands.hpp"

namespace {

using namespace meshweave::tool;

// CLI11 messages may quote the command line; they are echoed as a whole
// (bounded and escaped), so the pieces are given to CLI11 unescaped.
constexpr std::size_t parse_message_limit = 200;

// Numbers are decimal or 0x-hex; anything else is a usage error.
const CLI::Validator number_text(
    [](std::string& text) {
      return parse_unsigned(text) ? std::string{} : "\"" + text + "\" is not a number";
    },
    "NUMBER", "number");

std::uint64_t number_of(const std::string& text) { return parse_unsigned(text).value_or(0); }

CLI::Option* number_option(CLI::App& app, const std::string& name, std::uint64_t& target,
                           const std::string& description) {
  return app
      .add_option_function<std::string>(
          name, [&target](const std::string& text) { target = number_of(text); }, description)
      ->check(number_text);
}

CLI::Option* numbers_option(CLI::App& app, const std::string& name,
                            std::vector<std::uint64_t>& target, const std::string& description) {
  return app
      .add_option_function<std::vector<std::string>>(
          name,
          [&target](const std::vector<std::string>& texts) {
            for (const std::string& text : texts) target.push_back(number_of(text));
          },
          description)
      ->check(number_text);
}

struct CommandLineError {
  std::string command;  // the command the error belongs to, empty for the whole line
  std::string what;
};

// The command words must name commands, at every level that requires one.
// CLI11 would only say "A subcommand is required" for a misspelt one.
std::optional<CommandLineError> check_command_words(CLI::App& app, std::span<char* const> words) {
  CLI::App* current = &app;
  std::string command;
  for (std::size_t i = 0; current->get_require_subcommand_min() > 0; ++i) {
    const std::vector<CLI::App*> subcommands =
        current->get_subcommands([](CLI::App*) { return true; });
    std::string known;
    for (const CLI::App* subcommand : subcommands) {
      known += (known.empty() ? "" : ", ") + subcommand->get_name();
    }
    if (i == words.size()) {
      return CommandLineError{command, "a command is required (commands: " + known + ")"};
    }
    const std::string word = words[i];
    if (word.starts_with('-')) {
      // --help or --version are CLI11's to handle; no other option comes before a command.
      if (current->get_option_no_throw(word) != nullptr) return std::nullopt;
      return CommandLineError{command,
                              "unknown option \"" + echo(word) + "\" (commands: " + known + ")"};
    }
    CLI::App* next = nullptr;
    for (CLI::App* subcommand : subcommands) {
      if (subcommand->get_name() == word) next = subcommand;
    }
    if (next == nullptr) {
      return CommandLineError{command,
                              "unknown command \"" + echo(word) + "\" (commands: " + known + ")"};
    }
    if (command.empty()) command = word;
    current = next;
  }
  return std::nullopt;
}

// The top-level command CLI11 got to, for the error line.
std::string selected_command(const CLI::App& app) {
  const std::vector<CLI::App*> selected = app.get_subcommands();
  return selected.empty() ? std::string{} : selected.front()->get_name();
}

}  // namespace

int main(int argc, char** argv) {
  // Only the iostreams are used; unsynchronised, standard input is buffered
  // and tells how much of it is ready (decode flushes when none is).
  std::ios::sync_with_stdio(false);
  CLI::App app{"meshweave: exchange code for the M1472 tile processor"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string{"meshweave "} + MESHWEAVE_VERSION,
                       "Print the version and exit");
  int status = exit_success;
  std::function<int()> command;

  // compile
  CompileRequest compile;
  std::string format = "text";
  std::string svg_path;
  std::string output_path;
  std::string trace_path;
  std::string svg_tiles;
  std::string svg_cycles;
  CLI::App* compile_app =
      app.add_subcommand("compile", "Compile an exchange description into per-tile programs");
  compile_app
      ->add_option("file", compile.input_paths,
                   "Description files (JSON), or - for stdin; several need -o DIR")
      ->required();
  compile_app->add_option("-j,--jobs", compile.jobs,
                          "Inputs compiled at once (0: one per hardware thread)");
  compile_app->add_option("--format", format, "Output format")
      ->check(CLI::IsMember({"text", "json", "hex"}))
      ->capture_default_str();
  compile_app->add_flag("--verify", compile.verify,
                        "Replay the programs against the description; fail on any issue");
  compile_app->add_flag("--idle", compile.idle, "Give every tile of the card a program");
  compile_app->add_flag("--schedule", compile.schedule,
                        "Drop the barriers of a phase form and schedule its transfers");
  CLI::Option* svg_option =
      compile_app->add_option("--svg", svg_path, "Also write a timeline picture (SVG)");
  const CLI::Validator range_text(
      [](std::string& text) {
        const auto range = parse_range(text);
        return range ? std::string{} : range.error();
      },
      "A-B", "range");
  compile_app->add_option("--tiles", svg_tiles, "Draw only these logical tiles in the SVG (A-B)")
      ->check(range_text)
      ->needs(svg_option);
  compile_app->add_option("--cycles", svg_cycles, "Draw only these cycles in the SVG (A-B)")
      ->check(range_text)
      ->needs(svg_option);
  compile_app->add_option("--trace", trace_path,
                          "Also write a trace in the Chrome trace event format (JSON)");
  compile_app->add_option(
      "-o,--output", output_path,
      "Write the programs here, not to stdout (a directory for several inputs)");
  compile_app->callback([&] {
    compile.format = program_format(format).value_or(ProgramFormat::Text);
    // Given but empty is refused by the command, not taken for absent.
    if (compile_app->count("--svg") != 0) compile.svg_path = svg_path;
    if (compile_app->count("--output") != 0) compile.output_path = output_path;
    if (compile_app->count("--trace") != 0) compile.trace_path = trace_path;
    if (compile_app->count("--tiles") != 0) compile.svg_tiles = parse_range(svg_tiles).value();
    if (compile_app->count("--cycles") != 0) compile.svg_cycles = parse_range(svg_cycles).value();
    command = [&] { return run_compile(compile, std::cin, std::cout, std::cerr); };
  });

  // cost
  CostRequest cost;
  std::string cost_format = "text";
  CLI::App* cost_app = app.add_subcommand(
      "cost", "Estimate an exchange: horizon, lower bound, longest program, busiest tile");
  cost_app->add_option("file", cost.input_path, "Description file (JSON), or - for stdin")
      ->required();
  cost_app->add_option("--format", cost_format, "Output format")
      ->check(CLI::IsMember({"text", "json"}))
      ->capture_default_str();
  cost_app->add_flag("--schedule", cost.schedule,
                     "Drop the barriers of a phase form and schedule its transfers");
  cost_app->callback([&] {
    cost.format = cost_format == "json" ? CostFormat::Json : CostFormat::Text;
    command = [&] { return run_cost(cost, std::cin, std::cout, std::cerr); };
  });

  // decode
  std::vector<std::string> decode_words;
  CLI::App* decode_app = app.add_subcommand(
      "decode", "Disassemble instruction words (hex, with or without 0x; stdin if none given)");
  decode_app->add_option("words", decode_words, "Instruction words");
  decode_app->callback(
      [&] { command = [&] { return run_decode(decode_words, std::cin, std::cout, std::cerr); }; });

  // asm
  std::string asm_path;
  CLI::App* asm_app = app.add_subcommand("asm", "Assemble disassembly text into words");
  asm_app->add_option("file", asm_path, "Text file, or - for stdin")->required();
  asm_app->callback(
      [&] { command = [&] { return run_assemble(asm_path, std::cin, std::cout, std::cerr); }; });

  // route
  RouteRequest route;
  CLI::App* route_app =
      app.add_subcommand("route", "Route timing between two tiles of the M1472 card");
  number_option(*route_app, "from", route.from, "Sending tile (logical)")->required();
  number_option(*route_app, "to", route.to, "Receiving tile (logical)")->required();
  route_app->add_flag("--physical", route.physical, "The tiles are given as physical numbers");
  route_app->callback([&] { command = [&] { return run_route(route, std::cout, std::cerr); }; });

  // plan
  CLI::App* plan_app = app.add_subcommand("plan", "Plan one tile-to-tile exchange");
  plan_app->require_subcommand(1);
  PointToPointRequest point;
  CLI::App* p2p_app = plan_app->add_subcommand("p2p", "Point-to-point plan");
  number_option(*p2p_app, "sender", point.sender, "Sending tile (logical)")->required();
  number_option(*p2p_app, "receiver", point.receiver, "Receiving tile (logical)")->required();
  number_option(*p2p_app, "words", point.words, "Words to transfer (1 to 4148)")->required();
  p2p_app->callback(
      [&] { command = [&] { return run_plan_point_to_point(point, std::cout, std::cerr); }; });
  MulticastRequest multicast;
  CLI::App* multicast_app = plan_app->add_subcommand("multicast", "Multicast plan");
  number_option(*multicast_app, "sender", multicast.sender, "Sending tile (logical)")->required();
  numbers_option(*multicast_app, "receivers", multicast.receivers, "Receiving tiles (logical)")
      ->required();
  number_option(*multicast_app, "--words", multicast.words, "Words to transfer (1 to 4148)")
      ->required();
  number_option(*multicast_app, "--offset", multicast.offset,
                "Cycles to start after the earliest possible start (default 0)");
  multicast_app->callback(
      [&] { command = [&] { return run_plan_multicast(multicast, std::cout, std::cerr); }; });

  // host
  CLI::App* host_app = app.add_subcommand("host", "Host transfer and request programs");
  host_app->require_subcommand(1);
  HostRequest host;
  const auto tile_option = [&](CLI::App& sub, bool many) {
    numbers_option(sub, "--tile", host.tiles,
                   many ? "Target tiles (physical), one or more" : "Tile (physical)")
        ->required()
        ->expected(1, many ? 1 << 16 : 1);
  };
  CLI::App* to_tile_app =
      host_app->add_subcommand("to-tile", "Target program of a host-to-tile transfer");
  tile_option(*to_tile_app, false);
  number_option(*to_tile_app, "--tile-address", host.tile_address, "Tile byte address")->required();
  number_option(*to_tile_app, "--host-offset", host.host_offset, "Host byte offset")->required();
  number_option(*to_tile_app, "--bytes", host.bytes, "Bytes to transfer")->required();
  number_option(*to_tile_app, "--packet-address", host.packet_address,
                "Where the packet words lie in tile memory")
      ->required();
  to_tile_app->callback(
      [&] { command = [&] { return run_host_to_tile(host, std::cout, std::cerr); }; });

  CLI::App* from_tile_app =
      host_app->add_subcommand("from-tile", "Target program of a tile-to-host transfer");
  tile_option(*from_tile_app, false);
  number_option(*from_tile_app, "--tile-address", host.tile_address, "Tile byte address")
      ->required();
  number_option(*from_tile_app, "--host-offset", host.host_offset, "Host byte offset")->required();
  number_option(*from_tile_app, "--bytes", host.bytes, "Bytes to transfer")->required();
  number_option(*from_tile_app, "--packet-address", host.packet_address,
                "Where the packet words lie in tile memory")
      ->required();
  number_option(*from_tile_app, "--command-address", host.command_address,
                "Dummy tile address of the closing header")
      ->required();
  from_tile_app->callback(
      [&] { command = [&] { return run_host_from_tile(host, std::cout, std::cerr); }; });

  CLI::App* xreq_app = host_app->add_subcommand("xreq", "Xreq program naming target tiles");
  tile_option(*xreq_app, true);
  number_option(*xreq_app, "--packet-address", host.packet_address,
                "Where the xreq packet lies in tile memory")
      ->required();
  xreq_app->callback([&] { command = [&] { return run_host_xreq(host, std::cout, std::cerr); }; });

  CLI::App* command_read_app =
      host_app->add_subcommand("command-read", "Host command-read program for physical tile 0");
  number_option(*command_read_app, "--packet-address", host.packet_address,
                "Where the packet words lie in tile memory")
      ->required();
  number_option(*command_read_app, "--destination-address", host.destination_address,
                "Tile byte address the 4 bytes go to")
      ->required();
  number_option(*command_read_app, "--host-offset", host.host_offset, "Host byte offset")
      ->required();
  command_read_app->callback(
      [&] { command = [&] { return run_host_command_read(host, std::cout, std::cerr); }; });

  // collective
  CollectiveCommandLine collective;
  add_collective_command(app, collective, command);

  const std::span<char* const> words(argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0));
  if (const auto wrong = check_command_words(app, words)) {
    report_error(std::cerr, wrong->command, "", wrong->what);
    return exit_usage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help and --version end the parse this way too, and succeed.
    if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(error);
    report_error(std::cerr, selected_command(app), "", echo(error.what(), parse_message_limit));
    return exit_usage;
  }
  if (command) status = command();
  // A listing lost on a full disk or a closed pipe is a failure, not a success.
  // (compile checks its own output; a failure it reported is not told twice.)
  // The reason is known only when the failure shows here, at the last flush.
  const bool failed_before = !std::cout;
  errno = 0;
  std::cout.flush();
  if (!std::cout && status == exit_success) {
    const int error = failed_before ? 0 : errno;
    report_error(
        std::cerr, selected_command(app), "<stdout>",
        error != 0 ? "cannot write: " + std::generic_category().message(error) : "cannot write");
    status = exit_bad_input;
  }
  return status;
}
