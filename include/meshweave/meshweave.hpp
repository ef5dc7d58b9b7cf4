#pragma once

// Everything meshweave offers, in one include.
#include "meshweave/collectives.hpp"
#include "meshweave/disassembly.hpp"
#include "meshweave/events.hpp"
#include "meshweave/exchange.hpp"
#include "meshweave/host.hpp"
#include "meshweave/instruction_words.hpp"
#include "meshweave/plans.hpp"
#include "meshweave/scheduling.hpp"
#include "meshweave/topology.hpp"
