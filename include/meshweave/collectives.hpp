#pragma once

// Collective patterns (shifts, halos, broadcasts, gathers, reductions, ...)
// as sequences of scheduled exchanges with the local work between them, the
// choice between their algorithms, and a data-flow replay that proves them.
#include "meshweave/collectives/plan.hpp"
#include "meshweave/collectives/replay.hpp"
#include "meshweave/collectives/request.hpp"
