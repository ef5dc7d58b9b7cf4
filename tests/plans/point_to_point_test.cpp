#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "meshweave/plans.hpp"
#include "meshweave/scheduling.hpp"
#include "meshweave/topology.hpp"

namespace meshweave {
namespace {

struct PlanCase {
  std::uint16_t sender;
  std::uint16_t receiver;
  std::uint32_t count;
  PlanRow sender_row;
  PlanRow receiver_row;
};

TEST(PointToPoint, DocumentedPlans) {
  const PlanCase cases[] = {
      {0,
       1286,
       3,
       {0x41800003, 0x40a00086, 0x78400001, 0x43a00000, 0, 0, 0, 0, 0},
       {0x00000001, 0x41800003, 0x641c0000, 0x64008640, 0x61800000, 0x40a00007, 0x43a00000, 0, 0}},
      {736,
       100,
       52,
       {0x41800003, 0x40a0003e, 0x7e600002, 0x43a00000, 0, 0, 0, 0, 0},
       {0x00000001, 0x41800003, 0x641c0000, 0x61d00000, 0x64000640, 0x40a00038, 0x43a00000, 0, 0}},
      {1286,
       1471,
       65,
       {0x41800003, 0x40a0007d, 0x7fe00002, 0x70000002, 0x43a00000, 0, 0, 0, 0},
       {0x00000001, 0x41800003, 0x641c0000, 0x61980000, 0x64030640, 0x40a00038, 0x43a00000, 0, 0}},
      {32,
       0,
       4148,
       {0x41800003, 0x40a0006c, 0x7fe00001, 0x766fc001, 0x43a00000, 0, 0, 0, 0},
       {0x00000001, 0x41800003, 0x641c0000, 0x61980000, 0x67ffc640, 0x40a00038, 0x43a00000, 0, 0}},
      {0,
       1,
       4,
       {0x41800003, 0x40a0008b, 0x78600001, 0x43a00000, 0, 0, 0, 0, 0},
       {0x00000001, 0x41800003, 0x641c0000, 0x6400c640, 0x61780000, 0x40a00008, 0x43a00000, 0, 0}},
      {0,
       1,
       64,
       {0x41800003, 0x40a0008b, 0x7fe00001, 0x43a00000, 0, 0, 0, 0, 0},
       {0x00000001, 0x41800003, 0x641c0000, 0x61980000, 0x6402c640, 0x40a00038, 0x43a00000, 0, 0}},
      // Physical 1440 -> 0 has mux time 112: the SEND starts at cycle 0, no leading DELAY.
      {780,
       0,
       1,
       {0x41800003, 0x78000002, 0x40a00004, 0x43a00000, 0, 0, 0, 0, 0},
       {0x00000001, 0x41800003, 0x641c0000, 0x64000640, 0x61900000, 0x40a00005, 0x43a00000, 0, 0}},
      {780,
       0,
       5,
       {0x41800003, 0x78800002, 0x40a00000, 0x43a00000, 0, 0, 0, 0, 0},
       {0x00000001, 0x41800003, 0x641c0000, 0x64010640, 0x61700000, 0x40a00009, 0x43a00000, 0, 0}},
      {780,
       0,
       6,
       {0x41800003, 0x78a00002, 0x43a00000, 0, 0, 0, 0, 0, 0},
       {0x00000001, 0x41800003, 0x641c0000, 0x64014640, 0x61680000, 0x40a0000a, 0x43a00000, 0, 0}},
  };
  const Topology card = Topology::m1472();
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sender << " -> " << c.receiver << " count " << c.count);
    const Result<Plan> plan = card.point_to_point(c.sender, c.receiver, c.count);
    ASSERT_TRUE(plan.has_value()) << plan.error();
    EXPECT_EQ(*plan, (Plan{c.sender_row, c.receiver_row}));
  }
}

TEST(PointToPoint, ReceiverColumnFollowsTheCount) {
  const Topology card = Topology::m1472();
  // Count 51 is the last short transfer: its PIC waits exactly one cycle.
  EXPECT_EQ(card.point_to_point(0, 1, 51).value().receiver[4], 0x60000000u);
  // Count 52 swaps the stages and waits one cycle less in the PIC than 53 does.
  const PlanRow at_52 = card.point_to_point(0, 1, 52).value().receiver;
  const PlanRow at_53 = card.point_to_point(0, 1, 53).value().receiver;
  EXPECT_EQ(at_52[3], delay_pic(50, 0, 0));
  EXPECT_EQ(at_52[4], 0x64000640u);
  EXPECT_EQ(at_53[3], delay_pic(51, 0, 0));
  EXPECT_EQ(at_53[4], 0x64000640u);  // XPIC wait count - 53 = 0
}

TEST(PointToPoint, ErrorsFollowTheCheckOrder) {
  struct ErrorCase {
    std::uint16_t sender;
    std::uint16_t receiver;
    std::uint32_t count;
    ExchangeError expected;
  };
  const ErrorCase cases[] = {
      {0, 1, 0, ExchangeError::count(0)},
      {0, 1, 4149, ExchangeError::count(4149)},
      {5, 5, 4, ExchangeError::duplicate_tile()},
      // Neither tile exists: the count and the duplicate check still come first.
      {5000, 5000, 0, ExchangeError::count(0)},
      {5000, 5000, 4, ExchangeError::duplicate_tile()},
      {1472, 1473, 4, ExchangeError::tile(1472)},
      {0, 1472, 4, ExchangeError::tile(1472)},
      {65535, 0, 4148, ExchangeError::tile(65535)},
  };
  const Topology card = Topology::m1472();
  for (const ErrorCase& c : cases) {
    const Result<Plan> plan = card.point_to_point(c.sender, c.receiver, c.count);
    ASSERT_FALSE(plan.has_value()) << c.sender << " -> " << c.receiver << " count " << c.count;
    EXPECT_EQ(plan.error(), c.expected) << plan.error();
  }
}

