#include "row_body.hpp"

#include <algorithm>
#include <expected>

#include "meshweave/instruction_words/control_words.hpp"

namespace meshweave {

namespace {
constexpr std::unexpected<ExchangeError> fail(std::string_view message) noexcept {
  return std::unexpected(ExchangeError::schedule(message));
}
}  // namespace

Result<RowBody> row_body(const PlanRow& row) noexcept {
  if (row[0] != ROW_ENTRY_INSTRUCTION) return fail(schedule_message::exchange_row_entry);
  const auto* const return_word = std::ranges::find(row.begin() + 1, row.end(), RETURN_INSTRUCTION);
  if (return_word == row.end()) return fail(schedule_message::exchange_row_return);
  RowBody body;
  body.size = static_cast<std::size_t>(std::copy(row.begin() + 1, return_word, body.words.begin()) -
                                       body.words.begin());
  return body;
}

Status cut_occupied_cycles(RowBody& body, std::uint32_t occupied) noexcept {
  std::uint32_t remaining = occupied;
  std::array<bool, RowBody{}.words.size()> consumed{};
  for (std::size_t index = 0; index < body.size; ++index) {
    std::uint32_t& word = body.words[index];
    const std::uint32_t advance = instruction_advance(word);
    if (advance == 0) continue;  // untimed words stay where they are
    if (remaining >= advance) {
      // Wholly inside the occupied cycles: only waiting may be cut away.
      if (!delay_word::kind.matches(word)) return fail(schedule_message::overlapping_roles);
      remaining -= advance;
      consumed[index] = true;
      continue;
    }
    // Straddles the horizon (or starts on it once DELAYs used the cycles up).
    if (const Status shortened = set_instruction_advance(word, advance - remaining); !shortened) {
      return shortened;
    }
    remaining = 0;
    break;
  }
  if (remaining != 0) return fail(schedule_message::overlapping_roles);

  std::size_t kept = 0;
  for (std::size_t index = 0; index < body.size; ++index) {
    if (!consumed[index]) body.words[kept++] = body.words[index];
  }
  body.size = kept;
  return {};
}

std::uint32_t body_cycles(const RowBody& body) noexcept {
  std::uint32_t cycles = 0;
  for (std::size_t index = 0; index < body.size; ++index) {
    cycles += instruction_advance(body.words[index]);
  }
  return cycles;
}

}  // namespace meshweave
