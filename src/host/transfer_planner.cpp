#include "meshweave/host/transfer_planner.hpp"

#include <cstdint>
#include <vector>

#include "meshweave/host/packet_header.hpp"

namespace meshweave {

namespace {

constexpr std::uint32_t word_bytes = 4;

// The chunk loop would refuse these too (the tile on the first header, the
// addresses on the advance past the last chunk); refusing them here only spares
// allocating the list for a transfer that cannot succeed.
bool cannot_succeed(std::uint16_t physical_tile, std::uint32_t tile_address,
                    std::uint32_t host_offset, std::uint32_t bytes) noexcept {
  constexpr std::uint64_t address_end = std::uint64_t{1} << 32;
  return !validate_host_tile(physical_tile) || std::uint64_t{tile_address} + bytes >= address_end ||
         std::uint64_t{host_offset} + bytes >= address_end;
}

}  // namespace

Result<std::vector<HostTransferChunk>> plan_host_to_tile(std::uint16_t physical_tile,
                                                         std::uint32_t tile_address,
                                                         std::uint32_t host_offset,
                                                         std::uint32_t bytes) {
  if (bytes == 0 || bytes % word_bytes != 0 || tile_address % EXCHANGE_ADDRESS_GRANULE != 0 ||
      host_offset % word_bytes != 0) {
    return host_packet::fail();
  }
  // The last chunk (at most 1024 bytes) would start at or past the window's
  // end, where its header is refused.
  const bool leaves_window = std::uint64_t{tile_address} + bytes >=
                             std::uint64_t{HOST_EXCHANGE_WINDOW_END} + HOST_TO_TILE_MAX_BYTES;
  if (leaves_window || cannot_succeed(physical_tile, tile_address, host_offset, bytes)) {
    return host_packet::fail();
  }
  return plan_host_transfer(
      tile_address, host_offset, bytes, HOST_TO_TILE_MAX_BYTES,
      [physical_tile](std::uint32_t tile, std::uint32_t host, std::uint32_t count) {
        return host_to_tile_packet(physical_tile, tile, host, count);
      });
}

Result<std::vector<HostTransferChunk>> plan_tile_to_host(std::uint16_t physical_tile,
                                                         std::uint32_t tile_address,
                                                         std::uint32_t host_offset,
                                                         std::uint32_t bytes) {
  if (bytes == 0 || bytes % word_bytes != 0 || tile_address % word_bytes != 0 ||
      host_offset % word_bytes != 0) {
    return host_packet::fail();
  }
  if (cannot_succeed(physical_tile, tile_address, host_offset, bytes)) return host_packet::fail();
  // A tile-to-host header does not name the tile address.
  return plan_host_transfer(
      tile_address, host_offset, bytes, TILE_TO_HOST_MAX_BYTES,
      [physical_tile](std::uint32_t, std::uint32_t host, std::uint32_t count) {
        return tile_to_host_packet(physical_tile, host, count);
      });
}

}  // namespace meshweave
