#include "meshweave/host/target_programs.hpp"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <utility>
#include <vector>

#include "meshweave/host/host_sends.hpp"
#include "meshweave/host/packet_header.hpp"
#include "meshweave/host/transfer_planner.hpp"

namespace meshweave {

namespace {

constexpr std::uint64_t address_max = std::numeric_limits<std::uint32_t>::max();

// Header SEND from an address computed in 64 bits; anything past 32 bits is as
// unreachable for a SEND as anything from 0x100000 up.
Result<std::uint32_t> header_send_at(std::uint64_t byte_address) {
  if (byte_address > address_max) {
    return std::unexpected(ExchangeError::schedule(schedule_message::send_instruction_operand));
  }
  return host_send::header(static_cast<std::uint32_t>(byte_address));
}

// A payload SEND moves whole words from a word address; anything else would
// silently drop bytes or read from the wrong place.
Result<std::uint32_t> payload_send(const HostTransferChunk& chunk) {
  if (chunk.bytes < host_send::word_bytes || chunk.bytes % host_send::word_bytes != 0 ||
      chunk.tile_address % host_send::word_bytes != 0) {
    return host_packet::fail();
  }
  return host_send::words(chunk.tile_address, chunk.bytes / host_send::word_bytes);
}

// The closing words of every data-transfer program.
void append_program_end(std::vector<std::uint32_t>& instructions) {
  instructions.push_back(HOST_TRANSFER_SYNC_INSTRUCTION);
  instructions.push_back(RETURN_INSTRUCTION);
}

}  // namespace

Result<TileToHostProgram> assemble_host_to_tile_target_program(std::uint16_t physical_tile,
                                                               std::uint32_t tile_address,
                                                               std::uint32_t host_offset,
                                                               std::uint32_t bytes,
                                                               std::uint32_t packet_address) {
  const Result<std::vector<HostTransferChunk>> chunks =
      plan_host_to_tile(physical_tile, tile_address, host_offset, bytes);
  if (!chunks) return std::unexpected(chunks.error());
  if (packet_address % host_send::header_bytes != 0) return host_packet::fail();
  const Result<std::uint32_t> first_send = host_send::header(packet_address);
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

Result<TileToHostProgram> assemble_tile_to_host_target_program(
    std::uint16_t physical_tile, std::uint32_t tile_address, std::uint32_t host_offset,
    std::uint32_t bytes, std::uint32_t packet_address, std::uint32_t command_address) {
  const Result<std::vector<HostTransferChunk>> chunks =
      plan_tile_to_host(physical_tile, tile_address, host_offset, bytes);
  if (!chunks) return std::unexpected(chunks.error());
  if (packet_address % host_send::header_bytes != 0) return host_packet::fail();

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
  if (close_address > address_max) return host_packet::fail();
  const Result<HostPacketHeader> close = zero_byte_read_packet(physical_tile, command_address);
  if (!close) return std::unexpected(close.error());
  program.packet_words.push_back(close->word0);
  program.packet_words.push_back(close->word1);

  Result<std::vector<std::uint32_t>> instructions = tile_to_host_target_instructions(
      *chunks, packet_address, static_cast<std::uint32_t>(close_address));
  if (!instructions) return std::unexpected(instructions.error());
  program.instructions = std::move(*instructions);
  return program;
}

Result<std::vector<std::uint32_t>> tile_to_host_target_instructions(
    std::span<const HostTransferChunk> chunks, std::uint32_t packet_address,
    std::uint32_t close_address) {
  if (chunks.empty() || packet_address % host_send::header_bytes != 0 ||
      close_address % host_send::header_bytes != 0) {
    return host_packet::fail();
  }
  std::vector<std::uint32_t> instructions;
  instructions.reserve(2 * chunks.size() + 6);
  instructions.push_back(host_program::length_load(1));
  instructions.push_back(host_program::length_register_write);
  std::uint64_t header_address = packet_address;
  for (const HostTransferChunk& chunk : chunks) {
    const Result<std::uint32_t> header = header_send_at(header_address);
    if (!header) return std::unexpected(header.error());
    const Result<std::uint32_t> payload = payload_send(chunk);
    if (!payload) return std::unexpected(payload.error());
    instructions.push_back(*header);
    instructions.push_back(*payload);
    header_address += host_send::header_bytes;
  }
  instructions.push_back(host_program::close_delay);
  const Result<std::uint32_t> close = host_send::header(close_address);
  if (!close) return std::unexpected(close.error());
  instructions.push_back(*close);
  append_program_end(instructions);
  return instructions;
}

}  // namespace meshweave
