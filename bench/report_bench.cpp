// The workloads of the performance report (scripts/bench). Each reports the
// items it produces and the bytes of output they take, so that the report can
// set its time against a floor measured in the same run: copying the same
// number of bytes with memcpy (BM_CopyFloor).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <numeric>
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
  constexpr std::uint32_t words = 4096;
  std::vector<std::uint32_t> out(words);
  for (auto _ : state) {
    for (std::uint32_t i = 0; i < words; i += 4) {
      out[i] = encode_send(i & 63u, 1 + (i & 1u), i).value_or(0);
      out[i + 1] = delay_xpic(i & 0xfffu, 0, i & 0x1fffu);
      out[i + 2] = encode_setzi_m(static_cast<std::uint8_t>(i & 15u), i).value_or(0);
      out[i + 3] = encode_add_m_immediate(static_cast<std::uint8_t>(i & 15u), 3,
                                          static_cast<std::int32_t>(i) - 2048)
                       .value_or(0);
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  report(state, words, words * sizeof(std::uint32_t));
}
BENCHMARK(BM_EncodeWords);

void BM_PointToPointAllPairs(benchmark::State& state) {
  const Topology card = Topology::m1472();
  std::size_t plans = 0;
  std::uint32_t sink = 0;
  for (auto _ : state) {
    plans = 0;
    for (std::uint16_t sender = 0; sender < M1472_TILE_COUNT; ++sender) {
      for (std::uint16_t receiver = 0; receiver < M1472_TILE_COUNT; ++receiver) {
        if (sender == receiver) continue;
        const auto plan = card.point_to_point(sender, receiver, 64);
        sink ^= plan->sender[2] ^ plan->receiver[3];
        ++plans;
      }
    }
    benchmark::DoNotOptimize(sink);
  }
  report(state, plans, plans * sizeof(Plan));
}
BENCHMARK(BM_PointToPointAllPairs)->Unit(benchmark::kMillisecond);

void BM_MulticastToAllTiles(benchmark::State& state) {
  const Topology card = Topology::m1472();
  std::vector<std::uint16_t> receivers(M1472_TILE_COUNT - 1);
  std::iota(receivers.begin(), receivers.end(), std::uint16_t{1});
  for (auto _ : state) {
    auto plan = card.multicast(0, receivers, 64, 0);
    benchmark::DoNotOptimize(plan);
  }
  report(state, receivers.size(), (receivers.size() + 1) * sizeof(PlanRow));
}
BENCHMARK(BM_MulticastToAllTiles)->Unit(benchmark::kMicrosecond);

void BM_AppendRows(benchmark::State& state) {
  const auto rows = bench::chained_rows(static_cast<std::size_t>(state.range(0)));
  std::size_t words = 0;
  for (auto _ : state) {
    PlanProgramBuilder builder;
    for (const PlanRow& row : rows) {
      if (!builder.append_scheduled_row(row)) state.SkipWithError("append refused");
    }
    words = builder.words.size();
    benchmark::DoNotOptimize(builder);
  }
  report(state, rows.size(), words * sizeof(std::uint32_t));
}
BENCHMARK(BM_AppendRows)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

// 1 MiB from tile memory to the host: 4096 chunks of 256 bytes.
void BM_TileToHostMebibyte(benchmark::State& state) {
  constexpr std::uint32_t bytes = 1u << 20;
  std::size_t words = 0;
  std::size_t chunks = 0;
  for (auto _ : state) {
    auto program = assemble_tile_to_host_target_program(0, 0, 0, bytes, 0x80000, 0x50000);
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
