#pragma once

// Point-to-point transfers that may travel as one multicast: the same sender,
// source address and word count, and nothing that orders them against any
// other transfer. The scheduler merges such a group when the multicast planner
// accepts it and it is shorter; the verifier recognises the merged programs from
// the description alone, so both use the same groups.
#include <cstddef>
#include <span>
#include <vector>

#include "meshweave/exchange/description.hpp"
#include "transfer_order.hpp"

namespace meshweave::exchange_detail {

// Groups of at least two transfers, each in program order, whose transfers
// - are point-to-point, of 1 to 4148 words (one piece), between two different tiles below `tiles`;
// - neither name nor are named in any `after`;
// - write bytes that no other role on the receiver overlaps, and read bytes that
//   no write on the sender overlaps;
// - go to different receivers (a later one to a receiver already in the group stays apart).
std::vector<std::vector<std::size_t>> multicast_groups(const TransferList& list, std::size_t tiles);

// The multicast that carries `group` (indices into `list`, all of one group):
// the receivers and destinations of its transfers, in group order.
MulticastTransfer merged_multicast(const TransferList& list, std::span<const std::size_t> group);

}  // namespace meshweave::exchange_detail
