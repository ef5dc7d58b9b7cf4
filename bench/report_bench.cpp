// The workloads of the performance report (scripts/bench). Each reports the
// items it produces and the bytes of output they take, so that the report can
// set its time against a floor measured in the same run: copying the same
// number of bytes with memcpy (BM_CopyFloor).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "meshweave/meshweave.hpp"
#include "workloads.hpp"

namespace {

using namespace meshweave;

void report(benchmark::State& state, std::size_t items, std::size_t output_bytes) {
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(items));
  state.counters["items"] = static_cast<double>(items);
  state.counters["output_bytes"] = static_cast<double>(output_bytes);
}

void BM_CopyFloor(benchmark::State& state) {
  const auto bytes = static_cast<std::size_t>(state.range(0));
  std::vector<char> source(bytes, 1);
  std::vector<char> destination(bytes, 0);
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), bytes);
    benchmark::ClobberMemory();
  }
  report(state, bytes, bytes);
}
BENCHMARK(BM_CopyFloor)->RangeMultiplier(4)->Range(1 << 8, 1 << 26);

// A mix of the checked encoders over changing operands.
void BM_EncodeWords(benchmark::State& state) {
  constexpr std::size_t words = bench::encoded_words;
  std::vector<std::uint32_t> out(words);
  for (auto _ : state) {
    bench::encode_words(std::span<std::uint32_t, words>{out});
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  report(state, words, words * sizeof(std::uint32_t));
}
BENCHMARK(BM_EncodeWords);

void BM_PointToPointAllPairs(benchmark::State& state) {
  const Topology card = Topology::m1472();
  bench::AllPairs pairs;
  for (auto _ : state) {
    pairs = bench::point_to_point_all_pairs(card);
    benchmark::DoNotOptimize(pairs);
  }
  report(state, pairs.plans, pairs.plans * sizeof(Plan));
}
BENCHMARK(BM_PointToPointAllPairs)->Unit(benchmark::kMillisecond);

void BM_MulticastToAllTiles(benchmark::State& state) {
  const Topology card = Topology::m1472();
  const std::vector<std::uint16_t> receivers = bench::all_but_tile_zero();
  for (auto _ : state) {
    auto plan = bench::multicast_from_tile_zero(card, receivers);
    benchmark::DoNotOptimize(plan);
  }
  report(state, receivers.size(), (receivers.size() + 1) * sizeof(PlanRow));
}
BENCHMARK(BM_MulticastToAllTiles)->Unit(benchmark::kMicrosecond);

void BM_AppendRows(benchmark::State& state) {
  const auto rows = bench::chained_rows(static_cast<std::size_t>(state.range(0)));
  std::size_t words = 0;
  for (auto _ : state) {
    auto builder = bench::append_rows(rows);
    if (!builder) state.SkipWithError("append refused");
    words = builder->words.size();
    benchmark::DoNotOptimize(builder);
  }
  report(state, rows.size(), words * sizeof(std::uint32_t));
}
BENCHMARK(BM_AppendRows)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

// 1 MiB from tile memory to the host: 4096 chunks of 256 bytes.
void BM_TileToHostMebibyte(benchmark::State& state) {
  std::size_t words = 0;
  std::size_t chunks = 0;
  for (auto _ : state) {
    auto program = bench::tile_to_host_mebibyte();
    if (!program) state.SkipWithError("assembly failed");
    words = program->instructions.size() + program->packet_words.size();
    chunks = program->packet_words.size() / 2 - 1;
    benchmark::DoNotOptimize(program);
  }
  report(state, chunks, words * sizeof(std::uint32_t));
}
BENCHMARK(BM_TileToHostMebibyte)->Unit(benchmark::kMicrosecond);

void BM_CompileFullCardShift(benchmark::State& state) {
  const Topology card = Topology::m1472();
  const ExchangeDescription description = bench::full_card_shift(100);
  std::size_t words = 0;
  std::size_t transfers = 0;
  for (auto _ : state) {
    auto compiled = compile_exchange(card, description);
    if (!compiled) state.SkipWithError("compile failed");
    words = 0;
    for (const TileProgram& program : compiled->programs) words += program.words.size();
    transfers = compiled->timings.size();
    benchmark::DoNotOptimize(compiled);
  }
  report(state, transfers, words * sizeof(std::uint32_t));
}
BENCHMARK(BM_CompileFullCardShift)->Unit(benchmark::kMillisecond);

}  // namespace
