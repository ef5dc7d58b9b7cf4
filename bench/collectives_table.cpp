// The collectives table: for each collective on the whole M1472 card and each
// shard size, the flat algorithm's horizon, the one Auto chose, its lower
// bound and longest program, and how long planning (every candidate built and
// estimated) and compiling the chosen plan took.
//
//   meshweave_collectives_table [collective ...]   (default: every collective)
#include <chrono>
#include <cstdio>
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

void row(const Topology& card, CollectiveKind kind, std::uint32_t words) {
  CollectiveRequest request;
  request.kind = kind;
  request.words = words;
  request.input = 0;
  request.output = 0x40000;
  request.scratch = 0x80000;
  if (kind == CollectiveKind::AllGather || kind == CollectiveKind::Gather ||
      kind == CollectiveKind::AllToAll || kind == CollectiveKind::AllReduce) {
    request.output = 0x20000;
    request.scratch = 0x60000;
  }
  request.halo = HaloWords{words, words, words, words, 32, 46, true};
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
    std::printf("| %s | %u | compile failed |\n", std::string{collective_name(kind)}.c_str(), words);
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
  for (int arg = 1; arg < argc; ++arg) {
    const auto kind = parse_collective(argv[arg]);
    if (!kind) {
      std::fprintf(stderr, "meshweave_collectives_table: unknown collective %s\n", argv[arg]);
      return 2;
    }
    kinds.push_back(*kind);
  }
  if (kinds.empty()) kinds.assign(all_collectives().begin(), all_collectives().end());
  const Topology card = Topology::m1472();
  std::printf("| collective | words | flat | chosen | chosen horizon | gain | lower bound | "
              "longest program | steps | plan ms | compile ms |\n|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const CollectiveKind kind : kinds) {
    for (const std::uint32_t words : {16u, 256u, 1024u}) row(card, kind, words);
  }
  return 0;
}
