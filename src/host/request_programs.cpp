#include "meshweave/host/request_programs.hpp"

#include <array>
#include <cstdint>
#include <span>

#include "frame_words.hpp"
#include "host_sends.hpp"
#include "meshweave/host/operation_wrappers.hpp"
#include "meshweave/host/packet_header.hpp"
#include "program_words.hpp"

namespace meshweave {

namespace {

// The command read always runs on, and reads into, physical tile 0.
constexpr std::uint16_t command_read_tile = 0;
constexpr std::uint32_t command_read_bytes = 4;
// Cycles between opening the exchange row and sending the word that was read.
constexpr std::uint32_t command_read_delay = delay(72);
constexpr std::uint32_t command_read_instruction_count = 15;

static_assert(command_read_delay == 0x40a00048u);

}  // namespace

namespace explained {

Explained<TileToHostProgram> assemble_host_xreq_program_for_targets(
    std::span<const std::uint16_t> target_physical_tiles, std::uint32_t packet_address) {
  if (target_physical_tiles.empty()) {
    return host_packet::refuse(Reason::no_targets, RefusedArgument::target_tile);
  }
  if (packet_address % host_send::header_bytes != 0) {
    return host_packet::refuse(Reason::packet_words_alignment, RefusedArgument::packet_address,
                               packet_address);
  }
  std::array<std::uint32_t, host_send::header_words> bitmap{};
  for (const std::uint16_t target : target_physical_tiles) {
    if (const ExplainedStatus valid = validate_host_tile(target); !valid) {
      return renamed(valid.error(), RefusedArgument::tile, RefusedArgument::target_tile);
    }
    const std::uint32_t index = bitmap_index(target);
    if (index >= xreq_packet::endpoints) {
      return host_packet::refuse(Reason::xreq_target_range, RefusedArgument::target_tile, target,
                                 index);
    }
    if (index < xreq_packet::word0_endpoints) {
      bitmap[0] |= 1u << index;
    } else {
      bitmap[1] |= 1u << (index - xreq_packet::word0_endpoints);
    }
  }
  const Explained<std::uint32_t> send =
      host_send::explained_header(packet_address, RefusedArgument::packet_address);
  if (!send) return std::unexpected(send.error());
  return TileToHostProgram{{*send, RETURN_INSTRUCTION}, {bitmap[0], bitmap[1]}};
}

Explained<TileToHostProgram> assemble_host_command_read_program(std::uint32_t packet_address,
                                                                std::uint32_t destination_address,
                                                                std::uint32_t host_offset) {
  if (packet_address % host_send::header_bytes != 0) {
    return host_packet::refuse(Reason::packet_words_alignment, RefusedArgument::packet_address,
                               packet_address);
  }
  const Explained<HostPacketHeader> request = explained::host_to_tile_packet(
      command_read_tile, destination_address, host_offset, command_read_bytes);
  if (!request) {
    return renamed(request.error(), RefusedArgument::tile_address,
                   RefusedArgument::destination_address);
  }
  const Explained<std::uint32_t> xreq_send =
      host_send::explained_header(packet_address, RefusedArgument::packet_address);
  if (!xreq_send) return std::unexpected(xreq_send.error());
  // The first SEND already refused every address from 0x100000 up, so this sum
  // cannot wrap.
  const Result<std::uint32_t> request_send =
      host_send::header(packet_address + host_send::header_bytes);
  if (!request_send) {
    return refuse(request_send.error(), Reason::request_header_send_range,
                  RefusedArgument::packet_address, packet_address);
  }
  // The request header keeps destination_address inside the host exchange
  // window, well within a SEND's reach.
  const Explained<std::uint32_t> result_send =
      host_send::explained_words(destination_address, 1, RefusedArgument::destination_address);
  if (!result_send) return std::unexpected(result_send.error());

  constexpr std::uint32_t mux = meshweave::host_mux_for_tile(command_read_tile).value();
  TileToHostProgram program;
  std::vector<std::uint32_t>& out = program.instructions;
  out.reserve(command_read_instruction_count);
  // Prologue of the combined frame, then the one-packet host-to-tile target
  // program with tile 0's own xreq SEND after its length words.
  out.push_back(host_frame::mux_load(mux));
  out.push_back(host_frame::mux_register_write);
  out.push_back(SYNC_HOST_INSTRUCTION);
  out.push_back(host_program::length_load(command_read_bytes / host_send::word_bytes));
  out.push_back(host_program::length_register_write);
  out.push_back(*xreq_send);
  out.push_back(*request_send);
  out.push_back(HOST_TRANSFER_SYNC_INSTRUCTION);
  append_local_host_completion(out);
  // The exchange row that sends the word read from the host.
  out.push_back(ROW_ENTRY_INSTRUCTION);
  out.push_back(command_read_delay);
  out.push_back(*result_send);
  out.push_back(RETURN_INSTRUCTION);

  // Tile 0 is the only target: endpoint index 0.
  constexpr std::uint32_t tile0_xreq_word0 = 1u << bitmap_index(command_read_tile);
  program.packet_words = {tile0_xreq_word0, 0, request->word0, request->word1};
  return program;
}

}  // namespace explained

Result<TileToHostProgram> assemble_host_xreq_program(std::uint16_t target_physical_tile,
                                                     std::uint32_t packet_address) {
  return assemble_host_xreq_program_for_targets(std::span{&target_physical_tile, 1},
                                                packet_address);
}

Result<TileToHostProgram> assemble_host_xreq_program_for_targets(
    std::span<const std::uint16_t> target_physical_tiles, std::uint32_t packet_address) {
  return without_reason(
      explained::assemble_host_xreq_program_for_targets(target_physical_tiles, packet_address));
}

Result<TileToHostProgram> assemble_host_command_read_program(std::uint32_t packet_address,
                                                             std::uint32_t destination_address,
                                                             std::uint32_t host_offset) {
  return without_reason(explained::assemble_host_command_read_program(
      packet_address, destination_address, host_offset));
}

}  // namespace meshweave
