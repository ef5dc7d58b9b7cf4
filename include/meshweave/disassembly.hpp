#pragma once

// Decoding instruction words into their fields and text, and reading that text back.
#include "meshweave/disassembly/codec.hpp"
#include "meshweave/disassembly/instruction.hpp"
#include "meshweave/disassembly/text.hpp"
#include "meshweave/disassembly/word_layouts.hpp"
