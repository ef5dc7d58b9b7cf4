#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

namespace meshweave::tool {

// Arguments of the host commands, named after the library's parameters. Tiles
// are physical. Which fields a command reads is listed with each command.
struct HostRequest {
  std::vector<std::uint64_t> tiles;  // --tile: one, or (xreq) one or more
  std::uint64_t tile_address = 0;
  std::uint64_t host_offset = 0;
  std::uint64_t bytes = 0;
  std::uint64_t packet_address = 0;
  std::uint64_t command_address = 0;
  std::uint64_t destination_address = 0;
};

// to-tile: tile, tile_address, host_offset, bytes, packet_address.
int run_host_to_tile(const HostRequest& request, std::ostream& out, std::ostream& err);
// from-tile: tile, tile_address, host_offset, bytes, packet_address, command_address.
int run_host_from_tile(const HostRequest& request, std::ostream& out, std::ostream& err);
// xreq: tiles, packet_address.
int run_host_xreq(const HostRequest& request, std::ostream& out, std::ostream& err);
// command-read: packet_address, destination_address, host_offset.
int run_host_command_read(const HostRequest& request, std::ostream& out, std::ostream& err);

}  // namespace meshweave::tool
