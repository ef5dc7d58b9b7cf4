#pragma once

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <limits>
#include <type_traits>
#include <utility>
#include <vector>

#include "meshweave/host/packet_header.hpp"
#include "meshweave/instruction_words/error.hpp"
#include "meshweave/instruction_words/refusal.hpp"

namespace meshweave {

// One packet of a host transfer: where its bytes start on both sides, how many
// there are, and the header built for exactly those.
struct HostTransferChunk {
  std::uint32_t tile_address;
  std::uint32_t host_offset;
  std::uint32_t bytes;
  HostPacketHeader header;

  friend constexpr bool operator==(const HostTransferChunk&, const HostTransferChunk&) = default;
};

// No chunk crosses a host page.
inline constexpr std::uint32_t HOST_PAGE_BYTES = 4096;
// Largest chunk of each direction.
inline constexpr std::uint32_t HOST_TO_TILE_MAX_BYTES = 1024;
inline constexpr std::uint32_t TILE_TO_HOST_MAX_BYTES = 256;

// How plan_host_transfer cuts a transfer into chunks. Not part of the API: the
// template below needs it in the header.
namespace detail::host_transfer {
// Long packets start on their own size grid; Short ones carry what is left.
inline constexpr std::uint32_t long_alignment = host_packet::long_unit_bytes;
inline constexpr std::uint32_t short_max_bytes = host_packet::short_max_bytes;
// Chunk length while the host offset is off the 64-byte grid.
inline constexpr std::uint32_t unaligned_step = 32;

// Length of the next chunk at `host_offset` with `remaining` bytes to go.
constexpr std::uint32_t chunk_length(std::uint32_t host_offset, std::uint32_t remaining,
                                     std::uint32_t long_max_bytes) noexcept {
  const std::uint32_t page_bytes = HOST_PAGE_BYTES - host_offset % HOST_PAGE_BYTES;
  const std::uint32_t available = std::min(remaining, page_bytes);
  if (host_offset % long_alignment == 0 && available >= long_alignment) {
    const std::uint32_t longest = std::min(available, long_max_bytes);
    return longest - longest % long_alignment;
  }
  if (available <= short_max_bytes) return available;
  return unaligned_step;
}

// Chunks that chunk_length cuts from `length` bytes starting on the 64-byte
// grid inside one page: full Long chunks, at most one shorter Long chunk, then
// the tail below 64 bytes (two chunks when it is 61 to 63 bytes, one 32-byte
// step and the rest).
constexpr std::uint64_t aligned_run_chunks(std::uint64_t length,
                                           std::uint64_t long_bytes) noexcept {
  const std::uint64_t rest = length % long_bytes;
  const std::uint64_t tail = rest % long_alignment;
  const std::uint64_t tail_chunks = tail == 0 ? 0 : tail <= short_max_bytes ? 1 : 2;
  return length / long_bytes + (rest >= long_alignment ? 1 : 0) + tail_chunks;
}

// Chunks cut from `length` bytes starting at `host_offset`, all inside one page.
constexpr std::uint64_t page_run_chunks(std::uint32_t host_offset, std::uint64_t length,
                                        std::uint64_t long_bytes) noexcept {
  const std::uint32_t misalignment = host_offset % long_alignment;
  if (length == 0) return 0;
  if (misalignment == 0) return aligned_run_chunks(length, long_bytes);
  if (length <= short_max_bytes) return 1;
  // One step reaches the grid; from any other misalignment 32-byte steps never do.
  if (misalignment == unaligned_step) {
    return 1 + aligned_run_chunks(length - unaligned_step, long_bytes);
  }
  return (length - short_max_bytes + unaligned_step - 1) / unaligned_step + 1;
}

// Exactly the number of chunks plan_host_transfer cuts (whether or not their
// headers can be built), in constant time, so the list is allocated once.
// `long_max_bytes` must be at least 64.
constexpr std::uint64_t chunk_count(std::uint32_t host_offset, std::uint32_t bytes,
                                    std::uint32_t long_max_bytes) noexcept {
  const std::uint64_t long_bytes = long_max_bytes - long_max_bytes % long_alignment;
  const std::uint64_t end = std::uint64_t{host_offset} + bytes;
  const std::uint64_t next_page =
      (std::uint64_t{host_offset} / HOST_PAGE_BYTES + 1) * HOST_PAGE_BYTES;
  const std::uint64_t first_end = std::min(end, next_page);
  const std::uint64_t after_first = end - first_end;
  return page_run_chunks(host_offset, first_end - host_offset, long_bytes) +
         after_first / HOST_PAGE_BYTES * aligned_run_chunks(HOST_PAGE_BYTES, long_bytes) +
         aligned_run_chunks(after_first % HOST_PAGE_BYTES, long_bytes);
}

static_assert(chunk_count(4, 2200, TILE_TO_HOST_MAX_BYTES) == 68);
static_assert(chunk_count(64, 4096, HOST_TO_TILE_MAX_BYTES) == 5);
}  // namespace detail::host_transfer

template <class Builder>
concept HostPacketHeaderBuilder =
    std::is_invocable_r_v<Result<HostPacketHeader>, Builder&, std::uint32_t, std::uint32_t,
                          std::uint32_t>;

// A builder that gives the reasons of its refusals.
template <class Builder>
concept ExplainedHostPacketHeaderBuilder =
    std::is_invocable_v<Builder&, std::uint32_t, std::uint32_t, std::uint32_t> &&
    std::same_as<std::invoke_result_t<Builder&, std::uint32_t, std::uint32_t, std::uint32_t>,
                 Explained<HostPacketHeader>>;

namespace explained {

// plan_host_transfer with a header builder that gives its reasons: its refusal
// is returned unchanged.
template <ExplainedHostPacketHeaderBuilder Builder>
Explained<std::vector<HostTransferChunk>> plan_host_transfer(std::uint32_t tile_address,
                                                             std::uint32_t host_offset,
                                                             std::uint32_t bytes,
                                                             std::uint32_t long_max_bytes,
                                                             Builder&& packet) {
  namespace cut = detail::host_transfer;
  if (long_max_bytes < cut::long_alignment) {
    return host_packet::refuse(Reason::chunk_limit_too_small, RefusedArgument::chunk_limit,
                               long_max_bytes);
  }
  std::vector<HostTransferChunk> chunks;
  chunks.reserve(static_cast<std::size_t>(cut::chunk_count(host_offset, bytes, long_max_bytes)));
  constexpr std::uint32_t address_max = std::numeric_limits<std::uint32_t>::max();
  while (bytes != 0) {
    const std::uint32_t count = cut::chunk_length(host_offset, bytes, long_max_bytes);
    const Explained<HostPacketHeader> header =
        std::invoke(packet, tile_address, host_offset, count);
    if (!header) return std::unexpected(header.error());
    chunks.push_back(HostTransferChunk{tile_address, host_offset, count, *header});
    if (count > address_max - tile_address) {
      return host_packet::refuse(Reason::transfer_passes_address_space,
                                 RefusedArgument::tile_address, tile_address, count);
    }
    if (count > address_max - host_offset) {
      return host_packet::refuse(Reason::transfer_passes_address_space,
                                 RefusedArgument::host_offset, host_offset, count);
    }
    tile_address += count;
    host_offset += count;
    bytes -= count;
  }
  return chunks;
}

// A builder of plain results: its errors come without a reason of their own,
// so the refusal names the chunk it refused.
template <HostPacketHeaderBuilder Builder>
  requires(!ExplainedHostPacketHeaderBuilder<Builder>)
Explained<std::vector<HostTransferChunk>> plan_host_transfer(std::uint32_t tile_address,
                                                             std::uint32_t host_offset,
                                                             std::uint32_t bytes,
                                                             std::uint32_t long_max_bytes,
                                                             Builder&& packet) {
  return explained::plan_host_transfer(
      tile_address, host_offset, bytes, long_max_bytes,
      [&packet](std::uint32_t tile, std::uint32_t host,
                std::uint32_t count) -> Explained<HostPacketHeader> {
        const Result<HostPacketHeader> header = std::invoke(packet, tile, host, count);
        if (!header) {
          return refuse(header.error(), Reason::header_builder_refused, RefusedArgument::chunk,
                        tile, host);
        }
        return *header;
      });
}

}  // namespace explained

// Splits a transfer into chunks of at most `long_max_bytes` (rounded down to a
// multiple of 64) that respect host pages and the packet size classes, calling
// `packet`(tile, host, count) for each chunk's header. Returns the first error
// of `packet`, or HostPacket when an address would pass 32 bits (checked after
// every chunk, the last included) or when `long_max_bytes` is below 64 (no Long
// chunk could be cut and the split would stall). Never a partial list.
template <HostPacketHeaderBuilder Builder>
Result<std::vector<HostTransferChunk>> plan_host_transfer(std::uint32_t tile_address,
                                                          std::uint32_t host_offset,
                                                          std::uint32_t bytes,
                                                          std::uint32_t long_max_bytes,
                                                          Builder&& packet) {
  return without_reason(explained::plan_host_transfer(
      tile_address, host_offset, bytes, long_max_bytes, std::forward<Builder>(packet)));
}

// Host memory into the host exchange window of `physical_tile`, in chunks of
// up to 1024 bytes.
Result<std::vector<HostTransferChunk>> plan_host_to_tile(std::uint16_t physical_tile,
                                                         std::uint32_t tile_address,
                                                         std::uint32_t host_offset,
                                                         std::uint32_t bytes);

// Tile memory of `physical_tile` out to host memory, in chunks of up to 256 bytes.
Result<std::vector<HostTransferChunk>> plan_tile_to_host(std::uint16_t physical_tile,
                                                         std::uint32_t tile_address,
                                                         std::uint32_t host_offset,
                                                         std::uint32_t bytes);

namespace explained {
Explained<std::vector<HostTransferChunk>> plan_host_to_tile(std::uint16_t physical_tile,
                                                            std::uint32_t tile_address,
                                                            std::uint32_t host_offset,
                                                            std::uint32_t bytes);
Explained<std::vector<HostTransferChunk>> plan_tile_to_host(std::uint16_t physical_tile,
                                                            std::uint32_t tile_address,
                                                            std::uint32_t host_offset,
                                                            std::uint32_t bytes);
}  // namespace explained

}  // namespace meshweave
