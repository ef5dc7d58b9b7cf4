#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>

#include "host/host_test_support.hpp"
#include "meshweave/host.hpp"

namespace meshweave {
namespace {

using host_test::error_of;
using host_test::host_packet_error;

struct HeaderCase {
  const char* call;
  Result<HostPacketHeader> got;
  HostPacketHeader want;
};

TEST(HostPacketHeaders, BuildTheDocumentedWords) {
  const HeaderCase cases[] = {
      {"t2h(0, 64, 64)", tile_to_host_packet(0, 64, 64), {0xa0000000, 0x00000011}},
      {"h2t(0, 0x50120, 64, 64)", host_to_tile_packet(0, 0x50120, 64, 64), {0xec000209, 0x11}},
      {"h2t(260, 0x50120, 64, 64)", host_to_tile_packet(260, 0x50120, 64, 64), {0xec820209, 0x11}},
      {"h2t(0, 0x50180, 4096, 4)", host_to_tile_packet(0, 0x50180, 4096, 4), {0xcc00020c, 0x4001}},
      {"zero(2, 0x50180)", zero_byte_read_packet(2, 0x50180), {0xcc01020c, 0}},
      {"zero(260, 0x50180)", zero_byte_read_packet(260, 0x50180), {0xcc82020c, 0}},
      {"t2h(1409, 64, 64)", tile_to_host_packet(1409, 64, 64), {0xa2c08000, 0x80000011}},
      {"t2h(260, 64, 64)", tile_to_host_packet(260, 64, 64), {0xa0820000, 0x11}},
      {"t2h(0, 4, 4)", tile_to_host_packet(0, 4, 4), {0x80000000, 0x11}},
      {"t2h(0, 0x400, 1024)", tile_to_host_packet(0, 0x400, 1024), {0xa0000000, 0x100}},
      {"t2h(0, 4, 60)", tile_to_host_packet(0, 4, 60), {0x80000000, 0x1f}},
      {"h2t(0, 0x53fe0, 0, 60)", host_to_tile_packet(0, 0x53fe0, 0, 60), {0xcc0003ff, 0x0f}},
      {"t2h(4095, 0, 1024)", tile_to_host_packet(4095, 0, 1024), {0xa7ff8000, 0x80000000}},
      {"t2h(0, 0x1ffffffc, 4)", tile_to_host_packet(0, 0x1ffffffc, 4), {0x80000000, 0x7ffffff1}},
      {"t2h(1, 0xffffffc0, 64)", tile_to_host_packet(1, 0xffffffc0, 64), {0xa0008000, 0xbffffff1}},
      // Tile-to-host headers keep the whole 12-bit tile, bit 11 included.
      {"t2h(2048, 64, 64)", tile_to_host_packet(2048, 64, 64), {0xa4000000, 0x11}},
      // The last tile whose host-to-tile header has room for it.
      {"h2t(2047, 0x50000, 0, 4)",
       host_to_tile_packet(2047, 0x50000, 0, 4),
       {0xcfff8200, 0x80000001}},
      {"zero(2047, 0x50000)", zero_byte_read_packet(2047, 0x50000), {0xcfff8200, 0x80000000}},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.call);
    ASSERT_TRUE(c.got.has_value());
    EXPECT_EQ(*c.got, c.want);
  }
}

TEST(HostPacketHeaders, RefuseWhatNoPacketCanCarry) {
  const struct {
    const char* call;
    Result<HostPacketHeader> got;
  } cases[] = {
      {"64 bytes need a 64-aligned host offset", tile_to_host_packet(0, 4, 64)},
      {"host offset off the 4-byte grid", tile_to_host_packet(0, 2, 4)},
      {"zero bytes", tile_to_host_packet(0, 0, 0)},
      {"more than 1024 bytes", tile_to_host_packet(0, 0, 1028)},
      {"byte count off the 4-byte grid", tile_to_host_packet(0, 0, 6)},
      {"tile address off the 32-byte grid", host_to_tile_packet(0, 0x50124, 0x40, 64)},
      {"tile address past the window", host_to_tile_packet(0, 0x54000, 0x40, 64)},
      {"tile address below the window", host_to_tile_packet(0, 0x4ffe0, 0x40, 64)},
      {"zero-byte read past the window", zero_byte_read_packet(0, 0x54000)},
      {"zero-byte read off the grid", zero_byte_read_packet(0, 0x50190)},
      {"tile beyond 12 bits", tile_to_host_packet(0x1000, 0, 4)},
      {"Short host address beyond 27 bits", tile_to_host_packet(0, 0x20000000, 4)},
      // Tile bit 11 would land on a stream-end bit and alias the tile 2048 lower.
      {"host-to-tile for tile 2048", host_to_tile_packet(2048, 0x50000, 0, 4)},
      {"host-to-tile for tile 4095", host_to_tile_packet(4095, 0x50000, 0, 4)},
      {"zero-byte read for tile 2048", zero_byte_read_packet(2048, 0x50000)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(error_of(c.got), host_packet_error) << c.call;
  }
}

TEST(HostPacketHeaders, SizeClassAndAddressLength) {
  EXPECT_EQ(host_packet_size(4, 4), HostPacketSize::Short);
  EXPECT_EQ(host_packet_size(64, 60), HostPacketSize::Short);
  EXPECT_EQ(host_packet_size(64, 64), HostPacketSize::Long);
  EXPECT_EQ(host_packet_size(0x400, 1024), HostPacketSize::Long);
  EXPECT_EQ(error_of(host_packet_size(32, 64)), host_packet_error);
  EXPECT_EQ(error_of(host_packet_size(0, 96)), host_packet_error);

  EXPECT_EQ(host_address_length(64, 64, HostPacketSize::Long), 0x11u);
  EXPECT_EQ(host_address_length(0, 1024, HostPacketSize::Long), 0u);
  EXPECT_EQ(host_address_length(0xffffffc0, 64, HostPacketSize::Long), 0x3ffffff1u);
  EXPECT_EQ(host_address_length(0x1ffffffc, 4, HostPacketSize::Short), 0x7ffffff1u);
  EXPECT_EQ(error_of(host_address_length(0x20000000, 4, HostPacketSize::Short)), host_packet_error);
  // A length the class cannot state would spill into the host address (Short,
  // 16 units) or read as a full Long packet (0 units); a misaligned offset would
  // lose its low bits.
  EXPECT_EQ(error_of(host_address_length(0, 64, HostPacketSize::Short)), host_packet_error);
  EXPECT_EQ(error_of(host_address_length(0, 32, HostPacketSize::Long)), host_packet_error);
  EXPECT_EQ(error_of(host_address_length(32, 64, HostPacketSize::Long)), host_packet_error);
}

TEST(HostPacketHeaders, MuxNumbers) {
  const std::uint32_t cases[][2] = {{116, 0x634}, {582, 0x604}, {1173, 0x615},
                                    {2, 0x600},   {63, 0x63d},  {4095, 0x63d}};
  for (const auto& [tile, mux] : cases) {
    EXPECT_EQ(host_mux_for_tile(static_cast<std::uint16_t>(tile)), mux) << tile;
  }
  EXPECT_EQ(error_of(host_mux_for_tile(4096)), host_packet_error);
  EXPECT_TRUE(validate_host_tile(4095));
  EXPECT_EQ(error_of(validate_host_tile(4096)), host_packet_error);
}

TEST(HostPacketHeaders, RouteWordsCarryTheTileAndItsLowBitTwice) {
  for (std::uint32_t tile = 0; tile <= 0xffff; ++tile) {
    const auto t = static_cast<std::uint16_t>(tile);
    ASSERT_EQ(host_route_word0(t), tile * 32768u) << tile;
    ASSERT_EQ(host_route_word1(t), (tile & 1u) << 31) << tile;
  }
}

TEST(HostPacketHeaders, RenderAsARecord) {
  const HostPacketHeader header{0xec820209, 17};
  EXPECT_EQ(to_string(header), "HostPacketHeader { word0: 3967943177, word1: 17 }");
  std::ostringstream out;
  out << header;
  EXPECT_EQ(out.str(), to_string(header));
}

}  // namespace
}  // namespace meshweave
