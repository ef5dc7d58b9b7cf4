#include "meshweave/host/target_programs.hpp"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "host_sends.hpp"
#include "meshweave/host/packet_header.hpp"
#include "meshweave/host/transfer_planner.hpp"
#include "program_words.hpp"
#include "tile_to_host_runs.hpp"

namespace meshweave {

namespace {

constexpr std::uint64_t address_max = std::numeric_limits<std::uint32_t>::max();

// SEND of the header of chunk `chunk`, from an address computed in 64 bits;
// anything past 32 bits is as unreachable for a SEND as anything from 0x100000 up.
Explained<std::uint32_t> header_send_at(std::uint32_t packet_address, std::uint32_t chunk) {
  const std::uint64_t byte_address =
      std::uint64_t{packet_address} + std::uint64_t{host_send::header_bytes} * chunk;
  const Result<std::uint32_t> send =
      byte_address > address_max
          ? std::unexpected(ExchangeError::schedule(schedule_message::send_instruction_operand))
          : host_send::header(static_cast<std::uint32_t>(byte_address));
  if (!send) {
    return refuse(send.error(), Reason::chunk_header_send_range, RefusedArgument::packet_address,
                  packet_address, chunk);
  }
  return *send;
}

// A payload SEND moves whole words from a word address; anything else would
// silently drop bytes or read from the wrong place.
Explained<std::uint32_t> payload_send(const HostTransferChunk& chunk) {
  if (chunk.bytes < host_send::word_bytes || chunk.bytes % host_send::word_bytes != 0 ||
      chunk.tile_address % host_send::word_bytes != 0) {
    return host_packet::refuse(Reason::payload_not_words, RefusedArgument::chunk, chunk.bytes,
                               chunk.tile_address);
  }
  return host_send::explained_words(chunk.tile_address, chunk.bytes / host_send::word_bytes,
                                    RefusedArgument::tile_address);
}

ExplainedStatus check_packet_address(std::uint32_t packet_address, RefusedArgument argument) {
  if (packet_address % host_send::header_bytes != 0) {
    return host_packet::refuse(Reason::packet_words_alignment, argument, packet_address);
  }
  return {};
}

// The closing words of every data-transfer program.
void append_program_end(std::vector<std::uint32_t>& instructions) {
  instructions.push_back(HOST_TRANSFER_SYNC_INSTRUCTION);
  instructions.push_back(RETURN_INSTRUCTION);
}

}  // namespace

namespace explained {

Explained<TileToHostProgram> assemble_host_to_tile_target_program(std::uint16_t physical_tile,
                                                                  std::uint32_t tile_address,
                                                                  std::uint32_t host_offset,
                                                                  std::uint32_t bytes,
                                                                  std::uint32_t packet_address) {
  const Explained<std::vector<HostTransferChunk>> chunks =
      explained::plan_host_to_tile(physical_tile, tile_address, host_offset, bytes);
  if (!chunks) return std::unexpected(chunks.error());
  if (const ExplainedStatus aligned =
          check_packet_address(packet_address, RefusedArgument::packet_address);
      !aligned) {
    return std::unexpected(aligned.error());
  }
  const Explained<std::uint32_t> first_send =
      host_send::explained_header(packet_address, RefusedArgument::packet_address);
  if (!first_send) return std::unexpected(first_send.error());

  const std::size_t n = chunks->size();
  TileToHostProgram program;
  program.instructions.reserve(n + 4);
  // The planner keeps the transfer inside the 16 KiB window, so the word count
  // is far below the 20-bit SETZI immediate.
  program.instructions.push_back(host_program::length_load(bytes / host_send::word_bytes));
  program.instructions.push_back(host_program::length_register_write);
  program.instructions.push_back(*first_send);
  program.instructions.insert(program.instructions.end(), n - 1, host_program::continuation_send);
  append_program_end(program.instructions);

  program.packet_words.reserve(2 * n);
  for (std::size_t i = 0; i < n; ++i) {
    const HostPacketHeader& header = (*chunks)[i].header;
    const bool last = i + 1 == n;
    program.packet_words.push_back(last ? header.word0
                                        : header.word0 & ~HOST_TO_TILE_STREAM_END_BITS);
    program.packet_words.push_back(header.word1);
  }
  return program;
}

Explained<TileToHostProgram> assemble_tile_to_host_target_program(
    std::uint16_t physical_tile, std::uint32_t tile_address, std::uint32_t host_offset,
    std::uint32_t bytes, std::uint32_t packet_address, std::uint32_t command_address) {
  if (std::optional<TileToHostProgram> program = host_program::tile_to_host_in_runs(
          physical_tile, tile_address, host_offset, bytes, packet_address, command_address)) {
    return std::move(*program);
  }
  const Explained<std::vector<HostTransferChunk>> chunks =
      explained::plan_tile_to_host(physical_tile, tile_address, host_offset, bytes);
  if (!chunks) return std::unexpected(chunks.error());
  if (const ExplainedStatus aligned =
          check_packet_address(packet_address, RefusedArgument::packet_address);
      !aligned) {
    return std::unexpected(aligned.error());
  }

  TileToHostProgram program;
  program.packet_words.reserve(2 * chunks->size() + 2);
  for (const HostTransferChunk& chunk : *chunks) {
    program.packet_words.push_back(chunk.header.word0);
    program.packet_words.push_back(chunk.header.word1);
  }
  // The closing header lies right after the chunk headers.
  const std::uint64_t close_address =
      std::uint64_t{packet_address} +
      std::uint64_t{host_send::word_bytes} * program.packet_words.size();
  if (close_address > address_max) {
    return host_packet::refuse(Reason::close_header_passes_address_space,
                               RefusedArgument::packet_address, packet_address,
                               static_cast<std::uint32_t>(chunks->size()));
  }
  const Explained<HostPacketHeader> close =
      explained::zero_byte_read_packet(physical_tile, command_address);
  if (!close) {
    return renamed(close.error(), RefusedArgument::dummy_tile_address,
                   RefusedArgument::command_address);
  }
  program.packet_words.push_back(close->word0);
  program.packet_words.push_back(close->word1);

  Explained<std::vector<std::uint32_t>> instructions = explained::tile_to_host_target_instructions(
      *chunks, packet_address, static_cast<std::uint32_t>(close_address));
  if (!instructions) return std::unexpected(instructions.error());
  program.instructions = std::move(*instructions);
  return program;
}

Explained<std::vector<std::uint32_t>> tile_to_host_target_instructions(
    std::span<const HostTransferChunk> chunks, std::uint32_t packet_address,
    std::uint32_t close_address) {
  if (chunks.empty()) return host_packet::refuse(Reason::no_chunks, RefusedArgument::chunk);
  if (const ExplainedStatus aligned =
          check_packet_address(packet_address, RefusedArgument::packet_address);
      !aligned) {
    return std::unexpected(aligned.error());
  }
  if (const ExplainedStatus aligned =
          check_packet_address(close_address, RefusedArgument::close_address);
      !aligned) {
    return std::unexpected(aligned.error());
  }
  std::vector<std::uint32_t> instructions;
  instructions.reserve(2 * chunks.size() + 6);
  instructions.push_back(host_program::length_load(1));
  instructions.push_back(host_program::length_register_write);
  std::uint32_t index = 0;
  for (const HostTransferChunk& chunk : chunks) {
    const Explained<std::uint32_t> header = header_send_at(packet_address, index++);
    if (!header) return std::unexpected(header.error());
    const Explained<std::uint32_t> payload = payload_send(chunk);
    if (!payload) return std::unexpected(payload.error());
    instructions.push_back(*header);
    instructions.push_back(*payload);
  }
  instructions.push_back(host_program::close_delay);
  const Explained<std::uint32_t> close =
      host_send::explained_header(close_address, RefusedArgument::close_address);
  if (!close) return std::unexpected(close.error());
  instructions.push_back(*close);
  append_program_end(instructions);
  return instructions;
}

}  // namespace explained

Result<TileToHostProgram> assemble_host_to_tile_target_program(std::uint16_t physical_tile,
                                                               std::uint32_t tile_address,
                                                               std::uint32_t host_offset,
                                                               std::uint32_t bytes,
                                                               std::uint32_t packet_address) {
  return without_reason(explained::assemble_host_to_tile_target_program(
      physical_tile, tile_address, host_offset, bytes, packet_address));
}

Result<TileToHostProgram> assemble_tile_to_host_target_program(
    std::uint16_t physical_tile, std::uint32_t tile_address, std::uint32_t host_offset,
    std::uint32_t bytes, std::uint32_t packet_address, std::uint32_t command_address) {
  return without_reason(explained::assemble_tile_to_host_target_program(
      physical_tile, tile_address, host_offset, bytes, packet_address, command_address));
}

Result<std::vector<std::uint32_t>> tile_to_host_target_instructions(
    std::span<const HostTransferChunk> chunks, std::uint32_t packet_address,
    std::uint32_t close_address) {
  return without_reason(
      explained::tile_to_host_target_instructions(chunks, packet_address, close_address));
}

}  // namespace meshweave
