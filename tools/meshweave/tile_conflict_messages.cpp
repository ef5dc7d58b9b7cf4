#include "tile_conflict_messages.hpp"

#include <cstddef>
#include <string>

namespace meshweave::tool {
namespace {

std::string transfer_path(std::size_t phase, std::size_t transfer) {
  return "phases[" + std::to_string(phase) + "].transfers[" + std::to_string(transfer) + "]";
}

}  // namespace

std::vector<std::string> tile_conflict_messages(const TileConflicts& conflicts) {
  std::vector<std::string> lines;
  lines.reserve(conflicts.first.size() + 1);
  for (const TileConflict& conflict : conflicts.first) {
    lines.push_back(transfer_path(conflict.phase, conflict.transfer) + ": tile " +
                    std::to_string(conflict.tile) + " also takes part in " +
                    transfer_path(conflict.phase, conflict.other_transfer));
  }
  if (conflicts.total > conflicts.first.size()) {
    const std::size_t more = conflicts.total - conflicts.first.size();
    lines.push_back("... and " + std::to_string(more) + " more conflict" + (more == 1 ? "" : "s"));
  }
  return lines;
}

}  // namespace meshweave::tool
