#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "meshweave/instruction_words/error.hpp"
#include "meshweave/plans/plan.hpp"

namespace meshweave {

// The words of a plan row between its entry word and its return word.
struct RowBody {
  std::array<std::uint32_t, PLAN_ROW_WORDS - 2> words{};
  std::size_t size = 0;
};

// The body of an executable row: word 0 must be the entry word and some later
// word the return word; words after the first return word are ignored.
Result<RowBody> row_body(const PlanRow& row) noexcept;

// Cuts away the part of `body` that lies inside the first `occupied` cycles of the
// timeline: whole DELAYs inside them are removed and the first timed word that
// reaches past them is shortened by the overlap, so every later event keeps its
// cycle. Fails, leaving `body` unspecified, when an exchange event (PIC, XPIC,
// SEND, continuation SEND) lies inside the occupied cycles, when a SEND would be
// the word to shorten, or when the body ends before the occupied cycles do.
Status cut_occupied_cycles(RowBody& body, std::uint32_t occupied) noexcept;

// Cycles the body accounts for; at most 7 words, so it cannot overflow.
std::uint32_t body_cycles(const RowBody& body) noexcept;

}  // namespace meshweave
