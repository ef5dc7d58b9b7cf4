#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "meshweave/plans/plan.hpp"
#include "meshweave/scheduling.hpp"

namespace meshweave {
namespace {

TEST(PlanEventCycles, SumsTheAdvancesOfTimedWords) {
  struct Case {
    std::vector<std::uint32_t> words;
    std::uint32_t cycles;
  };
  const Case cases[] = {
      {{}, 0},
      {{0x41800003, 0x40a00016, 0x78400003, 0x43a00000}, 26},
      // Point-to-point template: its patch index 1 is untimed.
      {{1, 0x41800003, 0x641c0000, 0x64008640, 0x61800000, 0x40a00007, 0x43a00000, 0, 0},
       113 + 3 + 49 + 8},
      {{0x766fc001, 0x7fe00001, 0x19000000}, 4084 + 64},
      {std::vector<std::uint32_t>(8191, 0x40a7ffff), 0xfff80000},
      {[] {
         std::vector<std::uint32_t> words(8191, 0x40a7ffff);
         words.push_back(0x40a7fffe);
         return words;
       }(),
       0xffffffff},
  };
  for (const Case& c : cases) {
    const Result<std::uint32_t> cycles = plan_event_cycles(c.words);
    ASSERT_TRUE(cycles.has_value()) << c.words.size() << " words";
    EXPECT_EQ(*cycles, c.cycles) << c.words.size() << " words";
  }
}

// A planned row counts what plan_event_cycles counts, and nothing after its
// return word.
TEST(PlanEventCycles, RowCyclesStopAtTheReturnWord) {
  const PlanRow template_row{1,          0x41800003, 0x641c0000, 0x64008640, 0x61800000,
                             0x40a00007, 0x43a00000, 0,          0};
  EXPECT_EQ(plan_row_cycles(template_row), plan_event_cycles(template_row).value());
  PlanRow padded = template_row;
  padded[7] = 0x40a00016;  // a DELAY after the return word
  EXPECT_EQ(plan_row_cycles(padded), 113u + 3 + 49 + 8);
  EXPECT_EQ(plan_row_cycles(PlanRow{}), 0u);
}

TEST(PlanEventCycles, OverflowIsAnError) {
  const ExchangeError overflow =
      ExchangeError::schedule(schedule_message::plan_event_horizon_overflow);
  EXPECT_EQ(plan_event_cycles(std::vector<std::uint32_t>(8192, 0x40a7ffff)).error(), overflow);
  std::vector<std::uint32_t> one_past(8191, 0x40a7ffff);
  one_past.push_back(0x40a7ffff - 1);
  one_past.push_back(0x40a00000);
  EXPECT_EQ(plan_event_cycles(one_past).error(), overflow);
}

}  // namespace
}  // namespace meshweave
