#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "meshweave/plans.hpp"
#include "meshweave/scheduling.hpp"

namespace meshweave {
namespace {

using Words = std::vector<std::uint32_t>;

const ExchangeError kOverlap = ExchangeError::schedule(schedule_message::overlapping_roles);
const ExchangeError kNotDelay = ExchangeError::schedule(schedule_message::first_event_not_delay);

std::uint32_t horizon_of(const MulticastPlan& plan) {
  std::uint32_t horizon = plan_event_cycles(plan.sender).value();
  for (const PlanRow& row : plan.receivers)
    horizon = std::max(horizon, plan_event_cycles(row).value());
  return horizon;
}

// Appends `row` and checks that a failure left the builder exactly as it was.
Status append_checked(PlanProgramBuilder& builder, const PlanRow& row) {
  const PlanProgramBuilder before = builder;
  const Status status = builder.append_scheduled_row(row);
  if (!status) {
    EXPECT_EQ(builder, before) << "failed append changed the builder";
  }
  return status;
}

TEST(PlanProgramBuilder, FreshBuilderFinishes) {
  const PlanProgramBuilder fresh;
  EXPECT_EQ(fresh.words, Words{ROW_ENTRY_INSTRUCTION});
  EXPECT_EQ(fresh.event_cycles, 0u);
  struct Case {
    std::uint32_t horizon;
    Words program;
  };
  const Case cases[] = {
      {0, {0x41800003, 0x43a00000}},
      {5, {0x41800003, 0x40a00004, 0x43a00000}},
      {0x80000, {0x41800003, 0x40a7ffff, 0x43a00000}},
      // Padding beyond one DELAY: full DELAYs first, the remainder last.
      {0x80001, {0x41800003, 0x40a7ffff, 0x40a00000, 0x43a00000}},
      {2 * 0x80000 + 5, {0x41800003, 0x40a7ffff, 0x40a7ffff, 0x40a00004, 0x43a00000}},
  };
  for (const Case& c : cases) {
    PlanProgramBuilder builder;
    const Result<Words> program = std::move(builder).finish(c.horizon);
    ASSERT_TRUE(program.has_value()) << c.horizon;
    EXPECT_EQ(*program, c.program) << c.horizon;
    EXPECT_EQ(plan_event_cycles(*program).value(), c.horizon);
  }
}

TEST(PlanProgramBuilder, FinishPadsTheLargestHorizon) {
  const Result<Words> program = PlanProgramBuilder{}.finish(0xffffffff);
  ASSERT_TRUE(program.has_value());
  ASSERT_EQ(program->size(), 8194u);
  EXPECT_TRUE(std::all_of(program->begin() + 1, program->begin() + 8192,
                          [](std::uint32_t w) { return w == 0x40a7ffff; }));
  EXPECT_EQ((*program)[8192], delay(0x7fffe));
  EXPECT_EQ(program->back(), RETURN_INSTRUCTION);
  EXPECT_EQ(plan_event_cycles(*program).value(), 0xffffffffu);
}

// Logical tile 736 receives 64 words from tile 0, then sends 64 words to tile 1286.
class ReceiveThenSend : public testing::Test {
 protected:
  const Topology card = Topology::m1472();
  const MulticastPlan inbound = card.multicast(0, std::vector<std::uint16_t>{736}, 64, 0).value();

