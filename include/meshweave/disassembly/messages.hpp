#pragma once

#include <string_view>

#include "meshweave/instruction_words/error.hpp"

namespace meshweave::schedule_message {
// Operands of words that only have unchecked packers: encoding an instruction
// value checks them instead of letting the packer cut them to their fields.
inline constexpr std::string_view pic_delay_operand{"PIC delay operand"};
inline constexpr std::string_view xpic_delay_operand{"XPIC delay operand"};
inline constexpr std::string_view sync_operand{"sync operand"};
}  // namespace meshweave::schedule_message
