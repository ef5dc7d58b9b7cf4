#include "workloads.hpp"

#include <cstdint>
#include <numeric>
#include <stdexcept>
#include <utility>

namespace meshweave::bench {

ExchangeDescription full_card_shift(std::size_t phases) {
  ExchangeDescription description;
  description.phases.reserve(phases);
  for (std::size_t phase = 0; phase < phases; ++phase) {
    Phase step;
    step.transfers.reserve(M1472_TILE_COUNT / 2);
    for (std::uint32_t sender = phase % 2; sender < M1472_TILE_COUNT; sender += 2) {
      const auto receiver = static_cast<std::uint16_t>((sender + 1) % M1472_TILE_COUNT);
      step.transfers.push_back(
          PointToPointTransfer{static_cast<std::uint16_t>(sender), receiver, 64, 0x40000, 0x50000});
    }
    description.phases.push_back(std::move(step));
  }
  return description;
}

std::vector<PlanRow> chained_rows(std::size_t count) {
  // Entry, a one-word SEND, a 5-cycle DELAY, return: 6 cycles from its start.
  const PlanRow base{ROW_ENTRY_INSTRUCTION,
                     encode_send(0, 1, 0).value(),
                     delay(4),
                     RETURN_INSTRUCTION,
                     0,
                     0,
                     0,
                     0,
                     0};
  std::vector<PlanRow> rows(count, base);
  for (std::size_t k = 0; k < count; ++k) {
    if (!offset_plan(rows[k], static_cast<std::uint32_t>(10 * k + 1))) {
      throw std::runtime_error("row offset out of range");
    }
  }
  return rows;
}

std::vector<std::uint16_t> all_but_tile_zero() {
  std::vector<std::uint16_t> receivers(M1472_TILE_COUNT - 1);
  std::iota(receivers.begin(), receivers.end(), std::uint16_t{1});
  return receivers;
}

void encode_words(std::span<std::uint32_t, encoded_words> out) {
  for (std::uint32_t i = 0; i < encoded_words; i += 4) {
    out[i] = encode_send(i & 63u, 1 + (i & 1u), i).value_or(0);
    out[i + 1] = delay_xpic(i & 0xfffu, 0, i & 0x1fffu);
    out[i + 2] = encode_setzi_m(static_cast<std::uint8_t>(i & 15u), i).value_or(0);
    out[i + 3] = encode_add_m_immediate(static_cast<std::uint8_t>(i & 15u), 3,
                                        static_cast<std::int32_t>(i) - 2048)
                     .value_or(0);
  }
}

AllPairs point_to_point_all_pairs(const Topology& card) {
  AllPairs result;
  const auto tiles = static_cast<std::uint16_t>(card.tile_count());
  for (std::uint16_t sender = 0; sender < tiles; ++sender) {
    for (std::uint16_t receiver = 0; receiver < tiles; ++receiver) {
      if (sender == receiver) continue;
      const auto plan = card.point_to_point(sender, receiver, 64);
      result.digest ^= plan->sender[2] ^ plan->receiver[3];
      ++result.plans;
    }
  }
  return result;
}

Result<MulticastPlan> multicast_from_tile_zero(const Topology& card,
                                               std::span<const std::uint16_t> receivers) {
  return card.multicast(0, receivers, 64, 0);
}

Result<PlanProgramBuilder> append_rows(std::span<const PlanRow> rows) {
  PlanProgramBuilder builder;
  for (const PlanRow& row : rows) {
    if (auto appended = builder.append_scheduled_row(row); !appended) {
      return std::unexpected(appended.error());
    }
  }
  return builder;
}

Result<TileToHostProgram> tile_to_host_mebibyte() {
  return assemble_tile_to_host_target_program(0, 0, 0, tile_to_host_bytes, 0x80000, 0x50000);
}

}  // namespace meshweave::bench
