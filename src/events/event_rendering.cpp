#include <ostream>
#include <string>

#include "meshweave/events.hpp"

namespace meshweave {

std::string to_string(EventLevel level) {
  switch (level) {
    case EventLevel::Error: return "error";
    case EventLevel::Warn: return "warn";
    case EventLevel::Info: return "info";
    case EventLevel::Debug: return "debug";
    case EventLevel::Trace: return "trace";
  }
  return "unknown";
}

std::string to_string(const Event& event) {
  std::string out = to_string(event.level);
  out += ' ';
  out += event.target;
  out += ": ";
  out += event.message;
  for (const EventField& field : event.fields) {
    out += ' ';
    out += field.name;
    out += '=';
    out += field.value;
  }
  return out;
}

std::ostream& operator<<(std::ostream& out, EventLevel level) { return out << to_string(level); }

std::ostream& operator<<(std::ostream& out, const Event& event) { return out << to_string(event); }

}  // namespace meshweave
