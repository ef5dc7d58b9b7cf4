// Plans, row patching and the program builder.

#include <pybind11/stl.h>

#include <span>
#include <utility>
#include <vector>

#include "binding_support.hpp"
#include "meshweave/plans/plan.hpp"
#include "meshweave/plans/row_patching.hpp"
#include "meshweave/scheduling/plan_event_cycles.hpp"
#include "meshweave/scheduling/plan_program_builder.hpp"

namespace meshweave::python {

namespace {

py::tuple row_key(const PlanRow& row) {
  py::tuple key(row.size());
  for (std::size_t i = 0; i < row.size(); ++i) key[i] = py::int_(row[i]);
  return key;
}

void bind_plan_records(py::module_& m) {
  using py::arg;
  py::class_<Plan> plan(m, "Plan",
                        "A point-to-point exchange: the sender's row and the receiver's row "
                        "template. Read-only; rows are read-only views.");
  plan.def(py::init([](py::handle sender, py::handle receiver) {
             return Plan{row_from(sender), row_from(receiver)};
           }),
           arg("sender"), arg("receiver"))
      .def_property_readonly(
          "sender",
          [](py::object self) { return words_view(self.cast<const Plan&>().sender, self); },
          "The sender's row (9 words).")
      .def_property_readonly(
          "receiver",
          [](py::object self) { return words_view(self.cast<const Plan&>().receiver, self); },
          "The receiver's row template (9 words).")
      .def("__repr__", [](const Plan& self) { return to_string(self); });
  equality_and_hash(plan, [](const Plan& self) {
    return py::make_tuple(row_key(self.sender), row_key(self.receiver));
  });

  py::class_<MulticastPlan> multicast(
      m, "MulticastPlan",
      "A multicast exchange: the sender's row and one row per receiver, in the order the "
      "receivers were given. Read-only.");
  multicast
      .def(py::init([](py::handle sender, py::iterable receivers) {
             MulticastPlan out{row_from(sender), {}};
             for (const py::handle row : receivers) out.receivers.push_back(row_from(row));
             return out;
           }),
           arg("sender"), arg("receivers"))
      .def_property_readonly(
          "sender",
          [](py::object self) {
            return words_view(self.cast<const MulticastPlan&>().sender, self);
          },
          "The sender's row (9 words).")
      .def_property_readonly(
          "receivers",
          [](py::object self) {
            return rows_view(self.cast<const MulticastPlan&>().receivers, self);
          },
          "The receivers' rows: an n x 9 array (or a list of rows).")
      .def("__repr__", [](const MulticastPlan& self) { return to_string(self); });
  equality_and_hash(multicast, [](const MulticastPlan& self) {
    py::list rows;
    for (const PlanRow& row : self.receivers) rows.append(row_key(row));
    return py::make_tuple(row_key(self.sender), py::tuple(rows));
  });
}

void bind_row_patching(py::module_& m) {
  using py::arg;
  m.attr("PLAN_ROW_WORDS") = PLAN_ROW_WORDS;
  m.def(
      "patch_sender_address",
      [](py::handle row, std::uint32_t byte_address) {
        PlanRow patched = row_from(row);
        value_or_raise(explained::patch_sender_address(patched, byte_address));
        return row_to_python(patched);
      },
      arg("row"), arg("byte_address"),
      "The row with the source buffer's word address in its first SEND word.");
  m.def(
      "patch_receiver_address",
      [](py::handle row, std::uint32_t byte_address) {
        PlanRow patched = row_from(row);
        value_or_raise(explained::patch_receiver_address(patched, byte_address));
        return row_to_python(patched);
      },
      arg("row"), arg("byte_address"),
      "The row with the destination buffer's word address in its first PIC word.");
  m.def(
      "finalize_point_receiver",
      [](py::handle row, std::uint16_t source_physical) {
        PlanRow patched = row_from(row);
        value_or_raise(explained::finalize_point_receiver_in_place(patched, source_physical));
        return row_to_python(patched);
      },
      arg("row"), arg("source_physical"),
      "The runnable row of a point-to-point receiver template: the patch index dropped and "
      "the sender's physical tile written into the word it names.");
  m.def(
      "offset_plan",
      [](py::handle row, std::uint32_t cycles) {
        PlanRow patched = row_from(row);
        value_or_raise(explained::offset_plan(patched, cycles));
        return row_to_python(patched);
      },
      arg("row"), arg("cycles"),
      "The row started `cycles` later by DELAYs inserted after its entry word.");
  m.def(
      "normalize_sender_instruction",
      [](py::handle row) -> py::tuple {
        std::vector<std::uint32_t> words = words_from(row);
        const auto found = normalize_sender_instruction(words);
        py::object where = found ? py::object(py::make_tuple(found->first, found->second))
                                 : py::object(py::none());
        return py::make_tuple(words_to_python(std::move(words)), where);
      },
      arg("row"),
      "(words with the first SEND's address cleared, (position, former word) or None).");
  m.def(
      "plan_event_cycles",
      [](py::handle row) { return value_or_raise(plan_event_cycles(words_from(row))); }, arg("row"),
      "Cycles the timed words of a word sequence account for.");
}

void bind_program_builder(py::module_& m) {
  using py::arg;
  py::class_<PlanProgramBuilder> builder(
      m, "PlanProgramBuilder",
      "Merges one tile's plan rows, in time order, into one instruction stream.");
  builder.def(py::init<>())
      .def_property_readonly(
          "words",
          [](const PlanProgramBuilder& self) {
            return words_to_python(std::vector<std::uint32_t>(self.words));
          },
          "A copy of the stream so far: the entry word and the appended rows.")
      .def_readonly("event_cycles", &PlanProgramBuilder::event_cycles,
                    "Cycles the stream occupies.")
      .def(
          "append_scheduled_row",
          [](PlanProgramBuilder& self, py::handle row) {
            value_or_raise(self.append_scheduled_row(row_from(row)));
          },
          arg("row"), "Lays `row` onto the end of the stream; on failure the builder is as it was.")
      .def(
          "finish",
          [](PlanProgramBuilder& self, std::uint32_t horizon) {
            std::vector<std::uint32_t> program = value_or_raise(std::move(self).finish(horizon));
            self = PlanProgramBuilder{};  // a finished builder starts over, empty
            return words_to_python(std::move(program));
          },
          arg("horizon"),
          "The program padded to exactly `horizon` cycles and closed by the return word. The "
          "builder starts over empty; on failure it is as it was.")
      .def("__repr__", [](const PlanProgramBuilder& self) {
        return "PlanProgramBuilder(words=" + std::to_string(self.words.size()) +
               ", event_cycles=" + std::to_string(self.event_cycles) + ")";
      });
  equality(builder);
}

}  // namespace

void bind_plans(py::module_& m) {
  bind_plan_records(m);
  bind_row_patching(m);
  bind_program_builder(m);
}

}  // namespace meshweave::python
