#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_check.hpp"
#include "meshweave/instruction_words/bit_field.hpp"
#include "meshweave/instruction_words/control_words.hpp"

namespace meshweave::fuzz {

// Cycles a word sequence accounts for, in 64 bits so that no sum wraps.
inline std::uint64_t total_cycles(std::span<const std::uint32_t> words) {
  std::uint64_t cycles = 0;
  for (const std::uint32_t word : words) cycles += instruction_advance(word);
  return cycles;
}

// Index of the first word of `kind`, or words.size() when there is none.
inline std::size_t find_kind(std::span<const std::uint32_t> words, WordPattern kind) {
  std::size_t index = 0;
  while (index < words.size() && !kind.matches(words[index])) ++index;
  return index;
}

// Cycles the words before index `end` account for: the cycle at which word `end` starts.
inline std::uint64_t start_cycle(std::span<const std::uint32_t> words, std::size_t end) {
  return total_cycles(words.first(end));
}

inline std::size_t count_of(std::span<const std::uint32_t> words, std::uint32_t word) {
  std::size_t n = 0;
  for (const std::uint32_t w : words) n += w == word ? 1 : 0;
  return n;
}

// An executable row: the entry word first, exactly one return word, and zeros
// after it. Returns the index of the return word.
inline std::size_t check_executable_row(std::span<const std::uint32_t> row, const char* what) {
  FUZZ_CHECK(!row.empty() && row[0] == ROW_ENTRY_INSTRUCTION,
             what << " does not start with the entry word: " << words(row));
  FUZZ_CHECK(count_of(row, RETURN_INSTRUCTION) == 1,
             what << " does not hold exactly one return word: " << words(row));
  const std::size_t end = find_kind(row, WordPattern{0xffffffffu, RETURN_INSTRUCTION});
  for (std::size_t i = end + 1; i < row.size(); ++i) {
    FUZZ_CHECK(row[i] == 0, what << " has word " << i << " after its return: " << words(row));
  }
  return end;
}

}  // namespace meshweave::fuzz
