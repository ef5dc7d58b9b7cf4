#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "meshweave/plans.hpp"
#include "meshweave/topology/topology.hpp"

namespace meshweave {
namespace {

const Topology card = Topology::m1472();
// Caller tables beyond the card: a sender on physical row 31 is too far from
// physical tile 0 for the point-to-point window; a receiver on row 39 has no
// PIC wait left; physical 8192 does not fit a receiver's sender selector.
const Topology far_rows{{0, 31 * 64 + 32, 39 * 64}};
const Topology wide_sender{{8192, 0}};

struct PlanRefusalCase {
  const char* call;
  std::function<Explained<Plan>()> explained;
  std::function<Result<Plan>()> plain;
  ExchangeError error;
  Reason reason;
  std::string sentence;
};

#define POINT_TO_POINT(topology, ...)                                  \
  #topology ".point_to_point(" #__VA_ARGS__ ")",                       \
      [] { return explained::point_to_point(topology, __VA_ARGS__); }, \
      [] { return topology.point_to_point(__VA_ARGS__); }

TEST(PlanRefusals, PointToPointCausesExplainThemselves) {
  const PlanRefusalCase cases[] = {
      {POINT_TO_POINT(card, 5, 5, 0), ExchangeError::count(0), Reason::count_range,
       "word count 0: a tile-to-tile transfer moves 1 to 4148 words"},
      {POINT_TO_POINT(card, 0, 1, 4149), ExchangeError::count(4149), Reason::count_range,
       "word count 4149: a tile-to-tile transfer moves 1 to 4148 words"},
      {POINT_TO_POINT(card, 1472, 1472, 4), ExchangeError::duplicate_tile(), Reason::same_tile,
       "receiver 1472 is also the sender: a point-to-point exchange joins two different tiles"},
      {POINT_TO_POINT(card, 1472, 1473, 4), ExchangeError::tile(1472), Reason::tile_off_topology,
       "sender 1472: the topology's logical tiles are numbered below 1472"},
      {POINT_TO_POINT(card, 0, 65535, 4), ExchangeError::tile(65535), Reason::tile_off_topology,
       "receiver 65535: the topology's logical tiles are numbered below 1472"},
      {POINT_TO_POINT(far_rows, 1, 0, 4), ExchangeError::schedule(schedule_message::sender_delay),
       Reason::sender_delay,
       "receiver at physical tile 0: its route from physical tile 2016 needs a sender start no "
       "DELAY can hold"},
      {POINT_TO_POINT(far_rows, 0, 2, 4), ExchangeError::schedule(schedule_message::receiver_phase),
       Reason::receiver_phase,
       "receiver at physical tile 2496: receiving tiles lie on physical rows 0 to 38 (64 tiles a "
       "row)"},
  };
  for (const PlanRefusalCase& c : cases) {
    const Explained<Plan> explained = c.explained();
    ASSERT_FALSE(explained.has_value()) << c.call;
    EXPECT_EQ(c.plain().error(), c.error) << c.call;
    EXPECT_EQ(explained.error().error, c.error) << c.call;
    EXPECT_EQ(explained.error().reason, c.reason) << c.call;
    EXPECT_EQ(explain(explained.error()), c.sentence) << c.call;
  }
}

struct MulticastRefusalCase {
  const Topology* topology;
  std::uint16_t sender;
  std::vector<std::uint16_t> receivers;
  std::uint32_t count;
  std::uint32_t offset;
  ExchangeError error;
  Reason reason;
  std::string sentence;
};

TEST(PlanRefusals, MulticastCausesExplainThemselvesInCheckOrder) {
  const ExchangeError receiver_set = ExchangeError::receiver_set();
  const MulticastRefusalCase cases[] = {
      {&card,
       1472,
       {},
       0,
       0,
       ExchangeError::count(0),
       Reason::count_range,
       "word count 0: a tile-to-tile transfer moves 1 to 4148 words"},
      {&card,
       1472,
       {},
       1,
       0,
       ExchangeError::tile(1472),
       Reason::tile_off_topology,
       "sender 1472: the topology's logical tiles are numbered below 1472"},
      {&card,
       0,
       {},
       1,
       0,
       receiver_set,
       Reason::no_receivers,
       "no receivers: a multicast names at least one receiving tile"},
      {&card,
       0,
       {1, 0},
       1,
       0,
       receiver_set,
       Reason::receiver_is_sender,
       "receiver 0 is the sender: a multicast does not send to its own tile"},
      {&card,
       0,
       {1, 2, 1, 1472},
       1,
       0,
       receiver_set,
       Reason::receiver_repeated,
       "receiver 1 is named twice: a multicast names each receiver once"},
      {&card,
       0,
       {1, 1472, 1},
       1,
       0,
       receiver_set,
       Reason::tile_off_topology,
       "receiver 1472: the topology's logical tiles are numbered below 1472"},
      {&card,
       0,
       {1},
       1,
       4068,
       ExchangeError::schedule(schedule_message::multicast_start_cycle),
       Reason::multicast_start_late,
       "schedule offset 4068: the multicast would start after cycle 4095 (its earliest start is "
       "cycle 28)"},
      {&card,
       0,
       {1},
       1,
       0xffffffff,
       ExchangeError::schedule(schedule_message::multicast_start_cycle),
       Reason::multicast_start_late,
       "schedule offset 4294967295: the multicast would start after cycle 4095 (its earliest "
       "start is cycle 28)"},
      {&card,
       736,
       {100},
       1,
       4095,
       ExchangeError::schedule(schedule_message::multicast_receive_cycle),
       Reason::multicast_receive_late,
       "schedule offset 4095: the latest receiver would receive at cycle 4144, after cycle 4095"},
      {&wide_sender,
       0,
       {1},
       1,
       0,
       ExchangeError::schedule(schedule_message::multicast_sender_tile),
       Reason::multicast_sender_tile,
       "sender at physical tile 8192: multicast receivers name senders by physical tiles 0 to "
       "8191"},
      {&far_rows,
       0,
       {2},
       1,
       0,
       ExchangeError::schedule(schedule_message::receiver_phase),
       Reason::receiver_phase,
       "receiver at physical tile 2496: receiving tiles lie on physical rows 0 to 38 (64 tiles a "
       "row)"},
  };
  for (const MulticastRefusalCase& c : cases) {
    const std::string call = "multicast(" + std::to_string(c.sender) + ", " +
                             std::to_string(c.receivers.size()) + " receivers, " +
                             std::to_string(c.count) + ", " + std::to_string(c.offset) + ")";
    const Explained<MulticastPlan> explained =
        explained::multicast(*c.topology, c.sender, c.receivers, c.count, c.offset);
    ASSERT_FALSE(explained.has_value()) << call;
    EXPECT_EQ(c.topology->multicast(c.sender, c.receivers, c.count, c.offset).error(), c.error)
        << call;
    EXPECT_EQ(explained.error().error, c.error) << call;
    EXPECT_EQ(explained.error().reason, c.reason) << call;
    EXPECT_EQ(explain(explained.error()), c.sentence) << call;
  }
}

// finalize_point_receiver as an operation on the row, to share the table below.
Status finalize_in_place(PlanRow& row, std::uint16_t source_physical) {
  const Result<PlanRow> finalized = finalize_point_receiver(row, source_physical);
  if (!finalized) return std::unexpected(finalized.error());
  row = *finalized;
  return {};
}

// Row operations: the explained form refuses like the plain one and, like it,
// leaves the row as it was.
TEST(PlanRefusals, RowOperationCausesExplainThemselves) {
  const PlanRow sender{0x41800003, 0x40a00086, 0x78400001, 0x43a00000, 0, 0, 0, 0, 0};
  const PlanRow receiver{1,          0x41800003, 0x641c0000, 0x64008640, 0x61800000,
                         0x40a00007, 0x43a00000, 0,          0};
  const PlanRow full{0x41800003, 0x40a00086, 0x78400001, 0, 0, 0, 0, 0, 0x43a00000};
  struct Case {
    const char* name;
    PlanRow row;
    std::function<ExplainedStatus(PlanRow&)> explained;
    std::function<Status(PlanRow&)> plain;
    ExchangeError error;
    std::string sentence;
  };
  const ExchangeError patch_index =
      ExchangeError::schedule(schedule_message::point_receiver_patch_index);
  const Case cases[] = {
      {"misaligned source", sender,
       [](PlanRow& r) { return explained::patch_sender_address(r, 0x50002); },
       [](PlanRow& r) { return patch_sender_address(r, 0x50002); }, ExchangeError::address(0x50002),
       "source address 0x50002: plan rows address tile memory in whole 4-byte words"},
      {"far destination", receiver,
       [](PlanRow& r) { return explained::patch_receiver_address(r, 0x100000); },
       [](PlanRow& r) { return patch_receiver_address(r, 0x100000); },
       ExchangeError::address(0x100000),
       "destination address 0x100000: SEND and PIC words reach byte addresses below 0x100000"},
      {"no SEND", receiver, [](PlanRow& r) { return explained::patch_sender_address(r, 0x50000); },
       [](PlanRow& r) { return patch_sender_address(r, 0x50000); }, ExchangeError::address(0x50000),
       "source address 0x50000: the row has no SEND word to carry it"},
      {"no PIC", sender, [](PlanRow& r) { return explained::patch_receiver_address(r, 0x50000); },
       [](PlanRow& r) { return patch_receiver_address(r, 0x50000); },
       ExchangeError::address(0x50000),
       "destination address 0x50000: the row has no PIC word to carry it"},
      {"patch index", sender,
       [](PlanRow& r) { return explained::finalize_point_receiver_in_place(r, 9); },
       [](PlanRow& r) { return finalize_in_place(r, 9); }, patch_index,
       "patch index 1098907651: a receiver template names one of words 0 to 7 of its finished row"},
      {"source tile", receiver,
       [](PlanRow& r) { return explained::finalize_point_receiver_in_place(r, 8192); },
       [](PlanRow& r) { return finalize_in_place(r, 8192); }, patch_index,
       "sender at physical tile 8192: receivers name senders by physical tiles 0 to 8191"},
      {"offset entry", receiver, [](PlanRow& r) { return explained::offset_plan(r, 5); },
       [](PlanRow& r) { return offset_plan(r, 5); },
       ExchangeError::schedule(schedule_message::plan_offset_entry),
       "offset of 5 cycle(s): only a row that starts with the entry word 0x41800003 can be offset"},
      {"offset return", PlanRow{0x41800003, 0, 0, 0, 0, 0, 0, 0, 0},
       [](PlanRow& r) { return explained::offset_plan(r, 5); },
       [](PlanRow& r) { return offset_plan(r, 5); },
       ExchangeError::schedule(schedule_message::plan_offset_return),
       "offset of 5 cycle(s): only a row that holds the return word 0x43a00000 can be offset"},
      {"offset range", full, [](PlanRow& r) { return explained::offset_plan(r, 1); },
       [](PlanRow& r) { return offset_plan(r, 1); }, ExchangeError::plan_offset_range(1, 0),
       "offset of 1 cycle(s): the row has room for at most 0 cycles of extra delay"},
  };
  for (const Case& c : cases) {
    PlanRow explained_row = c.row;
    PlanRow plain_row = c.row;
    const ExplainedStatus refused = c.explained(explained_row);
    ASSERT_FALSE(refused.has_value()) << c.name;
    EXPECT_EQ(c.plain(plain_row).error(), c.error) << c.name;
    EXPECT_EQ(refused.error().error, c.error) << c.name;
    EXPECT_EQ(explain(refused.error()), c.sentence) << c.name;
    EXPECT_EQ(explained_row, c.row) << c.name;
  }
}

TEST(PlanRefusals, ExplainedPlannersReturnThePlainPlans) {
  const std::vector<std::uint16_t> receivers{100, 900};
  EXPECT_EQ(explained::point_to_point(card, 1286, 1471, 65).value(),
            card.point_to_point(1286, 1471, 65).value());
  EXPECT_EQ(explained::multicast(card, 736, receivers, 52, 3).value(),
            card.multicast(736, receivers, 52, 3).value());
}

}  // namespace
}  // namespace meshweave