  MulticastPlan outbound(std::uint32_t schedule_offset) const {
    return card.multicast(736, std::vector<std::uint16_t>{1286}, 64, schedule_offset).value();
  }
  PlanProgramBuilder after_receive() const {
    PlanProgramBuilder builder;
    EXPECT_TRUE(builder.append_scheduled_row(inbound.receivers[0]).has_value());
    return builder;
  }
};

TEST_F(ReceiveThenSend, MergesBothRolesOnOneTimeline) {
  ASSERT_EQ(inbound.receivers[0], (PlanRow{0x41800003, 0x64000000, 0x61994000, 0x6402c640,
                                           0x40a00038, 0x43a00000, 0, 0, 0}));
  ASSERT_EQ(horizon_of(inbound), 122u);
  const MulticastPlan send = outbound(horizon_of(inbound) + 1);
  ASSERT_EQ(send.sender, (PlanRow{0x41800003, 0x40a0007a, 0x7fe00002, 0x43a00000, 0, 0, 0, 0, 0}));
  ASSERT_EQ(horizon_of(send), 265u);

  PlanProgramBuilder builder = after_receive();
  EXPECT_EQ(builder.words, (Words{0x41800003, 0x64000000, 0x61994000, 0x6402c640, 0x40a00038}));
  EXPECT_EQ(builder.event_cycles, 122u);

  ASSERT_TRUE(builder.append_scheduled_row(send.sender).has_value());
  EXPECT_EQ(builder.words, (Words{0x41800003, 0x64000000, 0x61994000, 0x6402c640, 0x40a00038,
                                  0x40a00000, 0x7fe00002}));
  EXPECT_EQ(builder.event_cycles, 187u);

  const Result<Words> program = std::move(builder).finish(horizon_of(send));
  ASSERT_TRUE(program.has_value());
  EXPECT_EQ(*program, (Words{0x41800003, 0x64000000, 0x61994000, 0x6402c640, 0x40a00038, 0x40a00000,
                             0x7fe00002, 0x40a0004d, 0x43a00000}));
  EXPECT_EQ(std::ranges::count(*program, ROW_ENTRY_INSTRUCTION), 1);
  EXPECT_EQ(plan_event_cycles(*program).value(), 265u);
}

TEST_F(ReceiveThenSend, LaterSendShortensItsDelayToTheHorizon) {
  PlanProgramBuilder builder = after_receive();
  ASSERT_TRUE(builder.append_scheduled_row(outbound(200).sender).has_value());
  EXPECT_EQ(builder.words.end()[-2], 0x40a0004du);
  EXPECT_EQ(builder.event_cycles, 264u);
}

TEST_F(ReceiveThenSend, SendInsideTheReceiveIsRefused) {
  struct Case {
    std::uint32_t schedule_offset;
    ExchangeError expected;
  };
  // 0: the SEND lies inside the 122 busy cycles. 122: the DELAY ends on the
  // horizon and the SEND would be shortened. 121: the SEND straddles the horizon.
  const Case cases[] = {{0, kOverlap}, {122, kNotDelay}, {121, kNotDelay}, {1, kOverlap}};
  for (const Case& c : cases) {
    PlanProgramBuilder builder = after_receive();
    const Status status = append_checked(builder, outbound(c.schedule_offset).sender);
    ASSERT_FALSE(status.has_value()) << c.schedule_offset;
    EXPECT_EQ(status.error(), c.expected) << c.schedule_offset;
    // The refused builder still takes the correctly planned row.
    EXPECT_TRUE(builder.append_scheduled_row(outbound(123).sender).has_value());
  }
}

TEST_F(ReceiveThenSend, FirstRowKeepsItsLeadingDelay) {
  ASSERT_EQ(inbound.sender,
            (PlanRow{0x41800003, 0x40a00003, 0x7fe00001, 0x43a00000, 0, 0, 0, 0, 0}));
  PlanProgramBuilder builder;
  ASSERT_TRUE(builder.append_scheduled_row(inbound.sender).has_value());
  EXPECT_EQ(builder.words, (Words{0x41800003, 0x40a00003, 0x7fe00001}));
  EXPECT_EQ(builder.event_cycles, 68u);
  EXPECT_EQ(std::move(builder).finish(67).error(),
            ExchangeError::schedule(schedule_message::horizon_precedes_events));
}

TEST(PlanProgramBuilder, UntimedWordsStayInPlace) {
  PlanProgramBuilder builder;
  ASSERT_TRUE(builder.append_scheduled_row({0x41800003, 0x40a00004, 0x43a00000, 0, 0, 0, 0, 0, 0}));
  ASSERT_EQ(builder.event_cycles, 5u);
  ASSERT_TRUE(builder.append_scheduled_row(
      {0x41800003, 0x40a00002, 0x19000000, 0x40a00009, 0x78000001, 0x43a00000, 0, 0, 0}));
  EXPECT_EQ(builder.words, (Words{0x41800003, 0x40a00004, 0x19000000, 0x40a00007, 0x78000001}));
  EXPECT_EQ(builder.event_cycles, 14u);
  EXPECT_EQ(
      std::move(builder).finish(20).value(),
      (Words{0x41800003, 0x40a00004, 0x19000000, 0x40a00007, 0x78000001, 0x40a00005, 0x43a00000}));
}

TEST(PlanProgramBuilder, RowFramingAndEmptyRows) {
  constexpr PlanRow empty{0x41800003, 0x43a00000, 0, 0, 0, 0, 0, 0, 0};
  PlanProgramBuilder fresh;
  ASSERT_TRUE(fresh.append_scheduled_row(empty).has_value());
  EXPECT_EQ(fresh, PlanProgramBuilder{});
  // Words after the first return word are ignored.
  ASSERT_TRUE(fresh.append_scheduled_row(
      {0x41800003, 0x19000000, 0x43a00000, 0x40a00009, 0x43a00000, 0, 0, 0, 0}));
  EXPECT_EQ(fresh.words, (Words{0x41800003, 0x19000000}));
  EXPECT_EQ(fresh.event_cycles, 0u);

  struct Case {
    PlanRow row;
    ExchangeError expected;
  };
  const Case cases[] = {
      {empty, kOverlap},
      {{0, 0x41800003, 0x40a00009, 0x43a00000, 0, 0, 0, 0, 0},
       ExchangeError::schedule(schedule_message::exchange_row_entry)},
      {{0x41800003, 0x40a00001, 0, 0, 0, 0, 0, 0, 0},
       ExchangeError::schedule(schedule_message::exchange_row_return)},
      // Ends before the busy cycles do, or has an event inside them.
      {{0x41800003, 0x40a00001, 0x43a00000, 0, 0, 0, 0, 0, 0}, kOverlap},
      {{0x41800003, 0x40a00001, 0x78000001, 0x43a00000, 0, 0, 0, 0, 0}, kOverlap},
      // A PIC or XPIC inside the busy cycles is an exchange event, not waiting.
      {{0x41800003, 0x60000000, 0x40a00009, 0x43a00000, 0, 0, 0, 0, 0}, kOverlap},
      {{0x41800003, 0x64000000, 0x40a00009, 0x43a00000, 0, 0, 0, 0, 0}, kOverlap},
      {{0x41800003, 0x70000002, 0x40a00009, 0x43a00000, 0, 0, 0, 0, 0}, kOverlap},
      // The word that crosses the horizon must be able to wait less.
      {{0x41800003, send_off(9, 2, 0), 0x43a00000, 0, 0, 0, 0, 0, 0}, kNotDelay},
      {{0x41800003, 0x40a00003, 0x78000001, 0x43a00000, 0, 0, 0, 0, 0}, kNotDelay},
  };
  PlanProgramBuilder busy;  // 4 cycles of waiting
  ASSERT_TRUE(busy.append_scheduled_row({0x41800003, 0x40a00003, 0x43a00000, 0, 0, 0, 0, 0, 0}));
  for (const Case& c : cases) {
    PlanProgramBuilder builder = busy;
    const Status status = append_checked(builder, c.row);
    ASSERT_FALSE(status.has_value()) << std::hex << c.row[1];
    EXPECT_EQ(status.error(), c.expected) << std::hex << c.row[1];
  }
  // A straddling PIC or XPIC is shortened and keeps its end.
  PlanProgramBuilder pic = busy;
  ASSERT_TRUE(
      pic.append_scheduled_row({0x41800003, delay_pic(9, 0, 0x123), 0x43a00000, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(pic.words.back(), delay_pic(5, 0, 0x123));
  EXPECT_EQ(pic.event_cycles, 10u);
}

// One timed word of a row or stream: its kind and the cycle at which it ends.
struct TimedEnd {
  std::uint32_t kind;
  std::uint64_t end;
  friend bool operator==(const TimedEnd&, const TimedEnd&) = default;
};

std::uint32_t kind_of(std::uint32_t word) {
  for (const WordPattern kind :
       {delay_word::kind, pic_word::kind, xpic_word::kind, send_off_word::kind, send_word::kind}) {
    if (kind.matches(word)) return kind.pattern;
  }
  return 0;
}

// Timed words ending after `after`, on a timeline whose first word starts at 0.
std::vector<TimedEnd> ends_after(std::span<const std::uint32_t> words, std::uint64_t after) {
  std::vector<TimedEnd> out;
  std::uint64_t cycle = 0;
  for (const std::uint32_t word : words) {
    cycle += instruction_advance(word);
    if (instruction_advance(word) != 0 && cycle > after) out.push_back({kind_of(word), cycle});
  }
  return out;
}

std::vector<std::uint32_t> untimed(std::span<const std::uint32_t> words) {
  std::vector<std::uint32_t> out;
  for (const std::uint32_t word : words) {
    if (instruction_advance(word) == 0) out.push_back(word);
  }
  return out;
}

// What an append of `body` onto `occupied` busy cycles must do, worked out from
// the cycles at which the row's words end.
Status expected_append(std::span<const std::uint32_t> body, std::uint32_t occupied) {
  std::uint64_t cycle = 0;
  for (const std::uint32_t word : body) {
    const std::uint32_t advance = instruction_advance(word);
    if (advance == 0) continue;
    cycle += advance;
    if (cycle <= occupied) {
      if (!delay_word::kind.matches(word)) return std::unexpected(kOverlap);
      continue;
    }
    // The first word that ends past the busy cycles: it has to be shortened.
    if (send_word::kind.matches(word) || send_off_word::kind.matches(word)) {
      return std::unexpected(kNotDelay);
    }
    return {};
  }
  if (cycle < occupied) return std::unexpected(kOverlap);
  return {};
}

// A row of random words. Most rows start with waiting that ends near `occupied`,
// as a planned row would, so that both outcomes of an append are common.
PlanRow random_row(std::mt19937& random, std::uint32_t occupied) {
  std::uniform_int_distribution<int> pick{0, 9};
  std::uniform_int_distribution<std::uint32_t> small{0, 40};
  std::uniform_int_distribution<std::uint32_t> jitter{0, 8};
  PlanRow row{};
  row[0] = ROW_ENTRY_INSTRUCTION;
  std::size_t cursor = 1;
  const std::uint32_t lead = occupied + jitter(random);
  if (pick(random) < 7 && lead > 4) {
    // Wait for `lead` cycles in one or two DELAYs.
    const std::uint32_t first = pick(random) < 5 ? lead : lead / 2;
    row[cursor++] = delay(first - 1);
    if (first != lead) row[cursor++] = delay(lead - first - 1);
  }
  std::uniform_int_distribution<std::size_t> length{0, PLAN_ROW_WORDS - 1 - cursor};
  const std::size_t words = length(random);
  for (std::size_t i = 0; i < words; ++i) {
    switch (pick(random)) {
      case 0:
      case 1:
      case 2: row[cursor++] = delay(small(random) * 3); break;
      case 3:
      case 4: row[cursor++] = delay_pic(small(random), 0, small(random)); break;
      case 5: row[cursor++] = delay_xpic(small(random) * 2, 0, 1600); break;
      case 6: row[cursor++] = encode_send(small(random), 3, small(random)).value(); break;
      case 7: row[cursor++] = send_off(64 + small(random), 3, 0); break;
      default: row[cursor++] = 0x19000000 | small(random); break;
    }
  }
  row[cursor] = RETURN_INSTRUCTION;
  return row;
}

// Random rows laid onto random streams: the append succeeds exactly when no event
// falls inside the busy cycles, keeps every later event on its cycle and every
// untimed word, and keeps the horizon equal to a full recount; a refused append
// changes nothing.
TEST(PlanProgramBuilder, RandomRowsKeepTheirEventsOrAreRefusedWholly) {
  std::mt19937 random{4101};
  PlanProgramBuilder builder;
  int accepted = 0;
  int refused = 0;
  for (int round = 0; round < 20000; ++round) {
    if (round % 40 == 0) builder = PlanProgramBuilder{};
    const PlanRow row = random_row(random, builder.event_cycles);
    const auto end = static_cast<std::size_t>(
        std::ranges::find(row.begin() + 1, row.end(), RETURN_INSTRUCTION) - row.begin());
    const std::span<const std::uint32_t> body = std::span{row}.subspan(1, end - 1);
    const PlanProgramBuilder before = builder;
    const Status expected =
        before.event_cycles == 0 ? Status{} : expected_append(body, before.event_cycles);

    const Status status = append_checked(builder, row);
    ASSERT_EQ(status, expected) << "round " << round;
    if (!status) {
      ++refused;
      continue;
    }
    ++accepted;
    ASSERT_EQ(builder.event_cycles, plan_event_cycles(builder.words).value()) << "round " << round;
    ASSERT_TRUE(std::equal(before.words.begin(), before.words.end(), builder.words.begin()));
    const std::span<const std::uint32_t> appended =
        std::span{builder.words}.subspan(before.words.size());
    if (before.event_cycles != 0) {
      EXPECT_EQ(builder.event_cycles, plan_event_cycles(body).value()) << "round " << round;
    }
    std::vector<TimedEnd> appended_ends = ends_after(appended, 0);
    for (TimedEnd& e : appended_ends) e.end += before.event_cycles;
    EXPECT_EQ(appended_ends, ends_after(body, before.event_cycles)) << "round " << round;
    EXPECT_EQ(untimed(appended), untimed(body)) << "round " << round;
  }
  EXPECT_GT(accepted, 2000);
  EXPECT_GT(refused, 2000);
}

}  // namespace
}  // namespace meshweave
