#include "meshweave/instruction_words/refusal.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace meshweave {
namespace {

TEST(Refusal, ExplainFillsArgumentAndValuesInDecimalAndHex) {
  const Refusal refusal{ExchangeError::host_packet(), Reason::long_host_offset_not_units,
                        RefusedArgument::host_offset, 0x44, 128};
  EXPECT_EQ(explain(refusal),
            "host offset 0x44: host packets of 64 bytes or more (128 here) start at host offsets "
            "that are multiples of 64");
  const Refusal zero{ExchangeError::host_packet(), Reason::not_short_packet,
                     RefusedArgument::host_offset, 0, 0xffffffff};
  EXPECT_EQ(explain(zero),
            "host offset 0x0 with 4294967295 bytes: a Short packet moves 4 to 60 bytes in 4-byte "
            "units from a host offset that is a multiple of 4");
}

TEST(Refusal, AnErrorWithoutAReasonExplainsItselfByItsRendering) {
  EXPECT_EQ(explain(Refusal{ExchangeError::schedule(schedule_message::sender_delay)}),
            "Schedule(\"sender delay\")");
  EXPECT_EQ(refuse(ExchangeError::tile(3)).error(), Refusal{ExchangeError::tile(3)});
}

TEST(Refusal, EveryReasonHasItsOwnSentenceWithKnownPlaceholders) {
  std::set<std::string_view> seen;
  for (std::size_t i = 0; i < REFUSAL_REASON_COUNT; ++i) {
    const auto reason = static_cast<Reason>(i);
    const std::string_view text = reason_text(reason);
    EXPECT_TRUE(seen.insert(text).second) << text;
    const std::string sentence =
        explain(Refusal{ExchangeError::host_packet(), reason, RefusedArgument::tile, 1, 2});
    EXPECT_EQ(sentence.find('{'), std::string::npos) << sentence;
    EXPECT_EQ(sentence.find('\n'), std::string::npos) << sentence;
  }
}

TEST(Refusal, WithoutReasonKeepsTheValueOrOnlyTheError) {
  const Explained<int> value = 7;
  EXPECT_EQ(without_reason(Explained<int>{value}), Result<int>{7});
  const Explained<int> refused =
      refuse(ExchangeError::count(0), Reason::count_range, RefusedArgument::count, 0);
  EXPECT_EQ(without_reason(Explained<int>{refused}).error(), ExchangeError::count(0));
  EXPECT_EQ(
      renamed(refused.error(), RefusedArgument::count, RefusedArgument::bytes).error().argument,
      RefusedArgument::bytes);
}

}  // namespace
}  // namespace meshweave
