#pragma once

// Instruction words: the error type, the exchange control words with their cycle
// accounting, and the scalar instruction encoders.
#include "meshweave/instruction_words/bit_field.hpp"
#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/instruction_words/error.hpp"
#include "meshweave/instruction_words/refusal.hpp"
#include "meshweave/instruction_words/scalar_encoders.hpp"
