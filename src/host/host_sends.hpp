#pragma once

#include <cstdint>

#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/instruction_words/error.hpp"
#include "meshweave/instruction_words/refusal.hpp"

namespace meshweave {

// The SENDs of the host programs: every one goes out with direction 3 and reads
// tile memory at a byte address, which the SEND word holds as a word address.
namespace host_send {
inline constexpr std::uint32_t direction = 3;
inline constexpr std::uint32_t word_bytes = 4;
// A packet header, or the xreq packet: two words.
inline constexpr std::uint32_t header_words = 2;
inline constexpr std::uint32_t header_bytes = header_words * word_bytes;

// SEND of the two words at `byte_address`; Schedule("send instruction operand")
// from 0x100000 up.
constexpr Result<std::uint32_t> header(std::uint32_t byte_address) noexcept {
  return encode_send(header_words - 1, direction, byte_address / word_bytes);
}

// SEND of `count` words (1 to 64) from `byte_address`.
constexpr Result<std::uint32_t> words(std::uint32_t byte_address, std::uint32_t count) noexcept {
  return encode_send(count - 1, direction, byte_address / word_bytes);
}

// The same SENDs with the reason of a refusal. The count and direction of a
// header SEND always fit, so only its address can be refused.
constexpr Explained<std::uint32_t> explained_header(std::uint32_t byte_address,
                                                    RefusedArgument argument) noexcept {
  const Result<std::uint32_t> send = header(byte_address);
  if (!send) return refuse(send.error(), Reason::send_address_range, argument, byte_address);
  return *send;
}

constexpr Explained<std::uint32_t> explained_words(std::uint32_t byte_address, std::uint32_t count,
                                                   RefusedArgument argument) noexcept {
  const Result<std::uint32_t> send = words(byte_address, count);
  if (!send) {
    if (!send_word::CountMinusOne::fits(count - 1)) {
      return refuse(send.error(), Reason::send_count_range, RefusedArgument::chunk, count);
    }
    return refuse(send.error(), Reason::send_address_range, argument, byte_address);
  }
  return *send;
}

static_assert(header(0x50160).value() == 0x782a02c3u);
}  // namespace host_send

}  // namespace meshweave
