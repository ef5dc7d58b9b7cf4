#pragma once

#include <string>

#include "meshweave/collectives.hpp"

namespace meshweave::testing {

// Compiles every step of `plan`, verifies each program against its step's
// description and replays the data flow; returns the first fault found, or
// an empty text when there is none.
std::string check_collective(const Topology& topology, const CollectivePlan& plan);

}  // namespace meshweave::testing
