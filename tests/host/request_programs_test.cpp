#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "host/host_test_support.hpp"
#include "meshweave/host.hpp"

namespace meshweave {
namespace {

using host_test::draw;
using host_test::error_of;
using host_test::host_packet_error;
using host_test::send_operand_error;
using Tiles = std::vector<std::uint16_t>;
using Words = std::vector<std::uint32_t>;

TEST(HostXreqPrograms, NameTargetsByEndpointIndex) {
  const struct {
    Tiles targets;
    Words packet_words;
  } cases[] = {
      {{260}, {0x00000100, 0}},  // row 4, bit 1 clear: index 8
      {{31}, {0x00000002, 0}},
      {{81}, {0x00000004, 0}},
      {{768}, {0, 0x00000001}},  // index 24, the first bit of word 1
      {{1471}, {0, 0x00200000}},
      {{0}, {0x00000001, 0}},
      {{1791}, {0, 0x80000000}},  // index 55, the last bit there is
      {{31, 81, 768, 1471}, {0x00000006, 0x00200001}},
      {{0, 1, 4, 60, 61}, {0x00000001, 0}},
      {{31, 31}, {0x00000002, 0}},
  };
  for (const auto& c : cases) {
    const Result<TileToHostProgram> program =
        assemble_host_xreq_program_for_targets(c.targets, 0x50120);
    ASSERT_TRUE(program.has_value()) << c.targets[0];
    EXPECT_EQ(program->instructions, (Words{0x782a0243, 0x43a00000})) << c.targets[0];
    EXPECT_EQ(program->packet_words, c.packet_words) << c.targets[0];
  }
  EXPECT_EQ(assemble_host_xreq_program(260, 0x50120),
            assemble_host_xreq_program_for_targets(Tiles{260}, 0x50120));
}

TEST(HostXreqPrograms, PacketOfAListIsTheUnionOfItsTargets) {
  std::mt19937 random{56};
  for (int i = 0; i < 300; ++i) {
    Tiles targets(1 + draw(random, 6));
    Words merged = {0, 0};
    for (std::uint16_t& tile : targets) {
      tile = static_cast<std::uint16_t>(draw(random, 1792));
      const Words single = assemble_host_xreq_program(tile, 0x50000)->packet_words;
      merged[0] |= single[0];
      merged[1] |= single[1];
    }
    EXPECT_EQ(assemble_host_xreq_program_for_targets(targets, 0x50000)->packet_words, merged);
  }
}

TEST(HostXreqPrograms, RefuseInCheckOrder) {
  const struct {
    const char* call;
    Tiles targets;
    std::uint32_t packet_address;
    ExchangeError want;
  } cases[] = {
      {"no targets", {}, 0x50120, host_packet_error},
      {"packet off 8", {31}, 0x50124, host_packet_error},
      {"tile 4096 after a good one", {31, 4096}, 0x50120, host_packet_error},
      {"packet out of reach", {31}, 0x100000, send_operand_error},
      {"tile checked before the SEND", {4096}, 0x100000, host_packet_error},
      // Index 56 and up have no bit in the packet.
      {"index 56", {1792}, 0x50120, host_packet_error},
      {"index 56 before the SEND", {31, 1792}, 0x100000, host_packet_error},
      {"index 127", {4095}, 0x50120, host_packet_error},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(error_of(assemble_host_xreq_program_for_targets(c.targets, c.packet_address)), c.want)
        << c.call;
  }
}

TEST(HostXreqPrograms, WrapOnTheXreqTile) {
  const std::uint16_t xreq_tile = host_hierarchy(260)->xreq_physical_tile;
  EXPECT_EQ(
      wrap_host_xreq_operation(xreq_tile, assemble_host_xreq_program(260, 0x50120)->instructions),
      (Words{0x19800604, 0x438080a0, 0x4180000f, 0x782a0243, 0x41800007, 0x19800640, 0x438080a0,
             0x43a00000}));
}

TEST(HostCommandReadProgram, AssemblesTheDocumentedProgram) {
  const TileToHostProgram program =
      assemble_host_command_read_program(0x50160, 0x50180, 0x1000).value();
  EXPECT_EQ(program.packet_words, (Words{0x00000001, 0x00000000, 0xcc00020c, 0x00004001}));
  EXPECT_EQ(program.instructions,
            (Words{0x19800600, 0x438080a0, 0x4180000f, 0x19800001, 0x438080a6, 0x782a02c3,
                   0x782a02d3, 0x41800000, 0x41800007, 0x19800640, 0x438080a0, 0x41800003,
                   0x40a00048, 0x780a0303, 0x43a00000}));
  EXPECT_TRUE(assemble_host_command_read_program(0xffff0, 0x50180, 0x1000).has_value());
}

TEST(HostCommandReadProgram, OpensLikeTheCombinedProgramForTileZero) {
  std::mt19937 random{72};
  for (int i = 0; i < 200; ++i) {
    const std::uint32_t packet_address = 8 * draw(random, 0x1fffe);
    const std::uint32_t destination = 0x50000 + 32 * draw(random, 512);
    const std::uint32_t host_offset = 4 * draw(random, 0x8000000);
    const TileToHostProgram program =
        assemble_host_command_read_program(packet_address, destination, host_offset).value();
    const Words target = {0x19800001, 0x438080a6, 0x78200003 + 2 * (packet_address + 8), 0x41800000,
                          0x43a00000};
    const Words combined = wrap_combined_host_operation(0, target, packet_address).value();
    ASSERT_EQ(program.instructions.size(), 15u);
    EXPECT_EQ(Words(program.instructions.begin(), program.instructions.begin() + 11),
              Words(combined.begin(), combined.begin() + 11));
    EXPECT_EQ(program.instructions[13], 0x78000003 + 2 * destination);
    EXPECT_EQ(program.instructions.back(), RETURN_INSTRUCTION);
  }
}

TEST(HostCommandReadProgram, RefusesInCheckOrder) {
  const struct {
    const char* call;
    std::uint32_t packet_address, destination, host_offset;
    ExchangeError want;
  } cases[] = {
      {"packet off 8", 0x50164, 0x50180, 0x1000, host_packet_error},
      {"destination off 32", 0x50160, 0x50190, 0x1000, host_packet_error},
      {"destination past the window", 0x50160, 0x54000, 0x1000, host_packet_error},
      {"host offset off 4", 0x50160, 0x50180, 2, host_packet_error},
      {"host offset beyond 27 bits", 0x50160, 0x50180, 0x20000000, host_packet_error},
      {"request header SEND from 0x100000", 0xffff8, 0x50180, 0x1000, send_operand_error},
      {"request checked before the SENDs", 0xffff8, 0x54000, 0x1000, host_packet_error},
      {"packet at the top of memory", 0xfffffff8, 0x50180, 0x1000, send_operand_error},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(error_of(assemble_host_command_read_program(c.packet_address, c.destination,
                                                          c.host_offset)),
              c.want)
        << c.call;
  }
}

}  // namespace
}  // namespace meshweave
