#pragma once

#include <cstdint>
#include <expected>
#include <iosfwd>
#include <string>

#include "meshweave/instruction_words/bit_field.hpp"
#include "meshweave/instruction_words/error.hpp"
#include "meshweave/instruction_words/refusal.hpp"

namespace meshweave {

// The two words that open every host exchange packet.
struct HostPacketHeader {
  std::uint32_t word0;
  std::uint32_t word1;

  friend constexpr bool operator==(const HostPacketHeader&, const HostPacketHeader&) = default;
};

// HostPacketHeader { word0: N, word1: N }, numbers in decimal.
std::string to_string(const HostPacketHeader& header);
std::ostream& operator<<(std::ostream& out, const HostPacketHeader& header);

// Size class of a packet: Short moves 4..60 bytes in 4-byte units, Long moves
// 64..1024 bytes in 64-byte units.
enum class HostPacketSize : std::uint8_t {
  Short = 0,
  Long = 1,
};

// word0 base of each header kind and size class.
inline constexpr std::uint32_t HOST_TO_TILE_SHORT_OPCODE = 0xcc000200u;
inline constexpr std::uint32_t HOST_TO_TILE_LONG_OPCODE = 0xec000200u;
inline constexpr std::uint32_t TILE_TO_HOST_SHORT_OPCODE = 0x80000000u;
inline constexpr std::uint32_t TILE_TO_HOST_LONG_OPCODE = 0xa0000000u;

// Largest physical tile a host packet can name (12 bits).
inline constexpr std::uint16_t MAX_HOST_PACKET_TILE = 4095;

// Host exchange window of a tile: host-to-tile data lands in [BEGIN, END), and
// the header addresses it in 32-byte granules.
inline constexpr std::uint32_t HOST_EXCHANGE_WINDOW_BEGIN = 0x50000u;
inline constexpr std::uint32_t HOST_EXCHANGE_WINDOW_END = 0x54000u;
inline constexpr std::uint32_t EXCHANGE_ADDRESS_GRANULE = 32;

// Host mux number of a tile: BASE plus the tile bits kept by TILE_MASK.
inline constexpr std::uint32_t HOST_MUX_BASE = 0x600u;
inline constexpr std::uint32_t HOST_MUX_TILE_MASK = 0x3du;

// Header word layouts.
namespace host_packet_word0 {
// Tile-to-host: 31 1 | 30 0 | 29 size class | 28..27 0 | 26..15 tile | 14..0 0.
// Host-to-tile: 31..30 11 | 29 size class | 28 0 | 27..26 stream end | 25..15 tile
// bits 10..0 | 14..10 0 | 9 1 | 8..0 exchange address.
using SizeClass = BitField<29, 1>;
using StreamEnd = BitField<26, 2>;
using TileToHostTile = BitField<15, 12>;
using HostToTileTile = BitField<15, 11>;
using RouteLowBit = BitField<15, 1>;     // tile bit 0
using RouteHighBits = BitField<16, 15>;  // tile bits 1 and up
using ExchangeAddress = BitField<0, 9>;
}  // namespace host_packet_word0

namespace host_packet_word1 {
// 31 tile bit 0 | 30..4 host address in units | 3..0 length in units.
using TileLowBit = BitField<31, 1>;
using HostAddress = BitField<4, 27>;
using Length = BitField<0, 4>;
using AddressLength = BitField<0, 31>;
}  // namespace host_packet_word1

// Set in every host-to-tile word0 built here; a multi-packet stream keeps them
// only in its last header.
inline constexpr std::uint32_t HOST_TO_TILE_STREAM_END_BITS = host_packet_word0::StreamEnd::mask;
static_assert(HOST_TO_TILE_STREAM_END_BITS == 0x0c000000u);

namespace host_packet {
// Units of the two size classes, as byte counts and as shifts.
inline constexpr std::uint32_t short_unit_bytes = 4;
inline constexpr std::uint32_t short_unit_shift = 2;
inline constexpr std::uint32_t short_max_bytes = 60;
inline constexpr std::uint32_t long_unit_bytes = 64;
inline constexpr std::uint32_t long_unit_shift = 6;
inline constexpr std::uint32_t long_max_bytes = 1024;

constexpr std::unexpected<ExchangeError> fail() noexcept {
  return std::unexpected(ExchangeError::host_packet());
}

// Every refusal of the host operations is a HostPacket error with a reason.
constexpr std::unexpected<Refusal> refuse(Reason reason, RefusedArgument argument,
                                          std::uint32_t first = 0,
                                          std::uint32_t second = 0) noexcept {
  return meshweave::refuse(ExchangeError::host_packet(), reason, argument, first, second);
}

// Why `bytes` at `host_offset` is not a whole packet of class `size`, if it is not.
constexpr ExplainedStatus check_class(std::uint32_t host_offset, std::uint32_t bytes,
                                      HostPacketSize size) noexcept {
  if (size == HostPacketSize::Short) {
    if (bytes < short_unit_bytes || bytes > short_max_bytes || bytes % short_unit_bytes != 0 ||
        host_offset % short_unit_bytes != 0) {
      return refuse(Reason::not_short_packet, RefusedArgument::host_offset, host_offset, bytes);
    }
    return {};
  }
  if (bytes < long_unit_bytes || bytes > long_max_bytes || bytes % long_unit_bytes != 0 ||
      host_offset % long_unit_bytes != 0) {
    return refuse(Reason::not_long_packet, RefusedArgument::host_offset, host_offset, bytes);
  }
  return {};
}

// Granule of `tile_address` inside the host exchange window. Only the first
// byte is checked: a packet may run past the window's end.
constexpr Explained<std::uint32_t> exchange_address(
    std::uint32_t tile_address, RefusedArgument argument = RefusedArgument::tile_address) noexcept {
  if (tile_address < HOST_EXCHANGE_WINDOW_BEGIN || tile_address >= HOST_EXCHANGE_WINDOW_END) {
    return refuse(Reason::outside_host_window, argument, tile_address);
  }
  if (tile_address % EXCHANGE_ADDRESS_GRANULE != 0) {
    return refuse(Reason::off_exchange_granule, argument, tile_address);
  }
  return (tile_address - HOST_EXCHANGE_WINDOW_BEGIN) / EXCHANGE_ADDRESS_GRANULE;
}
}  // namespace host_packet

// The operations below, each with the refusal of the check that failed. The
// plain operations after them return the same values and only the error.
namespace explained {

constexpr ExplainedStatus validate_host_tile(std::uint16_t physical_tile) noexcept {
  if (physical_tile > MAX_HOST_PACKET_TILE) {
    return host_packet::refuse(Reason::host_tile_range, RefusedArgument::tile, physical_tile);
  }
  return {};
}

// Host-to-tile word0 holds tile bits 10..0 only; bit 11 would fall on a
// stream-end bit and the header would address the tile 2048 lower, so such
// tiles are refused rather than silently aliased.
constexpr ExplainedStatus validate_host_to_tile_tile(std::uint16_t physical_tile) noexcept {
  if (const ExplainedStatus valid = validate_host_tile(physical_tile); !valid) return valid;
  if (!host_packet_word0::HostToTileTile::fits(physical_tile)) {
    return host_packet::refuse(Reason::host_to_tile_tile_range, RefusedArgument::tile,
                               physical_tile);
  }
  return {};
}

constexpr Explained<std::uint32_t> host_mux_for_tile(std::uint16_t physical_tile) noexcept {
  if (const ExplainedStatus valid = validate_host_tile(physical_tile); !valid) {
    return std::unexpected(valid.error());
  }
  return HOST_MUX_BASE + (physical_tile & HOST_MUX_TILE_MASK);
}

// Short when it fits, else Long when it fits; the reason names the first rule
// that both classes break, so the checks run from the byte count alone to the
// host offset and from the word rules to the Long rules.
constexpr Explained<HostPacketSize> host_packet_size(std::uint32_t host_offset,
                                                     std::uint32_t bytes) noexcept {
  using host_packet::refuse;
  if (bytes == 0) return refuse(Reason::zero_bytes, RefusedArgument::bytes, bytes);
  if (bytes > host_packet::long_max_bytes) {
    return refuse(Reason::packet_too_long, RefusedArgument::bytes, bytes);
  }
  if (bytes % host_packet::short_unit_bytes != 0) {
    return refuse(Reason::bytes_not_words, RefusedArgument::bytes, bytes);
  }
  if (host_offset % host_packet::short_unit_bytes != 0) {
    return refuse(Reason::host_offset_not_words, RefusedArgument::host_offset, host_offset);
  }
  if (bytes <= host_packet::short_max_bytes) return HostPacketSize::Short;
  if (bytes % host_packet::long_unit_bytes != 0) {
    return refuse(Reason::long_bytes_not_units, RefusedArgument::bytes, bytes);
  }
  if (host_offset % host_packet::long_unit_bytes != 0) {
    return refuse(Reason::long_host_offset_not_units, RefusedArgument::host_offset, host_offset,
                  bytes);
  }
  return HostPacketSize::Long;
}

// word1 bits 30..0: host address and length, both in units of the class. A
// transfer that is not a whole packet of `size` is refused, since its length or
// address would not survive the shift into units; so is a host address beyond
// 27 bits (Short packets at host offsets of 0x20000000 and up).
constexpr Explained<std::uint32_t> host_address_length(std::uint32_t host_offset,
                                                       std::uint32_t bytes,
                                                       HostPacketSize size) noexcept {
  if (const ExplainedStatus fits = host_packet::check_class(host_offset, bytes, size); !fits) {
    return std::unexpected(fits.error());
  }
  const std::uint32_t shift =
      size == HostPacketSize::Long ? host_packet::long_unit_shift : host_packet::short_unit_shift;
  const std::uint32_t units = bytes >> shift;
  // A full Long packet (16 units) is written as length 0.
  const std::uint32_t length =
      size == HostPacketSize::Long && bytes == host_packet::long_max_bytes ? 0 : units;
  const std::uint64_t value =
      (std::uint64_t{host_offset >> shift} << host_packet_word1::HostAddress::low) | length;
  if (value > host_packet_word1::AddressLength::max) {
    return host_packet::refuse(Reason::short_host_offset_range, RefusedArgument::host_offset,
                               host_offset);
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace explained

constexpr Status validate_host_tile(std::uint16_t physical_tile) noexcept {
  return without_reason(explained::validate_host_tile(physical_tile));
}

namespace host_packet {
constexpr Status validate_host_to_tile_tile(std::uint16_t physical_tile) noexcept {
  return without_reason(explained::validate_host_to_tile_tile(physical_tile));
}
}  // namespace host_packet

// Tiles that differ only in bit 1 or in bits 6 and up share a mux number.
constexpr Result<std::uint32_t> host_mux_for_tile(std::uint16_t physical_tile) noexcept {
  return without_reason(explained::host_mux_for_tile(physical_tile));
}

constexpr Result<HostPacketSize> host_packet_size(std::uint32_t host_offset,
                                                  std::uint32_t bytes) noexcept {
  return without_reason(explained::host_packet_size(host_offset, bytes));
}

constexpr Result<std::uint32_t> host_address_length(std::uint32_t host_offset, std::uint32_t bytes,
                                                    HostPacketSize size) noexcept {
  return without_reason(explained::host_address_length(host_offset, bytes, size));
}

// Routing bits of a tile in word0: tile bit 0 in bit 15, bits 1 and up from bit
// 16, which is the tile number times 32768.
constexpr std::uint32_t host_route_word0(std::uint16_t physical_tile) noexcept {
  return host_packet_word0::RouteHighBits::place(std::uint32_t{physical_tile} >> 1) |
         host_packet_word0::RouteLowBit::place(physical_tile & 1u);
}

// Routing bit of a tile in word1: the tile's low bit, carried a second time.
constexpr std::uint32_t host_route_word1(std::uint16_t physical_tile) noexcept {
  return host_packet_word1::TileLowBit::place(physical_tile & 1u);
}

namespace explained {

constexpr Explained<HostPacketHeader> host_to_tile_packet(std::uint16_t physical_tile,
                                                          std::uint32_t tile_address,
                                                          std::uint32_t host_offset,
                                                          std::uint32_t bytes) noexcept {
  if (const ExplainedStatus valid = validate_host_to_tile_tile(physical_tile); !valid) {
    return std::unexpected(valid.error());
  }
  const Explained<std::uint32_t> exchange_address = host_packet::exchange_address(tile_address);
  if (!exchange_address) return std::unexpected(exchange_address.error());
  const Explained<HostPacketSize> size = explained::host_packet_size(host_offset, bytes);
  if (!size) return std::unexpected(size.error());
  const Explained<std::uint32_t> address_length =
      explained::host_address_length(host_offset, bytes, *size);
  if (!address_length) return std::unexpected(address_length.error());
  const std::uint32_t opcode =
      *size == HostPacketSize::Long ? HOST_TO_TILE_LONG_OPCODE : HOST_TO_TILE_SHORT_OPCODE;
  return HostPacketHeader{opcode | host_route_word0(physical_tile) | *exchange_address,
                          host_route_word1(physical_tile) | *address_length};
}

constexpr Explained<HostPacketHeader> tile_to_host_packet(std::uint16_t physical_tile,
                                                          std::uint32_t host_offset,
                                                          std::uint32_t bytes) noexcept {
  if (const ExplainedStatus valid = validate_host_tile(physical_tile); !valid) {
    return std::unexpected(valid.error());
  }
  const Explained<HostPacketSize> size = explained::host_packet_size(host_offset, bytes);
  if (!size) return std::unexpected(size.error());
  const Explained<std::uint32_t> address_length =
      explained::host_address_length(host_offset, bytes, *size);
  if (!address_length) return std::unexpected(address_length.error());
  const std::uint32_t opcode =
      *size == HostPacketSize::Long ? TILE_TO_HOST_LONG_OPCODE : TILE_TO_HOST_SHORT_OPCODE;
  return HostPacketHeader{opcode | host_route_word0(physical_tile),
                          host_route_word1(physical_tile) | *address_length};
}

// A host-to-tile Short header of no length: host address 0, length 0.
constexpr Explained<HostPacketHeader> zero_byte_read_packet(
    std::uint16_t physical_tile, std::uint32_t dummy_tile_address) noexcept {
  if (const ExplainedStatus valid = validate_host_to_tile_tile(physical_tile); !valid) {
    return std::unexpected(valid.error());
  }
  const Explained<std::uint32_t> exchange_address =
      host_packet::exchange_address(dummy_tile_address, RefusedArgument::dummy_tile_address);
  if (!exchange_address) return std::unexpected(exchange_address.error());
  return HostPacketHeader{
      HOST_TO_TILE_SHORT_OPCODE | host_route_word0(physical_tile) | *exchange_address,
      host_route_word1(physical_tile)};
}

}  // namespace explained

constexpr Result<HostPacketHeader> host_to_tile_packet(std::uint16_t physical_tile,
                                                       std::uint32_t tile_address,
                                                       std::uint32_t host_offset,
                                                       std::uint32_t bytes) noexcept {
  return without_reason(
      explained::host_to_tile_packet(physical_tile, tile_address, host_offset, bytes));
}

constexpr Result<HostPacketHeader> tile_to_host_packet(std::uint16_t physical_tile,
                                                       std::uint32_t host_offset,
                                                       std::uint32_t bytes) noexcept {
  return without_reason(explained::tile_to_host_packet(physical_tile, host_offset, bytes));
}

constexpr Result<HostPacketHeader> zero_byte_read_packet(
    std::uint16_t physical_tile, std::uint32_t dummy_tile_address) noexcept {
  return without_reason(explained::zero_byte_read_packet(physical_tile, dummy_tile_address));
}

static_assert(host_route_word0(0xffff) == 0xffffu * 32768u);
static_assert(host_to_tile_packet(260, 0x50120, 64, 64).value() ==
              HostPacketHeader{0xec820209u, 0x00000011u});
static_assert(tile_to_host_packet(1409, 64, 64).value() ==
              HostPacketHeader{0xa2c08000u, 0x80000011u});
static_assert(zero_byte_read_packet(2, 0x50180).value() ==
              HostPacketHeader{0xcc01020cu, 0x00000000u});
static_assert(host_mux_for_tile(116).value() == 0x634u);

}  // namespace meshweave
