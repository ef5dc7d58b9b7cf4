#include "collectives/collective_checks.hpp"

#include "meshweave/exchange/verifier.hpp"

namespace meshweave::testing {

std::string check_collective(const Topology& topology, const CollectivePlan& plan) {
  auto compiled = compile_collective(topology, plan);
  if (!compiled) return "compile: " + to_string(compiled.error());
  for (std::size_t step = 0; step < plan.steps.size(); ++step) {
    const auto issues = verify_exchange(topology, plan.steps[step].exchange, (*compiled)[step]);
    if (!issues.empty()) return "verify step " + std::to_string(step) + ": " + to_string(issues[0]);
  }
  const auto issues = replay_collective(topology, plan, *compiled);
  if (!issues.empty()) return "replay: " + to_string(issues[0]);
  return {};
}

}  // namespace meshweave::testing
