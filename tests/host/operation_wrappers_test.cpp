#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "host/host_test_support.hpp"
#include "meshweave/host.hpp"

namespace meshweave {
namespace {

using host_test::draw;
using host_test::error_of;
using host_test::host_packet_error;
using Words = std::vector<std::uint32_t>;

const ExchangeError target_return =
    ExchangeError::schedule(schedule_message::host_target_operation_return);
const ExchangeError local_return =
    ExchangeError::schedule(schedule_message::local_host_operation_return);
const ExchangeError local_prefix =
    ExchangeError::schedule(schedule_message::local_host_operation_prefix);

TEST(HostHierarchy, XreqTileKeepsTheMuxBits) {
  const std::uint16_t cases[][2] = {{260, 4}, {31, 29}, {9, 9}, {4095, 61}};
  for (const auto& [target, xreq] : cases) {
    EXPECT_EQ(host_hierarchy(target), (HostHierarchy{xreq, target})) << target;
    EXPECT_EQ(host_mux_for_tile(xreq), host_mux_for_tile(target));
    EXPECT_EQ(host_hierarchy(xreq)->xreq_physical_tile, xreq);
  }
  EXPECT_EQ(error_of(host_hierarchy(4096)), host_packet_error);
}

TEST(HostOperationWrappers, FrameTheDocumentedPrograms) {
  const Words t2h_target = {0x19800001, 0x438080a6, 0x782a02c3, 0x79ea0243,
                            0x40a00001, 0x782a02d3, 0x41800000, 0x43a00000};
  const Words h2t_target = {0x19800010, 0x438080a6, 0x782a02d3, 0x41800000, 0x43a00000};
  const Words combined_tile0 = {0x19800600, 0x438080a0, 0x4180000f, 0x19800010,
                                0x438080a6, 0x782a02c3, 0x782a02d3, 0x41800000,
                                0x41800007, 0x19800640, 0x438080a0, 0x43a00000};
  Words combined_tile9 = combined_tile0;
  combined_tile9[0] = 0x19800609;
  const struct {
    const char* call;
    Result<Words> got;
    Words want;
  } cases[] = {
      {"xreq(4)",
       wrap_host_xreq_operation(4, Words{0x782a0243, 0x43a00000}),
       {0x19800604, 0x438080a0, 0x4180000f, 0x782a0243, 0x41800007, 0x19800640, 0x438080a0,
        0x43a00000}},
      {"target(260)",
       wrap_host_target_operation(260, t2h_target),
       {0x19800604, 0x438080a0, 0x41800007, 0x19800001, 0x438080a6, 0x782a02c3, 0x79ea0243,
        0x40a00001, 0x782a02d3, 0x41800000, 0x41800007, 0x19800640, 0x438080a0, 0x43a00000}},
      {"combined(0)", wrap_combined_host_operation(0, h2t_target, 0x50160), combined_tile0},
      {"combined(9)", wrap_combined_host_operation(9, h2t_target, 0x50160), combined_tile9},
      {"empty body, any entry word",
       wrap_host_operation(0, Words{0x43a00000}, 0x41800003),
       {0x19800600, 0x438080a0, 0x41800003, 0x41800007, 0x19800640, 0x438080a0, 0x43a00000}},
      {"combined, prefix only",
       wrap_combined_host_operation(0, Words{0x19800010, 0x438080a6, 0x43a00000}, 0x50160),
       {0x19800600, 0x438080a0, 0x4180000f, 0x19800010, 0x438080a6, 0x782a02c3, 0x41800007,
        0x19800640, 0x438080a0, 0x43a00000}},
      // A return inside the body is body like any other word.
      {"inner return copied",
       wrap_host_target_operation(2, Words{0x43a00000, 0x43a00000}),
       {0x19800600, 0x438080a0, 0x41800007, 0x43a00000, 0x41800007, 0x19800640, 0x438080a0,
        0x43a00000}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    ASSERT_TRUE(c.got.has_value()) << c.got.error();
    EXPECT_EQ(*c.got, c.want);
  }
}

TEST(HostOperationWrappers, CheckTheOperationBeforeTheTile) {
  const Words good = {0x19800010, 0x438080a6, 0x43a00000};
  const struct {
    const char* call;
    Result<Words> got;
    ExchangeError want;
  } cases[] = {
      {"empty", wrap_host_operation(0, Words{}, SYNC_ALL_INSTRUCTION), target_return},
      {"no return", wrap_host_target_operation(0, Words{0x41800000}), target_return},
      {"no return on tile 4096", wrap_host_xreq_operation(4096, Words{0x41800000}), target_return},
      {"tile 4096", wrap_host_operation(4096, Words{0x43a00000}, SYNC_ALL_INSTRUCTION),
       host_packet_error},
      {"combined, no return", wrap_combined_host_operation(0, Words{0x19800010}, 0x50160),
       local_return},
      {"combined, empty on tile 4096", wrap_combined_host_operation(4096, Words{}, 0x50160),
       local_return},
      {"combined, one body word",
       wrap_combined_host_operation(0, Words{0x19800010, 0x43a00000}, 0x50160), local_prefix},
      {"combined, xreq address off 8", wrap_combined_host_operation(0, good, 0x50164),
       local_prefix},
      {"combined, off 8 on tile 4096", wrap_combined_host_operation(4096, good, 0x50164),
       local_prefix},
      {"combined, tile before SEND", wrap_combined_host_operation(4096, good, 0x100000),
       host_packet_error},
      {"combined, SEND out of reach", wrap_combined_host_operation(0, good, 0x100000),
       host_test::send_operand_error},
  };
  for (const auto& c : cases) EXPECT_EQ(error_of(c.got), c.want) << c.call;
}

TEST(HostOperationWrappers, EveryFrameKeepsTheBodyAndEndsInReturn) {
  std::mt19937 random{160};
  for (int i = 0; i < 500; ++i) {
    const auto tile = static_cast<std::uint16_t>(draw(random, 4096));
    Words operation(3 + draw(random, 20));
    for (std::uint32_t& word : operation) word = static_cast<std::uint32_t>(random());
    operation.back() = RETURN_INSTRUCTION;
    const std::uint32_t address = 8 * draw(random, 0x20000);
    const std::uint32_t mux = host_mux_for_tile(tile).value();

    const Words target = wrap_host_target_operation(tile, operation).value();
    ASSERT_EQ(target.size(), operation.size() + 6);
    EXPECT_EQ(target[0], 0x19800000 | mux);
    EXPECT_TRUE(std::equal(operation.begin(), operation.end() - 1, target.begin() + 3));
    EXPECT_EQ(target.back(), RETURN_INSTRUCTION);

    const Words combined = wrap_combined_host_operation(tile, operation, address).value();
    ASSERT_EQ(combined.size(), operation.size() + 7);
    EXPECT_EQ(combined[5], 0x78200003 + 2 * address);
    EXPECT_TRUE(std::equal(operation.begin() + 2, operation.end() - 1, combined.begin() + 6));
    EXPECT_EQ(combined.back(), RETURN_INSTRUCTION);
  }
}

TEST(HostOperationWrappers, LocalCompletionAppendsThreeWords) {
  Words words;
  append_local_host_completion(words);
  EXPECT_EQ(words, (Words{0x41800007, 0x19800640, 0x438080a0}));
  words = {1, 2};
  append_local_host_completion(words);
  EXPECT_EQ(words, (Words{1, 2, 0x41800007, 0x19800640, 0x438080a0}));
}

}  // namespace
}  // namespace meshweave
