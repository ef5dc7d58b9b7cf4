// Checking a collective request before anything is planned.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "collective_detail.hpp"

namespace meshweave::collectives_detail {

namespace {

std::string hex(std::uint64_t value) {
  char digits[20];
  const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
  return "0x" + std::string(digits, end);
}

CollectiveError error(CollectiveError::Kind kind, std::string message) {
  return CollectiveError{kind, std::move(message), std::nullopt};
}

bool rooted(CollectiveKind kind) {
  return kind == CollectiveKind::Broadcast || kind == CollectiveKind::Scatter ||
         kind == CollectiveKind::Gather;
}

bool reduction(CollectiveKind kind) {
  return kind == CollectiveKind::ReduceScatter || kind == CollectiveKind::AllReduce;
}

}  // namespace

std::expected<CollectiveRequest, CollectiveError> resolve(const Topology& topology,
                                                          const CollectiveRequest& request) {
  using Kind = CollectiveError::Kind;
  CollectiveRequest resolved = request;
  if (resolved.tiles.empty()) {
    if (topology.tile_count() > 0xffff) {
      return std::unexpected(
          error(Kind::Tiles, "the topology has more tiles than a list can name"));
    }
    resolved.tiles.resize(topology.tile_count());
    for (std::size_t tile = 0; tile < resolved.tiles.size(); ++tile) {
      resolved.tiles[tile] = static_cast<std::uint16_t>(tile);
    }
  }
  const std::size_t n = resolved.tiles.size();
  if (n < 2) {
    return std::unexpected(
        error(Kind::Tiles, "a collective needs at least two tiles, got " + std::to_string(n)));
  }
  if (n > 0xffff) {
    return std::unexpected(error(Kind::Tiles, "more than 65535 tiles"));
  }
  std::vector<bool> seen(topology.tile_count(), false);
  for (const std::uint16_t tile : resolved.tiles) {
    if (tile >= topology.tile_count()) {
      return std::unexpected(error(Kind::Tiles, "tile " + std::to_string(tile) +
                                                    " is not below the tile count " +
                                                    std::to_string(topology.tile_count())));
    }
    if (seen[tile]) {
      return std::unexpected(error(Kind::Tiles, "tile " + std::to_string(tile) + " appears twice"));
    }
    seen[tile] = true;
  }
  if (resolved.kind == CollectiveKind::Halo) {
    const HaloWords& halo = resolved.halo;
    if (std::size_t{halo.rows} * halo.columns != n) {
      return std::unexpected(error(Kind::Grid, "a grid of " + std::to_string(halo.rows) + " x " +
                                                   std::to_string(halo.columns) +
                                                   " does not hold " + std::to_string(n) +
                                                   " tiles"));
    }
    if (halo.north == 0 && halo.south == 0 && halo.west == 0 && halo.east == 0) {
      return std::unexpected(error(Kind::Words, "every direction of the halo has 0 words"));
    }
  } else if (resolved.words == 0) {
    return std::unexpected(error(Kind::Words, "the shard size is 0 words"));
  }
  if (rooted(resolved.kind) && resolved.root >= n) {
    return std::unexpected(error(Kind::Root, "root " + std::to_string(resolved.root) +
                                                 " is not a participant index below " +
                                                 std::to_string(n)));
  }
  const auto offered = algorithms_of(resolved.kind);
  if (resolved.algorithm != CollectiveAlgorithm::Auto &&
      std::find(offered.begin(), offered.end(), resolved.algorithm) == offered.end()) {
    return std::unexpected(
        error(Kind::Algorithm, std::string{collective_name(resolved.kind)} + " has no " +
                                   std::string{algorithm_name(resolved.algorithm)} + " algorithm"));
  }
  return resolved;
}

std::expected<void, CollectiveError> check_group(const CollectiveRequest& request,
                                                 std::uint16_t group_size) {
  const std::size_t n = request.tiles.size();
  if (group_size < 2 || group_size >= n) {
    return std::unexpected(error(CollectiveError::Kind::Algorithm,
                                 "group size " + std::to_string(group_size) + " of " +
                                     std::to_string(n) + " tiles is not between 2 and " +
                                     std::to_string(n - 1)));
  }
  // Their groups are rows of one grid: a short last group would leave holes.
  if ((reduction(request.kind) || request.kind == CollectiveKind::AllToAll) &&
      n % group_size != 0) {
    return std::unexpected(error(CollectiveError::Kind::Algorithm,
                                 "group size " + std::to_string(group_size) + " does not divide " +
                                     std::to_string(n) + " tiles"));
  }
  return {};
}

// Runs of 23 or 46 logical tiles stay in one column pair of the card; 32 and
// 64 follow its rows; the square root balances the two levels.
std::vector<std::uint16_t> group_candidates(const CollectiveRequest& request) {
  const std::size_t n = request.tiles.size();
  std::vector<std::uint16_t> sizes{23, 32, 46, 64,
                                   static_cast<std::uint16_t>(std::sqrt(static_cast<double>(n)))};
  std::sort(sizes.begin(), sizes.end());
  sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
  std::erase_if(sizes, [&](std::uint16_t size) {
    return 2 * std::size_t{size} > n || !check_group(request, size).has_value();
  });
  return sizes;
}

BufferWords buffer_words(const CollectiveRequest& request, CollectiveAlgorithm algorithm,
                         std::uint16_t group_size) {
  const std::uint64_t n = request.tiles.size();
  const std::uint64_t w = request.words;
  const std::uint64_t g = group_size;
  const bool hierarchical = algorithm == CollectiveAlgorithm::Hierarchical;
  const auto reduction_scratch = [&]() -> std::uint64_t {
    if (algorithm == CollectiveAlgorithm::Direct) return n * w;
    if (hierarchical) return 3 * g * w;
    return 2 * w;
  };
  switch (request.kind) {
    case CollectiveKind::RingShift: return {w, w, 0};
    case CollectiveKind::Halo: {
      const HaloWords& h = request.halo;
      const std::uint64_t all = std::uint64_t{h.north} + h.south + h.west + h.east;
      return {all, all, 0};
    }
    case CollectiveKind::Broadcast: return {w, w, 0};
    case CollectiveKind::Scatter: return {n * w, w, hierarchical ? g * w : 0};
    case CollectiveKind::Gather: return {w, n * w, hierarchical ? g * w : 0};
    case CollectiveKind::AllGather: return {w, n * w, 0};
    case CollectiveKind::AllToAll: return {n * w, n * w, hierarchical ? 2 * n * w : 0};
    case CollectiveKind::ReduceScatter: return {n * w, w, reduction_scratch()};
    case CollectiveKind::AllReduce: return {n * w, n * w, reduction_scratch()};
  }
  return {};
}

std::expected<void, CollectiveError> check_buffers(const BufferWords& words,
                                                   const CollectiveRequest& request) {
  struct Buffer {
    const char* name;
    std::uint64_t address;
    std::uint64_t words;
  };
  const Buffer buffers[] = {{"input", request.input, words.input},
                            {"output", request.output, words.output},
                            {"scratch", request.scratch, words.scratch}};
  const auto range = [](const Buffer& b) {
    return "bytes " + hex(b.address) + ".." + hex(b.address + 4 * b.words);
  };
  for (const Buffer& buffer : buffers) {
    if (buffer.words == 0) continue;
    if (buffer.address % 4 != 0) {
      return std::unexpected(error(CollectiveError::Kind::Buffer,
                                   std::string{buffer.name} + " address " + hex(buffer.address) +
                                       " is not a multiple of 4"));
    }
    if (buffer.address + 4 * buffer.words > TILE_MEMORY_BYTES) {
      return std::unexpected(
          error(CollectiveError::Kind::Buffer, std::string{buffer.name} + " " + range(buffer) +
                                                   " pass the end of tile memory (" +
                                                   hex(TILE_MEMORY_BYTES) + ")"));
    }
  }
  for (std::size_t a = 0; a < 3; ++a) {
    for (std::size_t b = a + 1; b < 3; ++b) {
      const Buffer& x = buffers[a];
      const Buffer& y = buffers[b];
      if (x.words == 0 || y.words == 0) continue;
      if (x.address < y.address + 4 * y.words && y.address < x.address + 4 * x.words) {
        return std::unexpected(
            error(CollectiveError::Kind::Buffer,
                  std::string{x.name} + " " + range(x) + " overlap " + y.name + " " + range(y)));
      }
    }
  }
  return {};
}

std::vector<Group> groups_of(std::size_t participants, std::size_t size, std::size_t root) {
  std::vector<Group> groups;
  for (std::size_t first = 0; first < participants; first += size) {
    const std::size_t count = std::min(size, participants - first);
    const bool has_root = root >= first && root < first + count;
    groups.push_back(Group{first, count, has_root ? root : first});
  }
  return groups;
}

ExchangeDescription& StepList::next_step() {
  steps.emplace_back();
  steps.back().combine_before = std::move(pending);
  pending.clear();
  return steps.back().exchange;
}

std::size_t StepList::point(std::uint16_t sender, std::uint16_t receiver, std::uint32_t count,
                            std::uint32_t source, std::uint32_t destination,
                            std::vector<std::size_t> after) {
  auto& transfers = steps.back().exchange.transfers;
  transfers.push_back(ScheduledTransfer{
      PointToPointTransfer{sender, receiver, count, source, destination}, std::move(after)});
  return transfers.size() - 1;
}

std::size_t StepList::multicast(std::uint16_t sender, std::vector<std::uint16_t> receivers,
                                std::uint32_t count, std::uint32_t source,
                                std::uint32_t destination, std::vector<std::size_t> after) {
  if (receivers.size() == 1) {
    return point(sender, receivers[0], count, source, destination, std::move(after));
  }
  auto& transfers = steps.back().exchange.transfers;
  if (receivers.empty()) return transfers.size();
  transfers.push_back(ScheduledTransfer{
      MulticastTransfer{sender, std::move(receivers), count, source, {destination}},
      std::move(after)});
  return transfers.size() - 1;
}

void StepList::combine(std::uint16_t tile, std::uint32_t destination,
                       std::vector<std::uint32_t> sources, std::uint32_t words) {
  pending.push_back(Combine{tile, destination, std::move(sources), words});
}

}  // namespace meshweave::collectives_detail
