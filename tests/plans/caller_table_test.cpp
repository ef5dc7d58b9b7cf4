// Caller tables may hold physical numbers the card does not have. Where the row
// words cannot carry such a tile, the planners refuse instead of cutting a field.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "meshweave/instruction_words.hpp"
#include "meshweave/plans.hpp"
#include "meshweave/scheduling.hpp"

namespace meshweave {
namespace {

// Logical 0 is physical 0; logical 1 sits on card row `row`, column 0.
Topology with_receiver_row(std::uint16_t row) {
  return Topology{std::vector<std::uint16_t>{0, static_cast<std::uint16_t>(row * 64u)}};
}

TEST(CallerTables, ReceiverRowsUpToTheLastPicWaitArePlanned) {
  // Row 38 gives phase 76: the longest PIC wait is 76 + 51 = 127, the field's top.
  const Topology table = with_receiver_row(38);
  for (const std::uint32_t count : {1u, 51u, 52u, 53u, 4148u}) {
    const auto plan = table.point_to_point(0, 1, count);
    ASSERT_TRUE(plan) << count << ": " << plan.error();
    const std::uint16_t receivers[] = {1};
    const auto fan = table.multicast(0, receivers, count, 0);
    ASSERT_TRUE(fan) << count << ": " << fan.error();
    // The receive stage keeps its documented length: phase + count + 58 past the
    // first XPIC's end, which a cut PIC wait would shorten.
    const std::uint32_t first_xpic = instruction_advance(fan->receivers[0][1]);
    EXPECT_EQ(plan_event_cycles(fan->receivers[0]).value(), first_xpic - 1 + 76 + count + 58)
        << count;
  }
}

TEST(CallerTables, ReceiverRowsPastThePicWaitAreRefused) {
  const Topology table = with_receiver_row(39);
  const std::uint16_t receivers[] = {1};
  for (const std::uint32_t count : {1u, 52u, 4148u}) {
    EXPECT_EQ(table.point_to_point(0, 1, count).error(),
              ExchangeError::schedule(schedule_message::receiver_phase));
    EXPECT_EQ(table.multicast(0, receivers, count, 0).error(),
              ExchangeError::schedule(schedule_message::receiver_phase));
  }
  // Earlier checks keep their order: a bad count or receiver set is reported first.
  EXPECT_EQ(table.point_to_point(0, 1, 0).error(), ExchangeError::count(0));
  const std::uint16_t repeated[] = {1, 1};
  EXPECT_EQ(table.multicast(0, repeated, 1, 0).error(), ExchangeError::receiver_set());
}

TEST(CallerTables, MulticastSendersMustFitTheTileSelector) {
  const std::uint16_t receivers[] = {1};
  const Topology largest{std::vector<std::uint16_t>{0x1fff, 0}};
  const auto fits = largest.multicast(0, receivers, 1, 0);
  ASSERT_TRUE(fits) << fits.error();
  EXPECT_EQ(fits->receivers[0][1] & 0x1fffu, 0x1fffu);
  const Topology beyond{std::vector<std::uint16_t>{0x2000, 0}};
  EXPECT_EQ(beyond.multicast(0, receivers, 1, 0).error(),
            ExchangeError::schedule(schedule_message::multicast_sender_tile));
  // Point-to-point receivers get their sender when they are finalized, which
  // refuses the same tile.
  const Plan plan = beyond.point_to_point(0, 1, 1).value();
  EXPECT_EQ(finalize_point_receiver(plan.receiver, 0x2000).error(),
            ExchangeError::schedule(schedule_message::point_receiver_patch_index));
}

}  // namespace
}  // namespace meshweave
