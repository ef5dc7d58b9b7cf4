#pragma once

// What the collectives' source files share: the resolved request, the buffer
// sizes of each algorithm and the builders of each collective's steps.
#include <cstdint>
#include <expected>
#include <vector>

#include "meshweave/collectives/plan.hpp"
#include "meshweave/collectives/request.hpp"

namespace meshweave::collectives_detail {

struct BufferWords {
  std::uint64_t input = 0;
  std::uint64_t output = 0;
  std::uint64_t scratch = 0;
};

// Sizes for a checked request (`tiles` filled in) and a concrete algorithm.
BufferWords buffer_words(const CollectiveRequest& request, CollectiveAlgorithm algorithm,
                         std::uint16_t group_size);

// The request with its tiles filled in, checked up to (not including) the buffers.
std::expected<CollectiveRequest, CollectiveError> resolve(const Topology& topology,
                                                          const CollectiveRequest& request);

// Whether `group_size` applies to the request's Hierarchical algorithm; the message when not.
std::expected<void, CollectiveError> check_group(const CollectiveRequest& request,
                                                 std::uint16_t group_size);

// The group sizes Auto weighs for Hierarchical, smallest first.
std::vector<std::uint16_t> group_candidates(const CollectiveRequest& request);

std::expected<void, CollectiveError> check_buffers(const BufferWords& words,
                                                   const CollectiveRequest& request);

// Steps under construction: combines wait in `pending` until the next step
// (as its combine_before) or the end (as combine_after).
struct StepList {
  std::vector<CollectiveStep> steps;
  std::vector<Combine> pending;

  ExchangeDescription& next_step();
  std::size_t point(std::uint16_t sender, std::uint16_t receiver, std::uint32_t count,
                    std::uint32_t source, std::uint32_t destination,
                    std::vector<std::size_t> after = {});
  // A point-to-point transfer when there is one receiver; nothing when there is none.
  std::size_t multicast(std::uint16_t sender, std::vector<std::uint16_t> receivers,
                        std::uint32_t count, std::uint32_t source, std::uint32_t destination,
                        std::vector<std::size_t> after = {});
  void combine(std::uint16_t tile, std::uint32_t destination, std::vector<std::uint32_t> sources,
               std::uint32_t words);
};

// Byte address of slot `index` of `words`-word slots from `base` (fits: checked before).
inline std::uint32_t slot(std::uint32_t base, std::uint32_t words, std::size_t index) {
  return static_cast<std::uint32_t>(base + 4ull * words * index);
}

// Groups of `size` consecutive participants (the last may be smaller).
struct Group {
  std::size_t first = 0;
  std::size_t count = 0;
  std::size_t leader = 0;  // participant index
};
std::vector<Group> groups_of(std::size_t participants, std::size_t size, std::size_t root);

void build_movement(const CollectiveRequest& request, CollectiveAlgorithm algorithm,
                    std::uint16_t group_size, StepList& steps);
void build_reduction(const CollectiveRequest& request, CollectiveAlgorithm algorithm,
                     std::uint16_t group_size, StepList& steps);
// Slot k of every participant j's `source` to slot j of participant k's
// `destination`, for every k other than j.
void personal_exchange(const CollectiveRequest& request, std::uint32_t source,
                       std::uint32_t destination, StepList& steps);
// All-to-all over a grid of groups of `group_size` (dividing the tiles).
void build_all_to_all_grid(const CollectiveRequest& request, std::uint16_t group_size,
                           StepList& steps);
// Every participant's slot j of `output` (own slot already in place) to every
// other participant's slot j, as the all-gather's algorithm does it.
void build_all_gather_in_place(const CollectiveRequest& request, CollectiveAlgorithm algorithm,
                               std::uint16_t group_size, StepList& steps);

}  // namespace meshweave::collectives_detail
