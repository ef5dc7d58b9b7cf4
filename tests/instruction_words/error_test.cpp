#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "meshweave/instruction_words.hpp"

namespace meshweave {
namespace {

using Kind = ExchangeError::Kind;

// The tag order is part of the type's contract.
static_assert(static_cast<int>(Kind::Tile) == 0 && static_cast<int>(Kind::DuplicateTile) == 1 &&
              static_cast<int>(Kind::Count) == 2 && static_cast<int>(Kind::ReceiverSet) == 3 &&
              static_cast<int>(Kind::Schedule) == 4 &&
              static_cast<int>(Kind::PlanOffsetRange) == 5 &&
              static_cast<int>(Kind::Address) == 6 && static_cast<int>(Kind::HostPacket) == 7);
// Errors are built and compared in constant expressions.
static_assert(ExchangeError::count(0) == ExchangeError::count(0));
static_assert(ExchangeError::count(0) != ExchangeError::tile(0));

std::string streamed(const ExchangeError& error) {
  std::ostringstream out;
  out << error;
  return out.str();
}

TEST(ExchangeErrorEquality, EqualExactlyWhenKindAndPayloadMatch) {
  // Pairwise distinct values: each must equal only itself (and its copy).
  const std::vector<ExchangeError> distinct = {
      ExchangeError::tile(0),
      ExchangeError::tile(1),
      ExchangeError::tile(65535),
      ExchangeError::duplicate_tile(),
      ExchangeError::count(0),
      ExchangeError::count(1),
      ExchangeError::receiver_set(),
      ExchangeError::schedule(schedule_message::sender_delay),
      ExchangeError::schedule(schedule_message::plan_offset_entry),
      ExchangeError::schedule(""),
      ExchangeError::plan_offset_range(1, 2),
      ExchangeError::plan_offset_range(2, 2),
      ExchangeError::plan_offset_range(2, 1),
      ExchangeError::plan_offset_range(0, 0),
      ExchangeError::address(0),
      ExchangeError::address(1048576),
      ExchangeError::host_packet(),
  };
  for (std::size_t i = 0; i < distinct.size(); ++i) {
    const ExchangeError copy = distinct[i];
    EXPECT_EQ(copy, distinct[i]) << to_string(distinct[i]);
    for (std::size_t j = 0; j < distinct.size(); ++j) {
      if (i == j) continue;
      EXPECT_NE(distinct[i], distinct[j])
          << to_string(distinct[i]) << " vs " << to_string(distinct[j]);
    }
  }
}

TEST(ExchangeErrorEquality, ScheduleComparesMessageCharactersNotIdentity) {
  const std::string copy{schedule_message::sender_delay};
  const std::string other_copy{"sender delay"};
  ASSERT_NE(copy.data(), schedule_message::sender_delay.data());
  EXPECT_EQ(ExchangeError::schedule(copy), ExchangeError::schedule(schedule_message::sender_delay));
  EXPECT_EQ(ExchangeError::schedule(copy), ExchangeError::schedule(other_copy));
  EXPECT_NE(ExchangeError::schedule(copy), ExchangeError::schedule("sender delay "));
  EXPECT_NE(ExchangeError::schedule(copy), ExchangeError::schedule("Sender delay"));
}

TEST(ExchangeErrorPayload, AccessorsReturnTheirOwnKindsPayloadOnly) {
  const ExchangeError tile = ExchangeError::tile(1472);
  const ExchangeError count = ExchangeError::count(4149);
  const ExchangeError range = ExchangeError::plan_offset_range(4194305, 4194304);
  const ExchangeError address = ExchangeError::address(0xffffffffu);
  const ExchangeError schedule = ExchangeError::schedule(schedule_message::call_operand);

  EXPECT_EQ(tile.kind(), Kind::Tile);
  EXPECT_EQ(tile.tile_value(), 1472);
  EXPECT_EQ(count.kind(), Kind::Count);
  EXPECT_EQ(count.count_value(), 4149u);
  EXPECT_EQ(range.kind(), Kind::PlanOffsetRange);
  EXPECT_EQ(range.cycles(), 4194305u);
  EXPECT_EQ(range.maximum(), 4194304u);
  EXPECT_EQ(address.kind(), Kind::Address);
  EXPECT_EQ(address.address_value(), 0xffffffffu);
  EXPECT_EQ(schedule.kind(), Kind::Schedule);
  EXPECT_EQ(schedule.message(), "call operand");

  // A payload of another kind never leaks through the wrong accessor.
  EXPECT_EQ(count.tile_value(), 0);
  EXPECT_EQ(tile.count_value(), 0u);
  EXPECT_EQ(address.cycles(), 0u);
  EXPECT_EQ(count.maximum(), 0u);
  EXPECT_EQ(range.address_value(), 0u);
  EXPECT_TRUE(tile.message().empty());
  EXPECT_EQ(ExchangeError::duplicate_tile().kind(), Kind::DuplicateTile);
  EXPECT_EQ(ExchangeError::receiver_set().kind(), Kind::ReceiverSet);
  EXPECT_EQ(ExchangeError::host_packet().kind(), Kind::HostPacket);
}

TEST(ExchangeErrorRendering, EveryKindRendersItsOneLineForm) {
  struct Case {
    ExchangeError error;
    std::string_view text;
  };
  const Case cases[] = {
      {ExchangeError::tile(1472), "Tile(1472)"},
      {ExchangeError::tile(65535), "Tile(65535)"},
      {ExchangeError::duplicate_tile(), "DuplicateTile"},
      {ExchangeError::count(0), "Count(0)"},
      {ExchangeError::count(4294967295u), "Count(4294967295)"},
      {ExchangeError::receiver_set(), "ReceiverSet"},
      {ExchangeError::schedule(schedule_message::sender_delay), R"(Schedule("sender delay"))"},
      {ExchangeError::schedule(schedule_message::pic_delay_advance_overflow),
       R"(Schedule("PIC delay advance overflow"))"},
      {ExchangeError::schedule(""), R"(Schedule(""))"},
      {ExchangeError::plan_offset_range(4194305, 4194304),
       "PlanOffsetRange { cycles: 4194305, maximum: 4194304 }"},
      {ExchangeError::plan_offset_range(1, 0), "PlanOffsetRange { cycles: 1, maximum: 0 }"},
      {ExchangeError::address(1048576), "Address(1048576)"},
      {ExchangeError::address(0), "Address(0)"},
      {ExchangeError::host_packet(), "HostPacket"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(to_string(c.error), c.text);
    EXPECT_EQ(streamed(c.error), c.text);
  }
}

TEST(ExchangeErrorRendering, ScheduleEscapesQuoteAndBackslash) {
  struct Case {
    std::string_view message;
    std::string_view text;
  };
  const Case cases[] = {
      {R"(say "hi")", R"(Schedule("say \"hi\""))"},
      {R"(a\b)", R"(Schedule("a\\b"))"},
      {R"(\")", R"(Schedule("\\\""))"},
      {"it's fine", R"(Schedule("it's fine"))"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(to_string(ExchangeError::schedule(c.message)), c.text) << c.message;
  }
}

}  // namespace
}  // namespace meshweave
