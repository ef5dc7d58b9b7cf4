#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "meshweave/instruction_words/error.hpp"

namespace meshweave {

// Why an operation refused, beside the ExchangeError it returns. The checks of
// the host operations and the tile-to-tile planners build a Refusal where they
// fail; the plain operations return only its `error`, the operations of
// namespace `explained` return all of it.
//
// Every reason and its sentence, in one list. In a sentence, {arg} stands for
// the name of the refused argument, {a} and {b} for the first and second value
// in decimal, {A} and {B} for the same in hexadecimal, {error} for the
// ExchangeError's debug rendering.
#define MESHWEAVE_REFUSAL_REASONS(X)                                                               \
  X(unexplained, "{error}")                                                                        \
  /* Host packet headers */                                                                        \
  X(host_tile_range, "{arg} {a}: host packets name physical tiles 0 to 4095")                      \
  X(host_to_tile_tile_range, "{arg} {a}: host-to-tile headers reach physical tiles 0 to 2047")     \
  X(outside_host_window,                                                                           \
    "{arg} {A}: host-to-tile packets start inside the host exchange window 0x50000 to 0x53fff")    \
  X(off_exchange_granule, "{arg} {A}: host-to-tile packets start at multiples of 32 bytes")        \
  X(zero_bytes, "{arg} 0: host transfers and packets move at least 4 bytes")                       \
  X(bytes_not_words, "{arg} {a}: host transfers and packets move whole 4-byte words")              \
  X(packet_too_long, "{arg} {a}: a host packet moves at most 1024 bytes")                          \
  X(host_offset_not_words,                                                                         \
    "{arg} {A}: host transfers and packets start at host offsets that are multiples of 4")         \
  X(long_bytes_not_units,                                                                          \
    "{arg} {a}: host packets of 64 bytes or more move multiples of 64 bytes")                      \
  X(long_host_offset_not_units,                                                                    \
    "{arg} {A}: host packets of 64 bytes or more ({b} here) start at host offsets that are "       \
    "multiples of 64")                                                                             \
  X(not_short_packet,                                                                              \
    "{arg} {A} with {b} bytes: a Short packet moves 4 to 60 bytes in 4-byte units from a host "    \
    "offset that is a multiple of 4")                                                              \
  X(not_long_packet,                                                                               \
    "{arg} {A} with {b} bytes: a Long packet moves 64 to 1024 bytes in 64-byte units from a "      \
    "host offset that is a multiple of 64")                                                        \
  X(short_host_offset_range,                                                                       \
    "{arg} {A}: host packets of less than 64 bytes reach host offsets below 0x20000000")           \
  /* Host transfer planner */                                                                      \
  X(tile_address_not_words,                                                                        \
    "{arg} {A}: tile-to-host transfers start at tile addresses that are multiples of 4")           \
  X(transfer_leaves_window,                                                                        \
    "{arg} {A} with {b} bytes: every packet of a host-to-tile transfer starts inside the host "    \
    "exchange window 0x50000 to 0x53fff")                                                          \
  X(transfer_passes_address_space,                                                                 \
    "{arg} {A} with {b} bytes: the address after a host transfer must fit 32 bits")                \
  X(chunk_limit_too_small, "{arg} {a}: a host transfer needs chunks of up to at least 64 bytes")   \
  X(header_builder_refused,                                                                        \
    "{arg} at tile address {A}, host offset {B}: the header builder refused it")                   \
  /* Host programs */                                                                              \
  X(packet_words_alignment, "{arg} {A}: host packet words lie at multiples of 8")                  \
  X(send_address_range, "{arg} {A}: a SEND reads tile memory below 0x100000")                      \
  X(send_count_range, "{arg} of {a} words: a SEND moves 1 to 64 words")                            \
  X(close_header_passes_address_space,                                                             \
    "{arg} {A}: the closing header after {b} chunk header(s) of 8 bytes needs a 32-bit address")   \
  X(chunk_header_send_range,                                                                       \
    "{arg} {A}: the header of chunk {b}, 8 bytes a chunk further, lies beyond a SEND's reach "     \
    "(below 0x100000)")                                                                            \
  X(request_header_send_range,                                                                     \
    "{arg} {A}: the request header 8 bytes further lies beyond a SEND's reach (below 0x100000)")   \
  X(no_chunks, "no chunks: a tile-to-host program sends at least one")                             \
  X(payload_not_words,                                                                             \
    "{arg} of {a} bytes at tile address {B}: a payload is at least one whole 4-byte word at a "    \
    "multiple of 4")                                                                               \
  X(no_targets, "no target tiles: an xreq packet names at least one")                              \
  X(xreq_target_range,                                                                             \
    "{arg} {a}: xreq packets name physical tiles 0 to 1791 (endpoint index {b} has no bit)")       \
  X(operation_return, "{arg} of {a} word(s): a host operation ends in the return word 0x43a00000") \
  X(combined_operation_prefix,                                                                     \
    "{arg} of {a} word(s): a combined host operation has at least 2 words before its return "      \
    "(the length load and its register write)")                                                    \
  /* Tile-to-tile planners */                                                                      \
  X(count_range, "{arg} {a}: a tile-to-tile transfer moves 1 to 4148 words")                       \
  X(same_tile,                                                                                     \
    "{arg} {a} is also the sender: a point-to-point exchange joins two different tiles")           \
  X(tile_off_topology, "{arg} {a}: the topology's logical tiles are numbered below {b}")           \
  X(no_receivers, "no receivers: a multicast names at least one receiving tile")                   \
  X(receiver_is_sender, "{arg} {a} is the sender: a multicast does not send to its own tile")      \
  X(receiver_repeated, "{arg} {a} is named twice: a multicast names each receiver once")           \
  X(multicast_start_late,                                                                          \
    "{arg} {a}: the multicast would start after cycle 4095 (its earliest start is cycle {b})")     \
  X(multicast_receive_late,                                                                        \
    "{arg} {a}: the latest receiver would receive at cycle {b}, after cycle 4095")                 \
  X(multicast_sender_tile,                                                                         \
    "{arg} at physical tile {a}: multicast receivers name senders by physical tiles 0 to 8191")    \
  X(receiver_phase,                                                                                \
    "{arg} at physical tile {a}: receiving tiles lie on physical rows 0 to 38 (64 tiles a row)")   \
  X(sender_delay,                                                                                  \
    "{arg} at physical tile {a}: its route from physical tile {b} needs a sender start no DELAY "  \
    "can hold")                                                                                    \
  /* Plan row patching */                                                                          \
  X(row_address_alignment, "{arg} {A}: plan rows address tile memory in whole 4-byte words")       \
  X(row_address_range, "{arg} {A}: SEND and PIC words reach byte addresses below 0x100000")        \
  X(row_without_send, "{arg} {A}: the row has no SEND word to carry it")                           \
  X(row_without_pic, "{arg} {A}: the row has no PIC word to carry it")                             \
  X(receiver_patch_index,                                                                          \
    "{arg} {a}: a receiver template names one of words 0 to 7 of its finished row")                \
  X(receiver_source_tile,                                                                          \
    "{arg} at physical tile {a}: receivers name senders by physical tiles 0 to 8191")              \
  X(offset_without_entry,                                                                          \
    "{arg} of {a} cycle(s): only a row that starts with the entry word 0x41800003 can be offset")  \
  X(offset_without_return,                                                                         \
    "{arg} of {a} cycle(s): only a row that holds the return word 0x43a00000 can be offset")       \
  X(offset_range, "{arg} of {a} cycle(s): the row has room for at most {b} cycles of extra delay")

enum class Reason : std::uint8_t {
#define MESHWEAVE_REASON_NAME(name, text) name,
  MESHWEAVE_REFUSAL_REASONS(MESHWEAVE_REASON_NAME)
#undef MESHWEAVE_REASON_NAME
};

// Reasons are numbered from 0 up to one below this.
inline constexpr std::size_t REFUSAL_REASON_COUNT = 0
#define MESHWEAVE_REASON_ONE(name, text) +1
    MESHWEAVE_REFUSAL_REASONS(MESHWEAVE_REASON_ONE)
#undef MESHWEAVE_REASON_ONE
    ;

// The argument a refusal concerns, as its sentence names it.
#define MESHWEAVE_REFUSED_ARGUMENTS(X)          \
  X(none, "")                                   \
  X(tile, "tile")                               \
  X(tile_address, "tile address")               \
  X(host_offset, "host offset")                 \
  X(bytes, "byte count")                        \
  X(packet_address, "packet address")           \
  X(command_address, "command address")         \
  X(dummy_tile_address, "dummy tile address")   \
  X(destination_address, "destination address") \
  X(xreq_packet_address, "xreq packet address") \
  X(close_address, "close address")             \
  X(chunk, "chunk")                             \
  X(chunk_limit, "largest chunk")               \
  X(target_tile, "target tile")                 \
  X(operation, "operation")                     \
  X(sender, "sender")                           \
  X(receiver, "receiver")                       \
  X(count, "word count")                        \
  X(schedule_offset, "schedule offset")         \
  X(source_address, "source address")           \
  X(patch_index, "patch index")                 \
  X(offset, "offset")

enum class RefusedArgument : std::uint8_t {
#define MESHWEAVE_ARGUMENT_NAME(name, text) name,
  MESHWEAVE_REFUSED_ARGUMENTS(MESHWEAVE_ARGUMENT_NAME)
#undef MESHWEAVE_ARGUMENT_NAME
};

struct Refusal {
  ExchangeError error;
  Reason reason = Reason::unexplained;
  RefusedArgument argument = RefusedArgument::none;
  std::uint32_t first = 0;
  std::uint32_t second = 0;

