#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "meshweave/exchange/schedule.hpp"

namespace meshweave::tool {

// The figures an estimate is summed up by.
struct CostSummary {
  std::uint32_t horizon = 0;
  std::uint32_t lower_bound = 0;
  // Tiles that take part; the two below are meaningful only when it is not 0.
  std::size_t tiles = 0;
  // The longest program (the lowest tile on a tie).
  std::uint16_t longest_tile = 0;
  std::size_t longest_words = 0;
  // The tile with the most busy cycles (the lowest tile on a tie).
  std::uint16_t busiest_tile = 0;
  std::uint32_t busiest_cycles = 0;
};

CostSummary summarise(const ExchangeEstimate& estimate) noexcept;

// "horizon 120 cycles, lower bound 100 (H/L = 1.20)"; the ratio is "n/a" when
// the lower bound is 0.
std::string summary_line(const CostSummary& summary);

// H/L with two decimals, or nothing when the lower bound is 0.
std::optional<std::string> horizon_ratio(const CostSummary& summary);

// The summary line, then "longest program: W words (tile T)" and
// "busiest tile: T (C busy cycles)" (or "no tile takes part").
std::string render_cost_text(const ExchangeEstimate& estimate);

// {"horizon", "lower_bound", "ratio" (a number, or null), "longest_program":
// {"tile", "words"}, "busiest_tile": {"tile", "busy_cycles"} (both null when no
// tile takes part), "tiles": [{"logical", "busy_cycles", "program_words"}]}.
std::string render_cost_json(const ExchangeEstimate& estimate);

}  // namespace meshweave::tool
