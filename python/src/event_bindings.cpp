// The debug-event sink: a Python callable receives the library's events.

#include <pybind11/stl.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "binding_support.hpp"
#include "meshweave/events.hpp"

namespace meshweave::python {

namespace {

// An event copied out of the library's short-lived view, so Python may keep it.
struct RecordedEvent {
  EventLevel level = EventLevel::Debug;
  std::string target;
  std::string message;
  std::vector<EventField> fields;

  std::string text() const { return to_string(Event{level, target, message, fields}); }
};

// Forwards accepted events to a Python callable. `accepts` never needs the
// GIL (the level is kept in C++); `record` takes it, since planning may run on
// any thread and with the GIL released.
class PythonSink final : public EventSink {
 public:
  PythonSink(py::function callable, EventLevel level)
      : callable_(std::move(callable)), level_(level) {}

  ~PythonSink() override {
    if (Py_IsInitialized() == 0) {
      (void)callable_.release();  // the interpreter is gone; the object goes with it
      return;
    }
    py::gil_scoped_acquire gil;
    callable_ = py::object();
  }

  bool accepts(EventLevel level, std::string_view target) const noexcept override {
    return level <= level_ && target == EVENT_TARGET;
  }

  void record(const Event& event) override {
    RecordedEvent copy{event.level, std::string(event.target), std::string(event.message),
                       std::vector<EventField>(event.fields.begin(), event.fields.end())};
    py::gil_scoped_acquire gil;
    try {
      callable_(std::move(copy));
    } catch (py::error_already_set& error) {
      // A failing sink must not fail planning; Python reports it as unraisable.
      error.discard_as_unraisable("meshweave event sink");
    }
  }

  const py::object& callable() const { return callable_; }
  EventLevel level() const { return level_; }

 private:
  py::object callable_;
  EventLevel level_;
};

}  // namespace

void bind_events(py::module_& m) {
  using py::arg;
  py::enum_<EventLevel>(m, "EventLevel", "Most severe first.")
      .value("Error", EventLevel::Error)
      .value("Warn", EventLevel::Warn)
      .value("Info", EventLevel::Info)
      .value("Debug", EventLevel::Debug)
      .value("Trace", EventLevel::Trace);
  m.attr("EVENT_TARGET") = std::string(EVENT_TARGET);

  py::class_<RecordedEvent>(m, "Event", "One debug event, copied so that it may be kept.")
      .def_readonly("level", &RecordedEvent::level)
      .def_readonly("target", &RecordedEvent::target)
      .def_readonly("message", &RecordedEvent::message)
      .def_property_readonly(
          "fields",
          [](const RecordedEvent& self) {
            py::dict out;
            for (const EventField& field : self.fields)
              out[py::str(std::string(field.name))] = field.value;
            return out;
          },
          "The fields by name, in their documented order; values in debug form.")
      .def("__str__", &RecordedEvent::text)
      .def("__repr__", [](const RecordedEvent& self) { return "Event(" + self.text() + ")"; });

  m.def(
      "set_event_sink",
      [](const std::optional<py::function>& sink, EventLevel level) {
        std::shared_ptr<EventSink> installed;
        if (sink) installed = std::make_shared<PythonSink>(*sink, level);
        // The previous sink may be released here and needs the GIL for its callable.
        set_event_sink(std::move(installed));
      },
      arg("sink"), arg("level") = EventLevel::Debug,
      "Installs `sink(event)` for events of `level` and more severe, from every thread; None "
      "removes it. The callable runs with the GIL held; its exceptions are reported as "
      "unraisable and the event dropped.");
  m.def(
      "event_sink",
      []() -> py::object {
        const std::shared_ptr<EventSink> current = event_sink();
        if (const auto* python = dynamic_cast<const PythonSink*>(current.get()))
          return python->callable();
        return py::none();
      },
      "The callable installed now, or None.");
  // Remove a Python sink before the interpreter goes away.
  py::module_::import("atexit").attr("register")(py::cpp_function([] {
    if (dynamic_cast<const PythonSink*>(event_sink().get()) != nullptr) set_event_sink(nullptr);
  }));
}

}  // namespace meshweave::python
