#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "meshweave/plans.hpp"
#include "meshweave/scheduling.hpp"
#include "meshweave/topology.hpp"

namespace meshweave {
namespace {

std::uint32_t row_cycles(const PlanRow& row) { return plan_event_cycles(row).value(); }

struct MulticastCase {
  std::uint16_t sender;
  std::vector<std::uint16_t> receivers;
  std::uint32_t count;
  std::uint32_t schedule_offset;
  PlanRow sender_row;
  std::vector<PlanRow> receiver_rows;
};

TEST(Multicast, DocumentedPlans) {
  const std::vector<MulticastCase> cases = {
      {0,
       {274, 1286},
       3,
       0,
       {0x41800003, 0x40a00016, 0x78400003, 0x43a00000, 0, 0, 0, 0, 0},
       {{0x41800003, 0x64000000, 0x64008640, 0x61814000, 0x40a00007, 0x43a00000, 0, 0, 0},
        {0x41800003, 0x64000000, 0x64008640, 0x61814000, 0x40a00007, 0x43a00000, 0, 0, 0}}},
      {736,
       {100, 900},
       52,
       0,
       {0x41800003, 0x40a00021, 0x7e600003, 0x43a00000, 0, 0, 0, 0, 0},
       {{0x41800003, 0x6414c020, 0x61d14000, 0x64000640, 0x40a00038, 0x43a00000, 0, 0, 0},
        {0x41800003, 0x64000020, 0x62214000, 0x64000640, 0x40a00038, 0x43a00000, 0, 0, 0}}},
      // One receiver: the SEND takes the route's direction, the continuation always 3.
      {0,
       {274},
       65,
       0,
       {0x41800003, 0x40a00016, 0x7fe00001, 0x70000003, 0x43a00000, 0, 0, 0, 0},
       {{0x41800003, 0x64000000, 0x61994000, 0x64030640, 0x40a00038, 0x43a00000, 0, 0, 0}}},
      {0,
       {1},
       16,
       0,
       {0x41800003, 0x40a0001b, 0x79e00001, 0x43a00000, 0, 0, 0, 0, 0},
       {{0x41800003, 0x64000000, 0x6403c640, 0x61194000, 0x40a00014, 0x43a00000, 0, 0, 0}}},
      // Start cycle 0: no leading DELAY.
      {736,
       {1286},
       64,
       0,
       {0x41800003, 0x7fe00002, 0x43a00000, 0, 0, 0, 0, 0, 0},
       {{0x41800003, 0x64050020, 0x61994000, 0x6402c640, 0x40a00038, 0x43a00000, 0, 0, 0}}},
      // One word: trailing DELAY on the sender, no mux-release XPIC on the receiver.
      {736,
       {1286},
       1,
       0,
       {0x41800003, 0x78000002, 0x40a00004, 0x43a00000, 0, 0, 0, 0, 0},
       {{0x41800003, 0x64050020, 0x61994000, 0x40a00005, 0x43a00000, 0, 0, 0, 0}}},
      {0,
       {1},
       4148,
       0,
       {0x41800003, 0x40a0001b, 0x7fe00001, 0x766fc003, 0x43a00000, 0, 0, 0, 0},
       {{0x41800003, 0x64000000, 0x61994000, 0x67ffc640, 0x40a00038, 0x43a00000, 0, 0, 0}}},
  };
  const Topology card = Topology::m1472();
  for (const MulticastCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sender << " count " << c.count);
    const Result<MulticastPlan> plan =
        card.multicast(c.sender, c.receivers, c.count, c.schedule_offset);
    ASSERT_TRUE(plan.has_value()) << plan.error();
    EXPECT_EQ(*plan, (MulticastPlan{c.sender_row, c.receiver_rows}));
  }
}

TEST(Multicast, SeveralReceiversSendInBothDirections) {
  const Topology card = Topology::m1472();
  const std::vector<std::uint16_t> two{1, 2};
  EXPECT_EQ(card.multicast(0, two, 16, 0).value().sender,
            (PlanRow{0x41800003, 0x40a0001e, 0x79e00003, 0x43a00000, 0, 0, 0, 0, 0}));
}

TEST(Multicast, OneWordToEveryOtherTile) {
  const Topology card = Topology::m1472();
  std::vector<std::uint16_t> everyone(1471);
  std::iota(everyone.begin(), everyone.end(), std::uint16_t{1});
  const Result<MulticastPlan> plan = card.multicast(0, everyone, 1, 0);
  ASSERT_TRUE(plan.has_value()) << plan.error();
  EXPECT_EQ(plan->sender, (PlanRow{0x41800003, 0x40a00048, 0x78000003, 0x43a00000, 0, 0, 0, 0, 0}));
  ASSERT_EQ(plan->receivers.size(), 1471u);
  for (const PlanRow& row : plan->receivers) {
    EXPECT_EQ(
        std::ranges::count_if(row, [](std::uint32_t w) { return xpic_word::kind.matches(w); }), 1);
    EXPECT_TRUE(xpic_word::kind.matches(row[1]));
    EXPECT_EQ(row[4], RETURN_INSTRUCTION);
    EXPECT_TRUE(std::all_of(row.begin() + 5, row.end(), [](std::uint32_t w) { return w == 0; }));
  }
}

TEST(Multicast, HorizonIsTheLongestRow) {
  const Topology card = Topology::m1472();
  const std::vector<std::uint16_t> receivers{736, 1286};
  const MulticastPlan short_plan = card.multicast(0, receivers, 1, 0).value();
  EXPECT_EQ(row_cycles(short_plan.receivers[0]), 78u);
  EXPECT_EQ(row_cycles(short_plan.receivers[1]), 59u);
  EXPECT_LE(row_cycles(short_plan.sender), 78u);
  const MulticastPlan long_plan = card.multicast(0, receivers, 1024, 0).value();
  std::uint32_t horizon = row_cycles(long_plan.sender);
  for (const PlanRow& row : long_plan.receivers) horizon = std::max(horizon, row_cycles(row));
  EXPECT_EQ(horizon, 1101u);
}

TEST(Multicast, ErrorsFollowTheCheckOrder) {
  struct ErrorCase {
    std::uint16_t sender;
    std::vector<std::uint16_t> receivers;
    std::uint32_t count;
    std::uint32_t schedule_offset;
    ExchangeError expected;
  };
  const ExchangeError start = ExchangeError::schedule(schedule_message::multicast_start_cycle);
  const ExchangeError receive = ExchangeError::schedule(schedule_message::multicast_receive_cycle);
  const std::vector<ErrorCase> cases = {
      {0, {1}, 0, 0, ExchangeError::count(0)},
      {0, {1}, 4149, 0, ExchangeError::count(4149)},
      {1472, {}, 0, 0, ExchangeError::count(0)},
      {1472, {1}, 1, 0, ExchangeError::tile(1472)},
      {1472, {}, 1, 0, ExchangeError::tile(1472)},
      {0, {}, 1, 0, ExchangeError::receiver_set()},
      {0, {1, 1}, 1, 0, ExchangeError::receiver_set()},
      {0, {0}, 1, 0, ExchangeError::receiver_set()},
      {0, {1, 2, 0}, 1, 0, ExchangeError::receiver_set()},
      // Out of range is a bad receiver set, never a bad tile.
      {0, {1472}, 1, 0, ExchangeError::receiver_set()},
      {0, {1, 65535}, 1, 0, ExchangeError::receiver_set()},
      // The set is checked before any timing.
      {0, {1, 1}, 1, 0xffffffff, ExchangeError::receiver_set()},
      // Sender 0, receiver 1: natural start 28.
      {0, {1}, 1, 4068, start},
      {0, {1}, 1, 0xffffffff, start},
      {736, {100}, 1, 0xffffffff, start},
      // Start 4095 is allowed, but the receiver would take the data at cycle 4144.
      {736, {100}, 1, 4095, receive},
      {736, {1286, 100}, 1, 4050, receive},
  };
  const Topology card = Topology::m1472();
  for (const ErrorCase& c : cases) {
    const Result<MulticastPlan> plan =
        card.multicast(c.sender, c.receivers, c.count, c.schedule_offset);
    ASSERT_FALSE(plan.has_value()) << c.sender << " offset " << c.schedule_offset;
    EXPECT_EQ(plan.error(), c.expected) << plan.error() << " for offset " << c.schedule_offset;
  }
}

TEST(Multicast, CycleLimitsAreInclusive) {
  const Topology card = Topology::m1472();
  const std::vector<std::uint16_t> one{1};
  const MulticastPlan latest_start = card.multicast(0, one, 1, 4067).value();
  EXPECT_EQ(latest_start.sender[1], delay(4094));
  const std::vector<std::uint16_t> hundred{100};
  const MulticastPlan late_receive = card.multicast(736, hundred, 1, 4000).value();
  EXPECT_EQ(late_receive.receivers[0][1], 0x67f44020u);
  // The latest receive cycle itself: 4095 - 49 puts the receiver on 4095.
  EXPECT_EQ(card.multicast(736, hundred, 1, 4046).value().receivers[0][1], delay_xpic(4095, 0, 32));
}

// Random senders, receiver sets, counts and offsets: the plan's timing follows
// the routes, or the right limit refuses it.
TEST(Multicast, TimingRelationsOnRandomReceiverSets) {
  const Topology card = Topology::m1472();
  std::mt19937 random{1472};
  std::uniform_int_distribution<std::uint16_t> tile{0, 1471};
  std::uniform_int_distribution<std::uint32_t> count_of{1, 4148};
  std::uniform_int_distribution<std::uint32_t> offset_of{0, 4200};
  std::uniform_int_distribution<std::size_t> size_of{1, 40};
  std::vector<std::uint16_t> everyone(1472);
  std::iota(everyone.begin(), everyone.end(), std::uint16_t{0});

  int planned = 0;
  for (std::uint32_t round = 0; round < 400; ++round) {
    const std::uint16_t sender = tile(random);
    std::shuffle(everyone.begin(), everyone.end(), random);
    std::vector<std::uint16_t> receivers;
    const std::size_t wanted = round % 50 == 0 ? 1471 : size_of(random);
    for (std::size_t i = 0; receivers.size() < wanted; ++i) {
      if (everyone[i] != sender) receivers.push_back(everyone[i]);
    }
    const std::uint32_t count = round % 3 == 0 ? std::uint32_t{1} + round % 70 : count_of(random);
    const std::uint32_t offset = round % 4 == 0 ? 0 : offset_of(random);

    const std::uint32_t source = card.physical(sender).value();
    std::vector<std::int32_t> mux_times;
    std::int32_t earliest = 1000;
    std::int32_t latest = -1000;
    for (const std::uint16_t r : receivers) {
      mux_times.push_back(time_to_mux(source, card.physical(r).value()));
      earliest = std::min(earliest, mux_times.back());
      latest = std::max(latest, mux_times.back());
    }
    const std::int64_t start = std::max(-earliest, 0) + std::int64_t{offset};

    SCOPED_TRACE(testing::Message() << "round " << round << " sender " << sender << " count "
                                    << count << " offset " << offset);
    const Result<MulticastPlan> plan = card.multicast(sender, receivers, count, offset);
    if (start > 4095) {
      ASSERT_FALSE(plan.has_value());
      EXPECT_EQ(plan.error(), ExchangeError::schedule(schedule_message::multicast_start_cycle));
      continue;
    }
    if (start + latest > 4095) {
      ASSERT_FALSE(plan.has_value());
      EXPECT_EQ(plan.error(), ExchangeError::schedule(schedule_message::multicast_receive_cycle));
      continue;
    }
    ASSERT_TRUE(plan.has_value()) << plan.error();
    ++planned;

    // Sender: SEND at the start cycle, row lasts max(start + count, 6).
    const auto send = std::ranges::find_if(
        plan->sender, [](std::uint32_t w) { return send_word::kind.matches(w); });
    ASSERT_NE(send, plan->sender.end());
    const auto send_at = static_cast<std::size_t>(send - plan->sender.begin());
    EXPECT_EQ(plan_event_cycles(std::span{plan->sender}.first(send_at)).value(), start);
    EXPECT_EQ(row_cycles(plan->sender), std::max<std::int64_t>(start + count, 6));
    const std::uint32_t expected_direction =
        receivers.size() == 1 ? direction(source, card.physical(receivers[0]).value()) : 3;
    EXPECT_EQ(send_word::Direction::get(*send), expected_direction);
    if (count > 64) {
      EXPECT_EQ(send_off_word::Direction::get(send[1]), 3u);
    }

    ASSERT_EQ(plan->receivers.size(), receivers.size());
    for (std::size_t i = 0; i < receivers.size(); ++i) {
      const PlanRow& row = plan->receivers[i];
      const std::uint32_t physical = card.physical(receivers[i]).value();
      const auto receive_cycle = static_cast<std::uint32_t>(start + mux_times[i]);
      EXPECT_EQ(row[1], delay_xpic(receive_cycle, 0, source));
      EXPECT_EQ(row_cycles(row), receive_cycle + physical / 64 * 2 + count + 58);
    }
  }
  EXPECT_GT(planned, 200);
}

TEST(Multicast, LargeTablesKeepTheReceiverChecks) {
  // More tiles than a small bitmap holds; physical numbers reuse the card's.
  std::vector<std::uint16_t> table(5000);
  for (std::size_t i = 0; i < table.size(); ++i) {
    table[i] = m1472_logical_to_physical(static_cast<std::uint16_t>(i % 1472));
  }
  const Topology big{table};
  const std::vector<std::uint16_t> high{4998, 4000, 64};
  EXPECT_TRUE(big.multicast(4999, high, 8, 0).has_value());
  const std::vector<std::uint16_t> repeated{4998, 10, 4998};
  const std::vector<std::uint16_t> outside{4998, 5000};
  const std::vector<std::uint16_t> sender_again{4999};
  for (const auto& receivers : {repeated, outside, sender_again}) {
    EXPECT_EQ(big.multicast(4999, receivers, 8, 0).error(), ExchangeError::receiver_set());
  }
}

TEST(PlanRendering, OneLineWithDecimalWords) {
  const Topology card = Topology::m1472();
  const Plan plan = card.point_to_point(0, 1, 4).value();
  const std::string expected =
      "Plan { sender: [1098907651, 1084227723, 2019557377, 1134559232, 0, 0, 0, 0, 0], "
      "receiver: [1, 1098907651, 1679556608, 1677772352, 1635254272, 1084227592, 1134559232, 0, 0] "
      "}";
  EXPECT_EQ(to_string(plan), expected);
  std::ostringstream streamed;
  streamed << plan;
  EXPECT_EQ(streamed.str(), expected);

  const std::vector<std::uint16_t> one{1286};
  const MulticastPlan multicast = card.multicast(736, one, 64, 0).value();
  const std::string expected_multicast =
      "MulticastPlan { sender: [1098907651, 2145386498, 1134559232, 0, 0, 0, 0, 0, 0], receivers: "
      "[[1098907651, 1678049312, 1637433344, 1677903424, 1084227640, 1134559232, 0, 0, 0]] }";
  EXPECT_EQ(to_string(multicast), expected_multicast);
  std::ostringstream streamed_multicast;
  streamed_multicast << multicast;
  EXPECT_EQ(streamed_multicast.str(), expected_multicast);

  EXPECT_EQ(to_string(MulticastPlan{multicast.sender, {}}),
            "MulticastPlan { sender: [1098907651, 2145386498, 1134559232, 0, 0, 0, 0, 0, 0], "
            "receivers: [] }");
}

}  // namespace
}  // namespace meshweave
