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
using Words = std::vector<std::uint32_t>;

// Byte address a SEND word reads from.
std::uint32_t send_address(std::uint32_t word) { return send_word::BaseWord::get(word) * 4; }

TEST(HostTargetPrograms, AssembleTheDocumentedPrograms) {
  Words eight_chunks = {0x19800001, 0x438080a6};
  for (std::uint32_t i = 0; i < 8; ++i) {
    eight_chunks.push_back(0x782a02c3 + 0x10 * i);
    eight_chunks.push_back(0x7fea4003 + 0x200 * i);
  }
  eight_chunks.insert(eight_chunks.end(), {0x40a00001, 0x782a0343, 0x41800000, 0x43a00000});
  const Words t2h_one_chunk = {0x19800001, 0x438080a6, 0x782a02c3, 0x79ea0243,
                               0x40a00001, 0x782a02d3, 0x41800000, 0x43a00000};
  const struct {
    const char* call;
    Result<TileToHostProgram> got;
    Words instructions;
    Words packet_words;  // empty: not checked here
  } cases[] = {
      {"t2h(260, 0x50120, 64, 64, 0x50160, 0x50180)",
       assemble_tile_to_host_target_program(260, 0x50120, 64, 64, 0x50160, 0x50180),
       t2h_one_chunk,
       {0xa0820000, 0x00000011, 0xcc82020c, 0x00000000}},
      {"t2h(2, 0x50120, 64, 64, 0x50160, 0x501a0)",
       assemble_tile_to_host_target_program(2, 0x50120, 64, 64, 0x50160, 0x501a0),
       t2h_one_chunk,
       {0xa0010000, 0x00000011, 0xcc01020d, 0x00000000}},
      {"h2t(260, 0x50120, 64, 64, 0x50170)",
       assemble_host_to_tile_target_program(260, 0x50120, 64, 64, 0x50170),
       {0x19800010, 0x438080a6, 0x782a02e3, 0x41800000, 0x43a00000},
       {0xec820209, 0x00000011}},
      {"h2t(2, 0x50120, 64, 64, 0x50160)",
       assemble_host_to_tile_target_program(2, 0x50120, 64, 64, 0x50160),
       {0x19800010, 0x438080a6, 0x782a02c3, 0x41800000, 0x43a00000},
       {host_to_tile_packet(2, 0x50120, 64, 64)->word0,
        host_to_tile_packet(2, 0x50120, 64, 64)->word1}},
      {"t2h(2, 0x52000, 64, 2048, 0x50160, 0x501a0)",
       assemble_tile_to_host_target_program(2, 0x52000, 64, 2048, 0x50160, 0x501a0),
       eight_chunks,
       {}},
      {"t2h(0, 0x50000, 0, 96, 0x50400, 0x50200)",
       assemble_tile_to_host_target_program(0, 0x50000, 0, 96, 0x50400, 0x50200),
       {0x19800001, 0x438080a6, 0x782a0803, 0x79ea0003, 0x782a0813, 0x78ea0083, 0x40a00001,
        0x782a0823, 0x41800000, 0x43a00000},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    ASSERT_TRUE(c.got.has_value()) << c.got.error();
    EXPECT_EQ(c.got->instructions, c.instructions);
    if (!c.packet_words.empty()) {
      EXPECT_EQ(c.got->packet_words, c.packet_words);
    }
  }
}

TEST(HostTargetPrograms, HostToTileStreamEndsOnlyAtTheLastHeader) {
  const TileToHostProgram program =
      assemble_host_to_tile_target_program(63, 0x50000, 64, 4096, 0x54000).value();
  EXPECT_EQ(program.instructions, (Words{0x19800400, 0x438080a6, 0x782a8003, 0x70200003, 0x70200003,
                                         0x70200003, 0x70200003, 0x41800000, 0x43a00000}));
  ASSERT_EQ(program.packet_words.size(), 10u);
  const Words word0s = {program.packet_words[0], program.packet_words[2], program.packet_words[4],
                        program.packet_words[6], program.packet_words[8]};
  EXPECT_EQ(word0s, (Words{0xe01f8200, 0xe01f8220, 0xe01f8240, 0xe01f8260, 0xec1f827e}));
  EXPECT_EQ(program.packet_words[1], 0x80000010u);
}

TEST(HostTargetPrograms, RefuseInCheckOrder) {
  const auto t2h = [](std::uint16_t tile, std::uint32_t bytes, std::uint32_t packet_address,
                      std::uint32_t command_address) {
    return assemble_tile_to_host_target_program(tile, 0x50120, 64, bytes, packet_address,
                                                command_address);
  };
  const auto h2t = [](std::uint16_t tile, std::uint32_t bytes, std::uint32_t packet_address) {
    return assemble_host_to_tile_target_program(tile, 0x50120, 64, bytes, packet_address);
  };
  const struct {
    const char* call;
    Result<TileToHostProgram> got;
    ExchangeError want;
  } cases[] = {
      {"t2h packet off 8", t2h(2, 64, 0x50164, 0x50180), host_packet_error},
      {"h2t packet off 8", h2t(2, 64, 0x50164), host_packet_error},
      {"t2h packet out of reach", t2h(2, 64, 0x100000, 0x50180), send_operand_error},
      {"h2t packet out of reach", h2t(2, 64, 0x100000), send_operand_error},
      {"t2h planner before packet", t2h(2, 0, 0x100000, 0x50180), host_packet_error},
      {"h2t planner before packet", h2t(2, 0, 0x100000), host_packet_error},
      {"command off 32", t2h(2, 64, 0x50160, 0x50190), host_packet_error},
      {"command past the window", t2h(2, 64, 0x50160, 0x54000), host_packet_error},
      {"command before any SEND", t2h(2, 64, 0x100000, 0x54000), host_packet_error},
      {"close address beyond 32 bits", t2h(2, 64, 0xfffffff8, 0x50180), host_packet_error},
      // Tiles 2048 and up plan tile-to-host chunks, but no closing header names them.
      {"t2h tile 2048", t2h(2048, 64, 0x50160, 0x50180), host_packet_error},
      {"h2t tile 2048", h2t(2048, 64, 0x50160), host_packet_error},
  };
  for (const auto& c : cases) EXPECT_EQ(error_of(c.got), c.want) << c.call;
  EXPECT_TRUE(plan_tile_to_host(2048, 0x50120, 64, 64).has_value());
}

TEST(HostTargetPrograms, TileToHostInstructionsRefuseChunksTheyCannotSend) {
  const HostTransferChunk good{0x50120, 64, 64, {}};
  const auto with_second = [&](std::uint32_t tile_address, std::uint32_t bytes,
                               std::uint32_t packet_address = 0x50160) {
    const HostTransferChunk chunks[] = {good, {tile_address, 128, bytes, {}}};
    return tile_to_host_target_instructions(chunks, packet_address, 0x50170);
  };
  const HostTransferChunk one[] = {good};
  const struct {
    const char* call;
    Result<Words> got;
    ExchangeError want;
  } cases[] = {
      {"no chunks", tile_to_host_target_instructions({}, 0x50160, 0x50170), host_packet_error},
      {"packet off 8", tile_to_host_target_instructions(one, 0x50164, 0x50170), host_packet_error},
      {"close off 8", tile_to_host_target_instructions(one, 0x50160, 0x5016c), host_packet_error},
      {"close out of reach", tile_to_host_target_instructions(one, 0x50160, 0x100000),
       send_operand_error},
      {"chunk below a word", with_second(0x50160, 2), host_packet_error},
      {"chunk of no bytes", with_second(0x50160, 0), host_packet_error},
      {"chunk off the word grid", with_second(0x50160, 6), host_packet_error},
      {"tile address off the word grid", with_second(0x50162, 8), host_packet_error},
      {"payload over 64 words", with_second(0x50160, 260), send_operand_error},
      {"payload out of reach", with_second(0x100000, 4), send_operand_error},
      // The header SEND of a chunk is encoded before its payload is looked at.
      {"header before payload", with_second(0x50160, 2, 0xffff8), send_operand_error},
  };
  for (const auto& c : cases) EXPECT_EQ(error_of(c.got), c.want) << c.call;
}

TEST(HostTargetPrograms, RandomTransfersGiveWellFormedPrograms) {
  std::mt19937 random{166};
  for (int i = 0; i < 500; ++i) {
    const auto tile = static_cast<std::uint16_t>(draw(random, 2048));
    const std::uint32_t host_offset = 32 * draw(random, 0x10000);
    const std::uint32_t packet_address = 0x60000 + 8 * draw(random, 0x1000);

    const std::uint32_t t2h_tile_address = 4 * draw(random, 0x30000);
    const std::uint32_t t2h_bytes = 4 * (1 + draw(random, 2000));
    const TileToHostProgram t2h =
        assemble_tile_to_host_target_program(tile, t2h_tile_address, host_offset, t2h_bytes,
                                             packet_address, 0x50000)
            .value();
    const std::vector<HostTransferChunk> chunks =
        plan_tile_to_host(tile, t2h_tile_address, host_offset, t2h_bytes).value();
    const std::size_t n = chunks.size();
    ASSERT_EQ(t2h.instructions.size(), 2 * n + 6);
    ASSERT_EQ(t2h.packet_words.size(), 2 * n + 2);
    for (std::size_t k = 0; k < n; ++k) {
      EXPECT_EQ(send_address(t2h.instructions[2 + 2 * k]), packet_address + 8 * k);
      EXPECT_EQ(send_address(t2h.instructions[3 + 2 * k]), chunks[k].tile_address);
      EXPECT_EQ(instruction_advance(t2h.instructions[3 + 2 * k]), chunks[k].bytes / 4);
    }
    EXPECT_EQ(send_address(t2h.instructions[2 * n + 3]), packet_address + 8 * n);

    const std::uint32_t h2t_tile_address = 0x50000 + 32 * draw(random, 0x200);
    const std::uint32_t h2t_bytes = 4 * (1 + draw(random, (0x54000 - h2t_tile_address) / 4));
    const TileToHostProgram h2t =
        assemble_host_to_tile_target_program(tile, h2t_tile_address, host_offset, h2t_bytes,
                                             packet_address)
            .value();
    const std::size_t m = h2t.packet_words.size() / 2;
    ASSERT_EQ(h2t.instructions.size(), m + 4);
    EXPECT_EQ(h2t.instructions[0], 0x19800000 | (h2t_bytes / 4));
    for (std::size_t k = 0; k < m; ++k) {
      const bool stream_end = (h2t.packet_words[2 * k] & HOST_TO_TILE_STREAM_END_BITS) != 0;
      EXPECT_EQ(stream_end, k + 1 == m);
    }

    for (const TileToHostProgram* program : {&t2h, &h2t}) {
      const Words& words = program->instructions;
      ASSERT_EQ(Words(words.end() - 2, words.end()),
                (Words{HOST_TRANSFER_SYNC_INSTRUCTION, RETURN_INSTRUCTION}));
      EXPECT_EQ(wrap_host_target_operation(tile, words)->back(), RETURN_INSTRUCTION);
      EXPECT_EQ(wrap_combined_host_operation(tile, words, 0x50000)->back(), RETURN_INSTRUCTION);
    }
  }
}

}  // namespace
}  // namespace meshweave
