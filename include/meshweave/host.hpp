#pragma once

// Host exchange: packet headers, transfer planner, wrappers and host programs.
#include "meshweave/host/operation_wrappers.hpp"
#include "meshweave/host/packet_header.hpp"
#include "meshweave/host/request_programs.hpp"
#include "meshweave/host/target_programs.hpp"
#include "meshweave/host/transfer_planner.hpp"
#include "meshweave/instruction_words.hpp"
