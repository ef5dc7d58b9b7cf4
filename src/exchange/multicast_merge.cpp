#include "multicast_merge.hpp"

#include <algorithm>
#include <cstdint>
#include <tuple>

#include "piece_rows.hpp"

namespace meshweave::exchange_detail {

namespace {

struct Candidate {
  std::uint16_t sender;
  std::uint16_t receiver;
  std::uint32_t count;
  std::uint32_t source;
  std::size_t index;

  bool same_source(const Candidate& other) const noexcept {
    return sender == other.sender && source == other.source && count == other.count;
  }
};

// Transfers that some `after` relates to another.
std::vector<std::uint8_t> ordered_by_after(const TransferList& list) {
  std::vector<std::uint8_t> ordered(list.size(), 0);
  for (std::size_t index = 0; index < list.size(); ++index) {
    const auto after = list.after(index);
    if (after.empty()) continue;
    ordered[index] = 1;
    for (const std::size_t other : after) {
      if (other < list.size()) ordered[other] = 1;
    }
  }
  return ordered;
}

// Transfers with a role whose bytes overlap another role's on its tile where
// one of the two writes. Two sweeps per tile over the ranges by start: one
// against the ranges before, one against those after.
std::vector<std::uint8_t> touching_written_bytes(const TransferList& list, std::size_t tiles) {
  struct Range {
    std::uint64_t begin;
    std::uint64_t end;
    bool writes;
    std::size_t transfer;
  };
  std::vector<std::vector<Range>> by_tile(tiles);
  for (std::size_t index = 0; index < list.size(); ++index) {
    const TransferView transfer = view(*list.transfers[index]);
    const std::uint64_t bytes = 4 * std::uint64_t{transfer.count};
    if (transfer.sender < tiles) {
      by_tile[transfer.sender].push_back(
          {transfer.source_address, transfer.source_address + bytes, false, index});
    }
    for (std::size_t i = 0; i < transfer.receivers.size(); ++i) {
      if (transfer.receivers[i] >= tiles) continue;
      const std::uint64_t begin = transfer.destination(i);
      by_tile[transfer.receivers[i]].push_back({begin, begin + bytes, true, index});
    }
  }
  std::vector<std::uint8_t> touching(list.size(), 0);
  for (auto& ranges : by_tile) {
    std::sort(ranges.begin(), ranges.end(),
              [](const Range& a, const Range& b) { return a.begin < b.begin; });
    std::uint64_t reach = 0;          // furthest end of the ranges before
    std::uint64_t written_reach = 0;  // of the written ones
    for (const Range& range : ranges) {
      if (range.begin < (range.writes ? reach : written_reach)) touching[range.transfer] = 1;
      reach = std::max(reach, range.end);
      if (range.writes) written_reach = std::max(written_reach, range.end);
    }
    auto first = UINT64_MAX;          // smallest start of the ranges after
    auto first_written = UINT64_MAX;  // of the written ones
    for (auto range = ranges.rbegin(); range != ranges.rend(); ++range) {
      if ((range->writes ? first : first_written) < range->end) touching[range->transfer] = 1;
      first = std::min(first, range->begin);
      if (range->writes) first_written = std::min(first_written, range->begin);
    }
  }
  return touching;
}

}  // namespace

std::vector<std::vector<std::size_t>> multicast_groups(const TransferList& list,
                                                       std::size_t tiles) {
  const std::vector<std::uint8_t> ordered = ordered_by_after(list);
  // By sender first (a counting pass), then each sender's few by source and
  // count: sorting millions of candidates at once costs far more.
  std::vector<std::size_t> first_of(tiles + 1, 0);
  const auto eligible = [&](std::size_t index) -> const PointToPointTransfer* {
    const auto* transfer = std::get_if<PointToPointTransfer>(list.transfers[index]);
    if (transfer == nullptr || ordered[index] || transfer->count == 0 ||
        transfer->count > max_piece_words || transfer->sender == transfer->receiver ||
        transfer->sender >= tiles || transfer->receiver >= tiles) {
      return nullptr;
    }
    return transfer;
  };
  for (std::size_t index = 0; index < list.size(); ++index) {
    if (const auto* transfer = eligible(index)) ++first_of[transfer->sender + 1];
  }
  for (std::size_t tile = 0; tile < tiles; ++tile) first_of[tile + 1] += first_of[tile];
  std::vector<Candidate> candidates(first_of[tiles]);
  {
    std::vector<std::size_t> next(first_of.begin(), first_of.end() - 1);
    for (std::size_t index = 0; index < list.size(); ++index) {
      if (const auto* transfer = eligible(index)) {
        candidates[next[transfer->sender]++] = {transfer->sender, transfer->receiver,
                                                transfer->count, transfer->source_address, index};
      }
    }
  }
  const auto key = [](const Candidate& c) { return std::tuple{c.source, c.count, c.index}; };
  for (std::size_t tile = 0; tile < tiles; ++tile) {
    std::sort(candidates.begin() + static_cast<std::ptrdiff_t>(first_of[tile]),
              candidates.begin() + static_cast<std::ptrdiff_t>(first_of[tile + 1]),
              [&](const Candidate& a, const Candidate& b) { return key(a) < key(b); });
  }
  std::vector<std::vector<std::size_t>> groups;
  std::vector<std::uint8_t> touching;  // worked out only once a group shows up
  std::vector<std::uint8_t> taken(tiles, 0);
  for (std::size_t first = 0; first < candidates.size();) {
    std::size_t stop = first + 1;
    while (stop < candidates.size() && candidates[first].same_source(candidates[stop])) ++stop;
    if (stop - first >= 2) {
      if (touching.empty()) touching = touching_written_bytes(list, tiles);
      std::vector<std::size_t> group;
      for (std::size_t k = first; k < stop; ++k) {
        const Candidate& candidate = candidates[k];
        if (touching[candidate.index] || taken[candidate.receiver]) continue;
        taken[candidate.receiver] = 1;
        group.push_back(candidate.index);
      }
      for (std::size_t k = first; k < stop; ++k) taken[candidates[k].receiver] = 0;
      if (group.size() >= 2) groups.push_back(std::move(group));
    }
    first = stop;
  }
  return groups;
}

MulticastTransfer merged_multicast(const TransferList& list, std::span<const std::size_t> group) {
  MulticastTransfer merged;
  for (const std::size_t index : group) {
    const TransferView transfer = view(*list.transfers[index]);  // point-to-point
    merged.sender = transfer.sender;
    merged.count = transfer.count;
    merged.source_address = transfer.source_address;
    merged.receivers.push_back(transfer.receivers[0]);
    merged.destination_addresses.push_back(transfer.destination(0));
  }
  return merged;
}

}  // namespace meshweave::exchange_detail
