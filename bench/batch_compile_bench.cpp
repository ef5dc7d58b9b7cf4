// Compiling 64 mid-size exchanges (full-card shifts of 8 to 15 phases, 5,900
// to 11,000 transfers each) one by one on one thread, and as a batch on 1 and
// 2 threads.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include "meshweave/exchange.hpp"
#include "workloads.hpp"

namespace {

using namespace meshweave;

std::vector<ExchangeDescription> batch() {
  std::vector<ExchangeDescription> descriptions;
  for (std::size_t index = 0; index < 64; ++index) {
    descriptions.push_back(bench::full_card_shift(8 + index % 8));
  }
  return descriptions;
}

void BM_CompileOneByOne(benchmark::State& state) {
  const Topology card = Topology::m1472();
  const std::vector<ExchangeDescription> descriptions = batch();
  for (auto _ : state) {
    for (const ExchangeDescription& description : descriptions) {
      auto compiled = compile_exchange(card, description);
      if (!compiled) state.SkipWithError("compile failed");
      benchmark::DoNotOptimize(compiled);
    }
  }
}
BENCHMARK(BM_CompileOneByOne)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CompileBatch(benchmark::State& state) {
  const Topology card = Topology::m1472();
  const std::vector<ExchangeDescription> descriptions = batch();
  const auto threads = static_cast<unsigned>(state.range(0));
  for (auto _ : state) {
    auto compiled = compile_exchanges(card, descriptions, threads);
    for (const auto& result : compiled) {
      if (!result) state.SkipWithError("compile failed");
    }
    benchmark::DoNotOptimize(compiled);
  }
}
BENCHMARK(BM_CompileBatch)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
