#pragma once

#include <vector>

#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/description.hpp"
#include "meshweave/exchange/verifier.hpp"
#include "meshweave/topology/topology.hpp"

namespace meshweave::exchange_detail {

// verify_exchange for a description in the transfers form.
std::vector<VerifyIssue> verify_scheduled(const Topology& topology,
                                          const ExchangeDescription& description,
                                          const CompiledExchange& compiled);

}  // namespace meshweave::exchange_detail
