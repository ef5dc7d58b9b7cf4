#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <limits>
#include <span>

#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/instruction_words/error.hpp"

namespace meshweave {

// Event horizon of a word sequence (a row, a stream, a finished program): the
// cycles its timed words account for. Untimed words count 0.
constexpr Result<std::uint32_t> plan_event_cycles(std::span<const std::uint32_t> row) noexcept {
  std::uint32_t cycles = 0;
  for (const std::uint32_t word : row) {
    const std::uint32_t advance = instruction_advance(word);
    if (advance > std::numeric_limits<std::uint32_t>::max() - cycles) {
      return std::unexpected(
          ExchangeError::schedule(schedule_message::plan_event_horizon_overflow));
    }
    cycles += advance;
  }
  return cycles;
}

// Cycles of one planned row: plan_event_cycles of its words up to its return
// word (a planned row holds only zeros after it). A row is too short to
// overflow: at most 16 words of at most 2^19 cycles each.
template <std::size_t Words>
  requires(Words <= 16)
constexpr std::uint32_t plan_row_cycles(const std::array<std::uint32_t, Words>& row) noexcept {
  std::uint32_t cycles = 0;
  for (const std::uint32_t word : row) {
    if (word == RETURN_INSTRUCTION) break;
    cycles += instruction_advance(word);
  }
  return cycles;
}

static_assert(plan_event_cycles(std::array<std::uint32_t, 0>{}).value() == 0);
static_assert(plan_row_cycles(std::array{0x41800003u, 0x40a00016u, 0x78400003u, RETURN_INSTRUCTION,
                                         0x41800003u}) == 26);
static_assert(plan_event_cycles(std::array{0x41800003u, 0x40a00016u, 0x78400003u, 0x43a00000u})
                  .value() == 26);

}  // namespace meshweave
