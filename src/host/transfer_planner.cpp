#include "meshweave/host/transfer_planner.hpp"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "chunk_runs.hpp"
#include "host_sends.hpp"
#include "meshweave/host/packet_header.hpp"

namespace meshweave {

namespace {

using host_send::word_bytes;

// Entry checks of both directions, before any chunk is cut.
ExplainedStatus check_words(std::uint32_t bytes) noexcept {
  if (bytes == 0) return host_packet::refuse(Reason::zero_bytes, RefusedArgument::bytes, bytes);
  if (bytes % word_bytes != 0) {
    return host_packet::refuse(Reason::bytes_not_words, RefusedArgument::bytes, bytes);
  }
  return {};
}

ExplainedStatus check_host_offset(std::uint32_t host_offset) noexcept {
  if (host_offset % word_bytes != 0) {
    return host_packet::refuse(Reason::host_offset_not_words, RefusedArgument::host_offset,
                               host_offset);
  }
  return {};
}

// The chunk loop would refuse these too (the tile on the first header, the
// addresses on the advance past the last chunk); refusing them here only spares
// allocating the list for a transfer that cannot succeed.
ExplainedStatus check_cannot_succeed(std::uint16_t physical_tile, std::uint32_t tile_address,
                                     std::uint32_t host_offset, std::uint32_t bytes) noexcept {
  if (const ExplainedStatus valid = explained::validate_host_tile(physical_tile); !valid) {
    return valid;
  }
  constexpr std::uint64_t address_end = std::uint64_t{1} << 32;
  if (std::uint64_t{tile_address} + bytes >= address_end) {
    return host_packet::refuse(Reason::transfer_passes_address_space, RefusedArgument::tile_address,
                               tile_address, bytes);
  }
  if (std::uint64_t{host_offset} + bytes >= address_end) {
    return host_packet::refuse(Reason::transfer_passes_address_space, RefusedArgument::host_offset,
                               host_offset, bytes);
  }
  return {};
}

// The tile-to-host chunk list when no header can be refused, run by run
// (chunk_runs.hpp): within a run only word1's host address grows, by the same
// amount per chunk.
std::vector<HostTransferChunk> tile_to_host_chunks_in_runs(std::uint16_t physical_tile,
                                                           std::uint32_t tile_address,
                                                           std::uint32_t host_offset,
                                                           std::uint32_t bytes) {
  std::vector<HostTransferChunk> chunks;
  chunks.reserve(static_cast<std::size_t>(
      detail::host_transfer::chunk_count(host_offset, bytes, TILE_TO_HOST_MAX_BYTES)));
  const auto header_at = [physical_tile](std::uint32_t host, std::uint32_t length) {
    return *explained::tile_to_host_packet(physical_tile, host, length);
  };
  detail::host_transfer::for_each_chunk_run(
      tile_address, host_offset, bytes, TILE_TO_HOST_MAX_BYTES,
      [&](const detail::host_transfer::ChunkRun& run) {
        HostPacketHeader header = header_at(run.host_offset, run.chunk_bytes);
        const std::uint32_t step =
            run.chunks > 1
                ? header_at(run.host_offset + run.chunk_bytes, run.chunk_bytes).word1 - header.word1
                : 0;
        std::uint32_t tile = run.tile_address;
        std::uint32_t host = run.host_offset;
        for (std::uint32_t chunk = 0; chunk < run.chunks; ++chunk) {
          chunks.push_back(HostTransferChunk{tile, host, run.chunk_bytes, header});
          tile += run.chunk_bytes;
          host += run.chunk_bytes;
          header.word1 += step;
        }
      });
  return chunks;
}

}  // namespace

namespace explained {

Explained<std::vector<HostTransferChunk>> plan_host_to_tile(std::uint16_t physical_tile,
                                                            std::uint32_t tile_address,
                                                            std::uint32_t host_offset,
                                                            std::uint32_t bytes) {
  if (const ExplainedStatus words = check_words(bytes); !words) {
    return std::unexpected(words.error());
  }
  if (tile_address % EXCHANGE_ADDRESS_GRANULE != 0) {
    return host_packet::refuse(Reason::off_exchange_granule, RefusedArgument::tile_address,
                               tile_address);
  }
  if (const ExplainedStatus offset = check_host_offset(host_offset); !offset) {
    return std::unexpected(offset.error());
  }
  // The last chunk (at most 1024 bytes) would start at or past the window's
  // end, where its header is refused.
  if (std::uint64_t{tile_address} + bytes >=
      std::uint64_t{HOST_EXCHANGE_WINDOW_END} + HOST_TO_TILE_MAX_BYTES) {
    return host_packet::refuse(Reason::transfer_leaves_window, RefusedArgument::tile_address,
                               tile_address, bytes);
  }
  if (const ExplainedStatus possible =
          check_cannot_succeed(physical_tile, tile_address, host_offset, bytes);
      !possible) {
    return std::unexpected(possible.error());
  }
  return explained::plan_host_transfer(
      tile_address, host_offset, bytes, HOST_TO_TILE_MAX_BYTES,
      [physical_tile](std::uint32_t tile, std::uint32_t host, std::uint32_t count) {
        return explained::host_to_tile_packet(physical_tile, tile, host, count);
      });
}

Explained<std::vector<HostTransferChunk>> plan_tile_to_host(std::uint16_t physical_tile,
                                                            std::uint32_t tile_address,
                                                            std::uint32_t host_offset,
                                                            std::uint32_t bytes) {
  if (const ExplainedStatus words = check_words(bytes); !words) {
    return std::unexpected(words.error());
  }
  if (tile_address % word_bytes != 0) {
    return host_packet::refuse(Reason::tile_address_not_words, RefusedArgument::tile_address,
                               tile_address);
  }
  if (const ExplainedStatus offset = check_host_offset(host_offset); !offset) {
    return std::unexpected(offset.error());
  }
  if (const ExplainedStatus possible =
          check_cannot_succeed(physical_tile, tile_address, host_offset, bytes);
      !possible) {
    return std::unexpected(possible.error());
  }
  if (std::uint64_t{host_offset} + bytes <= detail::host_transfer::short_host_offset_end) {
    return tile_to_host_chunks_in_runs(physical_tile, tile_address, host_offset, bytes);
  }
  // A tile-to-host header does not name the tile address.
  return explained::plan_host_transfer(
      tile_address, host_offset, bytes, TILE_TO_HOST_MAX_BYTES,
      [physical_tile](std::uint32_t, std::uint32_t host, std::uint32_t count) {
        return explained::tile_to_host_packet(physical_tile, host, count);
      });
}

}  // namespace explained

Result<std::vector<HostTransferChunk>> plan_host_to_tile(std::uint16_t physical_tile,
                                                         std::uint32_t tile_address,
                                                         std::uint32_t host_offset,
                                                         std::uint32_t bytes) {
  return without_reason(
      explained::plan_host_to_tile(physical_tile, tile_address, host_offset, bytes));
}

Result<std::vector<HostTransferChunk>> plan_tile_to_host(std::uint16_t physical_tile,
                                                         std::uint32_t tile_address,
                                                         std::uint32_t host_offset,
                                                         std::uint32_t bytes) {
  return without_reason(
      explained::plan_tile_to_host(physical_tile, tile_address, host_offset, bytes));
}

}  // namespace meshweave
