#pragma once

// The exchange compiler: descriptions of phased or scheduled transfers in, one
// finished program per tile out, and a verifier that replays them independently.
#include "meshweave/exchange/batch_compiler.hpp"
#include "meshweave/exchange/buffer_rules.hpp"
#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/description.hpp"
#include "meshweave/exchange/schedule.hpp"
#include "meshweave/exchange/tile_conflicts.hpp"
#include "meshweave/exchange/verifier.hpp"
