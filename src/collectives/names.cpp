#include <array>
#include <utility>

#include "meshweave/collectives/request.hpp"

namespace meshweave {

namespace {

constexpr std::array collectives{
    std::pair{CollectiveKind::RingShift, std::string_view{"ring-shift"}},
    std::pair{CollectiveKind::Halo, std::string_view{"halo"}},
    std::pair{CollectiveKind::Broadcast, std::string_view{"broadcast"}},
    std::pair{CollectiveKind::Scatter, std::string_view{"scatter"}},
    std::pair{CollectiveKind::Gather, std::string_view{"gather"}},
    std::pair{CollectiveKind::AllGather, std::string_view{"all-gather"}},
    std::pair{CollectiveKind::AllToAll, std::string_view{"all-to-all"}},
    std::pair{CollectiveKind::ReduceScatter, std::string_view{"reduce-scatter"}},
    std::pair{CollectiveKind::AllReduce, std::string_view{"all-reduce"}},
};

constexpr std::array algorithms{
    std::pair{CollectiveAlgorithm::Auto, std::string_view{"auto"}},
    std::pair{CollectiveAlgorithm::Flat, std::string_view{"flat"}},
    std::pair{CollectiveAlgorithm::Direct, std::string_view{"direct"}},
    std::pair{CollectiveAlgorithm::Hierarchical, std::string_view{"hierarchical"}},
};

constexpr std::array kinds{
    CollectiveKind::RingShift, CollectiveKind::Halo,          CollectiveKind::Broadcast,
    CollectiveKind::Scatter,   CollectiveKind::Gather,        CollectiveKind::AllGather,
    CollectiveKind::AllToAll,  CollectiveKind::ReduceScatter, CollectiveKind::AllReduce,
};

constexpr std::array flat_only{CollectiveAlgorithm::Flat};
constexpr std::array grouped{CollectiveAlgorithm::Flat, CollectiveAlgorithm::Hierarchical};
constexpr std::array reducing{CollectiveAlgorithm::Flat, CollectiveAlgorithm::Direct,
                              CollectiveAlgorithm::Hierarchical};

}  // namespace

std::string_view collective_name(CollectiveKind kind) noexcept {
  for (const auto& [value, name] : collectives) {
    if (value == kind) return name;
  }
  return "unknown";
}

std::string_view algorithm_name(CollectiveAlgorithm algorithm) noexcept {
  for (const auto& [value, name] : algorithms) {
    if (value == algorithm) return name;
  }
  return "unknown";
}

std::optional<CollectiveKind> parse_collective(std::string_view name) noexcept {
  for (const auto& [value, text] : collectives) {
    if (text == name) return value;
  }
  return std::nullopt;
}

std::optional<CollectiveAlgorithm> parse_algorithm(std::string_view name) noexcept {
  for (const auto& [value, text] : algorithms) {
    if (text == name) return value;
  }
  return std::nullopt;
}

std::span<const CollectiveKind> all_collectives() noexcept { return kinds; }

std::span<const CollectiveAlgorithm> algorithms_of(CollectiveKind kind) noexcept {
  switch (kind) {
    case CollectiveKind::RingShift:
    case CollectiveKind::Halo: return flat_only;
    case CollectiveKind::ReduceScatter:
    case CollectiveKind::AllReduce: return reducing;
    default: return grouped;
  }
}

}  // namespace meshweave
