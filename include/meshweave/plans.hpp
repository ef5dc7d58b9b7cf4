#pragma once

// Tile-to-tile exchange plans: point-to-point and multicast, and row patching.
#include "meshweave/plans/plan.hpp"
#include "meshweave/plans/row_patching.hpp"
#include "meshweave/topology.hpp"
