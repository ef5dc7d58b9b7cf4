#include "host_commands.hpp"

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "command_support.hpp"
#include "diagnostics.hpp"
#include "exit_codes.hpp"
#include "meshweave/host/request_programs.hpp"
#include "meshweave/host/target_programs.hpp"
#include "meshweave/instruction_words/refusal.hpp"
#include "number_text.hpp"
#include "word_listing.hpp"

namespace meshweave::tool {
namespace {

// Checks that every argument fits its parameter before the library sees it;
// the first one that does not is reported and the command fails.
class Arguments {
 public:
  explicit Arguments(std::ostream& err) : err_{err} {}

  std::uint32_t word(std::uint64_t value, std::string_view option) {
    const auto fitted = fit<std::uint32_t>(value);
    if (!fitted) refuse(option, value, "does not fit 32 bits");
    return fitted.value_or(0);
  }
  std::uint16_t tile(std::uint64_t value) {
    const auto fitted = fit<std::uint16_t>(value);
    if (!fitted) refuse("--tile", value, "does not fit 16 bits");
    return fitted.value_or(0);
  }
  bool ok() const noexcept { return ok_; }

 private:
  void refuse(std::string_view option, std::uint64_t value, std::string_view reason) {
    if (ok_) report_error(err_, "host", option, std::to_string(value) + ' ' + std::string{reason});
    ok_ = false;
  }

  std::ostream& err_;
  bool ok_ = true;
};

// The option that gave the refused argument. The close address follows the
// packet words, so it comes from --packet-address.
std::string_view option_of(RefusedArgument argument) noexcept {
  switch (argument) {
    case RefusedArgument::tile:
    case RefusedArgument::target_tile: return "--tile";
    case RefusedArgument::tile_address: return "--tile-address";
    case RefusedArgument::host_offset: return "--host-offset";
    case RefusedArgument::bytes: return "--bytes";
    case RefusedArgument::packet_address:
    case RefusedArgument::close_address: return "--packet-address";
    case RefusedArgument::command_address: return "--command-address";
    case RefusedArgument::destination_address: return "--destination-address";
    default: return "";
  }
}

int print_program(const Explained<TileToHostProgram>& program, std::uint32_t packet_address,
                  std::ostream& out, std::ostream& err) {
  if (!program) {
    report_error(err, "host", option_of(program.error().argument), explain(program.error()));
    return exit_bad_input;
  }
  std::string text = "instructions\n";
  append_word_listing(text, program->instructions);
  text += "\npacket words (place at " + hex_address(packet_address) + ")\n";
  for (std::size_t i = 0; i < program->packet_words.size(); ++i) {
    const std::uint64_t address = std::uint64_t{packet_address} + 4 * i;
    text += "  " + hex_address(address) + "  " + hex_word(program->packet_words[i]) + '\n';
  }
  out << text;
  return exit_success;
}

}  // namespace

int run_host_to_tile(const HostRequest& request, std::ostream& out, std::ostream& err) {
  Arguments arguments(err);
  const std::uint16_t tile = arguments.tile(request.tiles.empty() ? 0 : request.tiles.front());
  const std::uint32_t tile_address = arguments.word(request.tile_address, "--tile-address");
  const std::uint32_t host_offset = arguments.word(request.host_offset, "--host-offset");
  const std::uint32_t bytes = arguments.word(request.bytes, "--bytes");
  const std::uint32_t packet_address = arguments.word(request.packet_address, "--packet-address");
  if (!arguments.ok()) return exit_bad_input;
  return print_program(explained::assemble_host_to_tile_target_program(
                           tile, tile_address, host_offset, bytes, packet_address),
                       packet_address, out, err);
}

int run_host_from_tile(const HostRequest& request, std::ostream& out, std::ostream& err) {
  Arguments arguments(err);
  const std::uint16_t tile = arguments.tile(request.tiles.empty() ? 0 : request.tiles.front());
  const std::uint32_t tile_address = arguments.word(request.tile_address, "--tile-address");
  const std::uint32_t host_offset = arguments.word(request.host_offset, "--host-offset");
  const std::uint32_t bytes = arguments.word(request.bytes, "--bytes");
  const std::uint32_t packet_address = arguments.word(request.packet_address, "--packet-address");
  const std::uint32_t command_address =
      arguments.word(request.command_address, "--command-address");
  if (!arguments.ok()) return exit_bad_input;
  return print_program(explained::assemble_tile_to_host_target_program(
                           tile, tile_address, host_offset, bytes, packet_address, command_address),
                       packet_address, out, err);
}

int run_host_xreq(const HostRequest& request, std::ostream& out, std::ostream& err) {
  Arguments arguments(err);
  std::vector<std::uint16_t> tiles;
  tiles.reserve(request.tiles.size());
  for (const std::uint64_t value : request.tiles) tiles.push_back(arguments.tile(value));
  const std::uint32_t packet_address = arguments.word(request.packet_address, "--packet-address");
  if (!arguments.ok()) return exit_bad_input;
  return print_program(explained::assemble_host_xreq_program_for_targets(tiles, packet_address),
                       packet_address, out, err);
}

int run_host_command_read(const HostRequest& request, std::ostream& out, std::ostream& err) {
  Arguments arguments(err);
  const std::uint32_t packet_address = arguments.word(request.packet_address, "--packet-address");
  const std::uint32_t destination_address =
      arguments.word(request.destination_address, "--destination-address");
  const std::uint32_t host_offset = arguments.word(request.host_offset, "--host-offset");
  if (!arguments.ok()) return exit_bad_input;
  return print_program(explained::assemble_host_command_read_program(
                           packet_address, destination_address, host_offset),
                       packet_address, out, err);
}

}  // namespace meshweave::tool
