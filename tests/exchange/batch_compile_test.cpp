#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <vector>

#include "exchange/exchange_fixtures.hpp"
#include "meshweave/exchange.hpp"

namespace meshweave {
namespace {

TEST(CompileExchanges, EqualsCompilingOneByOneForAnyThreadCount) {
  const Topology card = Topology::m1472();
  std::mt19937 random{20261209};
  std::vector<ExchangeDescription> descriptions;
  for (std::size_t index = 0; index < 9; ++index) {
    descriptions.push_back(testing::random_exchange(random, 1 + index % 4));
  }
  // A refused one among them, and both forms.
  descriptions[3].phases.push_back(Phase{{PointToPointTransfer{0, 0, 4, 0, 0}}});
  descriptions.push_back(to_transfers_form(descriptions[1]));
  const CompileOptions options{.idle_programs = true};
  std::vector<std::expected<CompiledExchange, CompileError>> alone;
  for (const ExchangeDescription& description : descriptions) {
    alone.push_back(compile_exchange(card, description, options));
  }
  ASSERT_FALSE(alone[3].has_value());
  for (const unsigned threads : {0u, 1u, 2u, 3u, 64u}) {
    EXPECT_EQ(compile_exchanges(card, descriptions, threads, options), alone)
        << threads << " threads";
  }
  EXPECT_TRUE(compile_exchanges(card, {}, 4).empty());
}

}  // namespace
}  // namespace meshweave
