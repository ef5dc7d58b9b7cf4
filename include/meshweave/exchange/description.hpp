#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <variant>
#include <vector>

namespace meshweave {

// One sender moves `count` words from `source_address` to one receiver's
// `destination_address`. Tiles are logical; addresses are tile-memory bytes.
struct PointToPointTransfer {
  std::uint16_t sender = 0;
  std::uint16_t receiver = 0;
  std::uint32_t count = 0;
  std::uint32_t source_address = 0;
  std::uint32_t destination_address = 0;

  friend bool operator==(const PointToPointTransfer&, const PointToPointTransfer&) = default;
};

// One sender moves `count` words to several receivers at once.
// `destination_addresses` holds either one address per receiver, in receiver
// order, or a single address shared by all of them.
struct MulticastTransfer {
  std::uint16_t sender = 0;
  std::vector<std::uint16_t> receivers;
  std::uint32_t count = 0;
  std::uint32_t source_address = 0;
  std::vector<std::uint32_t> destination_addresses;

  friend bool operator==(const MulticastTransfer&, const MulticastTransfer&) = default;
};

using Transfer = std::variant<PointToPointTransfer, MulticastTransfer>;

// Transfers that start together. A tile takes part in at most one transfer of a phase.
struct Phase {
  std::vector<Transfer> transfers;

  friend bool operator==(const Phase&, const Phase&) = default;
};

// A transfer of the transfers form: it follows the transfers listed in `after`
// (indices into ExchangeDescription::transfers, earlier or later in the list)
// besides what overlapping byte ranges demand.
struct ScheduledTransfer {
  Transfer transfer;
  std::vector<std::size_t> after;

  friend bool operator==(const ScheduledTransfer&, const ScheduledTransfer&) = default;
};

// The exchanges of a program, in one of two forms:
// - phases: phase k + 1 starts once everything of phase k has ended;
// - transfers, in program order: the scheduler starts each as early as the
//   tiles, the overlapping byte ranges and `after` allow, and may reorder or
//   overlap transfers that nothing relates.
// A description gives one form, not both.
struct ExchangeDescription {
  std::vector<Phase> phases;
  std::vector<ScheduledTransfer>
      transfers{};  // initialised, so that {phases} stays a complete initializer

  friend bool operator==(const ExchangeDescription&, const ExchangeDescription&) = default;
};

// A uniform read-only view of either kind of transfer. The spans point into the
// transfer, which must outlive the view.
struct TransferView {
  bool multicast = false;
  std::uint16_t sender = 0;
  std::span<const std::uint16_t> receivers;
  std::uint32_t count = 0;
  std::uint32_t source_address = 0;
  std::span<const std::uint32_t> destination_addresses;  // one, or one per receiver

  // Destination byte address of receiver `index`.
  std::uint32_t destination(std::size_t index) const noexcept {
    return destination_addresses.size() == 1 ? destination_addresses[0]
                                             : destination_addresses[index];
  }
};
// Inline: the compiler and the verifier take a view of every transfer.
inline TransferView view(const MulticastTransfer& multi) noexcept {
  return TransferView{true,        multi.sender,         multi.receivers,
                      multi.count, multi.source_address, multi.destination_addresses};
}
// Out of line: inlined through the variant, GCC 12 under the sanitizers
// reports the point-to-point branch as maybe-uninitialized at every caller.
TransferView view(const Transfer& transfer) noexcept;

// The transfers form of a phase form: the transfers of all phases in phase
// order, without the barriers between phases. A transfers form is returned as it is.
ExchangeDescription to_transfers_form(const ExchangeDescription& description);

}  // namespace meshweave
