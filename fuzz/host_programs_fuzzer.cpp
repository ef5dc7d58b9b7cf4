// Host operation wrappers and the host program assemblers. Every result ends in
// the return word and has its documented layout (prologue, body, epilogue; one
// header SEND per packet; packet words beside the program); every failure is
// HostPacket or the Schedule message its checks name, in their order.
//
// Input: a shape byte (bit 0: addresses raw rather than near the host exchange
// window), physical tile (u16), an operation (a length byte and that many
// words, each a kind byte and a u32), the entry word, an xreq packet address,
// tile address, host offset, byte count, packet address and command address
// (u32 each), then xreq targets (a count byte and u16 each).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "fuzz_check.hpp"
#include "fuzz_input.hpp"
#include "meshweave/host/operation_wrappers.hpp"
#include "meshweave/host/request_programs.hpp"
#include "meshweave/host/target_programs.hpp"
#include "meshweave/host/transfer_planner.hpp"

namespace {

using namespace meshweave;
using fuzz::hex;
using fuzz::words;
using Program = std::vector<std::uint32_t>;

constexpr std::uint32_t mux_register_write = 0x438080a0u;
constexpr std::uint32_t mux_release_load = 0x19800640u;
constexpr std::uint32_t length_register_write = 0x438080a6u;
constexpr std::uint32_t continuation_send = 0x70200003u;
constexpr std::uint32_t stream_end_bits = 0x0c000000u;
constexpr std::uint32_t send_limit = 0x100000u;  // a SEND reads below this byte address

std::uint32_t mux_load(std::uint16_t tile) { return 0x19800000u | (0x600u + (tile & 0x3du)); }
// A two-word SEND with direction 3 from a word-aligned byte address below send_limit.
std::uint32_t header_send(std::uint32_t address) { return 0x78200003u | (address >> 2) << 3; }

const ExchangeError send_operand =
    ExchangeError::schedule(schedule_message::send_instruction_operand);

template <class T>
void expect_failure(const char* what, const Result<T>& result, const ExchangeError& expected) {
  FUZZ_CHECK(!result && result.error() == expected,
             what << ": " << fuzz::outcome(result) << ", expected " << expected);
}

void expect_program(const char* what, const Result<Program>& result, const Program& expected) {
  FUZZ_CHECK(result && *result == expected, what << ": " << fuzz::outcome(result) << " "
                                                 << (result ? words(*result) : words({}))
                                                 << ", expected " << words(expected));
  FUZZ_CHECK(result->back() == RETURN_INSTRUCTION, what << " does not end in the return word");
}

Program epilogue() {
  return {SYNC_ALL_INSTRUCTION, mux_release_load, mux_register_write, RETURN_INSTRUCTION};
}

void check_wrappers(std::uint16_t tile, const Program& operation, std::uint32_t entry,
                    std::uint32_t xreq_address) {
  const bool well_formed = !operation.empty() && operation.back() == RETURN_INSTRUCTION;
  const std::span<const std::uint32_t> body = well_formed
                                                  ? std::span{operation}.first(operation.size() - 1)
                                                  : std::span<const std::uint32_t>{};

  // Framed: mux load, mux write, entry word, the body, the epilogue.
  const auto framed = [&](std::uint32_t entry_word) {
    Program expected{mux_load(tile), mux_register_write, entry_word};
    expected.insert(expected.end(), body.begin(), body.end());
    const Program tail = epilogue();
    expected.insert(expected.end(), tail.begin(), tail.end());
    return expected;
  };
  const std::optional<ExchangeError> refusal =
      !well_formed
          ? std::optional{ExchangeError::schedule(schedule_message::host_target_operation_return)}
      : tile > 4095 ? std::optional{ExchangeError::host_packet()}
                    : std::nullopt;
  const Result<Program> wrapped = wrap_host_operation(tile, operation, entry);
  const Result<Program> xreq = wrap_host_xreq_operation(tile, operation);
  const Result<Program> target = wrap_host_target_operation(tile, operation);
  if (refusal) {
    expect_failure("wrap_host_operation", wrapped, *refusal);
    expect_failure("wrap_host_xreq_operation", xreq, *refusal);
    expect_failure("wrap_host_target_operation", target, *refusal);
  } else {
    expect_program("wrap_host_operation", wrapped, framed(entry));
    expect_program("wrap_host_xreq_operation", xreq, framed(SYNC_HOST_INSTRUCTION));
    expect_program("wrap_host_target_operation", target, framed(SYNC_ALL_INSTRUCTION));
  }

  const Result<Program> combined = wrap_combined_host_operation(tile, operation, xreq_address);
  if (!well_formed) {
    expect_failure("wrap_combined_host_operation", combined,
                   ExchangeError::schedule(schedule_message::local_host_operation_return));
  } else if (body.size() < 2 || xreq_address % 8 != 0) {
    expect_failure("wrap_combined_host_operation", combined,
                   ExchangeError::schedule(schedule_message::local_host_operation_prefix));
  } else if (tile > 4095) {
    expect_failure("wrap_combined_host_operation", combined, ExchangeError::host_packet());
  } else if (xreq_address >= send_limit) {
    expect_failure("wrap_combined_host_operation", combined, send_operand);
  } else {
    Program expected{mux_load(tile), mux_register_write,       SYNC_HOST_INSTRUCTION, body[0],
                     body[1],        header_send(xreq_address)};
    expected.insert(expected.end(), body.begin() + 2, body.end());
    const Program tail = epilogue();
    expected.insert(expected.end(), tail.begin(), tail.end());
    expect_program("wrap_combined_host_operation", combined, expected);
  }

  Program completed = operation;
  append_local_host_completion(completed);
  Program expected = operation;
  expected.insert(expected.end(), {SYNC_ALL_INSTRUCTION, mux_release_load, mux_register_write});
  FUZZ_CHECK(completed == expected, "append_local_host_completion gave " << words(completed));

  const Result<HostHierarchy> hierarchy = host_hierarchy(tile);
  if (tile > 4095) {
    expect_failure("host_hierarchy", hierarchy, ExchangeError::host_packet());
  } else {
    const auto xreq_tile = static_cast<std::uint16_t>(tile & 0x3du);
    FUZZ_CHECK(hierarchy && *hierarchy == (HostHierarchy{xreq_tile, tile}) &&
                   host_mux_for_tile(xreq_tile) == host_mux_for_tile(tile) &&
                   host_hierarchy(xreq_tile)->xreq_physical_tile == xreq_tile,
               "host_hierarchy(" << tile << ")");
  }
}

struct Transfer {
  std::uint16_t tile;
  std::uint32_t tile_address;
  std::uint32_t host_offset;
  std::uint32_t bytes;
  std::uint32_t packet_address;
  std::uint32_t command_address;
};

void check_host_to_tile(const Transfer& t) {
  const auto chunks = plan_host_to_tile(t.tile, t.tile_address, t.host_offset, t.bytes);
  const auto program = assemble_host_to_tile_target_program(t.tile, t.tile_address, t.host_offset,
                                                            t.bytes, t.packet_address);
  if (!chunks)
    return expect_failure("assemble_host_to_tile_target_program", program, chunks.error());
  if (t.packet_address % 8 != 0) {
    return expect_failure("assemble_host_to_tile_target_program", program,
                          ExchangeError::host_packet());
  }
  if (t.packet_address >= send_limit) {
    return expect_failure("assemble_host_to_tile_target_program", program, send_operand);
  }
  FUZZ_CHECK(program.has_value(), "assemble_host_to_tile_target_program: " << program.error());
  const std::size_t n = chunks->size();
  Program instructions{0x19800000u | t.bytes / 4, length_register_write,
                       header_send(t.packet_address)};
  instructions.insert(instructions.end(), n - 1, continuation_send);
  instructions.insert(instructions.end(), {HOST_TRANSFER_SYNC_INSTRUCTION, RETURN_INSTRUCTION});
  Program packets;
  for (std::size_t i = 0; i < n; ++i) {
    const HostPacketHeader& header = (*chunks)[i].header;
    packets.push_back(i + 1 == n ? header.word0 : header.word0 & ~stream_end_bits);
    packets.push_back(header.word1);
  }
  expect_program("host-to-tile instructions", program->instructions, instructions);
  FUZZ_CHECK(program->packet_words == packets,
             "host-to-tile packet words " << words(program->packet_words));
  // The program is a host operation the target frame accepts.
  FUZZ_CHECK(wrap_host_target_operation(t.tile, program->instructions).has_value(),
             "the target frame refused " << words(program->instructions));
}

void check_tile_to_host(const Transfer& t) {
  const auto chunks = plan_tile_to_host(t.tile, t.tile_address, t.host_offset, t.bytes);
  const auto program = assemble_tile_to_host_target_program(
      t.tile, t.tile_address, t.host_offset, t.bytes, t.packet_address, t.command_address);
  const char* what = "assemble_tile_to_host_target_program";
  if (!chunks) return expect_failure(what, program, chunks.error());
  if (t.packet_address % 8 != 0) return expect_failure(what, program, ExchangeError::host_packet());
  const std::size_t n = chunks->size();
  const std::uint64_t close = std::uint64_t{t.packet_address} + 8 * n;
  if (close > 0xffffffffu) return expect_failure(what, program, ExchangeError::host_packet());
  const Result<HostPacketHeader> closing = zero_byte_read_packet(t.tile, t.command_address);
  if (!closing) return expect_failure(what, program, closing.error());
  bool reachable = close < send_limit;
  for (const HostTransferChunk& chunk : *chunks)
    reachable = reachable && chunk.tile_address < send_limit;
  if (!reachable) return expect_failure(what, program, send_operand);
  FUZZ_CHECK(program.has_value(), what << ": " << program.error());

  Program instructions{0x19800001u, length_register_write};
  Program packets;
  for (std::size_t i = 0; i < n; ++i) {
    const HostTransferChunk& chunk = (*chunks)[i];
    instructions.push_back(header_send(t.packet_address + static_cast<std::uint32_t>(8 * i)));
    instructions.push_back(0x78000003u | (chunk.bytes / 4 - 1) << 21 |
                           (chunk.tile_address >> 2) << 3);
    packets.insert(packets.end(), {chunk.header.word0, chunk.header.word1});
  }
  instructions.insert(instructions.end(), {delay(1), header_send(static_cast<std::uint32_t>(close)),
                                           HOST_TRANSFER_SYNC_INSTRUCTION, RETURN_INSTRUCTION});
  packets.insert(packets.end(), {closing->word0, closing->word1});
  expect_program("tile-to-host instructions", program->instructions, instructions);
  FUZZ_CHECK(program->packet_words == packets,
             "tile-to-host packet words " << words(program->packet_words));
  const auto direct = tile_to_host_target_instructions(*chunks, t.packet_address,
                                                       static_cast<std::uint32_t>(close));
  FUZZ_CHECK(direct && *direct == instructions,
             "tile_to_host_target_instructions: " << fuzz::outcome(direct));
}

void check_xreq(std::span<const std::uint16_t> targets, std::uint32_t packet_address) {
  const auto program = assemble_host_xreq_program_for_targets(targets, packet_address);
  const char* what = "assemble_host_xreq_program_for_targets";
  if (targets.empty() || packet_address % 8 != 0) {
    return expect_failure(what, program, ExchangeError::host_packet());
  }
  std::uint64_t bitmap = 0;
  for (const std::uint16_t target : targets) {
    const std::uint32_t index = 2 * (std::uint32_t{target} >> 6) + ((target >> 1) & 1u);
    // Indices from 56 up have no bit in the packet; the library refuses them.
    if (target > 4095 || index >= 56)
      return expect_failure(what, program, ExchangeError::host_packet());
    bitmap |= std::uint64_t{1} << index;
  }
  if (packet_address >= send_limit) return expect_failure(what, program, send_operand);
  FUZZ_CHECK(program.has_value(), what << ": " << program.error());
  const Program instructions{header_send(packet_address), RETURN_INSTRUCTION};
  const Program packets{static_cast<std::uint32_t>(bitmap & 0xffffffu),
                        static_cast<std::uint32_t>(bitmap >> 24)};
  FUZZ_CHECK(program->instructions == instructions && program->packet_words == packets,
             what << ": " << words(program->instructions) << " " << words(program->packet_words));
  const auto single = assemble_host_xreq_program(targets[0], packet_address);
  FUZZ_CHECK(single && single->instructions == instructions,
             "assemble_host_xreq_program(" << targets[0] << "): " << fuzz::outcome(single));
}

void check_command_read(std::uint32_t packet_address, std::uint32_t destination,
                        std::uint32_t host_offset) {
  const auto program = assemble_host_command_read_program(packet_address, destination, host_offset);
  const char* what = "assemble_host_command_read_program";
  if (packet_address % 8 != 0) return expect_failure(what, program, ExchangeError::host_packet());
  const Result<HostPacketHeader> request = host_to_tile_packet(0, destination, host_offset, 4);
  if (!request) return expect_failure(what, program, request.error());
  // The request header lies 8 bytes on; near 2^32 that address passes 32 bits.
  if (std::uint64_t{packet_address} + 8 >= send_limit) {
    return expect_failure(what, program, send_operand);
  }
  FUZZ_CHECK(program.has_value(), what << ": " << program.error());
  const Program target{0x19800001u, length_register_write, header_send(packet_address + 8),
                       HOST_TRANSFER_SYNC_INSTRUCTION, RETURN_INSTRUCTION};
  const Result<Program> combined = wrap_combined_host_operation(0, target, packet_address);
  FUZZ_CHECK(
      combined && program->instructions.size() == 15 &&
          std::equal(combined->begin(), combined->begin() + 11, program->instructions.begin()),
      what << ": " << words(program->instructions));
  const Program row{ROW_ENTRY_INSTRUCTION, delay(72), 0x78000003u | (destination >> 2) << 3,
                    RETURN_INSTRUCTION};
  FUZZ_CHECK(std::equal(row.begin(), row.end(), program->instructions.begin() + 11),
             what << " exchange row: " << words(program->instructions));
  const Program packets{1, 0, request->word0, request->word1};
  FUZZ_CHECK(program->packet_words == packets,
             what << " packet words " << words(program->packet_words));
}

std::uint32_t operation_word(fuzz::FuzzInput& input) {
  const std::uint8_t kind = input.u8();
  const std::uint32_t operand = input.u32();
  switch (kind % 4) {
    case 0: return RETURN_INSTRUCTION;
    case 1: return 0x19800000u | (operand & 0xfffffu);
    default: return operand;
  }
}

// Near the host exchange window and aligned, unless raw.
std::uint32_t address(std::uint32_t value, bool raw, std::uint32_t alignment) {
  if (raw) return value;
  return (0x4f000u + value % 0x6000u) / alignment * alignment;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input{data, size};
  const bool raw = (input.u8() & 1u) != 0;
  const std::uint16_t tile = raw ? input.u16() : static_cast<std::uint16_t>(input.u16() % 4160);
  Program operation(input.u8() % 16);
  for (std::uint32_t& word : operation) word = operation_word(input);
  const std::uint32_t entry = input.u32();
  const std::uint32_t xreq_address = address(input.u32(), raw, 8);
  check_wrappers(tile, operation, entry, xreq_address);

  Transfer transfer{};
  transfer.tile = tile;
  transfer.tile_address = address(input.u32(), raw, 32);
  transfer.host_offset = raw ? input.u32() : input.u32() / 4 * 4;
  transfer.bytes = input.u32() & 0x3fffu;
  if (!raw) transfer.bytes = transfer.bytes / 4 * 4;
  transfer.packet_address = address(input.u32(), raw, 8);
  transfer.command_address = address(input.u32(), raw, 32);
  check_host_to_tile(transfer);
  check_tile_to_host(transfer);
  check_command_read(transfer.packet_address, transfer.command_address, transfer.host_offset);

  std::vector<std::uint16_t> targets(input.u8() % 8);
  for (std::uint16_t& target : targets) target = raw ? input.u16() : input.u16() % 1800;
  check_xreq(targets, transfer.packet_address);
  return 0;
}
