// Reading exchange descriptions: the command-line tool's reader on the text of
// a full-card all-to-all of 16-word transfers, held in memory (no file system).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "description_reader.hpp"

namespace {

// The text bench/generators/all_to_all.py writes, for the first `shifts` shifts
// (each up to three phases of point-to-point transfers).
std::string all_to_all_text(std::uint32_t shifts) {
  constexpr std::uint32_t tiles = 1472;
  constexpr std::uint32_t words = 16;
  std::string text = "{\"topology\": \"m1472\", \"phases\": [\n";
  bool first_phase = true;
  for (std::uint32_t shift = 1; shift <= shifts; ++shift) {
    std::uint32_t cycles = tiles;
    for (std::uint32_t a = shift; a != 0;) {
      const std::uint32_t rest = cycles % a;
      cycles = a;
      a = rest;
    }
    const std::uint32_t length = tiles / cycles;
    std::string rounds[3];
    for (std::uint32_t start = 0; start < cycles; ++start) {
      for (std::uint32_t k = 0; k < length; ++k) {
        const std::uint32_t sender = (start + k * shift) % tiles;
        const std::uint32_t receiver = (sender + shift) % tiles;
        std::string& round = rounds[length % 2 == 1 && k == length - 1 ? 2 : k % 2];
        round += round.empty() ? "" : ",";
        round += "{\"from\":" + std::to_string(sender) + ",\"to\":" + std::to_string(receiver) +
                 ",\"words\":16,\"source\":" + std::to_string(4 * words * receiver) +
                 ",\"destination\":" + std::to_string(0x20000 + 4 * words * sender) + "}";
      }
    }
    for (const std::string& round : rounds) {
      if (round.empty()) continue;
      text += first_phase ? "" : ",\n";
      first_phase = false;
      text += "{\"transfers\": [" + round + "]}";
    }
  }
  return text + "\n]}\n";
}

void BM_ReadAllToAllText(benchmark::State& state) {
  const std::string text = all_to_all_text(static_cast<std::uint32_t>(state.range(0)));
  for (auto _ : state) {
    auto description = meshweave::tool::read_description(text);
    if (!description) state.SkipWithError("refused");
    benchmark::DoNotOptimize(description);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ReadAllToAllText)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace
