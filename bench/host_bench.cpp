// Host transfer planning and program assembly: cost per chunk of a tile-to-host
// transfer, from 16 KiB (64 chunks) to 1 MiB (4096 chunks).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "meshweave/host.hpp"

namespace {

using namespace meshweave;

// Payload from tile address 0; the chunk headers lie at 0x80000 and stay within
// a SEND's reach even for 4096 chunks.
constexpr std::uint32_t packet_address = 0x80000;
constexpr std::uint32_t command_address = HOST_EXCHANGE_WINDOW_BEGIN;

void plan_tile_to_host_transfer(benchmark::State& state) {
  const auto bytes = static_cast<std::uint32_t>(state.range(0));
  for (auto _ : state) {
    auto chunks = plan_tile_to_host(2, 0, 0, bytes);
    benchmark::DoNotOptimize(chunks);
  }
  state.SetComplexityN(bytes / TILE_TO_HOST_MAX_BYTES);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes);
}

void assemble_tile_to_host_transfer(benchmark::State& state) {
  const auto bytes = static_cast<std::uint32_t>(state.range(0));
  for (auto _ : state) {
    auto program =
        assemble_tile_to_host_target_program(2, 0, 0, bytes, packet_address, command_address);
    benchmark::DoNotOptimize(program);
  }
  state.SetComplexityN(bytes / TILE_TO_HOST_MAX_BYTES);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes);
}

// The whole host-to-tile window in one program (16 chunks of 1 KiB).
void assemble_host_to_tile_window(benchmark::State& state) {
  for (auto _ : state) {
    auto program = assemble_host_to_tile_target_program(
        2, HOST_EXCHANGE_WINDOW_BEGIN, 0, HOST_EXCHANGE_WINDOW_END - HOST_EXCHANGE_WINDOW_BEGIN,
        packet_address);
    benchmark::DoNotOptimize(program);
  }
}

BENCHMARK(plan_tile_to_host_transfer)
    ->RangeMultiplier(4)
    ->Range(16 << 10, 1 << 20)
    ->Complexity(benchmark::oN);
BENCHMARK(assemble_tile_to_host_transfer)
    ->RangeMultiplier(4)
    ->Range(16 << 10, 1 << 20)
    ->Complexity(benchmark::oN);
BENCHMARK(assemble_host_to_tile_window);

}  // namespace
