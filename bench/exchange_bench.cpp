// Compiling whole-card exchanges. A tile takes part in one transfer per phase,
// so one shift step of the card (every tile sends 64 words to its neighbour)
// takes two phases: even tiles send, then odd tiles.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "meshweave/exchange.hpp"

namespace {

using namespace meshweave;

ExchangeDescription full_card_shift(std::size_t steps) {
  ExchangeDescription description;
  for (std::size_t phase = 0; phase < 2 * steps; ++phase) {
    Phase step;
    for (std::uint32_t sender = phase % 2; sender < M1472_TILE_COUNT; sender += 2) {
      const auto receiver = static_cast<std::uint16_t>((sender + 1) % M1472_TILE_COUNT);
      step.transfers.push_back(
          PointToPointTransfer{static_cast<std::uint16_t>(sender), receiver, 64, 0x40000, 0x50000});
    }
    description.phases.push_back(std::move(step));
  }
  return description;
}

void BM_CompileFullCardShift(benchmark::State& state) {
  const Topology card = Topology::m1472();
  const ExchangeDescription description = full_card_shift(static_cast<std::size_t>(state.range(0)));
  std::size_t words = 0;
  for (auto _ : state) {
    auto compiled = compile_exchange(card, description);
    if (!compiled) state.SkipWithError("compile failed");
    words = 0;
    for (const TileProgram& program : compiled->programs) words += program.words.size();
    benchmark::DoNotOptimize(compiled);
  }
  state.counters["phases"] = static_cast<double>(description.phases.size());
  state.counters["words"] = static_cast<double>(words);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(words * sizeof(std::uint32_t)));
}
BENCHMARK(BM_CompileFullCardShift)->Arg(25)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_VerifyFullCardShift(benchmark::State& state) {
  const Topology card = Topology::m1472();
  const ExchangeDescription description = full_card_shift(static_cast<std::size_t>(state.range(0)));
  const auto compiled = compile_exchange(card, description);
  for (auto _ : state) {
    auto issues = verify_exchange(card, description, *compiled);
    if (!issues.empty()) state.SkipWithError("verification failed");
    benchmark::DoNotOptimize(issues);
  }
}
BENCHMARK(BM_VerifyFullCardShift)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace
