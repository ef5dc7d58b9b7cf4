#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace meshweave::tool {

// Appends one line per word: index, the cycle at which the word starts on the
// exchange timeline (counted from the first word), the word in hex, and its
// disassembly.
//
//      2     113  0x64008640  delay_xpic wait=2 flag=0 selector=1600 ; 3 cycles
void append_word_listing(std::string& out, std::span<const std::uint32_t> words,
                         std::size_t first_index = 0, std::string_view indent = "");

// The words of a plan row up to and including its return word; the zeros that
// pad the row to its fixed size are left out. A row without a return word is
// kept whole.
std::span<const std::uint32_t> row_body(std::span<const std::uint32_t> row) noexcept;

}  // namespace meshweave::tool
