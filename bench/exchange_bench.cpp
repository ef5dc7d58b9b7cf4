// Compiling whole-card exchanges. A tile takes part in one transfer per phase,
// so the card shifts in alternating phases: even tiles send 64 words to their
// neighbour, then odd tiles do; two phases move every tile's data one tile on.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "meshweave/exchange.hpp"
#include "workloads.hpp"

namespace {

using namespace meshweave;
using bench::full_card_shift;

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
BENCHMARK(BM_CompileFullCardShift)
    ->Arg(25)
    ->Arg(50)
    ->Arg(100)
    ->Arg(200)
    ->Unit(benchmark::kMillisecond);

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
