// Every refusal of the host and plan commands names the option, the value and
// the rule on one line, and fails the command with status 1.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool_process.hpp"

namespace meshweave::tool::testing {
namespace {

struct RefusalCase {
  std::vector<std::string> arguments;
  std::string message;
};

std::vector<std::string> to_tile(const std::string& tile, const std::string& tile_address,
                                 const std::string& host_offset, const std::string& bytes,
                                 const std::string& packet_address = "0x50400") {
  return {"host",          "to-tile",   "--tile",  tile,  "--tile-address",   tile_address,
          "--host-offset", host_offset, "--bytes", bytes, "--packet-address", packet_address};
}

std::vector<std::string> from_tile(const std::string& tile_address, const std::string& bytes,
                                   const std::string& packet_address,
                                   const std::string& command_address) {
  return {"host",
          "from-tile",
          "--tile",
          "260",
          "--tile-address",
          tile_address,
          "--host-offset",
          "64",
          "--bytes",
          bytes,
          "--packet-address",
          packet_address,
          "--command-address",
          command_address};
}

TEST(RefusalMessages, HostAndPlanCommandsNameTheValueAndTheRule) {
  const RefusalCase cases[] = {
      {to_tile("0", "0x50000", "0", "0"),
       "meshweave host: error: --bytes: byte count 0: host transfers and packets move at least 4 "
       "bytes"},
      {to_tile("0", "0x50000", "0", "3"),
       "meshweave host: error: --bytes: byte count 3: host transfers and packets move whole 4-byte "
       "words"},
      {to_tile("2048", "0x50000", "0", "4"),
       "meshweave host: error: --tile: tile 2048: host-to-tile headers reach physical tiles 0 to "
       "2047"},
      {to_tile("4096", "0x50000", "0", "4"),
       "meshweave host: error: --tile: tile 4096: host packets name physical tiles 0 to 4095"},
      {to_tile("0", "0x50010", "0", "4"),
       "meshweave host: error: --tile-address: tile address 0x50010: host-to-tile packets start "
       "at multiples of 32 bytes"},
      {to_tile("0", "0x4ff00", "0", "4"),
       "meshweave host: error: --tile-address: tile address 0x4ff00: host-to-tile packets start "
       "inside the host exchange window 0x50000 to 0x53fff"},
      {to_tile("0", "0x53fe0", "0", "2048"),
       "meshweave host: error: --tile-address: tile address 0x53fe0 with 2048 bytes: every packet "
       "of a host-to-tile transfer starts inside the host exchange window 0x50000 to 0x53fff"},
      {to_tile("0", "0x50000", "6", "4"),
       "meshweave host: error: --host-offset: host offset 0x6: host transfers and packets start "
       "at host offsets that are multiples of 4"},
      {to_tile("0", "0x50000", "0x20000000", "4"),
       "meshweave host: error: --host-offset: host offset 0x20000000: host packets of less than "
       "64 bytes reach host offsets below 0x20000000"},
      {to_tile("0", "0x50000", "0", "4", "0x50404"),
       "meshweave host: error: --packet-address: packet address 0x50404: host packet words lie "
       "at multiples of 8"},
      {to_tile("0", "0x50000", "0", "4", "0x100000"),
       "meshweave host: error: --packet-address: packet address 0x100000: a SEND reads tile "
       "memory below 0x100000"},
      {from_tile("0x50122", "64", "0x50160", "0x50180"),
       "meshweave host: error: --tile-address: tile address 0x50122: tile-to-host transfers start "
       "at tile addresses that are multiples of 4"},
      {from_tile("0x50120", "64", "0x50160", "0x50190"),
       "meshweave host: error: --command-address: command address 0x50190: host-to-tile packets "
       "start at multiples of 32 bytes"},
      {from_tile("0x50120", "64", "0xfffffff8", "0x50180"),
       "meshweave host: error: --packet-address: packet address 0xfffffff8: the closing header "
       "after 1 chunk header(s) of 8 bytes needs a 32-bit address"},
      {{"host", "xreq", "--tile", "31", "1792", "--packet-address", "0x50120"},
       "meshweave host: error: --tile: target tile 1792: xreq packets name physical tiles 0 to "
       "1791 (endpoint index 56 has no bit)"},
      {{"host", "command-read", "--packet-address", "0x50160", "--destination-address", "0x54000",
        "--host-offset", "0"},
       "meshweave host: error: --destination-address: destination address 0x54000: host-to-tile "
       "packets start inside the host exchange window 0x50000 to 0x53fff"},
      {{"host", "command-read", "--packet-address", "0xffff8", "--destination-address", "0x50180",
        "--host-offset", "0"},
       "meshweave host: error: --packet-address: packet address 0xffff8: the request header 8 "
       "bytes further lies beyond a SEND's reach (below 0x100000)"},
      {{"plan", "p2p", "0", "1", "4149"},
       "meshweave plan: error: words: word count 4149: a tile-to-tile transfer moves 1 to 4148 "
       "words"},
      {{"plan", "p2p", "7", "7", "4"},
       "meshweave plan: error: receiver: receiver 7 is also the sender: a point-to-point exchange "
       "joins two different tiles"},
      {{"plan", "p2p", "1472", "0", "4"},
       "meshweave plan: error: sender: sender 1472: the topology's logical tiles are numbered "
       "below 1472"},
      {{"plan", "multicast", "0", "1", "0", "--words", "1"},
       "meshweave plan: error: receivers: receiver 0 is the sender: a multicast does not send to "
       "its own tile"},
      {{"plan", "multicast", "0", "1", "1472", "--words", "1"},
       "meshweave plan: error: receivers: receiver 1472: the topology's logical tiles are "
       "numbered below 1472"},
      {{"plan", "multicast", "0", "1", "--words", "4149"},
       "meshweave plan: error: --words: word count 4149: a tile-to-tile transfer moves 1 to 4148 "
       "words"},
      {{"plan", "multicast", "736", "100", "--words", "1", "--offset", "4095"},
       "meshweave plan: error: --offset: schedule offset 4095: the latest receiver would receive "
       "at cycle 4144, after cycle 4095"},
  };
  for (const RefusalCase& c : cases) {
    std::string command;
    for (const std::string& argument : c.arguments) command += argument + " ";
    const ToolRun run = run_tool(c.arguments);
    EXPECT_EQ(run.status, 1) << command;
    EXPECT_EQ(run.out, "") << command;
    EXPECT_EQ(run.err, c.message + "\n") << command;
  }
}

}  // namespace
}  // namespace meshweave::tool::testing