  friend constexpr bool operator==(const Refusal&, const Refusal&) = default;
};

// A value, or the refusal of the check that failed.
template <class T>
using Explained = std::expected<T, Refusal>;
using ExplainedStatus = std::expected<void, Refusal>;

constexpr std::unexpected<Refusal> refuse(ExchangeError error, Reason reason,
                                          RefusedArgument argument, std::uint32_t first = 0,
                                          std::uint32_t second = 0) noexcept {
  return std::unexpected(Refusal{error, reason, argument, first, second});
}

// `refusal` told of `to` where it told of `from`: an operation that hands one
// of its arguments to another under a different name.
constexpr std::unexpected<Refusal> renamed(Refusal refusal, RefusedArgument from,
                                           RefusedArgument to) noexcept {
  if (refusal.argument == from) refusal.argument = to;
  return std::unexpected(refusal);
}

// An error from a check that gives no reason of its own.
constexpr std::unexpected<Refusal> refuse(ExchangeError error) noexcept {
  return std::unexpected(Refusal{error});
}

// The plain result of an explained operation: the same value, or only the error.
template <class T>
constexpr Result<T> without_reason(Explained<T>&& explained) noexcept(
    std::is_nothrow_move_constructible_v<T>) {
  if (!explained) return std::unexpected(explained.error().error);
  if constexpr (std::is_void_v<T>) {
    return {};
  } else {
    return std::move(*explained);
  }
}

// The sentence of a reason, with its placeholders, and the name of an argument.
std::string_view reason_text(Reason reason) noexcept;
std::string_view argument_name(RefusedArgument argument) noexcept;

// The refusal as one sentence naming the value and the rule, for example
// "tile 2048: host-to-tile headers reach physical tiles 0 to 2047".
std::string explain(const Refusal& refusal);

}  // namespace meshweave
