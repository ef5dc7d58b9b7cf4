#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string_view>

#include "meshweave/instruction_words/error.hpp"

namespace meshweave {
namespace {

// Callers match on these texts, so each one is pinned character for character.
TEST(ScheduleMessages, EveryConstantHasItsExactText) {
  namespace m = schedule_message;
  struct Case {
    std::string_view constant;
    std::string_view text;
  };
  const Case cases[] = {
      {m::send_instruction_operand, "send instruction operand"},
      {m::zero_event_advance, "zero event advance"},
      {m::delay_advance_overflow, "delay advance overflow"},
      {m::pic_delay_advance_overflow, "PIC delay advance overflow"},
      {m::xpic_delay_advance_overflow, "XPIC delay advance overflow"},
      {m::first_event_not_delay, "first scheduled event is not a delay"},
      {m::branch_register, "branch register"},
      {m::setzi_operand, "setzi operand"},
      {m::put_source_register, "put source register"},
      {m::add_register_operand, "add register operand"},
      {m::add_immediate_operand, "add immediate operand"},
      {m::and_operand, "and operand"},
      {m::shift_left_operand, "shift-left operand"},
      {m::brz_operand, "brz operand"},
      {m::call_operand, "call operand"},
      {m::ld32_operand, "ld32 operand"},
      {m::st32_operand, "st32 operand"},
      {m::sender_delay, "sender delay"},
      {m::plan_offset_entry, "plan offset entry"},
      {m::plan_offset_return, "plan offset return"},
      {m::point_receiver_patch_index, "point receiver patch index"},
      {m::multicast_start_cycle, "multicast start cycle"},
      {m::multicast_receive_cycle, "multicast receive cycle"},
      {m::plan_event_horizon_overflow, "plan event horizon overflow"},
      {m::exchange_row_entry, "exchange row entry"},
      {m::exchange_row_return, "exchange row return"},
      {m::overlapping_roles, "overlapping tile exchange roles"},
      {m::horizon_precedes_events, "plan horizon precedes tile events"},
      {m::host_target_operation_return, "host target operation return"},
      {m::local_host_operation_return, "local host operation return"},
      {m::local_host_operation_prefix, "local host operation prefix"},
      {m::pic_delay_operand, "PIC delay operand"},
      {m::xpic_delay_operand, "XPIC delay operand"},
      {m::sync_operand, "sync operand"},
      {m::receiver_phase, "receiver phase"},
      {m::multicast_sender_tile, "multicast sender tile"},
  };
  // One case per message of the table, so a new message needs its pinned text here.
  static_assert(std::size(cases) == schedule_message::all.size());
  for (const Case& c : cases) {
    EXPECT_EQ(c.constant, c.text);
    // Every constant is also listed in the vocabulary.
    EXPECT_NE(std::find(m::all.begin(), m::all.end(), c.constant), m::all.end()) << c.text;
  }
}

TEST(ScheduleMessages, VocabularyIsDistinctNonEmptyAndUnpunctuated) {
  const std::set<std::string_view> unique(schedule_message::all.begin(),
                                          schedule_message::all.end());
  EXPECT_EQ(unique.size(), schedule_message::all.size());
  for (const std::string_view message : schedule_message::all) {
    ASSERT_FALSE(message.empty());
    EXPECT_NE(message.back(), '.') << message;
    EXPECT_NE(message.front(), ' ') << message;
    EXPECT_NE(message.back(), ' ') << message;
    // Messages are rendered inside quotes without needing any escape.
    EXPECT_EQ(message.find_first_of("\"\\\n"), std::string_view::npos) << message;
  }
}

}  // namespace
}  // namespace meshweave
