#include "tile_conflict_messages.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace meshweave::tool {
namespace {

TEST(TileConflictMessages, NamesBothTransfersAndCountsTheRest) {
  const TileConflicts conflicts{{{3, 7, 2, 5}, {3, 9, 0, 1471}}, 4};
  const std::vector<std::string> expected = {
      "phases[3].transfers[7]: tile 5 also takes part in phases[3].transfers[2]",
      "phases[3].transfers[9]: tile 1471 also takes part in phases[3].transfers[0]",
      "... and 2 more conflicts",
  };
  EXPECT_EQ(tile_conflict_messages(conflicts), expected);
  EXPECT_EQ(tile_conflict_messages(TileConflicts{{{0, 1, 0, 2}}, 2}).back(),
            "... and 1 more conflict");
  EXPECT_TRUE(tile_conflict_messages(TileConflicts{}).empty());
}

}  // namespace
}  // namespace meshweave::tool
