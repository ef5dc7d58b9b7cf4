#pragma once

// Host exchange: packet headers, transfer planner, wrappers and host programs.
#include "meshweave/instruction_words.hpp"
