#include <gtest/gtest.h>

#include <string>

#include "meshweave/exchange.hpp"

namespace meshweave {
namespace {

// A library error met while compiling keeps the reason of the check that refused.
TEST(CompileExchange, LibraryErrorsCarryTheirRefusal) {
  struct Case {
    Transfer transfer;
    ExchangeError error;
    const char* sentence;
  };
  const Case cases[] = {
      {PointToPointTransfer{4, 5, 0, 0, 0x50000}, ExchangeError::count(0),
       "word count 0: a tile-to-tile transfer moves 1 to 4148 words"},
      {PointToPointTransfer{4, 1472, 1, 0, 0x50000}, ExchangeError::tile(1472),
       "receiver 1472: the topology's logical tiles are numbered below 1472"},
      {MulticastTransfer{4, {5, 5}, 1, 0, {0x50000}}, ExchangeError::receiver_set(),
       "receiver 5 is named twice: a multicast names each receiver once"},
      {PointToPointTransfer{4, 5, 1, 0x100000, 0x50000}, ExchangeError::address(0x100000),
       "source address 0x100000: SEND and PIC words reach byte addresses below 0x100000"},
      {MulticastTransfer{4, {5, 6}, 1, 0, {0x50000, 0x50002}}, ExchangeError::address(0x50002),
       "destination address 0x50002: plan rows address tile memory in whole 4-byte words"},
  };
  const Topology card = Topology::m1472();
  for (const Case& c : cases) {
    ExchangeDescription description;
    description.phases.push_back(Phase{{c.transfer}});
    const auto compiled = compile_exchange(card, description);
    ASSERT_FALSE(compiled) << c.sentence;
    EXPECT_EQ(compiled.error().error, c.error) << c.sentence;
    ASSERT_TRUE(compiled.error().refusal.has_value()) << c.sentence;
    EXPECT_EQ(compiled.error().refusal->error, c.error) << c.sentence;
    EXPECT_EQ(explain(*compiled.error().refusal), c.sentence);
  }
}

}  // namespace
}  // namespace meshweave
