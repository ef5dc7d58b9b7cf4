#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "meshweave/host/packet_header.hpp"
#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/instruction_words/error.hpp"
#include "meshweave/instruction_words/refusal.hpp"
#include "meshweave/instruction_words/scalar_encoders.hpp"

namespace meshweave {

// Entry words of the host frames: SYNC with operand 7 (target side, and the first
// word of every epilogue) and with operand 15 (xreq side and combined frame).
inline constexpr std::uint32_t SYNC_ALL_INSTRUCTION = sync_word::word(7);
inline constexpr std::uint32_t SYNC_HOST_INSTRUCTION = sync_word::word(15);
static_assert(SYNC_ALL_INSTRUCTION == 0x41800007u && SYNC_HOST_INSTRUCTION == 0x4180000fu);

// The two tiles of a host operation: the one that sends the xreq packet and the
// one whose memory the transfer touches.
struct HostHierarchy {
  std::uint16_t xreq_physical_tile;
  std::uint16_t target_physical_tile;

  friend constexpr bool operator==(const HostHierarchy&, const HostHierarchy&) = default;
};

// The xreq tile keeps tile bits 0 and 2..5, exactly the bits of the mux number,
// so both tiles share one mux and the xreq tile is its own xreq tile.
namespace explained {
constexpr Explained<HostHierarchy> host_hierarchy(std::uint16_t target_physical_tile) noexcept {
  if (const ExplainedStatus valid = validate_host_tile(target_physical_tile); !valid) {
    return std::unexpected(valid.error());
  }
  return HostHierarchy{static_cast<std::uint16_t>(target_physical_tile & HOST_MUX_TILE_MASK),
                       target_physical_tile};
}
}  // namespace explained

constexpr Result<HostHierarchy> host_hierarchy(std::uint16_t target_physical_tile) noexcept {
  return without_reason(explained::host_hierarchy(target_physical_tile));
}

static_assert(host_hierarchy(260).value() == HostHierarchy{4, 260});

// `operation` (ending in RETURN_INSTRUCTION) between a prologue that loads the
// tile's mux number and executes `entry_sync`, and the epilogue. The operation
// is checked before the tile.
Result<std::vector<std::uint32_t>> wrap_host_operation(std::uint16_t physical_tile,
                                                       std::span<const std::uint32_t> operation,
                                                       std::uint32_t entry_sync);

// wrap_host_operation with SYNC_HOST_INSTRUCTION: the frame of the xreq tile.
Result<std::vector<std::uint32_t>> wrap_host_xreq_operation(
    std::uint16_t physical_tile, std::span<const std::uint32_t> operation);

// wrap_host_operation with SYNC_ALL_INSTRUCTION: the frame of the target tile.
Result<std::vector<std::uint32_t>> wrap_host_target_operation(
    std::uint16_t physical_tile, std::span<const std::uint32_t> operation);

// One program for a tile that sends its own xreq packet and runs the target
// operation: the xreq SEND from `xreq_packet_address` goes right after the
// operation's first two words (the length load and its register write).
Result<std::vector<std::uint32_t>> wrap_combined_host_operation(
    std::uint16_t physical_tile, std::span<const std::uint32_t> operation,
    std::uint32_t xreq_packet_address);

// The wrappers with the reason of a refusal.
namespace explained {
Explained<std::vector<std::uint32_t>> wrap_host_operation(std::uint16_t physical_tile,
                                                          std::span<const std::uint32_t> operation,
                                                          std::uint32_t entry_sync);
Explained<std::vector<std::uint32_t>> wrap_combined_host_operation(
    std::uint16_t physical_tile, std::span<const std::uint32_t> operation,
    std::uint32_t xreq_packet_address);
}  // namespace explained

// The epilogue without its return, for programs that go on after the host
// operation.
void append_local_host_completion(std::vector<std::uint32_t>& instructions);

}  // namespace meshweave
