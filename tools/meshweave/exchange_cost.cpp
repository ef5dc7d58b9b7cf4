#include "exchange_cost.hpp"

#include <cstdio>

namespace meshweave::tool {

CostSummary summarise(const ExchangeEstimate& estimate) noexcept {
  CostSummary summary{estimate.horizon, estimate.lower_bound};
  summary.tiles = estimate.tiles.size();
  for (const TileEstimate& tile : estimate.tiles) {
    if (tile.program_words > summary.longest_words) {
      summary.longest_words = tile.program_words;
      summary.longest_tile = tile.logical;
    }
    if (tile.busy_cycles > summary.busiest_cycles) {
      summary.busiest_cycles = tile.busy_cycles;
      summary.busiest_tile = tile.logical;
    }
  }
  // With every tile at 0 the first one is both.
  if (!estimate.tiles.empty()) {
    if (summary.longest_words == 0) summary.longest_tile = estimate.tiles.front().logical;
    if (summary.busiest_cycles == 0) summary.busiest_tile = estimate.tiles.front().logical;
  }
  return summary;
}

std::optional<std::string> horizon_ratio(const CostSummary& summary) {
  if (summary.lower_bound == 0) return std::nullopt;
  char text[32];
  const int length = std::snprintf(
      text, sizeof text, "%.2f",
      static_cast<double>(summary.horizon) / static_cast<double>(summary.lower_bound));
  return std::string(text, static_cast<std::size_t>(length));
}

std::string summary_line(const CostSummary& summary) {
  std::string line = "horizon " + std::to_string(summary.horizon) + " cycles, lower bound " +
                     std::to_string(summary.lower_bound) + " (H/L = ";
  line += horizon_ratio(summary).value_or("n/a");
  line += ")";
  return line;
}

std::string render_cost_text(const ExchangeEstimate& estimate) {
  const CostSummary summary = summarise(estimate);
  std::string out = summary_line(summary) + "\n";
  if (summary.tiles == 0) return out + "no tile takes part\n";
  out += "longest program: " + std::to_string(summary.longest_words) + " words (tile " +
         std::to_string(summary.longest_tile) + ")\n";
  out += "busiest tile: " + std::to_string(summary.busiest_tile) + " (" +
         std::to_string(summary.busiest_cycles) + " busy cycles)\n";
  return out;
}

std::string render_cost_json(const ExchangeEstimate& estimate) {
  const CostSummary summary = summarise(estimate);
  std::string out = "{\n \"horizon\": " + std::to_string(summary.horizon) +
                    ",\n \"lower_bound\": " + std::to_string(summary.lower_bound) +
                    ",\n \"ratio\": " + horizon_ratio(summary).value_or("null");
  if (summary.tiles == 0) {
    out += ",\n \"longest_program\": null,\n \"busiest_tile\": null";
  } else {
    out += ",\n \"longest_program\": {\"tile\": " + std::to_string(summary.longest_tile) +
           ", \"words\": " + std::to_string(summary.longest_words) + "}";
    out += ",\n \"busiest_tile\": {\"tile\": " + std::to_string(summary.busiest_tile) +
           ", \"busy_cycles\": " + std::to_string(summary.busiest_cycles) + "}";
  }
  out += ",\n \"tiles\": [";
  bool first = true;
  for (const TileEstimate& tile : estimate.tiles) {
    out += first ? "\n  " : ",\n  ";
    first = false;
    out += "{\"logical\": " + std::to_string(tile.logical) +
           ", \"busy_cycles\": " + std::to_string(tile.busy_cycles) +
           ", \"program_words\": " + std::to_string(tile.program_words) + "}";
  }
  out += first ? "]\n}\n" : "\n ]\n}\n";
  return out;
}

}  // namespace meshweave::tool
