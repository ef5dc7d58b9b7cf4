// Throughput of taking words apart and of the text round trip, over a fixed mix
// of random words and the words a program is mostly made of.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "meshweave/disassembly.hpp"

namespace {

std::vector<std::uint32_t> sample_words() {
  std::vector<std::uint32_t> words{0x41800003, 0x40a00086, 0x782a03cb, 0x766fc001, 0x641c0000,
                                   0x61800000, 0x19800640, 0x438080a0, 0x43a00000, 0x22bbffe0};
  std::mt19937 random{1};
  for (int i = 0; i < 1014; ++i) words.push_back(static_cast<std::uint32_t>(random()));
  return words;
}

void decode_then_encode(benchmark::State& state) {
  const std::vector<std::uint32_t> words = sample_words();
  for (auto _ : state) {
    for (const std::uint32_t word : words) {
      benchmark::DoNotOptimize(meshweave::encode(meshweave::decode(word)));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(words.size()));
}
BENCHMARK(decode_then_encode);

void disassemble_words(benchmark::State& state) {
  const std::vector<std::uint32_t> words = sample_words();
  for (auto _ : state) {
    for (const std::uint32_t word : words) benchmark::DoNotOptimize(meshweave::disassemble(word));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(words.size()));
}
BENCHMARK(disassemble_words);

void assemble_listing(benchmark::State& state) {
  const std::vector<std::uint32_t> words = sample_words();
  std::string listing;
  for (const std::uint32_t word : words) listing += meshweave::disassemble(word) + '\n';
  for (auto _ : state) benchmark::DoNotOptimize(meshweave::assemble(listing));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(words.size()));
}
BENCHMARK(assemble_listing);

}  // namespace
