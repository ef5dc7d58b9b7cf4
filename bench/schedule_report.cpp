// Phase layouts against scheduled layouts of the same transfers, on whole-card
// patterns: horizons, the lower bound, and compile times (processor seconds). Every scheduled
// program is verified. Run it from a release build.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "exchange_patterns.hpp"
#include "meshweave/exchange.hpp"

namespace {

using namespace meshweave;
// Processor time of this process: the machine running the report may be
// shared, and wall time would count the other programs' turns.
struct Clock {
  using time_point = std::clock_t;
  static time_point now() { return std::clock(); }
};

double seconds_since(Clock::time_point start) {
  return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

}  // namespace

int main(int argc, char** argv) {
  // An argument names the one pattern to run.
  const std::string only = argc > 1 ? argv[1] : "";
  const Topology card = Topology::m1472();
  std::printf("%-12s %9s %10s %10s %10s %7s %9s %9s %9s %7s\n", "pattern", "transfers", "phases",
              "scheduled", "bound", "ratio", "phase s", "sched s", "(place s)", "verify");
  bool all_verified = true;
  for (const auto make : bench::all_patterns()) {
    const bench::Pattern pattern = make();
    if (!only.empty() && pattern.name != only) continue;
    const ExchangeDescription transfers = to_transfers_form(pattern.phases);

    auto start = Clock::now();
    const auto phased = compile_exchange(card, pattern.phases);
    const double phase_seconds = seconds_since(start);
    if (!phased) {
      std::printf("%s: phase form refused: %s\n", pattern.name.c_str(),
                  to_string(phased.error()).c_str());
      return 1;
    }
    start = Clock::now();
    const auto schedule = schedule_exchange(card, transfers);
    const double schedule_seconds = seconds_since(start);
    if (!schedule) return 1;
    start = Clock::now();
    const auto scheduled = compile_exchange(card, transfers);
    const double scheduled_seconds = seconds_since(start);
    if (!scheduled) {
      std::printf("%s: transfers form refused: %s\n", pattern.name.c_str(),
                  to_string(scheduled.error()).c_str());
      return 1;
    }
    const auto estimate = estimate_exchange(card, transfers);
    const auto issues = verify_exchange(card, transfers, *scheduled);
    all_verified =
        all_verified && issues.empty() && estimate && estimate->horizon == scheduled->horizon;
    std::printf("%-12s %9zu %10u %10u %10u %6.1f%% %9.3f %9.3f %9.3f %7s\n", pattern.name.c_str(),
                transfers.transfers.size(), phased->horizon, scheduled->horizon,
                estimate ? estimate->lower_bound : 0u,
                100.0 * (static_cast<double>(scheduled->horizon) / phased->horizon - 1.0),
                phase_seconds, scheduled_seconds, schedule_seconds,
                issues.empty() ? "ok" : std::to_string(issues.size()).c_str());
    for (std::size_t i = 0; i < issues.size() && i < 3; ++i) {
      std::printf("  %s\n", to_string(issues[i]).c_str());
    }
    std::fflush(stdout);
  }
  return all_verified ? EXIT_SUCCESS : EXIT_FAILURE;
}
