#include <expected>

#include "../events/plan_events.hpp"
#include "meshweave/plans/plan_rows.hpp"
#include "meshweave/topology/topology.hpp"

namespace meshweave {

// The count is checked before the tiles are compared, and the tiles are compared
// before either is looked up, so a caller sees the same error whatever the table.
Result<Plan> Topology::point_to_point(std::uint16_t sender_logical, std::uint16_t receiver_logical,
                                      std::uint32_t count) const {
  if (const Status valid = validate_count(count); !valid) return std::unexpected(valid.error());
  if (sender_logical == receiver_logical) {
    return std::unexpected(ExchangeError::duplicate_tile());
  }
  const Result<std::uint16_t> sender_physical = physical(sender_logical);
  if (!sender_physical) return std::unexpected(sender_physical.error());
  const Result<std::uint16_t> receiver_physical = physical(receiver_logical);
  if (!receiver_physical) return std::unexpected(receiver_physical.error());

  Result<Plan> plan = plan_rows::point_to_point(*sender_physical, *receiver_physical, count);
  if (plan && plan_events::wanted()) {
    plan_events::emit_point_to_point(sender_logical, receiver_logical, count);
  }
  return plan;
}

}  // namespace meshweave
