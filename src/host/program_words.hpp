#pragma once

#include <cstdint>

#include "host_sends.hpp"
#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/instruction_words/scalar_encoders.hpp"

namespace meshweave {

// Fixed words of the data-transfer programs.
namespace host_program {
// The transfer length (words, or 1 for tile-to-host) goes through m8 into
// special register 166.
inline constexpr std::uint8_t length_register = 8;
inline constexpr std::uint8_t length_special_register = 166;
constexpr std::uint32_t length_load(std::uint32_t value) noexcept {
  return setzi_m(length_register, value);
}
inline constexpr std::uint32_t length_register_write = put_special_from_m8(length_special_register);
// Sends each further header of a host-to-tile stream.
inline constexpr std::uint32_t continuation_send = send_off(1, host_send::direction, 0);
// Between the last tile-to-host payload and the closing header.
inline constexpr std::uint32_t close_delay = delay(1);

static_assert(length_register_write == 0x438080a6u && continuation_send == 0x70200003u &&
              close_delay == 0x40a00001u);
}  // namespace host_program

}  // namespace meshweave
