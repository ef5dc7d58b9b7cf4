#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "fuzz_check.hpp"
#include "fuzz_input.hpp"
#include "meshweave/plans/row_patching.hpp"
#include "plan_row_properties.hpp"

namespace meshweave::fuzz {

// Row patching on any row: a patch changes only the field it names, an offset
// inserts DELAYs worth exactly its cycles in front of the row's words, and a
// failed call leaves the row as it was, with the error its checks predict.
namespace row_patching {

inline constexpr WordPattern send_kind{0xf8000000u, 0x78000000u};
inline constexpr WordPattern pic_kind{0xfc000000u, 0x60000000u};
inline constexpr std::uint32_t send_address_bits = 0x001ffff8u;  // SEND bits 20..3
inline constexpr std::uint32_t pic_address_bits = 0x0003ffffu;   // PIC bits 17..0
inline constexpr std::uint32_t selector_bits = 0x00001fffu;      // XPIC bits 12..0
inline constexpr std::uint32_t full_delay = 0x80000u;            // cycles of the longest DELAY

inline bool is_row_address(std::uint32_t byte_address) {
  return byte_address % 4 == 0 && byte_address < 0x100000u;
}

// Every word but `index` is unchanged, and word `index` changed only in `bits`
// and now holds `value` there.
inline void check_one_field(const PlanRow& before, const PlanRow& after, std::size_t index,
                            std::uint32_t bits, std::uint32_t value, const char* what) {
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (i == index) continue;
    FUZZ_CHECK(before[i] == after[i],
               what << " changed word " << i << ": " << words(before) << " -> " << words(after));
  }
  FUZZ_CHECK(((before[index] ^ after[index]) & ~bits) == 0 && (after[index] & bits) == value,
             what << " wrote " << hex(after[index]) << " over " << hex(before[index])
                  << ", field value expected " << hex(value));
}

inline void check_unchanged_on_failure(const PlanRow& before, const PlanRow& after,
                                       const Status& status, const ExchangeError& expected,
                                       const char* what) {
  FUZZ_CHECK(status.error() == expected,
             what << " failed with " << status.error() << ", expected " << expected);
  FUZZ_CHECK(before == after,
             "failed " << what << " changed the row: " << words(before) << " -> " << words(after));
}

inline void patch_sender(PlanRow& row, std::uint32_t byte_address) {
  const PlanRow before = row;
  const Status status = patch_sender_address(row, byte_address);
  const std::size_t send = find_kind(before, send_kind);
  if (!is_row_address(byte_address) || send == before.size()) {
    FUZZ_CHECK(!status,
               "patch_sender_address(" << hex(byte_address) << ") accepted " << words(before));
    check_unchanged_on_failure(before, row, status, ExchangeError::address(byte_address),
                               "patch_sender_address");
    return;
  }
  FUZZ_CHECK(status.has_value(),
             "patch_sender_address(" << hex(byte_address) << "): " << status.error());
  check_one_field(before, row, send, send_address_bits, byte_address / 4 << 3,
                  "patch_sender_address");
}

inline void patch_receiver(PlanRow& row, std::uint32_t byte_address) {
  const PlanRow before = row;
  const Status status = patch_receiver_address(row, byte_address);
  const std::size_t pic = find_kind(before, pic_kind);
  if (!is_row_address(byte_address) || pic == before.size()) {
    FUZZ_CHECK(!status,
               "patch_receiver_address(" << hex(byte_address) << ") accepted " << words(before));
    check_unchanged_on_failure(before, row, status, ExchangeError::address(byte_address),
                               "patch_receiver_address");
    return;
  }
  FUZZ_CHECK(status.has_value(),
             "patch_receiver_address(" << hex(byte_address) << "): " << status.error());
  check_one_field(before, row, pic, pic_address_bits, byte_address / 4, "patch_receiver_address");
}

// Returns the finalized row, checked against the template it came from.
inline Result<PlanRow> finalize(const PlanRow& row, std::uint16_t source_physical) {
  const PlanRow before = row;
  const Result<PlanRow> finalized = finalize_point_receiver(row, source_physical);
  FUZZ_CHECK(row == before, "finalize_point_receiver changed its input");
  const std::uint32_t patch_index = before[0];
  if (patch_index >= 8 || source_physical > selector_bits) {
    FUZZ_CHECK(!finalized && finalized.error() == ExchangeError::schedule(
                                                      schedule_message::point_receiver_patch_index),
               "finalize_point_receiver(" << words(before) << ", " << source_physical
                                          << "): " << outcome(finalized));
    return finalized;
  }
  FUZZ_CHECK(finalized.has_value(), "finalize_point_receiver(" << words(before) << ", "
                                                               << source_physical
                                                               << "): " << finalized.error());
  PlanRow moved{};
  for (std::size_t i = 0; i + 1 < before.size(); ++i) moved[i] = before[i + 1];
  check_one_field(moved, *finalized, patch_index, selector_bits, source_physical,
                  "finalize_point_receiver");
  return finalized;
}

inline void offset(PlanRow& row, std::uint32_t cycles) {
  const PlanRow before = row;
  const Status status = offset_plan(row, cycles);
  if (cycles == 0) {
    FUZZ_CHECK(status.has_value() && row == before, "offset_plan by 0 cycles: " << outcome(status));
    return;
  }
  const std::size_t end = find_kind(before, WordPattern{0xffffffffu, RETURN_INSTRUCTION});
  const std::size_t needed = (std::size_t{cycles} + full_delay - 1) / full_delay;
  std::optional<ExchangeError> expected;
  if (before[0] != ROW_ENTRY_INSTRUCTION) {
    expected = ExchangeError::schedule(schedule_message::plan_offset_entry);
  } else if (end == before.size()) {
    expected = ExchangeError::schedule(schedule_message::plan_offset_return);
  } else if (needed > 8 - end) {
    expected =
        ExchangeError::plan_offset_range(cycles, static_cast<std::uint32_t>(8 - end) * full_delay);
  }
  if (expected) {
    FUZZ_CHECK(!status, "offset_plan(" << words(before) << ", " << cycles << ") succeeded");
    check_unchanged_on_failure(before, row, status, *expected, "offset_plan");
    return;
  }
  FUZZ_CHECK(status.has_value(),
             "offset_plan(" << words(before) << ", " << cycles << "): " << status.error());
  // Entry word, `needed` DELAYs worth `cycles`, the old words up to the return,
  // then whatever lay beyond the moved return word before.
  FUZZ_CHECK(row[0] == before[0], "offset_plan changed the entry word");
  std::uint64_t inserted = 0;
  for (std::size_t i = 1; i <= needed; ++i) {
    FUZZ_CHECK(delay_word::kind.matches(row[i]), "offset_plan inserted " << hex(row[i]));
    inserted += instruction_advance(row[i]);
  }
  FUZZ_CHECK(inserted == cycles,
             "offset_plan(" << cycles << ") inserted " << inserted << " cycles: " << words(row));
  for (std::size_t i = 1; i < before.size(); ++i) {
    const std::size_t moved_to = i <= end ? i + needed : i;
    if (i > end && i <= end + needed) continue;
    FUZZ_CHECK(row[moved_to] == before[i],
               "offset_plan(" << cycles << "): " << words(before) << " -> " << words(row));
  }
  // The row, up to its return word, now lasts exactly `cycles` longer.
  const std::span<const std::uint32_t> old_words{before.data(), end + 1};
  const std::span<const std::uint32_t> new_words{row.data(), end + needed + 1};
  FUZZ_CHECK(total_cycles(new_words) == total_cycles(old_words) + cycles,
             "offset_plan(" << cycles << ") grew " << words(before) << " to " << words(row));
}

inline void normalize(PlanRow& row) {
  const PlanRow before = row;
  const auto found = normalize_sender_instruction(row);
  const std::size_t send = find_kind(before, send_kind);
  if (send == before.size()) {
    FUZZ_CHECK(!found && row == before, "normalize_sender_instruction without a SEND");
    return;
  }
  FUZZ_CHECK(found && found->first == send && found->second == before[send],
             "normalize_sender_instruction on " << words(before));
  check_one_field(before, row, send, send_address_bits, 0, "normalize_sender_instruction");
}

}  // namespace row_patching

}  // namespace meshweave::fuzz
