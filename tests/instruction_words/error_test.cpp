#include <gtest/gtest.h>

#include "meshweave/instruction_words.hpp"

namespace meshweave {
namespace {

TEST(ExchangeErrorRendering, ScheduleQuotesItsMessage) {
  EXPECT_EQ(to_string(ExchangeError::schedule(schedule_message::sender_delay)),
            "Schedule(\"sender delay\")");
}

}  // namespace
}  // namespace meshweave
