#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "host/host_test_support.hpp"
#include "meshweave/host.hpp"

namespace meshweave {
namespace {

using detail::host_transfer::chunk_count;

using host_test::draw;
using host_test::error_of;
using host_test::host_packet_error;
using Chunks = std::vector<HostTransferChunk>;

std::vector<std::uint32_t> chunk_lengths(const Chunks& chunks) {
  std::vector<std::uint32_t> lengths;
  for (const HostTransferChunk& chunk : chunks) lengths.push_back(chunk.bytes);
  return lengths;
}

// Everything a caller relies on in a plan: it starts where asked, is contiguous
// on both sides, sums to the request, stays inside host pages, and every chunk
// is a valid packet of at most `long_max` bytes carrying its own header.
template <class Builder>
::testing::AssertionResult plan_holds(const Chunks& chunks, std::uint32_t tile_address,
                                      std::uint32_t host_offset, std::uint32_t bytes,
                                      std::uint32_t long_max, Builder header_of) {
  std::uint64_t tile = tile_address, host = host_offset, total = 0;
  for (const HostTransferChunk& c : chunks) {
    if (c.tile_address != tile || c.host_offset != host) {
      return ::testing::AssertionFailure() << "gap before chunk at host " << c.host_offset;
    }
    if (c.host_offset / HOST_PAGE_BYTES != (c.host_offset + c.bytes - 1) / HOST_PAGE_BYTES) {
      return ::testing::AssertionFailure()
             << "chunk at host " << c.host_offset << " crosses a page";
    }
    if (!host_packet_size(c.host_offset, c.bytes) || c.bytes > long_max) {
      return ::testing::AssertionFailure() << "chunk of " << c.bytes << " is no valid packet";
    }
    if (header_of(c) != c.header) {
      return ::testing::AssertionFailure() << "wrong header at host " << c.host_offset;
    }
    tile += c.bytes, host += c.bytes, total += c.bytes;
  }
  if (total != bytes) return ::testing::AssertionFailure() << "lengths sum to " << total;
  return ::testing::AssertionSuccess();
}

TEST(HostTransferPlanner, SplitsAsDocumented) {
  const struct {
    const char* call;
    Result<Chunks> got;
    std::vector<std::uint32_t> lengths;
  } cases[] = {
      {"h2t(1409, 0x50000, 4, 100)", plan_host_to_tile(1409, 0x50000, 4, 100), {32, 32, 36}},
      {"t2h(0, 0x60000, 64, 4096)",
       plan_tile_to_host(0, 0x60000, 64, 4096),
       {256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 192, 64}},
      {"t2h(2, 0x52000, 64, 2048)", plan_tile_to_host(2, 0x52000, 64, 2048),
       std::vector<std::uint32_t>(8, 256)},
      {"t2h(0, 0x60000, 4068, 400)", plan_tile_to_host(0, 0x60000, 4068, 400), {28, 256, 64, 52}},
      {"h2t(63, 0x50000, 64, 4096)",
       plan_host_to_tile(63, 0x50000, 64, 4096),
       {1024, 1024, 1024, 960, 64}},
      {"h2t(0, 0x50000, 96, 1200)", plan_host_to_tile(0, 0x50000, 96, 1200), {32, 1024, 128, 16}},
      {"h2t(0, 0x50000, 0, 1096)", plan_host_to_tile(0, 0x50000, 0, 1096), {1024, 64, 8}},
      {"h2t(0, 0x50000, 4064, 128)", plan_host_to_tile(0, 0x50000, 4064, 128), {32, 64, 32}},
      {"h2t(0, 0x50000, 4068, 28)", plan_host_to_tile(0, 0x50000, 4068, 28), {28}},
      {"h2t(0, 0x53fc0, 0, 64)", plan_host_to_tile(0, 0x53fc0, 0, 64), {64}},
      {"t2h(0, 0, 0xfffffe00, 256)", plan_tile_to_host(0, 0, 0xfffffe00, 256), {256}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    ASSERT_TRUE(c.got.has_value());
    EXPECT_EQ(chunk_lengths(*c.got), c.lengths);
  }
}

TEST(HostTransferPlanner, ChunksCarryTheirOwnHeaders) {
  const Chunks h2t = plan_host_to_tile(1409, 0x50000, 4, 100).value();
  EXPECT_EQ(h2t, (Chunks{{0x50000, 4, 32, {0xcec08200, 0x80000018}},
                         {0x50020, 36, 32, {0xcec08201, 0x80000098}},
                         {0x50040, 68, 36, {0xcec08202, 0x80000119}}}));
  EXPECT_EQ(plan_host_to_tile(63, 0x50000, 64, 4096)->front().header,
            (HostPacketHeader{0xec1f8200, 0x80000010}));
  EXPECT_EQ(plan_host_to_tile(0, 0x50000, 0, 1096)->front().header.word1, 0u);

  // Host offset 4 never reaches the 64-byte grid before the end of the transfer.
  const Chunks t2h = plan_tile_to_host(2, 0x60004, 4, 2200).value();
  ASSERT_EQ(t2h.size(), 68u);
  EXPECT_EQ(t2h[66].bytes, 32u);
  EXPECT_EQ(t2h.back(), (HostTransferChunk{0x60004 + 2144, 2148, 56, {0x80010000, 0x0000219e}}));
  EXPECT_EQ(t2h.front().header, (HostPacketHeader{0x80010000, 0x00000018}));
}

TEST(HostTransferPlanner, RefusesWholeTransfers) {
  const struct {
    const char* call;
    Result<Chunks> got;
  } cases[] = {
      {"tile address off the 32-byte grid", plan_host_to_tile(0, 0x50004, 0, 4)},
      {"28 bytes to the page leave the tile grid", plan_host_to_tile(0, 0x50000, 4068, 32)},
      {"second chunk outside the window", plan_host_to_tile(0, 0x53fe0, 0, 2048)},
      {"host-to-tile tile 2048", plan_host_to_tile(2048, 0x50000, 0, 64)},
      {"host offset passes 32 bits after the last chunk", plan_tile_to_host(0, 0, 0xffffff00, 256)},
      {"tile address passes 32 bits", plan_tile_to_host(0, 0xffffff00, 0, 256)},
      {"zero bytes", plan_tile_to_host(0, 0x60000, 0, 0)},
      {"6 bytes", plan_tile_to_host(0, 0x60000, 0, 6)},
      {"tile address off the word grid", plan_tile_to_host(0, 0x60002, 0, 4)},
      {"host offset off the word grid", plan_tile_to_host(0, 0x60000, 2, 4)},
      {"tile 4096", plan_tile_to_host(4096, 0x60000, 0, 4)},
      {"Short chunk beyond the 27-bit host address", plan_tile_to_host(0, 0, 0x20000004, 64)},
  };
  for (const auto& c : cases) EXPECT_EQ(error_of(c.got), host_packet_error) << c.call;
}

TEST(HostTransferPlanner, RandomHostToTileTransfersHoldTheInvariants) {
  std::mt19937 random{1472};
  int planned = 0;
  for (int i = 0; i < 3000; ++i) {
    const auto tile = static_cast<std::uint16_t>(draw(random, 2048));
    const std::uint32_t tile_address = 0x50000 + 32 * draw(random, 512);
    // Mostly on the 32-byte grid, which is what lets a transfer cross a page.
    const std::uint32_t host_offset = (4 * draw(random, 0x100000)) & (i % 4 ? ~31u : ~0u);
    const std::uint32_t bytes = 4 * (1 + draw(random, (0x54000 - tile_address) / 4));
    const Result<Chunks> plan = plan_host_to_tile(tile, tile_address, host_offset, bytes);
    const std::uint32_t page_end = (host_offset / HOST_PAGE_BYTES + 1) * HOST_PAGE_BYTES;
    ASSERT_EQ(plan.has_value(), host_offset % 32 == 0 || host_offset + bytes <= page_end)
        << tile_address << " " << host_offset << " " << bytes;
    if (!plan) continue;
    ++planned;
    ASSERT_TRUE(plan_holds(
        *plan, tile_address, host_offset, bytes, HOST_TO_TILE_MAX_BYTES,
        [tile](const HostTransferChunk& c) {
          return host_to_tile_packet(tile, c.tile_address, c.host_offset, c.bytes).value();
        }));
    ASSERT_EQ(plan->size(), chunk_count(host_offset, bytes, HOST_TO_TILE_MAX_BYTES));
  }
  EXPECT_GT(planned, 2000);
}

TEST(HostTransferPlanner, RandomTileToHostTransfersHoldTheInvariants) {
  std::mt19937 random{4095};
  for (int i = 0; i < 3000; ++i) {
    const auto tile = static_cast<std::uint16_t>(draw(random, 4096));
    const std::uint32_t tile_address = 4 * draw(random, 0x40000);
    const std::uint32_t host_offset = 4 * draw(random, 0x4000000);
    const std::uint32_t bytes = 4 * (1 + draw(random, 5000));
    const Result<Chunks> plan = plan_tile_to_host(tile, tile_address, host_offset, bytes);
    ASSERT_TRUE(plan.has_value()) << tile_address << " " << host_offset << " " << bytes;
    ASSERT_TRUE(plan_holds(*plan, tile_address, host_offset, bytes, TILE_TO_HOST_MAX_BYTES,
                           [tile](const HostTransferChunk& c) {
                             return tile_to_host_packet(tile, c.host_offset, c.bytes).value();
                           }));
    ASSERT_EQ(plan->size(), chunk_count(host_offset, bytes, TILE_TO_HOST_MAX_BYTES));
  }
}

TEST(HostTransferPlanner, SharedRuleCountsAndOrdersEveryCut) {
  // With a builder that accepts anything, the cut count is known up front for
  // any input, including byte counts off the word grid and odd chunk limits.
  std::mt19937 random{7};
  const auto accept = [](std::uint32_t, std::uint32_t, std::uint32_t) -> Result<HostPacketHeader> {
    return HostPacketHeader{};
  };
  for (int i = 0; i < 3000; ++i) {
    const std::uint32_t host_offset = draw(random, 0x10000);
    const std::uint32_t bytes = 1 + draw(random, 20000);
    const std::uint32_t long_max = 64 + draw(random, 2000);
    const Result<Chunks> plan = plan_host_transfer(0, host_offset, bytes, long_max, accept);
    ASSERT_TRUE(plan.has_value());
    ASSERT_EQ(plan->size(), chunk_count(host_offset, bytes, long_max))
        << host_offset << " " << bytes << " " << long_max;
  }

  // The builder sees every chunk in order; its first error comes back unchanged.
  std::vector<std::uint32_t> seen;
  const auto fail_third = [&seen](std::uint32_t tile, std::uint32_t host,
                                  std::uint32_t count) -> Result<HostPacketHeader> {
    seen.push_back(tile);
    if (seen.size() == 3) return std::unexpected(ExchangeError::count(count));
    return HostPacketHeader{host, count};
  };
  EXPECT_EQ(error_of(plan_host_transfer(100, 0, 4096, 1024, fail_third)),
            ExchangeError::count(1024));
  EXPECT_EQ(seen, (std::vector<std::uint32_t>{100, 1124, 2148}));

  // The advance past the last chunk is checked too, after its header was built.
  seen.clear();
  EXPECT_EQ(error_of(plan_host_transfer(0xffffff00, 0, 256, 256, fail_third)), host_packet_error);
  EXPECT_EQ(error_of(plan_host_transfer(0, 0xffffff00, 256, 256, fail_third)), host_packet_error);
  EXPECT_EQ(seen.size(), 2u);
  // A limit below 64 could never cut a Long chunk; it is refused before any cut.
  EXPECT_EQ(error_of(plan_host_transfer(0, 0, 256, 63, fail_third)), host_packet_error);
  EXPECT_EQ(seen.size(), 2u);
}

}  // namespace
}  // namespace meshweave
