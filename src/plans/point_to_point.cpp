#include <expected>

#include "events/plan_events.hpp"
#include "meshweave/topology/topology.hpp"
#include "plan_rows.hpp"
#include "point_to_point_into.hpp"

namespace meshweave {

// The count is checked before the tiles are compared, and the tiles are compared
// before either is looked up, so a caller sees the same error whatever the table.
ExplainedStatus explained_point_to_point_into(const Topology& topology,
                                              std::uint16_t sender_logical,
                                              std::uint16_t receiver_logical, std::uint32_t count,
                                              Plan& plan) noexcept {
  if (const ExplainedStatus valid = plan_rows::check_count(count); !valid) return valid;
  if (sender_logical == receiver_logical) {
    return refuse(ExchangeError::duplicate_tile(), Reason::same_tile, RefusedArgument::receiver,
                  receiver_logical);
  }
  const Result<std::uint16_t> sender_physical = topology.physical(sender_logical);
  if (!sender_physical) {
    return std::unexpected(
        tile_refusal(topology, sender_physical.error(), RefusedArgument::sender, sender_logical));
  }
  const Result<std::uint16_t> receiver_physical = topology.physical(receiver_logical);
  if (!receiver_physical) {
    return std::unexpected(tile_refusal(topology, receiver_physical.error(),
                                        RefusedArgument::receiver, receiver_logical));
  }

  plan = Plan{};
  if (const ExplainedStatus written =
          plan_rows::write_point_to_point(plan, *sender_physical, *receiver_physical, count);
      !written) {
    return written;
  }
  if (plan_events::wanted()) {
    plan_events::emit_point_to_point(sender_logical, receiver_logical, count);
  }
  return {};
}

Status point_to_point_into(const Topology& topology, std::uint16_t sender_logical,
                           std::uint16_t receiver_logical, std::uint32_t count,
                           Plan& plan) noexcept {
  return without_reason(
      explained_point_to_point_into(topology, sender_logical, receiver_logical, count, plan));
}

// One named result on every path, so that the plan is built where the caller
// receives it rather than copied there.
Result<Plan> Topology::point_to_point(std::uint16_t sender_logical, std::uint16_t receiver_logical,
                                      std::uint32_t count) const {
  Result<Plan> plan{std::in_place};
  if (const Status planned =
          point_to_point_into(*this, sender_logical, receiver_logical, count, *plan);
      !planned) {
    plan = std::unexpected(planned.error());
  }
  return plan;
}

Explained<Plan> explained::point_to_point(const Topology& topology, std::uint16_t sender_logical,
                                          std::uint16_t receiver_logical, std::uint32_t count) {
  Explained<Plan> plan{std::in_place};
  if (const ExplainedStatus planned =
          explained_point_to_point_into(topology, sender_logical, receiver_logical, count, *plan);
      !planned) {
    plan = std::unexpected(planned.error());
  }
  return plan;
}

}  // namespace meshweave
