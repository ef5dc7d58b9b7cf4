#include "transfer_windows.hpp"

#include <algorithm>

#include "meshweave/instruction_words/control_words.hpp"

namespace meshweave::tool {

std::optional<TransferView> timed_transfer(const ExchangeDescription& description,
                                           const TransferTiming& timing) noexcept {
  if (description.phases.empty()) {
    if (timing.transfer >= description.transfers.size()) return std::nullopt;
    return view(description.transfers[timing.transfer].transfer);
  }
  if (timing.phase >= description.phases.size()) return std::nullopt;
  const Phase& phase = description.phases[timing.phase];
  if (timing.transfer >= phase.transfers.size()) return std::nullopt;
  return view(phase.transfers[timing.transfer]);
}

TransferWindow send_window(const TransferView& transfer, const TransferTiming& timing) noexcept {
  const std::uint64_t start = timing.send_cycle;
  return TransferWindow{WindowKind::Send, transfer.sender, start, start + transfer.count};
}

TransferWindow receive_window(const TransferView& transfer, std::span<const std::uint32_t> arrivals,
                              std::size_t index) noexcept {
  const std::uint64_t start = arrivals[index];
  return TransferWindow{WindowKind::Receive, transfer.receivers[index], start,
                        start + transfer.count};
}

std::size_t timed_receivers(const TransferView& transfer,
                            std::span<const std::uint32_t> arrivals) noexcept {
  return std::min(transfer.receivers.size(), arrivals.size());
}

}  // namespace meshweave::tool
