// Compiling the full-card all-to-all in process: every ordered pair of distinct
// tiles moves 16 words, laid out in phases as bench/generators/all_to_all.py
// writes them (2,165,312 transfers in 2,964 phases). The tool's reading and
// rendering of the same exchange are measured against this time.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>

#include "exchange_patterns.hpp"
#include "meshweave/exchange.hpp"

namespace {

using namespace meshweave;

void BM_CompileAllToAll(benchmark::State& state) {
  const Topology card = Topology::m1472();
  const ExchangeDescription description = bench::all_to_all().phases;
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

// Checking the compiled all-to-all against its description.
void BM_VerifyAllToAll(benchmark::State& state) {
  const Topology card = Topology::m1472();
  const ExchangeDescription description = bench::all_to_all().phases;
  const auto compiled = compile_exchange(card, description);
  if (!compiled) {
    state.SkipWithError("compile failed");
    return;
  }
  for (auto _ : state) {
    auto issues = verify_exchange(card, description, *compiled);
    if (!issues.empty()) state.SkipWithError("verification failed");
    benchmark::DoNotOptimize(issues);
  }
}
BENCHMARK(BM_VerifyAllToAll)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
