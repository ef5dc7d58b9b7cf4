#pragma once

// Inputs shared by the benchmark programs, built outside the timed loops.
#include <cstddef>
#include <vector>

#include "meshweave/exchange.hpp"
#include "meshweave/plans/plan.hpp"

namespace meshweave::bench {

// `phases` alternating phases over the whole M1472 card: in even phases every
// even tile sends 64 words to the next tile, in odd phases every odd tile does
// (the last wrapping round to tile 0). A tile takes part in one transfer per
// phase, so two phases move every tile's data one tile on.
ExchangeDescription full_card_shift(std::size_t phases);

// `count` rows that follow one another on one tile's timeline: row k sends one
// word at cycle 10k + 1 and lasts until cycle 10k + 6.
std::vector<PlanRow> chained_rows(std::size_t count);

}  // namespace meshweave::bench
