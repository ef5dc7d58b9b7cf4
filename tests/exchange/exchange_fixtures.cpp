#include "exchange/exchange_fixtures.hpp"

#include <algorithm>
#include <numeric>
#include <vector>

namespace meshweave::testing {

ExchangeDescription pairwise_shift(std::uint16_t tiles, std::size_t phases, std::uint32_t count) {
  ExchangeDescription description;
  for (std::size_t phase = 0; phase < phases; ++phase) {
    Phase step;
    for (std::uint32_t sender = phase % 2; sender < tiles; sender += 2) {
      const auto receiver = static_cast<std::uint16_t>((sender + 1) % tiles);
      step.transfers.push_back(PointToPointTransfer{static_cast<std::uint16_t>(sender), receiver,
                                                    count, 0x40000 + sender * 4,
                                                    0x50000u + receiver * 4u});
    }
    description.phases.push_back(std::move(step));
  }
  return description;
}

ExchangeDescription random_exchange(std::mt19937& random, std::size_t phases) {
  std::vector<std::uint16_t> tiles(M1472_TILE_COUNT);
  std::iota(tiles.begin(), tiles.end(), std::uint16_t{0});
  std::uniform_int_distribution<std::uint32_t> count_of(1, 300);
  std::uniform_int_distribution<std::uint32_t> receivers_of(1, 5);
  std::uniform_int_distribution<std::uint32_t> transfers_of(1, 12);
  // Word addresses that leave room for the longest transfer before the end of tile memory.
  std::uniform_int_distribution<std::uint32_t> word_of(0, 0x40000 - 300);
  ExchangeDescription description;
  for (std::size_t phase = 0; phase < phases; ++phase) {
    std::shuffle(tiles.begin(), tiles.end(), random);
    Phase step;
    std::size_t next = 0;
    const std::uint32_t transfers = transfers_of(random);
    for (std::uint32_t t = 0; t < transfers; ++t) {
      const std::uint32_t fan_out = receivers_of(random);
      const std::uint16_t sender = tiles[next++];
      const std::uint32_t count = count_of(random);
      const std::uint32_t source = word_of(random) * 4;
      if (fan_out == 1 && random() % 2 == 0) {
        step.transfers.push_back(
            PointToPointTransfer{sender, tiles[next++], count, source, word_of(random) * 4});
        continue;
      }
      MulticastTransfer multicast{sender, {}, count, source, {}};
      for (std::uint32_t r = 0; r < fan_out; ++r) {
        multicast.receivers.push_back(tiles[next++]);
        multicast.destination_addresses.push_back(word_of(random) * 4);
      }
      if (random() % 3 == 0) multicast.destination_addresses.resize(1);  // one shared buffer
      step.transfers.push_back(std::move(multicast));
    }
    description.phases.push_back(std::move(step));
  }
  return description;
}

}  // namespace meshweave::testing
