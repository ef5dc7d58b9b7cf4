#pragma once

// Tile topology and routing: the logical-to-physical tile map and the route model.
#include "meshweave/topology/route.hpp"
#include "meshweave/topology/topology.hpp"
