#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

#include "meshweave/exchange/batch_compiler.hpp"

namespace meshweave {

std::vector<std::expected<CompiledExchange, CompileError>> compile_exchanges(
    const Topology& topology, std::span<const ExchangeDescription> descriptions, unsigned threads,
    const CompileOptions& options, const ScheduleOptions& schedule_options) {
  std::vector<std::expected<CompiledExchange, CompileError>> results(descriptions.size());
  if (descriptions.empty()) return results;
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t workers = std::min<std::size_t>(threads, descriptions.size());
  // Each worker takes the next description not yet taken, so that one long
  // description does not hold up a fixed share of the others.
  std::atomic<std::size_t> next{0};
  std::vector<std::exception_ptr> failures(workers);
  const auto work = [&](std::size_t worker) {
    try {
      for (std::size_t index = next.fetch_add(1, std::memory_order_relaxed);
           index < descriptions.size(); index = next.fetch_add(1, std::memory_order_relaxed)) {
        results[index] = compile_exchange(topology, descriptions[index], options, schedule_options);
      }
    } catch (...) {
      failures[worker] = std::current_exception();
      // The others stop after their current description.
      next.store(descriptions.size(), std::memory_order_relaxed);
    }
  };
  if (workers == 1) {
    work(0);
  } else {
    std::vector<std::jthread> pool;
    pool.reserve(workers - 1);
    for (std::size_t worker = 1; worker < workers; ++worker) pool.emplace_back(work, worker);
    work(0);  // the calling thread is one of the workers
  }  // the pool joins here
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
  return results;
}

}  // namespace meshweave
