#include "meshweave/exchange/description.hpp"

#include <variant>

namespace meshweave {

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
