// Compiling the full-card all-to-all in process: every ordered pair of distinct
// tiles moves 16 words, laid out in phases as bench/generators/all_to_all.py
// writes them (2,165,312 transfers in 2,964 phases). The tool's reading and
// rendering of the same exchange are measured against this time.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <numeric>

#include "meshweave/exchange.hpp"

namespace {

using namespace meshweave;

ExchangeDescription all_to_all(std::uint32_t tiles, std::uint32_t words) {
  constexpr std::uint32_t destination = 0x20000;
  ExchangeDescription description;
  for (std::uint32_t shift = 1; shift < tiles; ++shift) {
    const std::uint32_t cycles = std::gcd(tiles, shift);
    const std::uint32_t length = tiles / cycles;
    Phase rounds[3];
    for (std::uint32_t start = 0; start < cycles; ++start) {
      for (std::uint32_t k = 0; k < length; ++k) {
        const std::uint32_t sender = (start + k * shift) % tiles;
        const std::uint32_t receiver = (sender + shift) % tiles;
        const bool closing = length % 2 == 1 && k == length - 1;
        rounds[closing ? 2 : k % 2].transfers.push_back(PointToPointTransfer{
            static_cast<std::uint16_t>(sender), static_cast<std::uint16_t>(receiver), words,
            4 * words * receiver, destination + 4 * words * sender});
      }
    }
    for (Phase& round : rounds) {
      if (!round.transfers.empty()) description.phases.push_back(std::move(round));
    }
  }
  return description;
}

void BM_CompileAllToAll(benchmark::State& state) {
  const Topology card = Topology::m1472();
  const ExchangeDescription description = all_to_all(1472, 16);
  std::size_t transfers = 0;
  for (const Phase& phase : description.phases) transfers += phase.transfers.size();
  for (auto _ : state) {
    auto compiled = compile_exchange(card, description);
    if (!compiled) state.SkipWithError("compile failed");
    benchmark::DoNotOptimize(compiled);
  }
  state.counters["phases"] = static_cast<double>(description.phases.size());
  state.counters["transfers"] = static_cast<double>(transfers);
}
BENCHMARK(BM_CompileAllToAll)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
