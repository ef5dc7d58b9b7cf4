#include "transfer_order.hpp"

#include <functional>
#include <numeric>
#include <queue>

#include "meshweave/exchange/schedule.hpp"

namespace meshweave::exchange_detail {

TransferList list_transfers(const ExchangeDescription& description) {
  TransferList list;
  list.description = &description;
  if (!description.transfers.empty()) {
    list.transfers.reserve(description.transfers.size());
    for (const ScheduledTransfer& scheduled : description.transfers) {
      list.transfers.push_back(&scheduled.transfer);
    }
    return list;
  }
  for (std::size_t phase = 0; phase < description.phases.size(); ++phase) {
    for (const Transfer& transfer : description.phases[phase].transfers) {
      list.transfers.push_back(&transfer);
      list.phases.push_back(phase);
    }
  }
  return list;
}

namespace {
CompileError after_error(CompileError::Kind kind, std::size_t transfer, std::size_t other) {
  CompileError error;
  error.kind = kind;
  error.transfer = transfer;
  error.other_transfer = other;
  error.scheduled = true;
  return error;
}
}  // namespace

std::expected<std::vector<std::size_t>, CompileError> placement_order(const TransferList& list) {
  const std::size_t count = list.size();
  bool forward = false;
  for (std::size_t index = 0; index < count; ++index) {
    for (const std::size_t other : list.after(index)) {
      if (other >= count)
        return std::unexpected(after_error(CompileError::Kind::AfterIndex, index, other));
      if (other >= index) forward = true;
    }
  }
  std::vector<std::size_t> order(count);
  if (!forward) {  // every transfer names only earlier ones: program order
    std::iota(order.begin(), order.end(), std::size_t{0});
    return order;
  }
  std::vector<std::size_t> waiting(count, 0);
  std::vector<std::vector<std::size_t>> followers(count);
  for (std::size_t index = 0; index < count; ++index) {
    for (const std::size_t other : list.after(index)) {
      ++waiting[index];
      followers[other].push_back(index);
    }
  }
  std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>> ready;
  for (std::size_t index = 0; index < count; ++index) {
    if (waiting[index] == 0) ready.push(index);
  }
  order.clear();
  while (!ready.empty()) {
    const std::size_t next = ready.top();
    ready.pop();
    order.push_back(next);
    for (const std::size_t follower : followers[next]) {
      if (--waiting[follower] == 0) ready.push(follower);
    }
  }
  if (order.size() == count) return order;
  // Walk the waits from the first transfer left until one repeats: it lies on a cycle.
  std::size_t walker = 0;
  while (waiting[walker] == 0) ++walker;
  std::vector<bool> visited(count, false);
  for (;;) {
    visited[walker] = true;
    std::size_t next = walker;
    for (const std::size_t other : list.after(walker)) {
      if (waiting[other] != 0) {
        next = other;
        break;
      }
    }
    if (visited[next]) {
      return std::unexpected(after_error(CompileError::Kind::AfterCycle, next, walker));
    }
    walker = next;
  }
}

}  // namespace meshweave::exchange_detail

namespace meshweave {

std::expected<void, CompileError> check_form(const ExchangeDescription& description) {
  if (!description.phases.empty() && !description.transfers.empty()) {
    CompileError error;
    error.kind = CompileError::Kind::BothForms;
    error.scheduled = true;
    return std::unexpected(error);
  }
  auto order = exchange_detail::placement_order(exchange_detail::list_transfers(description));
  if (!order) return std::unexpected(order.error());
  return {};
}

}  // namespace meshweave
