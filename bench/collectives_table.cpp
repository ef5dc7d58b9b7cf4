// The collectives table: for each collective on the whole M1472 card and each
// shard size, the flat algorithm's horizon, the one Auto chose, its lower
// bound and longest program, and how long planning (every candidate built and
// estimated) and compiling the chosen plan took.
//
//   meshweave_collectives_table [--tiles N] [--words W]... [collective ...]
//
// Default: every collective on all 1472 tiles (--tiles: the first N), with
// shards of 16, 64, 256 and 1024 words (--words: these only). Buffers lie one
// after the other from address 0: input, output, scratch.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "meshweave/collectives.hpp"

namespace {

using namespace meshweave;
using Clock = std::chrono::steady_clock;

double milliseconds_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string algorithm_text(const CandidateEstimate& candidate) {
  std::string text{algorithm_name(candidate.algorithm)};
  if (candidate.algorithm == CollectiveAlgorithm::Hierarchical) {
    text.push_back('/');
    text.append(std::to_string(candidate.group_size));
  }
  return text;
}

bool slotted_input(CollectiveKind kind) {
  return kind == CollectiveKind::Scatter || kind == CollectiveKind::AllToAll ||
         kind == CollectiveKind::ReduceScatter || kind == CollectiveKind::AllReduce;
}

bool slotted_output(CollectiveKind kind) {
  return kind == CollectiveKind::Gather || kind == CollectiveKind::AllGather ||
         kind == CollectiveKind::AllToAll || kind == CollectiveKind::AllReduce;
}

void row(const Topology& card, std::uint16_t tiles, CollectiveKind kind, std::uint32_t words) {
  CollectiveRequest request;
  request.kind = kind;
  request.words = words;
  for (std::uint16_t tile = 0; tile < tiles; ++tile) request.tiles.push_back(tile);
  // Halo: four blocks of `words` each way.
  const std::uint64_t blocks = kind == CollectiveKind::Halo ? 4 : 1;
  const std::uint64_t input = (slotted_input(kind) ? tiles : blocks) * std::uint64_t{words} * 4;
  const std::uint64_t output = (slotted_output(kind) ? tiles : blocks) * std::uint64_t{words} * 4;
  const auto clamp = [](std::uint64_t address) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(address, TILE_MEMORY_BYTES));
  };
  request.input = 0;
  request.output = clamp(input);
  request.scratch = clamp(input + output);
  // A 32 x 46 grid of the card's tiles (or one row of them).
  const bool card_grid = tiles == 1472;
  request.halo = HaloWords{words,
                           words,
                           words,
                           words,
                           static_cast<std::uint16_t>(card_grid ? 32 : 1),
                           static_cast<std::uint16_t>(card_grid ? 46 : tiles),
                           true};
  const auto planning = Clock::now();
  auto plan = plan_collective(card, request);
  const double plan_ms = milliseconds_since(planning);
  if (!plan) {
    std::printf("| %s | %u | refused: %s |\n", std::string{collective_name(kind)}.c_str(), words,
                to_string(plan.error()).c_str());
    return;
  }
  const auto compiling = Clock::now();
  auto compiled = compile_collective(card, *plan);
  const double compile_ms = milliseconds_since(compiling);
  auto estimate = estimate_collective(card, *plan);
  if (!compiled || !estimate) {
    std::printf("| %s | %u | compile failed |\n", std::string{collective_name(kind)}.c_str(),
                words);
    return;
  }
  const CandidateEstimate& flat = plan->candidates.front();
  const CandidateEstimate& chosen = plan->candidates[plan->chosen];
  std::printf("| %s | %u | %u | %s | %u | %.1fx | %u | %zu | %zu | %.0f | %.0f |\n",
              std::string{collective_name(kind)}.c_str(), words, flat.horizon,
              algorithm_text(chosen).c_str(), chosen.horizon,
              static_cast<double>(flat.horizon) / chosen.horizon, estimate->lower_bound,
              estimate->longest_program_words, plan->steps.size(), plan_ms, compile_ms);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<CollectiveKind> kinds;
  std::vector<std::uint32_t> sizes;
  std::uint16_t tiles = 1472;
  for (int arg = 1; arg < argc; ++arg) {
    if (std::string{argv[arg]} == "--tiles" && arg + 1 < argc) {
      tiles = static_cast<std::uint16_t>(std::clamp(std::atoi(argv[++arg]), 2, 1472));
      continue;
    }
    if (std::string{argv[arg]} == "--words" && arg + 1 < argc) {
      sizes.push_back(static_cast<std::uint32_t>(std::clamp(std::atoi(argv[++arg]), 1, 1 << 18)));
      continue;
    }
    const auto kind = parse_collective(argv[arg]);
    if (!kind) {
      std::fprintf(stderr, "meshweave_collectives_table: unknown collective %s\n", argv[arg]);
      return 2;
    }
    kinds.push_back(*kind);
  }
  if (kinds.empty()) kinds.assign(all_collectives().begin(), all_collectives().end());
  if (sizes.empty()) sizes = {16, 64, 256, 1024};
  const Topology card = Topology::m1472();
  std::printf(
      "%u tiles\n\n| collective | words | flat | chosen | chosen horizon | gain | lower bound | "
      "longest program | steps | plan ms | compile ms "
      "|\n|---|---|---|---|---|---|---|---|---|---|---|\n",
      static_cast<unsigned>(tiles));
  for (const CollectiveKind kind : kinds) {
    for (const std::uint32_t words : sizes) row(card, tiles, kind, words);
  }
  return 0;
}
