#pragma once

#include <cstdint>
#include <optional>
#include <random>

#include "meshweave/instruction_words/error.hpp"

namespace meshweave::host_test {

// The error of a result, or nothing when it holds a value; compares directly
// with an ExchangeError in EXPECT_EQ.
template <class T>
std::optional<ExchangeError> error_of(const Result<T>& result) {
  if (result) return std::nullopt;
  return result.error();
}

inline const ExchangeError host_packet_error = ExchangeError::host_packet();
inline const ExchangeError send_operand_error =
    ExchangeError::schedule(schedule_message::send_instruction_operand);

// A uniform draw from 0 to n - 1.
inline std::uint32_t draw(std::mt19937& random, std::uint32_t n) {
  return static_cast<std::uint32_t>(random() % n);
}

}  // namespace meshweave::host_test
