#pragma once

// Structured debug events emitted after successful tile-to-tile plans.
//
// The library's only output besides its results. An application that wants the
// events installs an EventSink, typically a small adapter that forwards them to
// its own logging library:
//
//   struct Forward final : meshweave::EventSink {
//     bool accepts(meshweave::EventLevel level, std::string_view target) const noexcept override {
//       return level <= meshweave::EventLevel::Debug && target == meshweave::EVENT_TARGET;
//     }
//     void record(const meshweave::Event& event) override { /* hand on to the logger */ }
//   };
//   meshweave::set_event_sink(std::make_shared<Forward>());
//
// Cost: with no sink installed, planning pays one relaxed atomic load and a
// branch. With a sink, `accepts` is asked before anything is formatted; only an
// accepted event is built. A sink may be installed, replaced or removed
// (set_event_sink(nullptr)) while other threads plan: a thread that is delivering
// an event holds its own reference, so a sink is destroyed only after its last
// `record` returned. Events racing with an install or removal may go to either
// sink or none. `accepts` and `record` may be called from several threads at once.
//
// Events are best effort: one that cannot be built or delivered (the sink throws,
// memory runs out while formatting) is dropped, and planning never depends on it.

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace meshweave {

// Most severe first: a sink that accepts `level <= Debug` takes debug and above.
enum class EventLevel : std::uint8_t { Error, Warn, Info, Debug, Trace };

// Target of every event the library emits.
inline constexpr std::string_view EVENT_TARGET{"meshweave"};

// Message texts and field names of the library's events.
namespace event_message {
inline constexpr std::string_view point_to_point{"assembled point-to-point exchange"};
inline constexpr std::string_view multicast{"assembled multicast exchange"};
}  // namespace event_message

namespace event_field {
inline constexpr std::string_view sender_logical{"sender_logical"};
inline constexpr std::string_view receiver_logical{"receiver_logical"};
inline constexpr std::string_view count{"count"};
inline constexpr std::string_view schedule_offset{"schedule_offset"};
}  // namespace event_field

// One named field, its value in debug form: numbers in decimal, lists as [a, b].
struct EventField {
  std::string_view name;
  std::string value;

  friend bool operator==(const EventField&, const EventField&) = default;
};

// An event as a sink sees it. It refers to data that lives only while `record`
// runs; a sink that keeps an event copies what it needs.
struct Event {
  EventLevel level;
  std::string_view target;
  std::string_view message;
  std::span<const EventField> fields;  // in their documented order
};

// Receives the library's events. Implementations must be safe to call from several
// threads at once.
class EventSink {
 public:
  virtual ~EventSink() = default;

  // Whether events of this level and target are wanted; asked before anything is built.
  virtual bool accepts(EventLevel level, std::string_view target) const noexcept = 0;
  virtual void record(const Event& event) = 0;
};

// Installs `sink` for all threads, replacing the previous one; nullptr removes it.
void set_event_sink(std::shared_ptr<EventSink> sink) noexcept;
// The sink installed now, or nullptr.
std::shared_ptr<EventSink> event_sink() noexcept;

// "error", "warn", "info", "debug", "trace".
std::string to_string(EventLevel level);
// One line: debug meshweave: assembled point-to-point exchange sender_logical=0 receiver_logical=1
// count=4
std::string to_string(const Event& event);
std::ostream& operator<<(std::ostream& out, EventLevel level);
std::ostream& operator<<(std::ostream& out, const Event& event);

}  // namespace meshweave
