#include <atomic>
#include <memory>
#include <utility>

#include "meshweave/events.hpp"
#include "plan_events.hpp"

namespace meshweave {

namespace plan_events {
constinit std::atomic<bool> sink_installed{false};
}  // namespace plan_events

namespace {
// Readers take their own reference, so a sink removed mid-delivery stays alive
// until that delivery returns.
constinit std::atomic<std::shared_ptr<EventSink>> installed_sink{};
}  // namespace

void set_event_sink(std::shared_ptr<EventSink> sink) noexcept {
  // Lower the flag before removing and raise it after installing: whatever the
  // interleaving of concurrent calls, an installed sink never sits behind a
  // lowered flag. A raised flag with no sink only costs the slow path.
  const bool installing = sink != nullptr;
  if (!installing) plan_events::sink_installed.store(false);
  const std::shared_ptr<EventSink> previous = installed_sink.exchange(std::move(sink));
  if (installing) plan_events::sink_installed.store(true);
}

std::shared_ptr<EventSink> event_sink() noexcept { return installed_sink.load(); }

}  // namespace meshweave
