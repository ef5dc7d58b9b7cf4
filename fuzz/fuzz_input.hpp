#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace meshweave::fuzz {

// Typed values read from the front of a fuzzer's input, little-endian. Once the
// bytes run out every read gives 0, so any input, even an empty one, is a whole
// test case, and seed files can be written by hand: a u32 is its four bytes.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) noexcept : bytes_{data, size} {}

  bool empty() const noexcept { return bytes_.empty(); }
  std::size_t remaining() const noexcept { return bytes_.size(); }

  template <std::unsigned_integral T>
  T take() noexcept {
    T value = 0;
    const std::size_t n = sizeof(T) < bytes_.size() ? sizeof(T) : bytes_.size();
    for (std::size_t i = 0; i < n; ++i) value |= static_cast<T>(T{bytes_[i]} << (8 * i));
    bytes_ = bytes_.subspan(n);
    return value;
  }

  std::uint8_t u8() noexcept { return take<std::uint8_t>(); }
  std::uint16_t u16() noexcept { return take<std::uint16_t>(); }
  std::uint32_t u32() noexcept { return take<std::uint32_t>(); }
  std::int32_t i32() noexcept { return static_cast<std::int32_t>(u32()); }
  bool flag() noexcept { return (u8() & 1u) != 0; }

  // A value in [low, high], from as many bytes as the range needs.
  std::uint32_t in_range(std::uint32_t low, std::uint32_t high) noexcept {
    const std::uint64_t span = std::uint64_t{high} - low + 1;
    const std::uint64_t raw = span <= 0x100 ? u8() : span <= 0x10000 ? u16() : u32();
    return static_cast<std::uint32_t>(low + raw % span);
  }

  // Everything not read yet, as bytes or as text; the input is used up.
  std::span<const std::uint8_t> rest() noexcept {
    const std::span<const std::uint8_t> all = bytes_;
    bytes_ = {};
    return all;
  }
  std::string_view rest_text() noexcept {
    const std::span<const std::uint8_t> all = rest();
    return {reinterpret_cast<const char*>(all.data()), all.size()};
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

}  // namespace meshweave::fuzz
