#pragma once

// The transfers of a description in program order, and the order in which the
// scheduler places them.
#include <cstddef>
#include <expected>
#include <span>
#include <vector>

#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/description.hpp"

namespace meshweave::exchange_detail {

// Either form flattened: a phase form's transfers phase after phase.
struct TransferList {
  const ExchangeDescription* description = nullptr;
  std::vector<const Transfer*> transfers;
  // Phase of each transfer (phase form only).
  std::vector<std::size_t> phases;

  std::size_t size() const noexcept { return transfers.size(); }
  std::span<const std::size_t> after(std::size_t index) const noexcept {
    return description->transfers.empty() ? std::span<const std::size_t>{}
                                          : description->transfers[index].after;
  }
};
TransferList list_transfers(const ExchangeDescription& description);

// Program order, except that a transfer waits until every transfer its
// `after` names has been placed (the lowest index that is ready goes first).
// Refuses unknown indices and cycles.
std::expected<std::vector<std::size_t>, CompileError> placement_order(const TransferList& list);

}  // namespace meshweave::exchange_detail
