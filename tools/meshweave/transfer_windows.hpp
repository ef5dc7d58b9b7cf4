#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/description.hpp"

namespace meshweave::tool {

enum class WindowKind : std::uint8_t { Send, Receive };

// The cycles during which one tile is busy with one transfer: [start, end).
// Windows are 64-bit so that a window near the end of the 32-bit timeline
// cannot wrap.
struct TransferWindow {
  WindowKind kind = WindowKind::Send;
  std::uint16_t tile = 0;  // logical
  std::uint64_t start = 0;
  std::uint64_t end = 0;

  friend bool operator==(const TransferWindow&, const TransferWindow&) = default;
};

// The transfer of `description` that `timing` belongs to (by phase and
// transfer, or by transfer alone in the transfers form), or nothing when the
// timing names a phase or transfer the description does not have.
std::optional<TransferView> timed_transfer(const ExchangeDescription& description,
                                           const TransferTiming& timing) noexcept;

// The sender's window: its SEND word starts at send_cycle, and the SEND and
// continuation SEND words that follow it without a gap advance one cycle per
// word, `count` cycles in all.
TransferWindow send_window(const TransferView& transfer, const TransferTiming& timing) noexcept;

// Receiver `index`'s window: from the end of its first XPIC (its arrival
// cycle, arrivals[index]) for one cycle per word. `index` must be below both
// the receiver count and the number of arrival cycles.
TransferWindow receive_window(const TransferView& transfer, std::span<const std::uint32_t> arrivals,
                              std::size_t index) noexcept;

// Receivers of `transfer` that have an arrival cycle in `arrivals`.
std::size_t timed_receivers(const TransferView& transfer,
                            std::span<const std::uint32_t> arrivals) noexcept;

// Calls visit(timing, transfer, window) for every window of the exchange, in
// timing order: a transfer's send window, then its receivers' windows in
// receiver order. Timings the description has no transfer for are skipped.
template <typename Visit>
void for_each_window(const ExchangeDescription& description, const CompiledExchange& compiled,
                     Visit&& visit) {
  for (const TransferTiming& timing : compiled.timings) {
    std::optional<TransferView> transfer = timed_transfer(description, timing);
    if (!transfer) continue;
    // A piece of a split transfer moves only its own words.
    transfer->count = timing.count;
    visit(timing, *transfer, send_window(*transfer, timing));
    const std::span<const std::uint32_t> arrivals = arrival_cycles(compiled, timing);
    const std::size_t receivers = timed_receivers(*transfer, arrivals);
    for (std::size_t i = 0; i < receivers; ++i) {
      visit(timing, *transfer, receive_window(*transfer, arrivals, i));
    }
  }
}

}  // namespace meshweave::tool
