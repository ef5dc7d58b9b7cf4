#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "meshweave/collectives/request.hpp"
#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/description.hpp"
#include "meshweave/exchange/schedule.hpp"
#include "meshweave/topology/topology.hpp"

namespace meshweave {

// Local work of one tile between two exchanges: for every i below `words`,
// word i at `destination` becomes the combination (the reduction's operator)
// of word i at each of `sources`. One source is a plain copy. Addresses are
// bytes; a destination may equal a source.
//
// `repeat` does this that many times, the r-th time (from 0) with the
// destination moved on by r * destination_stride bytes and every source by
// r * source_stride: a transpose of shard blocks is then one Combine per
// block row, not one per shard. The repetitions run in order.
struct Combine {
  std::uint16_t tile = 0;
  std::uint32_t destination = 0;
  std::vector<std::uint32_t> sources;
  std::uint32_t words = 0;
  std::uint32_t repeat = 1;
  std::uint32_t destination_stride = 0;
  std::uint32_t source_stride = 0;

  friend bool operator==(const Combine&, const Combine&) = default;
};

// One exchange of a collective: every tile first does its `combine_before`
// work (in list order), then the exchange runs, in the transfers form.
struct CollectiveStep {
  std::vector<Combine> combine_before;
  ExchangeDescription exchange;

  friend bool operator==(const CollectiveStep&, const CollectiveStep&) = default;
};

// One algorithm the planner weighed, with the estimate of its exchanges.
struct CandidateEstimate {
  CollectiveAlgorithm algorithm = CollectiveAlgorithm::Flat;
  std::uint16_t group_size = 0;   // Hierarchical only
  std::uint32_t horizon = 0;      // sum of the steps' horizons
  std::uint32_t lower_bound = 0;  // sum of the steps' lower bounds
  std::size_t steps = 0;

  friend bool operator==(const CandidateEstimate&, const CandidateEstimate&) = default;
};

// A collective as exchanges and the local work between them. The steps run
// one after the other; `combine_after` is the work after the last one.
struct CollectivePlan {
  // The request with `tiles` filled in and the algorithm actually used.
  CollectiveRequest request;
  CollectiveAlgorithm algorithm = CollectiveAlgorithm::Flat;
  std::uint16_t group_size = 0;  // Hierarchical only
  // Words of each buffer the plan reads or writes, from its base address.
  std::uint32_t input_words = 0;
  std::uint32_t output_words = 0;
  std::uint32_t scratch_words = 0;
  std::vector<CollectiveStep> steps;
  std::vector<Combine> combine_after;
  // Auto only: every candidate, in the order weighed; `chosen` indexes it.
  std::vector<CandidateEstimate> candidates;
  std::size_t chosen = 0;

  friend bool operator==(const CollectivePlan&, const CollectivePlan&) = default;
};

// Checks the request (tiles, counts, root, grid, then the buffers of the
// algorithm) and builds the plan. Auto builds and estimates every candidate
// and keeps the one with the shortest horizon; a Hierarchical candidate whose
// scratch buffer would not fit is left out, as are group sizes that do not
// apply, and Direct beyond 368 tiles (it costs the scheduler minutes there,
// and every tile's n - 1 receive rows make it the longer one anyway).
std::expected<CollectivePlan, CollectiveError> plan_collective(const Topology& topology,
                                                               const CollectiveRequest& request);

// The whole collective's estimate: horizons and lower bounds add up over the
// steps (local work not counted); a tile's program words add up over the steps.
struct CollectiveEstimate {
  std::uint32_t horizon = 0;
  std::uint32_t lower_bound = 0;
  std::size_t longest_program_words = 0;
  std::vector<ExchangeEstimate> steps;
};
std::expected<CollectiveEstimate, CompileError> estimate_collective(const Topology& topology,
                                                                    const CollectivePlan& plan);

// Every step's exchange compiled, in step order.
std::expected<std::vector<CompiledExchange>, CompileError> compile_collective(
    const Topology& topology, const CollectivePlan& plan);

// Why Auto chose what it chose, one line per candidate, e.g.
// "flat: 250920 cycles\nhierarchical (groups of 46): 34585 cycles (chosen)\n".
// For a plan of a named algorithm, the single line of that algorithm without horizon.
std::string explain_choice(const CollectivePlan& plan);

}  // namespace meshweave
