#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <utility>

#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/instruction_words/error.hpp"
#include "meshweave/instruction_words/refusal.hpp"
#include "meshweave/plans/plan.hpp"

// Turning plan row templates into rows a tile can run: data addresses, the
// sender's tile in a point-to-point receiver, and a later start. Every operation
// checks everything before it writes, so a failed call leaves the row as it was.
namespace meshweave {

namespace row_patch {
// Cycles of the longest DELAY: the whole 19-bit field. The program builder and
// the compiler pad with DELAYs of this length too.
inline constexpr std::uint32_t max_delay_cycles = delay_word::Cycles::max + 1;

// DELAY words that wait exactly `cycles`: full ones first, the remainder last.
constexpr std::size_t delay_words_for(std::uint32_t cycles) noexcept {
  return cycles / max_delay_cycles + (cycles % max_delay_cycles != 0 ? 1 : 0);
}

// Writes those words into `out`, which holds exactly delay_words_for(cycles).
constexpr void write_delays(std::span<std::uint32_t> out, std::uint32_t cycles) noexcept {
  const std::size_t full = cycles / max_delay_cycles;
  std::fill_n(out.begin(), full, delay(max_delay_cycles - 1));
  if (const std::uint32_t rest = cycles % max_delay_cycles; rest != 0) out[full] = delay(rest - 1);
}

// Helpers of the row operations below; not part of the API.
namespace detail {
// SEND and PIC words both hold 18-bit word addresses; callers give byte addresses.
constexpr ExplainedStatus check_row_address(std::uint32_t byte_address,
                                            RefusedArgument argument) noexcept {
  static_assert(send_word::BaseWord::width == pic_word::Address::width);
  if (byte_address % 4 != 0) {
    return refuse(ExchangeError::address(byte_address), Reason::row_address_alignment, argument,
                  byte_address);
  }
  if (!send_word::BaseWord::fits(byte_address / 4)) {
    return refuse(ExchangeError::address(byte_address), Reason::row_address_range, argument,
                  byte_address);
  }
  return {};
}

constexpr std::uint32_t* find_kind(std::span<std::uint32_t> row, WordPattern kind) noexcept {
  const auto found =
      std::ranges::find_if(row, [kind](std::uint32_t word) { return kind.matches(word); });
  return found == row.end() ? nullptr : &*found;
}
}  // namespace detail
}  // namespace row_patch

// The row operations with the reason of a refusal.
namespace explained {
constexpr ExplainedStatus patch_sender_address(PlanRow& row, std::uint32_t byte_address) noexcept {
  if (const ExplainedStatus valid =
          row_patch::detail::check_row_address(byte_address, RefusedArgument::source_address);
      !valid) {
    return valid;
  }
  std::uint32_t* const send = row_patch::detail::find_kind(row, send_word::kind);
  if (send == nullptr) {
    return refuse(ExchangeError::address(byte_address), Reason::row_without_send,
                  RefusedArgument::source_address, byte_address);
  }
  *send = send_word::BaseWord::set(*send, byte_address / 4);
  return {};
}

constexpr ExplainedStatus patch_receiver_address(PlanRow& row,
                                                 std::uint32_t byte_address) noexcept {
  if (const ExplainedStatus valid =
          row_patch::detail::check_row_address(byte_address, RefusedArgument::destination_address);
      !valid) {
    return valid;
  }
  std::uint32_t* const pic = row_patch::detail::find_kind(row, pic_word::kind);
  if (pic == nullptr) {
    return refuse(ExchangeError::address(byte_address), Reason::row_without_pic,
                  RefusedArgument::destination_address, byte_address);
  }
  *pic = pic_word::Address::set(*pic, byte_address / 4);
  return {};
}

// finalize_point_receiver on the row itself, for callers that keep the row where
// it is (copying a row just written word by word costs more than the patch). On
// failure the row is left as it was.
constexpr ExplainedStatus finalize_point_receiver_in_place(PlanRow& row,
                                                           std::uint16_t source_physical) noexcept {
  const ExchangeError error = ExchangeError::schedule(schedule_message::point_receiver_patch_index);
  const std::uint32_t patch_index = row[0];
  if (patch_index >= PLAN_ROW_WORDS - 1) {
    return refuse(error, Reason::receiver_patch_index, RefusedArgument::patch_index, patch_index);
  }
  if (!xpic_word::Selector::fits(source_physical)) {
    return refuse(error, Reason::receiver_source_tile, RefusedArgument::sender, source_physical);
  }
  std::copy(row.begin() + 1, row.end(), row.begin());
  row.back() = 0;
  row[patch_index] = xpic_word::Selector::set(row[patch_index], source_physical);
  return {};
}
}  // namespace explained

// Writes the source buffer's word address into the row's first SEND word.
// Continuation SENDs are never touched.
constexpr Status patch_sender_address(PlanRow& row, std::uint32_t byte_address) noexcept {
  return without_reason(explained::patch_sender_address(row, byte_address));
}

// Writes the destination buffer's word address into the row's first PIC word;
// a later call replaces an earlier address.
constexpr Status patch_receiver_address(PlanRow& row, std::uint32_t byte_address) noexcept {
  return without_reason(explained::patch_receiver_address(row, byte_address));
}

// Drops the patch index in word 0 of a point-to-point receiver template and writes
// `source_physical` into the selector of the word it names. The input is not changed.
constexpr Result<PlanRow> finalize_point_receiver(const PlanRow& row,
                                                  std::uint16_t source_physical) noexcept {
  Result<PlanRow> executable{row};
  if (const ExplainedStatus finalized =
          explained::finalize_point_receiver_in_place(*executable, source_physical);
      !finalized) {
    executable = std::unexpected(finalized.error().error);
  }
  return executable;
}

namespace explained {
constexpr ExplainedStatus offset_plan(PlanRow& row, std::uint32_t cycles) noexcept {
  if (cycles == 0) return {};
  if (row[0] != ROW_ENTRY_INSTRUCTION) {
    return refuse(ExchangeError::schedule(schedule_message::plan_offset_entry),
                  Reason::offset_without_entry, RefusedArgument::offset, cycles);
  }
  const auto* const return_word = std::ranges::find(row, RETURN_INSTRUCTION);
  if (return_word == row.end()) {
    return refuse(ExchangeError::schedule(schedule_message::plan_offset_return),
                  Reason::offset_without_return, RefusedArgument::offset, cycles);
  }
  const auto end = static_cast<std::size_t>(return_word - row.begin());
  const std::size_t available = PLAN_ROW_WORDS - 1 - end;
  const std::size_t delay_count = row_patch::delay_words_for(cycles);
  if (delay_count > available) {
    const std::uint32_t maximum =
        static_cast<std::uint32_t>(available) * row_patch::max_delay_cycles;
    return refuse(ExchangeError::plan_offset_range(cycles, maximum), Reason::offset_range,
                  RefusedArgument::offset, cycles, maximum);
  }
  std::copy_backward(row.begin() + 1, row.begin() + static_cast<std::ptrdiff_t>(end + 1),
                     row.begin() + static_cast<std::ptrdiff_t>(end + 1 + delay_count));
  row_patch::write_delays(std::span{row}.subspan(1, delay_count), cycles);
  return {};
}
}  // namespace explained

// Starts the row `cycles` later by inserting DELAYs after its entry word: full
// 2^19-cycle ones first, the remainder last. The inserted words use the zeros after
// the return word; existing DELAYs are never merged with them.
constexpr Status offset_plan(PlanRow& row, std::uint32_t cycles) noexcept {
  return without_reason(explained::offset_plan(row, cycles));
}

// Clears the address of the first SEND word and reports its position and former
// value; nothing when the words hold no SEND.
constexpr std::optional<std::pair<std::size_t, std::uint32_t>> normalize_sender_instruction(
    std::span<std::uint32_t> row) noexcept {
  std::uint32_t* const send = row_patch::detail::find_kind(row, send_word::kind);
  if (send == nullptr) return std::nullopt;
  const std::uint32_t original = *send;
  *send = send_word::BaseWord::set(original, 0);
  return std::pair{static_cast<std::size_t>(send - row.data()), original};
}

static_assert([] {
  PlanRow row{0x41800003, 0x40a00086, 0x78400001, 0x43a00000, 0, 0, 0, 0, 0};
  return patch_sender_address(row, 0x52040).has_value() && row[2] == 0x784a4081u;
}());
static_assert([] {
  PlanRow row{0x41800003, 0x40a00086, 0x78400001, 0x43a00000, 0, 0, 0, 0, 0};
  return offset_plan(row, 524358).has_value() &&
         row == PlanRow{0x41800003, 0x40a7ffff, 0x40a00045, 0x40a00086, 0x78400001,
                        0x43a00000, 0,          0,          0};
}());
static_assert(finalize_point_receiver({1, 0x41800003, 0x641c0000, 0x61980000, 0x6402c640,
                                       0x40a00038, 0x43a00000, 0, 0},
                                      9)
                  .value() == PlanRow{0x41800003, 0x641c0009, 0x61980000, 0x6402c640, 0x40a00038,
                                      0x43a00000, 0, 0, 0});

}  // namespace meshweave