TEST(PointToPoint, SenderDelayGuardsTablesBeyondTheCard) {
  // Logical i sits at physical row i, in the middle of the row (physical 1440 on
  // row 22 is the card's farthest sender from physical 0). Rows beyond 22 do not
  // exist on the card and put the sender too far away for the 112-cycle window.
  std::vector<std::uint16_t> table{0};
  for (std::uint16_t row = 1; row < 32; ++row)
    table.push_back(static_cast<std::uint16_t>(row * 64 + 32));
  const Topology far = Topology{table};
  int refused = 0;
  int planned = 0;
  for (std::uint16_t sender = 1; sender < 32; ++sender) {
    const std::int32_t mux_time = time_to_mux(table[sender], 0);
    const Result<Plan> plan = far.point_to_point(sender, 0, 4);
    if (mux_time > 112) {
      ASSERT_FALSE(plan.has_value()) << "sender row " << sender;
      EXPECT_EQ(plan.error(), ExchangeError::schedule(schedule_message::sender_delay));
      ++refused;
    } else {
      ASSERT_TRUE(plan.has_value()) << "sender row " << sender << ": " << plan.error();
      ++planned;
    }
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(planned, 0);
}

// Every ordered pair of distinct card tiles, one count per test: the plan exists,
// the SEND reaches the receiver's mux at cycle 112, the sender row has its
// documented shape, and the receiver row lasts as long as its count and row need.
class EveryPair : public testing::TestWithParam<std::uint32_t> {};

TEST_P(EveryPair, PlansAndTimingHold) {
  const std::uint32_t count = GetParam();
  const Topology card = Topology::m1472();
  const std::span<const std::uint16_t> physical = card.logical_to_physical();
  const std::uint32_t first_packet = std::min<std::uint32_t>(count, 64);
  std::uint64_t failures = 0;
  std::string first_failure;
  const auto fail = [&](std::uint16_t s, std::uint16_t r, const char* what) {
    if (failures++ == 0) {
      first_failure = std::to_string(s) + " -> " + std::to_string(r) + ": " + what;
    }
  };

  for (std::uint16_t sender = 0; sender < M1472_TILE_COUNT; ++sender) {
    for (std::uint16_t receiver = 0; receiver < M1472_TILE_COUNT; ++receiver) {
      if (receiver == sender) continue;
      const Result<Plan> plan = card.point_to_point(sender, receiver, count);
      if (!plan) {
        fail(sender, receiver, "no plan");
        continue;
      }
      const std::int32_t mux_time = time_to_mux(physical[sender], physical[receiver]);
      const PlanRow& s = plan->sender;

      // entry, [DELAY], SEND, [continuation], [trailing DELAY], return, zeros
      std::size_t at = 1;
      std::uint32_t cycles = 0;
      if (s[0] != ROW_ENTRY_INSTRUCTION) fail(sender, receiver, "sender entry");
      if (delay_word::kind.matches(s[at])) cycles += instruction_advance(s[at++]);
      if (static_cast<std::int32_t>(cycles) + mux_time != 112) {
        fail(sender, receiver, "SEND start + mux time");
      }
      if (!send_word::kind.matches(s[at]) || instruction_advance(s[at]) != first_packet ||
          send_word::Direction::get(s[at]) != direction(physical[sender], physical[receiver])) {
        fail(sender, receiver, "SEND word");
      }
      cycles += instruction_advance(s[at++]);
      if (count > 64) {
        if (!send_off_word::kind.matches(s[at]) || instruction_advance(s[at]) != count - 64) {
          fail(sender, receiver, "continuation SEND");
        }
        cycles += instruction_advance(s[at++]);
      }
      if (cycles <= 5) {
        if (!delay_word::kind.matches(s[at])) fail(sender, receiver, "missing trailing DELAY");
        cycles += instruction_advance(s[at++]);
        if (cycles != 6) fail(sender, receiver, "trailing DELAY length");
      }
      if (s[at] != RETURN_INSTRUCTION) fail(sender, receiver, "sender return");
      for (std::size_t rest = at + 1; rest < s.size(); ++rest) {
        if (s[rest] != 0) fail(sender, receiver, "sender padding");
      }

      const PlanRow& r = plan->receiver;
      const std::uint32_t phase = physical[receiver] / 64u * 2u;
      if (r[0] != 1 || r[1] != ROW_ENTRY_INSTRUCTION || r[2] != 0x641c0000u ||
          r[6] != RETURN_INSTRUCTION || r[7] != 0 || r[8] != 0) {
        fail(sender, receiver, "receiver frame");
      }
      std::uint32_t receiver_cycles = 0;
      for (const std::uint32_t word : r) receiver_cycles += instruction_advance(word);
      if (receiver_cycles != 170 + phase + count) fail(sender, receiver, "receiver cycles");
    }
  }
  EXPECT_EQ(failures, 0u) << "first: " << first_failure;
}

INSTANTIATE_TEST_SUITE_P(Counts, EveryPair, testing::Values(1u, 52u, 53u, 64u, 65u, 4148u));

}  // namespace
}  // namespace meshweave
