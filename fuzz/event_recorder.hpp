#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "meshweave/events.hpp"

namespace meshweave::fuzz {

// Keeps the library's debug events so that a fuzzer can check that a plan emits
// exactly one, with its arguments, and a failed plan none.
class EventRecorder final : public EventSink {
 public:
  struct Recorded {
    std::string message;
    std::vector<std::string> names;
    std::vector<std::string> values;
  };

  bool accepts(EventLevel level, std::string_view target) const noexcept override {
    return level == EventLevel::Debug && target == EVENT_TARGET;
  }
  void record(const Event& event) override {
    Recorded copy{std::string{event.message}, {}, {}};
    for (const EventField& field : event.fields) {
      copy.names.emplace_back(field.name);
      copy.values.push_back(field.value);
    }
    events.push_back(std::move(copy));
  }

  std::vector<Recorded> events;
};

// The recorder, installed once for the whole fuzzing run; emptied by every call.
inline EventRecorder& installed_recorder() {
  static const std::shared_ptr<EventRecorder> recorder = [] {
    auto made = std::make_shared<EventRecorder>();
    set_event_sink(made);
    return made;
  }();
  recorder->events.clear();
  return *recorder;
}

}  // namespace meshweave::fuzz
