#pragma once

#include <string>
#include <vector>

#include "meshweave/exchange/tile_conflicts.hpp"

namespace meshweave::tool {

// One message per conflict kept, "phases[3].transfers[7]: tile 5 also takes
// part in phases[3].transfers[2]", then "... and N more conflicts" for those
// counted but not kept.
std::vector<std::string> tile_conflict_messages(const TileConflicts& conflicts);

}  // namespace meshweave::tool
