#include "meshweave/scheduling/plan_program_builder.hpp"

#include <algorithm>
#include <expected>
#include <limits>
#include <utility>

#include "meshweave/plans/row_patching.hpp"
#include "row_body.hpp"

namespace meshweave {

Status PlanProgramBuilder::append_scheduled_row(const PlanRow& row) {
  Result<RowBody> body = row_body(row);
  if (!body) return std::unexpected(body.error());
  // The first timed row of a stream goes in whole, leading DELAY included.
  if (event_cycles != 0) {
    if (const Status cut = cut_occupied_cycles(*body, event_cycles); !cut) return cut;
  }
  // The horizon is kept incrementally: the stream's old horizon plus what the
  // appended words account for. Checked before anything is written.
  const std::uint32_t appended = body_cycles(*body);
  if (appended > std::numeric_limits<std::uint32_t>::max() - event_cycles) {
    return std::unexpected(ExchangeError::schedule(schedule_message::plan_event_horizon_overflow));
  }
  const auto first = body->words.begin();
  words.insert(words.end(), first, first + static_cast<std::ptrdiff_t>(body->size));
  event_cycles += appended;
  return {};
}

Result<std::vector<std::uint32_t>> PlanProgramBuilder::finish(std::uint32_t horizon) && {
  if (horizon < event_cycles) {
    return std::unexpected(ExchangeError::schedule(schedule_message::horizon_precedes_events));
  }
  std::uint32_t padding = horizon - event_cycles;
  const std::uint32_t delay_words = padding / row_patch::max_delay_cycles +
                                    (padding % row_patch::max_delay_cycles != 0 ? 1u : 0u);
  words.reserve(words.size() + delay_words + 1);
  while (padding != 0) {
    const std::uint32_t chunk = std::min(padding, row_patch::max_delay_cycles);
    words.push_back(delay(chunk - 1));
    padding -= chunk;
  }
  words.push_back(RETURN_INSTRUCTION);
  event_cycles = horizon;
  return std::move(words);
}

}  // namespace meshweave
