// Runs one workload of the performance report a given number of times, for
// instruction counting under callgrind (scripts/bench --callgrind). Only what
// happens inside measured_runs is counted (--toggle-collect), so the inputs built
// beforehand do not blur the figures.
//
// Usage: meshweave_profile_report <workload> [runs]
// Prints: <workload> runs=<runs> items=<items per run> digest=<value>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <expected>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "workloads.hpp"

namespace {

using namespace meshweave;

// One run returns the items it produced and a digest of its output.
struct RunResult {
  std::size_t items = 0;
  std::uint64_t digest = 0;
};

[[gnu::noinline]] RunResult measured_runs(const std::function<RunResult()>& run, long runs) {
  RunResult last;
  std::uint64_t digest = 0;
  for (long i = 0; i < runs; ++i) {
    last = run();
    digest += last.digest;
  }
  return RunResult{last.items, digest};
}

int fail(const char* what) {
  std::fprintf(stderr, "meshweave_profile_report: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) return fail("usage: meshweave_profile_report <workload> [runs]");
  const std::string_view name = argv[1];
  const long runs = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 1;
  if (runs < 1) return fail("runs must be a positive number");

  const Topology card = Topology::m1472();
  std::function<RunResult()> run;
  std::vector<std::uint32_t> words(bench::encoded_words);
  const std::vector<std::uint16_t> receivers = bench::all_but_tile_zero();
  std::vector<PlanRow> rows;
  ExchangeDescription description;
  std::expected<CompiledExchange, CompileError> compiled_once;

  if (name == "EncodeWords") {
    run = [&] {
      bench::encode_words(std::span<std::uint32_t, bench::encoded_words>{words});
      return RunResult{words.size(), words[words.size() / 2]};
    };
  } else if (name == "PointToPointAllPairs") {
    run = [&] {
      const bench::AllPairs pairs = bench::point_to_point_all_pairs(card);
      return RunResult{pairs.plans, pairs.digest};
    };
  } else if (name == "MulticastToAllTiles") {
    run = [&] {
      const auto plan = bench::multicast_from_tile_zero(card, receivers);
      return RunResult{plan ? plan->receivers.size() : 0, plan ? plan->receivers.back()[1] : 0};
    };
  } else if (name == "AppendRows/10000" || name == "AppendRows/100000") {
    rows = bench::chained_rows(name == "AppendRows/10000" ? 10'000 : 100'000);
    run = [&] {
      const auto builder = bench::append_rows(rows);
      return RunResult{rows.size(), builder ? builder->words.size() : 0};
    };
  } else if (name == "TileToHostMebibyte") {
    run = [] {
      const auto program = bench::tile_to_host_mebibyte();
      return RunResult{program ? program->packet_words.size() / 2 - 1 : 0,
                       program ? program->instructions.size() : 0};
    };
  } else if (name == "CompileFullCardShift") {
    description = bench::full_card_shift(100);
    run = [&] {
      const auto compiled = compile_exchange(card, description);
      return RunResult{compiled ? compiled->timings.size() : 0,
                       compiled ? compiled->programs.size() : 0};
    };
  } else if (name == "VerifyFullCardShift") {
    description = bench::full_card_shift(100);
    compiled_once = compile_exchange(card, description);
    if (!compiled_once) return fail("the workload's exchange does not compile");
    run = [&] {
      const std::vector<VerifyIssue> issues = verify_exchange(card, description, *compiled_once);
      return RunResult{issues.empty() ? compiled_once->timings.size() : 0, issues.size()};
    };
  } else {
    return fail("unknown workload");
  }

  const RunResult result = measured_runs(run, runs);
  if (result.items == 0) return fail("the workload failed");
  std::printf("%.*s runs=%ld items=%zu digest=%llu\n", static_cast<int>(name.size()), name.data(),
              runs, result.items, static_cast<unsigned long long>(result.digest));
  return 0;
}
