#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace meshweave {

// One tile's part of one tile-to-tile exchange: entry word, timed words, one
// return word, zeros after it.
inline constexpr std::size_t PLAN_ROW_WORDS = 9;
using PlanRow = std::array<std::uint32_t, PLAN_ROW_WORDS>;

// A point-to-point exchange: the sender's row and the receiver's row template.
struct Plan {
  PlanRow sender;
  PlanRow receiver;

  friend bool operator==(const Plan&, const Plan&) = default;
};

// A multicast exchange: the sender's row and one row per receiver, in the order
// the receivers were given.
struct MulticastPlan {
  PlanRow sender;
  std::vector<PlanRow> receivers;

  friend bool operator==(const MulticastPlan&, const MulticastPlan&) = default;
};

// One-line debug renderings, words in decimal:
// Plan { sender: [...], receiver: [...] }
// MulticastPlan { sender: [...], receivers: [[...], ...] }
std::string to_string(const Plan& plan);
std::string to_string(const MulticastPlan& plan);
std::ostream& operator<<(std::ostream& out, const Plan& plan);
std::ostream& operator<<(std::ostream& out, const MulticastPlan& plan);

}  // namespace meshweave
