#pragma once

#include <cstddef>
#include <cstdint>

#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/instruction_words/scalar_encoders.hpp"

namespace meshweave {

// Words of the frame around a host operation: the tile's mux number goes through
// m8 into special register 160 before the body, and 1600 (outside every mux
// number) after it.
namespace host_frame {
inline constexpr std::uint8_t mux_register = 8;
inline constexpr std::uint8_t mux_special_register = 160;
inline constexpr std::uint32_t mux_release = xpic_word::released_selector;

constexpr std::uint32_t mux_load(std::uint32_t mux) noexcept { return setzi_m(mux_register, mux); }
inline constexpr std::uint32_t mux_register_write = put_special_from_m8(mux_special_register);
inline constexpr std::uint32_t mux_release_load = mux_load(mux_release);

inline constexpr std::size_t prologue_words = 3;
inline constexpr std::size_t epilogue_words = 4;

static_assert(mux_register_write == 0x438080a0u && mux_release_load == 0x19800640u);
}  // namespace host_frame

}  // namespace meshweave
