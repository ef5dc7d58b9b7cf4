#include <atomic>
#include <memory>
#include <mutex>
#include <utility>

#include "meshweave/events.hpp"
#include "plan_events.hpp"

namespace meshweave {

namespace plan_events {
constinit std::atomic<bool> sink_installed{false};
}  // namespace plan_events

namespace {
// The installed sink, guarded by a mutex that planners touch only while a sink is
// installed (the flag above keeps the no-sink path to one atomic load). Readers
// take their own reference, so a sink removed mid-delivery stays alive until that
// delivery returns.
constinit std::mutex sink_mutex;
std::shared_ptr<EventSink> installed_sink;
}  // namespace

void set_event_sink(std::shared_ptr<EventSink> sink) noexcept {
  std::shared_ptr<EventSink> previous;
  {
    const std::lock_guard lock{sink_mutex};
    previous = std::exchange(installed_sink, std::move(sink));
    plan_events::sink_installed.store(installed_sink != nullptr, std::memory_order_release);
  }
  // `previous` is released here, outside the lock: a sink's destructor may log.
}

std::shared_ptr<EventSink> event_sink() noexcept {
  const std::lock_guard lock{sink_mutex};
  return installed_sink;
}

}  // namespace meshweave
