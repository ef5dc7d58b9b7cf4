#include "meshweave/scheduling/plan_program_builder.hpp"

#include <algorithm>
#include <cstddef>
#include <expected>
#include <limits>
#include <span>
#include <string_view>
#include <utility>

#include "meshweave/plans/row_patching.hpp"

namespace meshweave {

namespace {
constexpr std::unexpected<ExchangeError> fail(std::string_view message) noexcept {
  return std::unexpected(ExchangeError::schedule(message));
}
// Words a row can add: everything between its entry word and its return word.
constexpr std::size_t max_body_words = PLAN_ROW_WORDS - 2;
}  // namespace

Status PlanProgramBuilder::append_scheduled_row(const PlanRow& row) {
  if (row[0] != ROW_ENTRY_INSTRUCTION) return fail(schedule_message::exchange_row_entry);
  // The row's shape is checked before its timing, so a row without a return
  // word reports that whatever its words.
  const auto* const return_word = std::ranges::find(row.begin() + 1, row.end(), RETURN_INSTRUCTION);
  if (return_word == row.end()) return fail(schedule_message::exchange_row_return);

  // The kept words go straight onto the stream and are taken back if the row is
  // refused. Room for a whole body is made first (growing geometrically, so
  // appends stay amortised constant time): nothing below can then throw, and
  // taking words back never reallocates.
  const std::size_t old_size = words.size();
  if (words.capacity() - old_size < max_body_words) {
    words.reserve(std::max(2 * words.capacity(), old_size + max_body_words));
  }
  const auto refuse = [&](std::unexpected<ExchangeError> error) {
    words.resize(old_size);
    return error;
  };

  // Cycles still to cut: the part of the row inside the cycles the stream
  // already occupies. The first timed row of a stream (nothing occupied) goes in
  // whole; otherwise cutting ends at the first timed word that is kept.
  std::uint32_t remaining = event_cycles;
  bool cutting = event_cycles != 0;
  std::uint32_t appended = 0;
  for (const auto* word = row.begin() + 1; word != return_word; ++word) {
    std::uint32_t kept = *word;
    std::uint32_t advance = instruction_advance(kept);
    if (cutting && advance != 0) {  // untimed words stay where they are
      if (remaining >= advance) {
        // Wholly inside the occupied cycles: only waiting may be cut away.
        if (!delay_word::kind.matches(kept)) {
          return refuse(fail(schedule_message::overlapping_roles));
        }
        remaining -= advance;
        continue;
      }
      // Straddles the horizon (or starts on it once DELAYs used the cycles up):
      // shortened by the overlap, so every later event keeps its cycle.
      if (const Status shortened = set_instruction_advance(kept, advance - remaining); !shortened) {
        return refuse(std::unexpected(shortened.error()));
      }
      advance -= remaining;
      remaining = 0;
      cutting = false;
    }
    words.push_back(kept);
    appended += advance;  // at most 7 words of at most 2^19 cycles: no overflow
  }
  if (remaining != 0) return refuse(fail(schedule_message::overlapping_roles));
  // The horizon is kept incrementally: the stream's old horizon plus what the
  // appended words account for.
  if (appended > std::numeric_limits<std::uint32_t>::max() - event_cycles) {
    return refuse(fail(schedule_message::plan_event_horizon_overflow));
  }
  event_cycles += appended;
  return {};
}

Result<std::vector<std::uint32_t>> PlanProgramBuilder::finish(std::uint32_t horizon) && {
  if (horizon < event_cycles) {
    return std::unexpected(ExchangeError::schedule(schedule_message::horizon_precedes_events));
  }
  const std::uint32_t padding = horizon - event_cycles;
  const std::size_t old_size = words.size();
  const std::size_t delay_words = row_patch::delay_words_for(padding);
  words.reserve(old_size + delay_words + 1);
  words.resize(old_size + delay_words);
  row_patch::write_delays(std::span{words}.subspan(old_size), padding);
  words.push_back(RETURN_INSTRUCTION);
  event_cycles = horizon;
  return std::move(words);
}

}  // namespace meshweave
