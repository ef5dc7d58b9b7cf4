#include "word_listing.hpp"

#include <algorithm>
#include <cstdio>

#include "meshweave/disassembly.hpp"
#include "meshweave/instruction_words/control_words.hpp"

namespace meshweave::tool {

void append_word_listing(std::string& out, std::span<const std::uint32_t> words,
                         std::size_t first_index, std::string_view indent) {
  std::uint64_t cycle = 0;
  char prefix[64];
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::snprintf(prefix, sizeof prefix, "%5zu %7llu  0x%08x  ", first_index + i,
                  static_cast<unsigned long long>(cycle), words[i]);
    out += indent;
    out += prefix;
    out += disassemble(words[i]);
    out += '\n';
    cycle += instruction_advance(words[i]);
  }
}

std::span<const std::uint32_t> row_body(std::span<const std::uint32_t> row) noexcept {
  const auto end = std::find(row.begin(), row.end(), RETURN_INSTRUCTION);
  if (end == row.end()) return row;
  return row.first(static_cast<std::size_t>(end - row.begin()) + 1);
}

}  // namespace meshweave::tool
