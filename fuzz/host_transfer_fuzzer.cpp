// Host packet headers and the host transfer planner. Each header builder gives
// exactly the words of the header layout or fails with HostPacket; a plan either
// fails with HostPacket (or, for the shared splitter, its header builder's own
// error) or splits the transfer into chunks that are contiguous on both sides,
// add up to the request, stay inside one host page, fit a packet size class,
// carry the header their builder gives for exactly that chunk, and have the
// lengths of the splitting rule.
//
// Input: a shape byte (bit 0: addresses and sizes raw rather than aligned),
// physical tile (u16), tile address, host offset, byte count (u32 each), then
// for the shared splitter its largest chunk (u16) and the chunk whose header
// fails (u8).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <limits>
#include <vector>

#include "fuzz_check.hpp"
#include "fuzz_input.hpp"
#include "meshweave/host/packet_header.hpp"
#include "meshweave/host/transfer_planner.hpp"

namespace {

using namespace meshweave;
using fuzz::hex;

constexpr std::uint32_t page_bytes = 4096;
constexpr std::uint32_t window_begin = 0x50000;
constexpr std::uint32_t window_end = 0x54000;
constexpr std::uint32_t short_host_limit = 0x20000000;  // a Short header's 27-bit host address

bool is_short(std::uint32_t host_offset, std::uint32_t bytes) {
  return bytes >= 4 && bytes <= 60 && bytes % 4 == 0 && host_offset % 4 == 0;
}
bool is_long(std::uint32_t host_offset, std::uint32_t bytes) {
  return bytes >= 64 && bytes <= 1024 && bytes % 64 == 0 && host_offset % 64 == 0;
}

// word1 of both header kinds: tile bit 0, host address and length in units.
std::uint32_t address_length_word(std::uint16_t tile, std::uint32_t host_offset,
                                  std::uint32_t bytes) {
  const bool long_class = is_long(host_offset, bytes) && !is_short(host_offset, bytes);
  const unsigned shift = long_class ? 6 : 2;
  const std::uint32_t length = long_class && bytes == 1024 ? 0 : bytes >> shift;
  return (std::uint32_t{tile} & 1u) << 31 | (host_offset >> shift) << 4 | length;
}

bool header_fits(std::uint32_t host_offset, std::uint32_t bytes) {
  if (is_short(host_offset, bytes)) return host_offset < short_host_limit;
  return is_long(host_offset, bytes);
}

void expect_header(const char* builder, const Result<HostPacketHeader>& header, bool valid,
                   HostPacketHeader expected) {
  if (!valid) {
    FUZZ_CHECK(!header && header.error() == ExchangeError::host_packet(),
               builder << ": " << fuzz::outcome(header) << ", expected HostPacket");
    return;
  }
  FUZZ_CHECK(header && *header == expected, builder << ": " << fuzz::outcome(header) << " "
                                                    << (header ? to_string(*header) : std::string{})
                                                    << ", expected " << to_string(expected));
}

void check_headers(std::uint16_t tile, std::uint32_t tile_address, std::uint32_t host_offset,
                   std::uint32_t bytes) {
  const bool host_tile = tile <= 4095;
  // Host-to-tile word0 has room for tile bits 10..0 only; the library refuses the rest.
  const bool window_tile = tile < 2048;
  const bool in_window =
      tile_address >= window_begin && tile_address < window_end && tile_address % 32 == 0;
  const std::uint32_t exchange_address = (tile_address - window_begin) / 32;
  const bool long_class = is_long(host_offset, bytes) && !is_short(host_offset, bytes);
  const std::uint32_t route = std::uint32_t{tile} << 15;

  const Result<HostPacketSize> size = host_packet_size(host_offset, bytes);
  if (is_short(host_offset, bytes) || is_long(host_offset, bytes)) {
    FUZZ_CHECK(size && *size == (long_class ? HostPacketSize::Long : HostPacketSize::Short),
               "host_packet_size(" << host_offset << ", " << bytes << ")");
  } else {
    FUZZ_CHECK(!size && size.error() == ExchangeError::host_packet(),
               "host_packet_size(" << host_offset << ", " << bytes << ") accepted");
  }

  const std::uint32_t word1 = address_length_word(tile, host_offset, bytes);
  expect_header("tile_to_host_packet", tile_to_host_packet(tile, host_offset, bytes),
                host_tile && header_fits(host_offset, bytes),
                {(long_class ? 0xa0000000u : 0x80000000u) | route, word1});
  expect_header("host_to_tile_packet", host_to_tile_packet(tile, tile_address, host_offset, bytes),
                window_tile && in_window && header_fits(host_offset, bytes),
                {(long_class ? 0xec000200u : 0xcc000200u) | route | exchange_address, word1});
  expect_header("zero_byte_read_packet", zero_byte_read_packet(tile, tile_address),
                window_tile && in_window,
                {0xcc000200u | route | exchange_address, (std::uint32_t{tile} & 1u) << 31});

  FUZZ_CHECK(host_route_word0(tile) == std::uint32_t{tile} * 32768u &&
                 host_route_word1(tile) == (std::uint32_t{tile} & 1u) << 31,
             "routing words of tile " << tile);
  const Result<std::uint32_t> mux = host_mux_for_tile(tile);
  FUZZ_CHECK(host_tile ? mux && *mux == 0x600u + (tile & 0x3du)
                       : !mux && mux.error() == ExchangeError::host_packet(),
             "host_mux_for_tile(" << tile << "): " << fuzz::outcome(mux));
}

// The splitting rule, chunk by chunk, with `packet` building each header.
template <class Builder>
Result<std::vector<HostTransferChunk>> split(std::uint32_t tile_address, std::uint32_t host_offset,
                                             std::uint32_t bytes, std::uint32_t long_max,
                                             Builder packet) {
  std::vector<HostTransferChunk> chunks;
  constexpr std::uint64_t address_end = std::uint64_t{1} << 32;
  while (bytes != 0) {
    const std::uint32_t available = std::min(bytes, page_bytes - host_offset % page_bytes);
    std::uint32_t count = 32;
    if (host_offset % 64 == 0 && available >= 64) {
      count = std::min(available, long_max) / 64 * 64;
    } else if (available <= 60) {
      count = available;
    }
    const Result<HostPacketHeader> header = packet(tile_address, host_offset, count);
    if (!header) return std::unexpected(header.error());
    chunks.push_back({tile_address, host_offset, count, *header});
    if (std::uint64_t{tile_address} + count >= address_end ||
        std::uint64_t{host_offset} + count >= address_end) {
      return std::unexpected(ExchangeError::host_packet());
    }
    tile_address += count;
    host_offset += count;
    bytes -= count;
  }
  return chunks;
}

// The chunk properties that hold for every plan, whatever its header builder.
void check_chunks(const std::vector<HostTransferChunk>& chunks, std::uint32_t tile_address,
                  std::uint32_t host_offset, std::uint32_t bytes, std::uint32_t long_max) {
  std::uint64_t tile = tile_address;
  std::uint64_t host = host_offset;
  for (const HostTransferChunk& chunk : chunks) {
    FUZZ_CHECK(chunk.tile_address == tile && chunk.host_offset == host && chunk.bytes != 0 &&
                   chunk.bytes <= long_max,
               "chunk at " << hex(chunk.tile_address) << "/" << hex(chunk.host_offset) << " of "
                           << chunk.bytes << " bytes");
    FUZZ_CHECK(chunk.host_offset / page_bytes == (host + chunk.bytes - 1) / page_bytes,
               "chunk at host offset " << chunk.host_offset << " of " << chunk.bytes
                                       << " bytes crosses a page");
    tile += chunk.bytes;
    host += chunk.bytes;
  }
  FUZZ_CHECK(tile - tile_address == bytes,
             "chunks add up to " << tile - tile_address << " of " << bytes << " bytes");
}

void check_plan(const char* planner, const Result<std::vector<HostTransferChunk>>& plan,
                const Result<std::vector<HostTransferChunk>>& reference, std::uint32_t tile_address,
                std::uint32_t host_offset, std::uint32_t bytes, std::uint32_t long_max) {
  if (!reference) {
    FUZZ_CHECK(!plan && plan.error() == reference.error(),
               planner << "(" << hex(tile_address) << ", " << hex(host_offset) << ", " << bytes
                       << "): " << fuzz::outcome(plan) << ", expected " << reference.error());
    return;
  }
  FUZZ_CHECK(plan.has_value(), planner << "(" << hex(tile_address) << ", " << hex(host_offset)
                                       << ", " << bytes << "): " << plan.error());
  check_chunks(*plan, tile_address, host_offset, bytes, long_max);
  FUZZ_CHECK(*plan == *reference, planner << " split " << bytes << " bytes at " << hex(host_offset)
                                          << " into " << plan->size() << " chunks, expected "
                                          << reference->size());
}

void check_planners(std::uint16_t tile, std::uint32_t tile_address, std::uint32_t host_offset,
                    std::uint32_t bytes) {
  const bool words = bytes != 0 && bytes % 4 == 0 && host_offset % 4 == 0;

  const auto to_tile = [tile](std::uint32_t at, std::uint32_t host, std::uint32_t count) {
    return host_to_tile_packet(tile, at, host, count);
  };
  const auto reference_to_tile =
      words && tile_address % 32 == 0
          ? split(tile_address, host_offset, bytes, 1024, to_tile)
          : Result<std::vector<HostTransferChunk>>{std::unexpected(ExchangeError::host_packet())};
  const auto plan_to_tile = plan_host_to_tile(tile, tile_address, host_offset, bytes);
  check_plan("plan_host_to_tile", plan_to_tile, reference_to_tile, tile_address, host_offset, bytes,
             1024);

  const auto to_host = [tile](std::uint32_t, std::uint32_t host, std::uint32_t count) {
    return tile_to_host_packet(tile, host, count);
  };
  const auto reference_to_host =
      words && tile_address % 4 == 0
          ? split(tile_address, host_offset, bytes, 256, to_host)
          : Result<std::vector<HostTransferChunk>>{std::unexpected(ExchangeError::host_packet())};
  const auto plan_to_host = plan_tile_to_host(tile, tile_address, host_offset, bytes);
  check_plan("plan_tile_to_host", plan_to_host, reference_to_host, tile_address, host_offset, bytes,
             256);
}

// The shared splitter with a header builder of its own, which fails at chunk
// `fail_at`: its error must come back unchanged.
void check_splitter(std::uint32_t tile_address, std::uint32_t host_offset, std::uint32_t bytes,
                    std::uint32_t long_max, std::uint8_t fail_at) {
  std::uint32_t calls = 0;
  const auto packet = [&calls, fail_at](std::uint32_t at, std::uint32_t host,
                                        std::uint32_t count) -> Result<HostPacketHeader> {
    if (calls++ == fail_at) return std::unexpected(ExchangeError::count(fail_at));
    return HostPacketHeader{at, host ^ count};
  };
  const auto plan = plan_host_transfer(tile_address, host_offset, bytes, long_max, packet);
  calls = 0;
  const auto reference =
      long_max < 64
          ? Result<std::vector<HostTransferChunk>>{std::unexpected(ExchangeError::host_packet())}
          : split(tile_address, host_offset, bytes, long_max, packet);
  check_plan("plan_host_transfer", plan, reference, tile_address, host_offset, bytes, long_max);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input{data, size};
  const bool raw = (input.u8() & 1u) != 0;
  std::uint16_t tile = input.u16();
  std::uint32_t tile_address = input.u32();
  std::uint32_t host_offset = input.u32();
  // Long transfers only repeat what a few pages show, and cost a chunk each 32 bytes.
  std::uint32_t bytes = input.u32() & 0x3ffffu;
  if (!raw) {
    tile %= 4096;
    tile_address = window_begin + (tile_address % (window_end - window_begin)) / 32 * 32;
    host_offset &= ~3u;
    bytes = bytes / 4 * 4;
  }
  check_headers(tile, tile_address, host_offset, bytes & 0x7ffu);
  check_planners(tile, tile_address, host_offset, bytes);
  const std::uint32_t long_max = input.u16();
  const std::uint8_t fail_at = input.u8();
  check_splitter(tile_address, host_offset, bytes & 0xffffu, long_max, fail_at);
  return 0;
}
