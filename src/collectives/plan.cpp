// Planning a collective: checks, the algorithm's steps, and Auto's choice.
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "collective_detail.hpp"

namespace meshweave {

namespace {

using namespace collectives_detail;

// Beyond this many tiles Auto leaves Direct out: its n (n - 1) transfers take
// the scheduler minutes on the whole card (368 tiles: 2 s), and there every
// tile's n - 1 receive rows already make it longer than the rings by groups.
constexpr std::size_t max_direct_tiles = 368;

bool reduction(CollectiveKind kind) {
  return kind == CollectiveKind::ReduceScatter || kind == CollectiveKind::AllReduce;
}

// The plan of one concrete algorithm, buffers checked first.
std::expected<CollectivePlan, CollectiveError> build(const CollectiveRequest& request,
                                                     CollectiveAlgorithm algorithm,
                                                     std::uint16_t group_size) {
  const BufferWords words = buffer_words(request, algorithm, group_size);
  if (auto fits = check_buffers(words, request); !fits) return std::unexpected(fits.error());
  StepList steps;
  if (reduction(request.kind)) {
    build_reduction(request, algorithm, group_size, steps);
  } else {
    build_movement(request, algorithm, group_size, steps);
  }
  CollectivePlan plan;
  plan.request = request;
  plan.request.algorithm = algorithm;
  plan.request.group_size = group_size;
  plan.algorithm = algorithm;
  plan.group_size = group_size;
  plan.input_words = static_cast<std::uint32_t>(words.input);
  plan.output_words = static_cast<std::uint32_t>(words.output);
  plan.scratch_words = static_cast<std::uint32_t>(words.scratch);
  plan.steps = std::move(steps.steps);
  plan.combine_after = std::move(steps.pending);
  return plan;
}

std::expected<CollectivePlan, CollectiveError> choose(const Topology& topology,
                                                      const CollectiveRequest& request) {
  struct Candidate {
    CollectiveAlgorithm algorithm;
    std::uint16_t group;
  };
  std::vector<Candidate> candidates;
  for (const CollectiveAlgorithm algorithm : algorithms_of(request.kind)) {
    if (algorithm == CollectiveAlgorithm::Direct && request.tiles.size() > max_direct_tiles) {
      continue;
    }
    if (algorithm != CollectiveAlgorithm::Hierarchical) {
      candidates.push_back({algorithm, 0});
      continue;
    }
    if (request.group_size != 0) {
      if (auto applies = check_group(request, request.group_size); !applies) {
        return std::unexpected(applies.error());
      }
      candidates.push_back({algorithm, request.group_size});
      continue;
    }
    for (const std::uint16_t group : group_candidates(request))
      candidates.push_back({algorithm, group});
  }
  std::optional<CollectivePlan> best;
  std::optional<CollectiveError> first_refusal;
  std::vector<CandidateEstimate> weighed;
  std::size_t chosen = 0;
  for (const Candidate& candidate : candidates) {
    auto plan = build(request, candidate.algorithm, candidate.group);
    if (!plan) {
      // A candidate whose scratch does not fit is left out; only the flat
      // algorithm's refusal is the request's.
      if (candidate.algorithm == CollectiveAlgorithm::Flat) return std::unexpected(plan.error());
      if (!first_refusal) first_refusal = plan.error();
      continue;
    }
    auto estimate = estimate_collective(topology, *plan);
    if (!estimate) {
      return std::unexpected(CollectiveError{
          CollectiveError::Kind::Compile,
          "estimating " + std::string{algorithm_name(candidate.algorithm)}, estimate.error()});
    }
    weighed.push_back(CandidateEstimate{candidate.algorithm, candidate.group, estimate->horizon,
                                        estimate->lower_bound, plan->steps.size()});
    if (!best || estimate->horizon < weighed[chosen].horizon) {
      chosen = weighed.size() - 1;
      best = std::move(*plan);
    }
  }
  if (!best) return std::unexpected(*first_refusal);
  best->candidates = std::move(weighed);
  best->chosen = chosen;
  best->request.algorithm = CollectiveAlgorithm::Auto;
  return std::move(*best);
}

}  // namespace

std::expected<CollectivePlan, CollectiveError> plan_collective(const Topology& topology,
                                                               const CollectiveRequest& request) {
  auto resolved = resolve(topology, request);
  if (!resolved) return std::unexpected(resolved.error());
  if (resolved->algorithm == CollectiveAlgorithm::Auto) return choose(topology, *resolved);
  std::uint16_t group = 0;
  if (resolved->algorithm == CollectiveAlgorithm::Hierarchical) {
    group = resolved->group_size;
    if (group == 0) {
      const auto sizes = group_candidates(*resolved);
      if (sizes.empty()) {
        return std::unexpected(CollectiveError{
            CollectiveError::Kind::Algorithm,
            "no group size applies to " + std::to_string(resolved->tiles.size()) + " tiles",
            std::nullopt});
      }
      // Without an estimate, the size nearest the square root balances the levels.
      const double root = std::sqrt(static_cast<double>(resolved->tiles.size()));
      group = *std::min_element(sizes.begin(), sizes.end(), [&](std::uint16_t a, std::uint16_t b) {
        return std::abs(a - root) < std::abs(b - root);
      });
    } else if (auto fits = check_group(*resolved, group); !fits) {
      return std::unexpected(fits.error());
    }
  }
  return build(*resolved, resolved->algorithm, group);
}

std::expected<CollectiveEstimate, CompileError> estimate_collective(const Topology& topology,
                                                                    const CollectivePlan& plan) {
  CollectiveEstimate total;
  std::map<std::uint16_t, std::size_t> words;
  std::uint64_t horizon = 0;
  std::uint64_t lower_bound = 0;
  for (const CollectiveStep& step : plan.steps) {
    auto estimate = estimate_exchange(topology, step.exchange);
    if (!estimate) return std::unexpected(estimate.error());
    horizon += estimate->horizon;
    lower_bound += estimate->lower_bound;
    for (const TileEstimate& tile : estimate->tiles) words[tile.logical] += tile.program_words;
    total.steps.push_back(std::move(*estimate));
  }
  constexpr std::uint64_t most = std::numeric_limits<std::uint32_t>::max();
  total.horizon = static_cast<std::uint32_t>(std::min(horizon, most));
  total.lower_bound = static_cast<std::uint32_t>(std::min(lower_bound, most));
  for (const auto& [tile, count] : words) {
    total.longest_program_words = std::max(total.longest_program_words, count);
  }
  return total;
}

std::expected<std::vector<CompiledExchange>, CompileError> compile_collective(
    const Topology& topology, const CollectivePlan& plan) {
  std::vector<CompiledExchange> compiled;
  compiled.reserve(plan.steps.size());
  for (const CollectiveStep& step : plan.steps) {
    auto exchange = compile_exchange(topology, step.exchange);
    if (!exchange) return std::unexpected(exchange.error());
    compiled.push_back(std::move(*exchange));
  }
  return compiled;
}

std::string explain_choice(const CollectivePlan& plan) {
  const auto name = [](CollectiveAlgorithm algorithm, std::uint16_t group) {
    std::string text{algorithm_name(algorithm)};
    if (algorithm == CollectiveAlgorithm::Hierarchical) {
      text += " (groups of " + std::to_string(group) + ")";
    }
    return text;
  };
  if (plan.candidates.empty()) return name(plan.algorithm, plan.group_size) + "\n";
  std::string text;
  for (std::size_t k = 0; k < plan.candidates.size(); ++k) {
    const CandidateEstimate& c = plan.candidates[k];
    text += name(c.algorithm, c.group_size) + ": " + std::to_string(c.horizon) + " cycles";
    if (k == plan.chosen) text += " (chosen)";
    text += "\n";
  }
  return text;
}

}  // namespace meshweave
