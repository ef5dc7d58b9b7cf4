#include <gtest/gtest.h>

#include "meshweave/topology.hpp"

namespace meshweave {
namespace {

TEST(Topology, M1472HasTheCardsTiles) { EXPECT_EQ(Topology::m1472().tile_count(), 1472u); }

}  // namespace
}  // namespace meshweave
