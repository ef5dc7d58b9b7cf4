#include <gtest/gtest.h>

#include "meshweave/collectives.hpp"

namespace meshweave {
namespace {

CollectiveRequest base(CollectiveKind kind) {
  CollectiveRequest request;
  request.kind = kind;
  request.tiles = {0, 1, 2, 3};
  request.words = 16;
  request.input = 0x1000;
  request.output = 0x2000;
  request.scratch = 0x4000;
  return request;
}

TEST(PlanCollective, RefusesBadRequestsBeforePlanning) {
  struct Case {
    const char* name;
    CollectiveRequest request;
    CollectiveError::Kind kind;
    const char* message;
  };
  const auto with = [](CollectiveKind kind, auto change) {
    CollectiveRequest request = base(kind);
    change(request);
    return request;
  };
  using K = CollectiveKind;
  using E = CollectiveError::Kind;
  const Case cases[] = {
      {"one tile", with(K::AllGather, [](auto& r) { r.tiles = {5}; }), E::Tiles,
       "a collective needs at least two tiles, got 1"},
      {"tile twice", with(K::AllGather, [](auto& r) { r.tiles = {5, 6, 5}; }), E::Tiles,
       "tile 5 appears twice"},
      {"tile off the card", with(K::AllGather, [](auto& r) { r.tiles = {5, 1472}; }), E::Tiles,
       "tile 1472 is not below the tile count 1472"},
      {"no words", with(K::Gather, [](auto& r) { r.words = 0; }), E::Words,
       "the shard size is 0 words"},
      {"root", with(K::Scatter, [](auto& r) { r.root = 4; }), E::Root,
       "root 4 is not a participant index below 4"},
      {"grid", with(K::Halo, [](auto& r) { r.halo = {1, 1, 1, 1, 3, 2, false}; }), E::Grid,
       "a grid of 3 x 2 does not hold 4 tiles"},
      {"empty halo", with(K::Halo, [](auto& r) { r.halo = {0, 0, 0, 0, 2, 2, false}; }), E::Words,
       "every direction of the halo has 0 words"},
      {"algorithm", with(K::AllToAll, [](auto& r) { r.algorithm = CollectiveAlgorithm::Direct; }),
       E::Algorithm, "all-to-all has no direct algorithm"},
      {"group of one",
       with(K::Gather,
            [](auto& r) {
              r.algorithm = CollectiveAlgorithm::Hierarchical;
              r.group_size = 1;
            }),
       E::Algorithm, "group size 1 of 4 tiles is not between 2 and 3"},
      {"group not dividing, under auto", with(K::ReduceScatter, [](auto& r) { r.group_size = 3; }),
       E::Algorithm, "group size 3 does not divide 4 tiles"},
      {"past the end", with(K::AllGather, [](auto& r) { r.output = 0xfff80; }), E::Buffer,
       "output bytes 0xfff80..0x100080 pass the end of tile memory (0x100000)"},
      {"misaligned", with(K::AllGather, [](auto& r) { r.input = 0x1002; }), E::Buffer,
       "input address 0x1002 is not a multiple of 4"},
      {"overlap", with(K::AllToAll, [](auto& r) { r.output = 0x1080; }), E::Buffer,
       "input bytes 0x1000..0x1100 overlap output bytes 0x1080..0x1180"},
      {"scratch of the ring",
       with(K::ReduceScatter,
            [](auto& r) {
              r.algorithm = CollectiveAlgorithm::Flat;
              r.scratch = 0x2020;
            }),
       E::Buffer, "output bytes 0x2000..0x2040 overlap scratch bytes 0x2020..0x20a0"},
      {"all-to-all rows that leave a hole",
       with(K::AllToAll,
            [](auto& r) {
              r.algorithm = CollectiveAlgorithm::Hierarchical;
              r.group_size = 3;
            }),
       E::Algorithm, "group size 3 does not divide 4 tiles"},
      {"all-to-all scratch past the end",
       with(K::AllToAll,
            [](auto& r) {
              r.algorithm = CollectiveAlgorithm::Hierarchical;
              r.scratch = 0xfff00;
            }),
       E::Buffer, "scratch bytes 0xfff00..0x100100 pass the end of tile memory (0x100000)"},
      {"scratch past the end",
       with(K::Gather,
            [](auto& r) {
              r.algorithm = CollectiveAlgorithm::Hierarchical;
              r.group_size = 2;
              r.scratch = 0xfffc0;
            }),
       E::Buffer, "scratch bytes 0xfffc0..0x100040 pass the end of tile memory (0x100000)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto plan = plan_collective(Topology::m1472(), c.request);
    ASSERT_FALSE(plan.has_value());
    EXPECT_EQ(plan.error().kind, c.kind);
    EXPECT_EQ(plan.error().message, c.message);
  }
}

TEST(PlanCollective, ErrorTextNamesTheKind) {
  CollectiveRequest request = base(CollectiveKind::AllGather);
  request.input = 0x1002;
  EXPECT_EQ(to_string(plan_collective(Topology::m1472(), request).error()),
            "buffer: input address 0x1002 is not a multiple of 4");
}

TEST(PlanCollective, AutoLeavesOutCandidatesWhoseScratchDoesNotFit) {
  struct Case {
    CollectiveKind kind;
    std::vector<std::uint16_t> tiles;  // empty: the whole card
    std::uint32_t output;
    std::uint32_t scratch;  // room for no group's chunk, nor two n-shard buffers
  };
  std::vector<std::uint16_t> sixty_four(64);
  for (std::uint16_t t = 0; t < 64; ++t) sixty_four[t] = t;
  const Case cases[] = {{CollectiveKind::Gather, {}, 0x10000, 0xfff00},
                        {CollectiveKind::AllToAll, sixty_four, 0x2000, 0xff000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(collective_name(c.kind));
    CollectiveRequest request = base(c.kind);
    request.tiles = c.tiles;
    request.output = c.output;
    request.scratch = c.scratch;
    auto plan = plan_collective(Topology::m1472(), request);
    ASSERT_TRUE(plan.has_value()) << to_string(plan.error());
    ASSERT_EQ(plan->candidates.size(), 1u);
    EXPECT_EQ(plan->algorithm, CollectiveAlgorithm::Flat);
    EXPECT_EQ(explain_choice(*plan).substr(0, 6), "flat: ");
  }
}

TEST(CollectiveNames, RoundTripAndRefuseUnknownNames) {
  for (const CollectiveKind kind : all_collectives()) {
    EXPECT_EQ(parse_collective(collective_name(kind)), kind);
    for (const CollectiveAlgorithm algorithm : algorithms_of(kind)) {
      EXPECT_EQ(parse_algorithm(algorithm_name(algorithm)), algorithm);
    }
  }
  EXPECT_EQ(parse_algorithm("auto"), CollectiveAlgorithm::Auto);
  EXPECT_EQ(parse_collective("allgather"), std::nullopt);
  EXPECT_EQ(parse_algorithm(""), std::nullopt);
}

}  // namespace
}  // namespace meshweave
