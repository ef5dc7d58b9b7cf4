#pragma once

#include <algorithm>
#include <cstdint>

#include "meshweave/host/packet_header.hpp"
#include "meshweave/host/transfer_planner.hpp"

namespace meshweave::detail::host_transfer {

// First host offset whose Short header address no longer fits word1: below it
// no tile-to-host header of a planned chunk can be refused.
inline constexpr std::uint64_t short_host_offset_end =
    ((std::uint64_t{host_packet_word1::AddressLength::max} >> host_packet_word1::HostAddress::low) +
     1)
    << host_packet::short_unit_shift;
static_assert(short_host_offset_end == 0x20000000u);

// Consecutive chunks of one length, each starting where the previous one ends.
// Their headers and SENDs differ only in address fields that grow by the same
// amount from chunk to chunk, so a whole run can be written from its first two
// chunks instead of one chunk at a time.
struct ChunkRun {
  std::uint32_t tile_address;
  std::uint32_t host_offset;
  std::uint32_t chunk_bytes;
  std::uint32_t chunks;
};

// Calls `visit`(ChunkRun) for the chunks plan_host_transfer cuts, in order.
// The caller makes sure no address passes 32 bits (tile_address + bytes and
// host_offset + bytes below 2^32) and that `long_max_bytes` is at least 64.
template <class Visit>
constexpr void for_each_chunk_run(std::uint32_t tile_address, std::uint32_t host_offset,
                                  std::uint32_t bytes, std::uint32_t long_max_bytes,
                                  Visit&& visit) {
  const std::uint32_t long_bytes = long_max_bytes - long_max_bytes % long_alignment;
  while (bytes != 0) {
    const std::uint32_t length = chunk_length(host_offset, bytes, long_max_bytes);
    std::uint32_t chunks = 1;
    if (length == long_bytes) {
      // A full Long chunk is followed by more as long as the page and the
      // transfer last: its end stays on the 64-byte grid. When chunks tile whole
      // pages, crossing a page changes nothing either.
      const std::uint32_t page_bytes = HOST_PAGE_BYTES - host_offset % HOST_PAGE_BYTES;
      const bool tiles_pages = HOST_PAGE_BYTES % length == 0 && host_offset % length == 0;
      chunks = (tiles_pages ? bytes : std::min(bytes, page_bytes)) / length;
    }
    visit(ChunkRun{tile_address, host_offset, length, chunks});
    const std::uint32_t run_bytes = chunks * length;
    tile_address += run_bytes;
    host_offset += run_bytes;
    bytes -= run_bytes;
  }
}

}  // namespace meshweave::detail::host_transfer
