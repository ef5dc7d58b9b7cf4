#include "tile_to_host_runs.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "chunk_runs.hpp"
#include "host_sends.hpp"
#include "meshweave/host/packet_header.hpp"
#include "meshweave/host/transfer_planner.hpp"
#include "program_words.hpp"

namespace meshweave::host_program {

namespace {

// First byte address a SEND cannot read from (its word address has 18 bits).
constexpr std::uint64_t send_address_end =
    (std::uint64_t{send_word::BaseWord::max} + 1) * host_send::word_bytes;
// Words of chunk i of a run: first + i * step, exactly, while no field
// overflows; the checks before writing make sure none does.
struct Stepped {
  std::uint32_t first;
  std::uint32_t step;
};

}  // namespace

std::optional<TileToHostProgram> tile_to_host_in_runs(
    std::uint16_t physical_tile, std::uint32_t tile_address, std::uint32_t host_offset,
    std::uint32_t bytes, std::uint32_t packet_address, std::uint32_t command_address) {
  // Whole words everywhere, every payload SEND and Short header address in
  // range: no chunk can be refused.
  constexpr std::uint32_t word = host_send::word_bytes;
  if (bytes == 0 || bytes % word != 0 || tile_address % word != 0 || host_offset % word != 0 ||
      physical_tile > MAX_HOST_PACKET_TILE ||
      std::uint64_t{tile_address} + bytes > send_address_end ||
      std::uint64_t{host_offset} + bytes > detail::host_transfer::short_host_offset_end ||
      packet_address % host_send::header_bytes != 0) {
    return std::nullopt;
  }
  const std::uint64_t chunks =
      detail::host_transfer::chunk_count(host_offset, bytes, TILE_TO_HOST_MAX_BYTES);
  // Every header SEND, the closing one last, reads below the SEND limit.
  const std::uint64_t close_address =
      std::uint64_t{packet_address} + std::uint64_t{host_send::header_bytes} * chunks;
  if (close_address >= send_address_end) return std::nullopt;
  const Explained<HostPacketHeader> close =
      explained::zero_byte_read_packet(physical_tile, command_address);
  if (!close) return std::nullopt;

  const auto chunk_count = static_cast<std::size_t>(chunks);
  TileToHostProgram program;
  program.packet_words.resize(2 * chunk_count + 2);
  program.instructions.resize(2 * chunk_count + 6);
  std::uint32_t* packet = program.packet_words.data();
  std::uint32_t* instruction = program.instructions.data();
  *instruction++ = length_load(1);
  *instruction++ = length_register_write;

  const std::uint32_t first_header_send = *host_send::header(packet_address);
  Stepped header_send{
      first_header_send,
      *host_send::header(packet_address + host_send::header_bytes) - first_header_send};
  const auto header_at = [physical_tile](std::uint32_t host, std::uint32_t length) {
    return *explained::tile_to_host_packet(physical_tile, host, length);
  };
  detail::host_transfer::for_each_chunk_run(
      tile_address, host_offset, bytes, TILE_TO_HOST_MAX_BYTES,
      [&](const detail::host_transfer::ChunkRun& run) {
        const std::uint32_t words = run.chunk_bytes / word;
        const HostPacketHeader first = header_at(run.host_offset, run.chunk_bytes);
        const std::uint32_t first_payload = *host_send::words(run.tile_address, words);
        Stepped word1{first.word1, 0};
        Stepped payload{first_payload, 0};
        if (run.chunks > 1) {
          word1.step =
              header_at(run.host_offset + run.chunk_bytes, run.chunk_bytes).word1 - first.word1;
          payload.step =
              *host_send::words(run.tile_address + run.chunk_bytes, words) - first_payload;
        }
        for (std::uint32_t chunk = 0; chunk < run.chunks; ++chunk) {
          packet[0] = first.word0;
          packet[1] = word1.first;
          instruction[0] = header_send.first;
          instruction[1] = payload.first;
          packet += 2;
          instruction += 2;
          word1.first += word1.step;
          header_send.first += header_send.step;
          payload.first += payload.step;
        }
      });
  packet[0] = close->word0;
  packet[1] = close->word1;
  instruction[0] = close_delay;
  instruction[1] = *host_send::header(static_cast<std::uint32_t>(close_address));
  instruction[2] = HOST_TRANSFER_SYNC_INSTRUCTION;
  instruction[3] = RETURN_INSTRUCTION;
  return program;
}

}  // namespace meshweave::host_program
