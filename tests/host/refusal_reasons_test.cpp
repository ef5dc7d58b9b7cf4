#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/host_test_support.hpp"
#include "meshweave/host.hpp"

namespace meshweave {
namespace {

using host_test::error_of;

template <class T>
std::optional<Refusal> refusal_of(const Explained<T>& result) {
  if (result) return std::nullopt;
  return result.error();
}

// One refused call, made once through namespace `explained` and once through
// the plain operation: both must refuse with the same error.
struct Call {
  const char* text;
  std::function<std::optional<Refusal>()> explained;
  std::function<std::optional<ExchangeError>()> plain;
};

#define REFUSED_CALL(op, ...)                                                        \
  Call {                                                                             \
    #op "(" #__VA_ARGS__ ")", [] { return refusal_of(explained::op(__VA_ARGS__)); }, \
        [] { return error_of(op(__VA_ARGS__)); }                                     \
  }

struct RefusalCase {
  Call call;
  ExchangeError error;
  Reason reason;
  std::string sentence;
};

const ExchangeError host_packet = ExchangeError::host_packet();
const ExchangeError send_operand =
    ExchangeError::schedule(schedule_message::send_instruction_operand);

const std::vector<std::uint32_t> no_words{};
const std::vector<std::uint32_t> bare_return{RETURN_INSTRUCTION};
const std::vector<std::uint32_t> one_body_word{0x19800010u, RETURN_INSTRUCTION};
const std::vector<std::uint32_t> target_program{0x19800010u, 0x438080a6u, 0x782a02d3u,
                                                HOST_TRANSFER_SYNC_INSTRUCTION, RETURN_INSTRUCTION};
const std::vector<std::uint32_t> no_return{HOST_TRANSFER_SYNC_INSTRUCTION};
const std::vector<std::uint16_t> no_tiles{};
const std::vector<std::uint16_t> tile_31{31};
const std::vector<std::uint16_t> tiles_31_4096{31, 4096};
const std::vector<std::uint16_t> tile_1792{1792};
const std::vector<HostTransferChunk> no_chunks{};
const HostTransferChunk chunk_64{0x50120, 64, 64, {}};
const std::vector<HostTransferChunk> two_chunks{chunk_64, chunk_64};
const std::vector<HostTransferChunk> half_word_chunk{{0x50120, 0, 2, {}}};
const std::vector<HostTransferChunk> long_chunk{{0x50120, 0, 264, {}}};
const std::vector<HostTransferChunk> far_chunk{{0x100000, 0, 64, {}}};

const auto refusing_builder = [](std::uint32_t, std::uint32_t,
                                 std::uint32_t) -> Result<HostPacketHeader> {
  return std::unexpected(ExchangeError::address(7));
};
const auto tile_to_host_builder = [](std::uint32_t, std::uint32_t host, std::uint32_t count) {
  return tile_to_host_packet(0, host, count);
};

// Every cause of a host refusal, in the order of the operations' checks.
const RefusalCase cases[] = {
    // Packet headers.
    {REFUSED_CALL(tile_to_host_packet, 4096, 0, 4), host_packet, Reason::host_tile_range,
     "tile 4096: host packets name physical tiles 0 to 4095"},
    {REFUSED_CALL(host_to_tile_packet, 2048, 0x50000, 0, 4), host_packet,
     Reason::host_to_tile_tile_range,
     "tile 2048: host-to-tile headers reach physical tiles 0 to 2047"},
    {REFUSED_CALL(host_to_tile_packet, 0, 0x4ffe0, 0, 64), host_packet, Reason::outside_host_window,
     "tile address 0x4ffe0: host-to-tile packets start inside the host exchange window 0x50000 to "
     "0x53fff"},
    {REFUSED_CALL(host_to_tile_packet, 0, 0x54000, 0x40, 64), host_packet,
     Reason::outside_host_window,
     "tile address 0x54000: host-to-tile packets start inside the host exchange window 0x50000 to "
     "0x53fff"},
    {REFUSED_CALL(host_to_tile_packet, 0, 0x50124, 0x40, 64), host_packet,
     Reason::off_exchange_granule,
     "tile address 0x50124: host-to-tile packets start at multiples of 32 bytes"},
    {REFUSED_CALL(zero_byte_read_packet, 0, 0x50190), host_packet, Reason::off_exchange_granule,
     "dummy tile address 0x50190: host-to-tile packets start at multiples of 32 bytes"},
    {REFUSED_CALL(tile_to_host_packet, 0, 0, 0), host_packet, Reason::zero_bytes,
     "byte count 0: host transfers and packets move at least 4 bytes"},
    {REFUSED_CALL(tile_to_host_packet, 0, 0, 1028), host_packet, Reason::packet_too_long,
     "byte count 1028: a host packet moves at most 1024 bytes"},
    {REFUSED_CALL(tile_to_host_packet, 0, 0, 6), host_packet, Reason::bytes_not_words,
     "byte count 6: host transfers and packets move whole 4-byte words"},
    {REFUSED_CALL(tile_to_host_packet, 0, 2, 4), host_packet, Reason::host_offset_not_words,
     "host offset 0x2: host transfers and packets start at host offsets that are multiples of 4"},
    {REFUSED_CALL(tile_to_host_packet, 0, 0, 68), host_packet, Reason::long_bytes_not_units,
     "byte count 68: host packets of 64 bytes or more move multiples of 64 bytes"},
    {REFUSED_CALL(tile_to_host_packet, 0, 4, 64), host_packet, Reason::long_host_offset_not_units,
     "host offset 0x4: host packets of 64 bytes or more (64 here) start at host offsets that are "
     "multiples of 64"},
    {REFUSED_CALL(tile_to_host_packet, 0, 0x20000000, 4), host_packet,
     Reason::short_host_offset_range,
     "host offset 0x20000000: host packets of less than 64 bytes reach host offsets below "
     "0x20000000"},
    {REFUSED_CALL(host_address_length, 0, 64, HostPacketSize::Short), host_packet,
     Reason::not_short_packet,
     "host offset 0x0 with 64 bytes: a Short packet moves 4 to 60 bytes in 4-byte units from a "
     "host offset that is a multiple of 4"},
    {REFUSED_CALL(host_address_length, 4, 64, HostPacketSize::Long), host_packet,
     Reason::not_long_packet,
     "host offset 0x4 with 64 bytes: a Long packet moves 64 to 1024 bytes in 64-byte units from a "
     "host offset that is a multiple of 64"},
    {REFUSED_CALL(host_mux_for_tile, 4096), host_packet, Reason::host_tile_range,
     "tile 4096: host packets name physical tiles 0 to 4095"},
    {REFUSED_CALL(host_hierarchy, 65535), host_packet, Reason::host_tile_range,
     "tile 65535: host packets name physical tiles 0 to 4095"},
    // Transfer planner: entry checks, then the headers of the chunks.
    {REFUSED_CALL(plan_host_to_tile, 0, 0x50000, 0, 0), host_packet, Reason::zero_bytes,
     "byte count 0: host transfers and packets move at least 4 bytes"},
    {REFUSED_CALL(plan_tile_to_host, 0, 0x60000, 0, 6), host_packet, Reason::bytes_not_words,
     "byte count 6: host transfers and packets move whole 4-byte words"},
    {REFUSED_CALL(plan_host_to_tile, 0, 0x50004, 0, 4), host_packet, Reason::off_exchange_granule,
     "tile address 0x50004: host-to-tile packets start at multiples of 32 bytes"},
    {REFUSED_CALL(plan_tile_to_host, 0, 0x60002, 0, 4), host_packet, Reason::tile_address_not_words,
     "tile address 0x60002: tile-to-host transfers start at tile addresses that are multiples of "
     "4"},
    {REFUSED_CALL(plan_host_to_tile, 0, 0x50000, 2, 4), host_packet, Reason::host_offset_not_words,
     "host offset 0x2: host transfers and packets start at host offsets that are multiples of 4"},
    {REFUSED_CALL(plan_host_to_tile, 0, 0x53fe0, 0, 2048), host_packet,
     Reason::transfer_leaves_window,
     "tile address 0x53fe0 with 2048 bytes: every packet of a host-to-tile transfer starts inside "
     "the host exchange window 0x50000 to 0x53fff"},
    {REFUSED_CALL(plan_tile_to_host, 4096, 0x60000, 0, 4), host_packet, Reason::host_tile_range,
     "tile 4096: host packets name physical tiles 0 to 4095"},
    {REFUSED_CALL(plan_tile_to_host, 0, 0xffffff00, 0, 256), host_packet,
     Reason::transfer_passes_address_space,
     "tile address 0xffffff00 with 256 bytes: the address after a host transfer must fit 32 bits"},
    {REFUSED_CALL(plan_tile_to_host, 0, 0, 0xffffff00, 256), host_packet,
     Reason::transfer_passes_address_space,
     "host offset 0xffffff00 with 256 bytes: the address after a host transfer must fit 32 bits"},
    // The second 32-byte chunk starts at the window's end.
    {REFUSED_CALL(plan_host_to_tile, 0, 0x53fe0, 4, 64), host_packet, Reason::outside_host_window,
     "tile address 0x54000: host-to-tile packets start inside the host exchange window 0x50000 to "
     "0x53fff"},
    // The 28-byte piece before the page boundary leaves the next chunk off the grid.
    {REFUSED_CALL(plan_host_to_tile, 0, 0x50000, 4068, 32), host_packet,
     Reason::off_exchange_granule,
     "tile address 0x5001c: host-to-tile packets start at multiples of 32 bytes"},
    {REFUSED_CALL(plan_host_to_tile, 2048, 0x50000, 0, 4), host_packet,
     Reason::host_to_tile_tile_range,
     "tile 2048: host-to-tile headers reach physical tiles 0 to 2047"},
    {REFUSED_CALL(plan_host_transfer, 0x60000, 0, 64, 32, tile_to_host_builder), host_packet,
     Reason::chunk_limit_too_small,
     "largest chunk 32: a host transfer needs chunks of up to at least 64 bytes"},
    {REFUSED_CALL(plan_host_transfer, 0x60000, 0x40, 64, 256, refusing_builder),
     ExchangeError::address(7), Reason::header_builder_refused,
     "chunk at tile address 0x60000, host offset 0x40: the header builder refused it"},
    // Operation wrappers.
    {REFUSED_CALL(wrap_host_operation, 0, no_words, SYNC_ALL_INSTRUCTION),
     ExchangeError::schedule(schedule_message::host_target_operation_return),
     Reason::operation_return,
     "operation of 0 word(s): a host operation ends in the return word 0x43a00000"},
    {REFUSED_CALL(wrap_host_operation, 4096, bare_return, SYNC_ALL_INSTRUCTION), host_packet,
     Reason::host_tile_range, "tile 4096: host packets name physical tiles 0 to 4095"},
    {REFUSED_CALL(wrap_combined_host_operation, 0, no_return, 0x50160),
     ExchangeError::schedule(schedule_message::local_host_operation_return),
     Reason::operation_return,
     "operation of 1 word(s): a host operation ends in the return word 0x43a00000"},
    {REFUSED_CALL(wrap_combined_host_operation, 4096, one_body_word, 0x50160),
     ExchangeError::schedule(schedule_message::local_host_operation_prefix),
     Reason::combined_operation_prefix,
     "operation of 2 word(s): a combined host operation has at least 2 words before its return "
     "(the "
     "length load and its register write)"},
    {REFUSED_CALL(wrap_combined_host_operation, 4096, target_program, 0x50164),
     ExchangeError::schedule(schedule_message::local_host_operation_prefix),
     Reason::packet_words_alignment,
     "xreq packet address 0x50164: host packet words lie at multiples of 8"},
    {REFUSED_CALL(wrap_combined_host_operation, 4096, target_program, 0x50160), host_packet,
     Reason::host_tile_range, "tile 4096: host packets name physical tiles 0 to 4095"},
    {REFUSED_CALL(wrap_combined_host_operation, 0, target_program, 0x100000), send_operand,
     Reason::send_address_range,
     "xreq packet address 0x100000: a SEND reads tile memory below 0x100000"},
    // Target programs: the planner's refusal first, then the packet address.
    {REFUSED_CALL(assemble_host_to_tile_target_program, 0, 0x50000, 0, 0, 0x50164), host_packet,
     Reason::zero_bytes, "byte count 0: host transfers and packets move at least 4 bytes"},
    {REFUSED_CALL(assemble_host_to_tile_target_program, 0, 0x50000, 0, 64, 0x50164), host_packet,
     Reason::packet_words_alignment,
     "packet address 0x50164: host packet words lie at multiples of 8"},
    {REFUSED_CALL(assemble_host_to_tile_target_program, 0, 0x50000, 0, 64, 0x100000), send_operand,
     Reason::send_address_range,
     "packet address 0x100000: a SEND reads tile memory below 0x100000"},
    {REFUSED_CALL(assemble_tile_to_host_target_program, 2, 0x50120, 64, 64, 0x50164, 0x50180),
     host_packet, Reason::packet_words_alignment,
     "packet address 0x50164: host packet words lie at multiples of 8"},
    {REFUSED_CALL(assemble_tile_to_host_target_program, 2, 0x50120, 64, 64, 0xfffffff8, 0x54000),
     host_packet, Reason::close_header_passes_address_space,
     "packet address 0xfffffff8: the closing header after 1 chunk header(s) of 8 bytes needs a "
     "32-bit address"},
    {REFUSED_CALL(assemble_tile_to_host_target_program, 2, 0x50120, 64, 64, 0x50160, 0x54000),
     host_packet, Reason::outside_host_window,
     "command address 0x54000: host-to-tile packets start inside the host exchange window 0x50000 "
     "to 0x53fff"},
    {REFUSED_CALL(assemble_tile_to_host_target_program, 2048, 0x50120, 64, 64, 0x50160, 0x50180),
     host_packet, Reason::host_to_tile_tile_range,
     "tile 2048: host-to-tile headers reach physical tiles 0 to 2047"},
    {REFUSED_CALL(assemble_tile_to_host_target_program, 2, 0x50120, 64, 64, 0xffff8, 0x50180),
     send_operand, Reason::send_address_range,
     "close address 0x100000: a SEND reads tile memory below 0x100000"},
    {REFUSED_CALL(tile_to_host_target_instructions, no_chunks, 0x50160, 0x50170), host_packet,
     Reason::no_chunks, "no chunks: a tile-to-host program sends at least one"},
    {REFUSED_CALL(tile_to_host_target_instructions, two_chunks, 0x50164, 0x50170), host_packet,
     Reason::packet_words_alignment,
     "packet address 0x50164: host packet words lie at multiples of 8"},
    {REFUSED_CALL(tile_to_host_target_instructions, two_chunks, 0x50160, 0x50174), host_packet,
     Reason::packet_words_alignment,
     "close address 0x50174: host packet words lie at multiples of 8"},
    {REFUSED_CALL(tile_to_host_target_instructions, two_chunks, 0xffff8, 0x50170), send_operand,
     Reason::chunk_header_send_range,
     "packet address 0xffff8: the header of chunk 1, 8 bytes a chunk further, lies beyond a SEND's "
     "reach (below 0x100000)"},
    {REFUSED_CALL(tile_to_host_target_instructions, half_word_chunk, 0x50160, 0x50170), host_packet,
     Reason::payload_not_words,
     "chunk of 2 bytes at tile address 0x50120: a payload is at least one whole 4-byte word at a "
     "multiple of 4"},
    {REFUSED_CALL(tile_to_host_target_instructions, long_chunk, 0x50160, 0x50170), send_operand,
     Reason::send_count_range, "chunk of 66 words: a SEND moves 1 to 64 words"},
    {REFUSED_CALL(tile_to_host_target_instructions, far_chunk, 0x50160, 0x50170), send_operand,
     Reason::send_address_range, "tile address 0x100000: a SEND reads tile memory below 0x100000"},
    // Request programs.
    {REFUSED_CALL(assemble_host_xreq_program_for_targets, no_tiles, 0x50120), host_packet,
     Reason::no_targets, "no target tiles: an xreq packet names at least one"},
    {REFUSED_CALL(assemble_host_xreq_program_for_targets, tile_31, 0x50124), host_packet,
     Reason::packet_words_alignment,
     "packet address 0x50124: host packet words lie at multiples of 8"},
    {REFUSED_CALL(assemble_host_xreq_program_for_targets, tiles_31_4096, 0x100000), host_packet,
     Reason::host_tile_range, "target tile 4096: host packets name physical tiles 0 to 4095"},
    {REFUSED_CALL(assemble_host_xreq_program_for_targets, tile_1792, 0x50120), host_packet,
     Reason::xreq_target_range,
     "target tile 1792: xreq packets name physical tiles 0 to 1791 (endpoint index 56 has no bit)"},
    {REFUSED_CALL(assemble_host_xreq_program_for_targets, tile_31, 0x100000), send_operand,
     Reason::send_address_range,
     "packet address 0x100000: a SEND reads tile memory below 0x100000"},
    {REFUSED_CALL(assemble_host_command_read_program, 0x50164, 0x50180, 0x1000), host_packet,
     Reason::packet_words_alignment,
     "packet address 0x50164: host packet words lie at multiples of 8"},
    {REFUSED_CALL(assemble_host_command_read_program, 0x50160, 0x50190, 0x1000), host_packet,
     Reason::off_exchange_granule,
     "destination address 0x50190: host-to-tile packets start at multiples of 32 bytes"},
    {REFUSED_CALL(assemble_host_command_read_program, 0x50160, 0x54000, 0x1000), host_packet,
     Reason::outside_host_window,
     "destination address 0x54000: host-to-tile packets start inside the host exchange window "
     "0x50000 to 0x53fff"},
    {REFUSED_CALL(assemble_host_command_read_program, 0x50160, 0x50180, 2), host_packet,
     Reason::host_offset_not_words,
     "host offset 0x2: host transfers and packets start at host offsets that are multiples of 4"},
    {REFUSED_CALL(assemble_host_command_read_program, 0x50160, 0x50180, 0x20000000), host_packet,
     Reason::short_host_offset_range,
     "host offset 0x20000000: host packets of less than 64 bytes reach host offsets below "
     "0x20000000"},
    {REFUSED_CALL(assemble_host_command_read_program, 0x100000, 0x50180, 0x1000), send_operand,
     Reason::send_address_range,
     "packet address 0x100000: a SEND reads tile memory below 0x100000"},
    {REFUSED_CALL(assemble_host_command_read_program, 0xffff8, 0x50180, 0x1000), send_operand,
     Reason::request_header_send_range,
     "packet address 0xffff8: the request header 8 bytes further lies beyond a SEND's reach (below "
     "0x100000)"},
};

TEST(HostRefusals, EveryCauseExplainsItselfWithTheErrorOfThePlainOperation) {
  for (const RefusalCase& c : cases) {
    const std::optional<Refusal> refusal = c.call.explained();
    ASSERT_TRUE(refusal.has_value()) << c.call.text;
    EXPECT_EQ(c.call.plain(), c.error) << c.call.text;
    EXPECT_EQ(refusal->error, c.error) << c.call.text;
    EXPECT_EQ(refusal->reason, c.reason) << c.call.text << ": " << explain(*refusal);
    EXPECT_EQ(explain(*refusal), c.sentence) << c.call.text;
  }
}

// Header encoders stay usable at compile time, explained or not.
static_assert(explained::host_to_tile_packet(2048, 0x50000, 0, 4).error().reason ==
              Reason::host_to_tile_tile_range);
static_assert(explained::tile_to_host_packet(1409, 64, 64).value() ==
              tile_to_host_packet(1409, 64, 64).value());

TEST(HostRefusals, ExplainedOperationsReturnThePlainValues) {
  EXPECT_EQ(explained::plan_tile_to_host(2, 0x60004, 4, 2200).value(),
            plan_tile_to_host(2, 0x60004, 4, 2200).value());
  EXPECT_EQ(explained::assemble_tile_to_host_target_program(260, 0x50120, 64, 64, 0x50160, 0x50180)
                .value(),
            assemble_tile_to_host_target_program(260, 0x50120, 64, 64, 0x50160, 0x50180).value());
  EXPECT_EQ(explained::assemble_host_command_read_program(0x50160, 0x50180, 0x1000).value(),
            assemble_host_command_read_program(0x50160, 0x50180, 0x1000).value());
}

}  // namespace
}  // namespace meshweave
