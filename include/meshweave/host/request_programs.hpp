#pragma once

#include <cstdint>
#include <span>

#include "meshweave/host/target_programs.hpp"
#include "meshweave/instruction_words/bit_field.hpp"
#include "meshweave/instruction_words/error.hpp"
#include "meshweave/instruction_words/refusal.hpp"

namespace meshweave {

// The xreq packet names target tiles by endpoint index: bits 0..23 of word 0
// hold indices 0..23, bits 0..31 of word 1 indices 24..55.
namespace xreq_packet {
using Row = BitField<6, 10>;     // physical row of the tile
using LaneBit = BitField<1, 1>;  // tile bit 1
inline constexpr std::uint32_t word0_endpoints = 24;
inline constexpr std::uint32_t endpoints = 56;
}  // namespace xreq_packet

// Twice the tile's physical row plus tile bit 1: the tile bits that its xreq tile
// (and mux number) drop. Indices of the M1472 card run from 0 to 45.
constexpr std::uint32_t bitmap_index(std::uint16_t physical_tile) noexcept {
  return 2 * xreq_packet::Row::get(physical_tile) + xreq_packet::LaneBit::get(physical_tile);
}

static_assert(bitmap_index(260) == 8 && bitmap_index(1471) == 45 && bitmap_index(1792) == 56);

// Xreq program for one target: a SEND of the two-word xreq packet placed at
// `packet_address` (a multiple of 8), then the return.
Result<TileToHostProgram> assemble_host_xreq_program(std::uint16_t target_physical_tile,
                                                     std::uint32_t packet_address);

// Xreq program naming every tile of `target_physical_tiles` in one packet. Each
// target is checked in list order: the tile itself, then its endpoint index,
// which must be below 56 to have a bit in the packet.
Result<TileToHostProgram> assemble_host_xreq_program_for_targets(
    std::span<const std::uint16_t> target_physical_tiles, std::uint32_t packet_address);

// A complete local host operation for physical tile 0 that brings 4 bytes from
// host memory at `host_offset` to `destination_address`, then opens an exchange
// row and SENDs that word. Packet words: tile 0's xreq packet at `packet_address`,
// the request header at `packet_address` + 8.
Result<TileToHostProgram> assemble_host_command_read_program(std::uint32_t packet_address,
                                                             std::uint32_t destination_address,
                                                             std::uint32_t host_offset);

// The request programs with the reason of a refusal.
namespace explained {
Explained<TileToHostProgram> assemble_host_xreq_program_for_targets(
    std::span<const std::uint16_t> target_physical_tiles, std::uint32_t packet_address);
Explained<TileToHostProgram> assemble_host_command_read_program(std::uint32_t packet_address,
                                                                std::uint32_t destination_address,
                                                                std::uint32_t host_offset);
}  // namespace explained

}  // namespace meshweave
