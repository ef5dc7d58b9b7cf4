#include "plan_events.hpp"

#include <array>
#include <memory>
#include <string>

#include "meshweave/events.hpp"

namespace meshweave::plan_events {

namespace {

// A sink that wants the library's debug events, or nullptr.
std::shared_ptr<EventSink> accepting_sink() noexcept {
  std::shared_ptr<EventSink> sink = event_sink();
  if (sink == nullptr || !sink->accepts(EventLevel::Debug, EVENT_TARGET)) return nullptr;
  return sink;
}

// Debug form of a tile list: [274, 1286].
std::string tile_list(std::span<const std::uint16_t> tiles) {
  std::string out;
  out.reserve(2 + tiles.size() * 6);
  out += '[';
  for (std::size_t index = 0; index < tiles.size(); ++index) {
    if (index != 0) out += ", ";
    out += std::to_string(tiles[index]);
  }
  out += ']';
  return out;
}

template <std::size_t N>
void deliver(EventSink& sink, std::string_view message, const std::array<EventField, N>& fields) {
  sink.record(Event{EventLevel::Debug, EVENT_TARGET, message, fields});
}

}  // namespace

void emit_point_to_point(std::uint16_t sender_logical, std::uint16_t receiver_logical,
                         std::uint32_t count) noexcept {
  const std::shared_ptr<EventSink> sink = accepting_sink();
  if (sink == nullptr) return;
  try {
    const std::array fields{
        EventField{event_field::sender_logical, std::to_string(sender_logical)},
        EventField{event_field::receiver_logical, std::to_string(receiver_logical)},
        EventField{event_field::count, std::to_string(count)},
    };
    deliver(*sink, event_message::point_to_point, fields);
  } catch (...) {
    // Events are best effort; the plan has been made and is returned regardless.
  }
}

void emit_multicast(std::uint16_t sender_logical, std::span<const std::uint16_t> receiver_logical,
                    std::uint32_t count, std::uint32_t schedule_offset) noexcept {
  const std::shared_ptr<EventSink> sink = accepting_sink();
  if (sink == nullptr) return;
  try {
    const std::array fields{
        EventField{event_field::sender_logical, std::to_string(sender_logical)},
        EventField{event_field::receiver_logical, tile_list(receiver_logical)},
        EventField{event_field::count, std::to_string(count)},
        EventField{event_field::schedule_offset, std::to_string(schedule_offset)},
    };
    deliver(*sink, event_message::multicast, fields);
  } catch (...) {
    // Events are best effort; the plan has been made and is returned regardless.
  }
}

}  // namespace meshweave::plan_events
