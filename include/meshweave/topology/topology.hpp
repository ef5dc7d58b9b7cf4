#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "meshweave/instruction_words/error.hpp"
#include "meshweave/instruction_words/refusal.hpp"
#include "meshweave/plans/plan.hpp"

namespace meshweave {

// Tiles of the M1472 card: 23 rows of 64 physical tiles.
inline constexpr std::uint16_t M1472_TILE_COUNT = 1472;

// The closed-form M1472 map from logical to physical tile number. Physical
// number: row in bits 15..6, block / 2 in bits 5..2, lane in bit 1, block & 1 in
// bit 0. Total on every u16 (meaningful below 1472; at most 4255 above).
constexpr std::uint16_t m1472_logical_to_physical(std::uint16_t logical) noexcept {
  constexpr std::uint32_t rows = 23;
  constexpr std::uint32_t tiles_per_row = 64;
  const std::uint32_t pair = logical / 2u;  // two consecutive logical tiles form a pair
  const std::uint32_t lane = logical & 1u;
  const std::uint32_t block = pair / rows;
  std::uint32_t row = pair % rows;
  if ((block & 1u) != 0) row = rows - 1 - row;  // odd blocks run back up the card
  const std::uint32_t column = (block / 2u) * 4u + (block & 1u);
  return static_cast<std::uint16_t>(row * tiles_per_row + column + lane * 2u);
}

static_assert(m1472_logical_to_physical(46) == 1409);
static_assert(m1472_logical_to_physical(1471) == 63);

// The map from the caller's logical tile numbers to physical ones. Built once,
// then only read; any number of threads may plan against one topology.
class Topology {
 public:
  // A topology from the caller's own table: entry i is the physical number of
  // logical tile i. At most 65536 entries are addressable by a u16 logical number.
  explicit Topology(std::vector<std::uint16_t> logical_to_physical);

  // The M1472 card: logical tiles 0..1471.
  static Topology m1472();

  std::size_t tile_count() const noexcept { return logical_to_physical_.size(); }
  std::span<const std::uint16_t> logical_to_physical() const noexcept {
    return logical_to_physical_;
  }

  // Physical number of `logical`, or Tile(logical) when it is not below tile_count().
  Result<std::uint16_t> physical(std::uint16_t logical) const noexcept {
    if (logical >= logical_to_physical_.size()) {
      return std::unexpected(ExchangeError::tile(logical));
    }
    return logical_to_physical_[logical];
  }

  // Plans moving `count` words from one tile to another.
  Result<Plan> point_to_point(std::uint16_t sender_logical, std::uint16_t receiver_logical,
                              std::uint32_t count) const;

  // Plans moving `count` words from one tile to every tile of `receiver_logical`,
  // starting `schedule_offset` cycles after the earliest start the routes allow.
  Result<MulticastPlan> multicast(std::uint16_t sender_logical,
                                  std::span<const std::uint16_t> receiver_logical,
                                  std::uint32_t count, std::uint32_t schedule_offset) const;

  friend bool operator==(const Topology&, const Topology&) = default;

 private:
  std::vector<std::uint16_t> logical_to_physical_;
};

// The planners with the reason of a refusal; Topology::point_to_point and
// Topology::multicast return the same values and only the error.
namespace explained {
Explained<Plan> point_to_point(const Topology& topology, std::uint16_t sender_logical,
                               std::uint16_t receiver_logical, std::uint32_t count);
Explained<MulticastPlan> multicast(const Topology& topology, std::uint16_t sender_logical,
                                   std::span<const std::uint16_t> receiver_logical,
                                   std::uint32_t count, std::uint32_t schedule_offset);
}  // namespace explained

}  // namespace meshweave
