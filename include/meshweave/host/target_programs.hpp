#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "meshweave/host/transfer_planner.hpp"
#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/instruction_words/error.hpp"
#include "meshweave/instruction_words/refusal.hpp"
#include "meshweave/instruction_words/scalar_encoders.hpp"

namespace meshweave {

// SYNC with operand 0: waits for the host transfer before the program returns.
inline constexpr std::uint32_t HOST_TRANSFER_SYNC_INSTRUCTION = sync_word::word(0);
static_assert(HOST_TRANSFER_SYNC_INSTRUCTION == 0x41800000u);

// A host program and the words the caller places in tile memory beside it:
// packet_words[k] at byte address packet_address + 4k. Used for both directions
// and for the request programs.
struct TileToHostProgram {
  std::vector<std::uint32_t> instructions;
  std::vector<std::uint32_t> packet_words;

  friend bool operator==(const TileToHostProgram&, const TileToHostProgram&) = default;
};

// Target program of a host-to-tile transfer: all chunk headers go out as one
// stream, and only the last header keeps HOST_TO_TILE_STREAM_END_BITS. The
// planner runs before `packet_address` (a multiple of 8) is checked.
Result<TileToHostProgram> assemble_host_to_tile_target_program(std::uint16_t physical_tile,
                                                               std::uint32_t tile_address,
                                                               std::uint32_t host_offset,
                                                               std::uint32_t bytes,
                                                               std::uint32_t packet_address);

// Target program of a tile-to-host transfer: each chunk's header then its
// payload, a one-cycle DELAY, and a closing zero-byte read header (dummy tile
// address `command_address`) placed right after the chunk headers.
Result<TileToHostProgram> assemble_tile_to_host_target_program(
    std::uint16_t physical_tile, std::uint32_t tile_address, std::uint32_t host_offset,
    std::uint32_t bytes, std::uint32_t packet_address, std::uint32_t command_address);

// The instructions of a tile-to-host target program for `chunks`, whose headers
// lie from `packet_address` and whose closing header lies at `close_address`
// (both multiples of 8). A chunk that is not a whole number of words (at least
// one) at a word-aligned tile address fails with HostPacket when its payload is
// reached.
Result<std::vector<std::uint32_t>> tile_to_host_target_instructions(
    std::span<const HostTransferChunk> chunks, std::uint32_t packet_address,
    std::uint32_t close_address);

// The assemblers with the reason of a refusal.
namespace explained {
Explained<TileToHostProgram> assemble_host_to_tile_target_program(std::uint16_t physical_tile,
                                                                  std::uint32_t tile_address,
                                                                  std::uint32_t host_offset,
                                                                  std::uint32_t bytes,
                                                                  std::uint32_t packet_address);
Explained<TileToHostProgram> assemble_tile_to_host_target_program(
    std::uint16_t physical_tile, std::uint32_t tile_address, std::uint32_t host_offset,
    std::uint32_t bytes, std::uint32_t packet_address, std::uint32_t command_address);
Explained<std::vector<std::uint32_t>> tile_to_host_target_instructions(
    std::span<const HostTransferChunk> chunks, std::uint32_t packet_address,
    std::uint32_t close_address);
}  // namespace explained

}  // namespace meshweave
