#include "meshweave/exchange/tile_conflicts.hpp"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace meshweave {

TileConflicts find_tile_conflicts(const ExchangeDescription& description, std::size_t limit) {
  constexpr std::size_t none = std::numeric_limits<std::size_t>::max();
  constexpr std::size_t tiles = std::size_t{std::numeric_limits<std::uint16_t>::max()} + 1;
  // For every tile, the phase it was last seen in and its first transfer there:
  // stamping with the phase spares clearing the table between phases.
  std::vector<std::size_t> seen_phase(tiles, none);
  std::vector<std::size_t> first_transfer(tiles, none);
  TileConflicts found;
  for (std::size_t phase = 0; phase < description.phases.size(); ++phase) {
    const auto& transfers = description.phases[phase].transfers;
    for (std::size_t index = 0; index < transfers.size(); ++index) {
      const TransferView transfer = view(transfers[index]);
      const auto take = [&](std::uint16_t tile) {
        if (seen_phase[tile] != phase) {
          seen_phase[tile] = phase;
          first_transfer[tile] = index;
        } else if (first_transfer[tile] != index) {
          if (found.first.size() < limit) {
            found.first.push_back(TileConflict{phase, index, first_transfer[tile], tile});
          }
          ++found.total;
        }
      };
      take(transfer.sender);
      for (const std::uint16_t receiver : transfer.receivers) take(receiver);
    }
  }
  return found;
}

}  // namespace meshweave
