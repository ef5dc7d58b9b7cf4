#include "meshweave/exchange/description.hpp"

#include <variant>

namespace meshweave {

TransferView view(const Transfer& transfer) noexcept {
  if (const auto* point = std::get_if<PointToPointTransfer>(&transfer)) {
    return TransferView{false,
                        point->sender,
                        std::span<const std::uint16_t>(&point->receiver, 1),
                        point->count,
                        point->source_address,
                        std::span<const std::uint32_t>(&point->destination_address, 1)};
  }
  return view(std::get<MulticastTransfer>(transfer));
}

ExchangeDescription to_transfers_form(const ExchangeDescription& description) {
  if (description.phases.empty()) return description;
  ExchangeDescription form;
  std::size_t count = 0;
  for (const Phase& phase : description.phases) count += phase.transfers.size();
  form.transfers.reserve(count);
  for (const Phase& phase : description.phases) {
    for (const Transfer& transfer : phase.transfers) form.transfers.push_back({transfer, {}});
  }
  return form;
}

}  // namespace meshweave
