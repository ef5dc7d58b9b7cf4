#pragma once

// Host exchange: packet headers, transfer planner, wrappers and host programs.
#include "meshweave/host/packet_header.hpp"
#include "meshweave/host/transfer_planner.hpp"
#include "meshweave/instruction_words.hpp"
