#include "workloads.hpp"

#include <cstdint>
#include <stdexcept>

#include "meshweave/plans.hpp"

namespace meshweave::bench {

ExchangeDescription full_card_shift(std::size_t phases) {
  ExchangeDescription description;
  description.phases.reserve(phases);
  for (std::size_t phase = 0; phase < phases; ++phase) {
    Phase step;
    step.transfers.reserve(M1472_TILE_COUNT / 2);
    for (std::uint32_t sender = phase % 2; sender < M1472_TILE_COUNT; sender += 2) {
      const auto receiver = static_cast<std::uint16_t>((sender + 1) % M1472_TILE_COUNT);
      step.transfers.push_back(PointToPointTransfer{static_cast<std::uint16_t>(sender), receiver,
                                                    64, 0x40000, 0x50000});
    }
    description.phases.push_back(std::move(step));
  }
  return description;
}

std::vector<PlanRow> chained_rows(std::size_t count) {
  // Entry, a one-word SEND, a 5-cycle DELAY, return: 6 cycles from its start.
  const PlanRow base{ROW_ENTRY_INSTRUCTION, encode_send(0, 1, 0).value(), delay(4),
                     RETURN_INSTRUCTION, 0, 0, 0, 0, 0};
  std::vector<PlanRow> rows(count, base);
  for (std::size_t k = 0; k < count; ++k) {
    if (!offset_plan(rows[k], static_cast<std::uint32_t>(10 * k + 1))) {
      throw std::runtime_error("row offset out of range");
    }
  }
  return rows;
}

}  // namespace meshweave::bench
