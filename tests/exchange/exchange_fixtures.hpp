#pragma once

#include <cstdint>
#include <random>

#include "meshweave/exchange.hpp"

namespace meshweave::testing {

// Phases of point-to-point shifts among `tiles` consecutive logical tiles:
// even tiles send to the next tile in even phases, odd tiles (wrapping round)
// in odd phases. `tiles` must be even so that no tile takes part twice in a phase.
ExchangeDescription pairwise_shift(std::uint16_t tiles, std::size_t phases, std::uint32_t count);

// A random exchange on the M1472 card: every phase pairs random distinct tiles
// into point-to-point and multicast transfers, no tile twice in a phase.
ExchangeDescription random_exchange(std::mt19937& random, std::size_t phases);

}  // namespace meshweave::testing
