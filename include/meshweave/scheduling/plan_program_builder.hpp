#pragma once

#include <cstdint>
#include <vector>

#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/instruction_words/error.hpp"
#include "meshweave/plans/plan.hpp"

namespace meshweave {

// Merges the plan rows of one tile, in time order, into one instruction stream on
// the exchange timeline shared by all tiles.
//
// `words` starts with the entry word and holds no return word; `event_cycles` is
// plan_event_cycles(words). Both are public so that callers can inspect the
// stream; a caller that changes them keeps that relation. A builder has one
// owner; `finish` consumes it.
struct PlanProgramBuilder {
  std::vector<std::uint32_t> words{ROW_ENTRY_INSTRUCTION};
  std::uint32_t event_cycles = 0;

  // Lays `row` onto the end of the stream: the part of it inside the cycles the
  // stream already occupies is cut away (whole DELAYs dropped, the DELAY, PIC or
  // XPIC that straddles the horizon shortened), the rest appended. Refused when an
  // exchange event of the row would fall inside the occupied cycles. On failure
  // the builder is exactly as it was. Costs time in the row's length only.
  Status append_scheduled_row(const PlanRow& row);

  // Pads the stream to exactly `horizon` cycles (DELAYs of at most 2^19 cycles,
  // full ones first) and closes it with the return word.
  Result<std::vector<std::uint32_t>> finish(std::uint32_t horizon) &&;

  friend bool operator==(const PlanProgramBuilder&, const PlanProgramBuilder&) = default;
};

}  // namespace meshweave
