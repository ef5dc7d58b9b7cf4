// The collectives: requests, plans, estimates, compiling and the replay.

#include <pybind11/stl.h>

#include <string>
#include <utility>
#include <vector>

#include "binding_support.hpp"
#include "meshweave/collectives/plan.hpp"
#include "meshweave/collectives/replay.hpp"
#include "meshweave/collectives/request.hpp"

namespace meshweave::python {

namespace {

template <class T>
T unwrap_compile(std::expected<T, CompileError>&& result) {
  if (!result) raise_compile_error(result.error());
  return std::move(*result);
}

void bind_enums(py::module_& m) {
  py::enum_<CollectiveKind>(m, "CollectiveKind", "The collectives.")
      .value("RingShift", CollectiveKind::RingShift)
      .value("Halo", CollectiveKind::Halo)
      .value("Broadcast", CollectiveKind::Broadcast)
      .value("Scatter", CollectiveKind::Scatter)
      .value("Gather", CollectiveKind::Gather)
      .value("AllGather", CollectiveKind::AllGather)
      .value("AllToAll", CollectiveKind::AllToAll)
      .value("ReduceScatter", CollectiveKind::ReduceScatter)
      .value("AllReduce", CollectiveKind::AllReduce);
  py::enum_<CollectiveAlgorithm>(m, "CollectiveAlgorithm", "How a collective is carried out.")
      .value("Auto", CollectiveAlgorithm::Auto)
      .value("Flat", CollectiveAlgorithm::Flat)
      .value("Direct", CollectiveAlgorithm::Direct)
      .value("Hierarchical", CollectiveAlgorithm::Hierarchical);

  using py::arg;
  m.def("collective_name", &collective_name, arg("kind"), "The name the command line uses.");
  m.def("algorithm_name", &algorithm_name, arg("algorithm"), "The name the command line uses.");
  m.def("parse_collective", &parse_collective, arg("name"), "The collective of a name, or None.");
  m.def("parse_algorithm", &parse_algorithm, arg("name"), "The algorithm of a name, or None.");
  m.def(
      "all_collectives",
      [] {
        const auto kinds = all_collectives();
        return std::vector<CollectiveKind>(kinds.begin(), kinds.end());
      },
      "Every collective, in declaration order.");
  m.def(
      "algorithms_of",
      [](CollectiveKind kind) {
        const auto algorithms = algorithms_of(kind);
        return std::vector<CollectiveAlgorithm>(algorithms.begin(), algorithms.end());
      },
      arg("kind"), "The concrete algorithms a collective offers, Flat first.");
}

void bind_request(py::module_& m) {
  using py::arg;
  py::class_<HaloWords> halo(m, "HaloWords",
                             "Halo exchange words per direction on a rows x columns grid.");
  halo.def(py::init([](std::uint32_t north, std::uint32_t south, std::uint32_t west,
                       std::uint32_t east, std::uint16_t rows, std::uint16_t columns,
                       bool periodic) {
             return HaloWords{north, south, west, east, rows, columns, periodic};
           }),
           arg("north") = 0, arg("south") = 0, arg("west") = 0, arg("east") = 0, arg("rows") = 0,
           arg("columns") = 0, arg("periodic") = false)
      .def_readonly("north", &HaloWords::north)
      .def_readonly("south", &HaloWords::south)
      .def_readonly("west", &HaloWords::west)
      .def_readonly("east", &HaloWords::east)
      .def_readonly("rows", &HaloWords::rows)
      .def_readonly("columns", &HaloWords::columns)
      .def_readonly("periodic", &HaloWords::periodic)
      .def("__repr__", [](const HaloWords& h) {
        return "HaloWords(north=" + std::to_string(h.north) + ", south=" + std::to_string(h.south) +
               ", west=" + std::to_string(h.west) + ", east=" + std::to_string(h.east) +
               ", rows=" + std::to_string(h.rows) + ", columns=" + std::to_string(h.columns) +
               ", periodic=" + (h.periodic ? "True" : "False") + ")";
      });
  equality_and_hash(halo, [](const HaloWords& h) {
    return py::make_tuple(h.north, h.south, h.west, h.east, h.rows, h.columns, h.periodic);
  });

  py::class_<CollectiveRequest> request(m, "CollectiveRequest",
                                        "What collective to plan, over which tiles and buffers.");
  request
      .def(py::init([](CollectiveKind kind, CollectiveAlgorithm algorithm,
                       std::vector<std::uint16_t> tiles, std::uint32_t words, std::uint16_t root,
                       std::uint32_t input, std::uint32_t output, std::uint32_t scratch,
                       std::uint16_t group_size, HaloWords halo_words) {
             return CollectiveRequest{kind,  algorithm, std::move(tiles), words,      root,
                                      input, output,    scratch,          group_size, halo_words};
           }),
           arg("kind"), arg("algorithm") = CollectiveAlgorithm::Auto,
           arg("tiles") = std::vector<std::uint16_t>{}, arg("words") = 0, arg("root") = 0,
           arg("input") = 0, arg("output") = 0, arg("scratch") = 0, arg("group_size") = 0,
           arg("halo") = HaloWords{})
      .def_readonly("kind", &CollectiveRequest::kind)
      .def_readonly("algorithm", &CollectiveRequest::algorithm)
      .def_property_readonly(
          "tiles", [](const CollectiveRequest& self) { return tiles_to_python(self.tiles); })
      .def_readonly("words", &CollectiveRequest::words)
      .def_readonly("root", &CollectiveRequest::root)
      .def_readonly("input", &CollectiveRequest::input)
      .def_readonly("output", &CollectiveRequest::output)
      .def_readonly("scratch", &CollectiveRequest::scratch)
      .def_readonly("group_size", &CollectiveRequest::group_size)
      .def_readonly("halo", &CollectiveRequest::halo)
      .def("__repr__", [](const CollectiveRequest& self) {
        return "CollectiveRequest(kind=" + std::string(collective_name(self.kind)) +
               ", algorithm=" + std::string(algorithm_name(self.algorithm)) +
               ", tiles=" + std::to_string(self.tiles.size()) +
               ", words=" + std::to_string(self.words) + ")";
      });
  equality(request);
}

void bind_plan(py::module_& m) {
  py::class_<Combine> combine(m, "Combine", "Local work of one tile between two exchanges.");
  combine.def_readonly("tile", &Combine::tile)
      .def_readonly("destination", &Combine::destination)
      .def_property_readonly("sources", [](const Combine& self) { return py::cast(self.sources); })
      .def_readonly("words", &Combine::words)
      .def("__repr__", [](const Combine& self) {
        return "Combine(tile=" + std::to_string(self.tile) +
               ", destination=" + std::to_string(self.destination) +
               ", sources=" + py::repr(py::cast(self.sources)).cast<std::string>() +
               ", words=" + std::to_string(self.words) + ")";
      });
  equality(combine);

  py::class_<CollectiveStep> step(m, "CollectiveStep",
                                  "Local work, then one exchange in the transfers form.");
  step.def_property_readonly("combine_before",
                             [](py::object self) {
                               return references(self.cast<const CollectiveStep&>().combine_before,
                                                 self);
                             })
      .def_readonly("exchange", &CollectiveStep::exchange)
      .def("__repr__", [](const CollectiveStep& self) {
        return "CollectiveStep(combine_before=" + std::to_string(self.combine_before.size()) +
               ", transfers=" + std::to_string(self.exchange.transfers.size()) + ")";
      });
  equality(step);

  py::class_<CandidateEstimate> candidate(m, "CandidateEstimate",
                                          "One algorithm the planner weighed.");
  candidate.def_readonly("algorithm", &CandidateEstimate::algorithm)
      .def_readonly("group_size", &CandidateEstimate::group_size)
      .def_readonly("horizon", &CandidateEstimate::horizon)
      .def_readonly("lower_bound", &CandidateEstimate::lower_bound)
      .def_readonly("steps", &CandidateEstimate::steps)
      .def("__repr__", [](const CandidateEstimate& self) {
        return "CandidateEstimate(algorithm=" + std::string(algorithm_name(self.algorithm)) +
               ", group_size=" + std::to_string(self.group_size) +
               ", horizon=" + std::to_string(self.horizon) + ")";
      });
  equality(candidate);

  py::class_<CollectivePlan> plan(m, "CollectivePlan",
                                  "A collective as exchanges and the local work between them.");
  plan.def_readonly("request", &CollectivePlan::request)
      .def_readonly("algorithm", &CollectivePlan::algorithm)
      .def_readonly("group_size", &CollectivePlan::group_size)
      .def_readonly("input_words", &CollectivePlan::input_words)
      .def_readonly("output_words", &CollectivePlan::output_words)
      .def_readonly("scratch_words", &CollectivePlan::scratch_words)
      .def_property_readonly("steps",
                             [](py::object self) {
                               return references(self.cast<const CollectivePlan&>().steps, self);
                             })
      .def_property_readonly("combine_after",
                             [](py::object self) {
                               return references(self.cast<const CollectivePlan&>().combine_after,
                                                 self);
                             })
      .def_property_readonly("candidates",
                             [](py::object self) {
                               return references(self.cast<const CollectivePlan&>().candidates,
                                                 self);
                             })
      .def_readonly("chosen", &CollectivePlan::chosen)
      .def("__repr__", [](const CollectivePlan& self) {
        return "CollectivePlan(kind=" + std::string(collective_name(self.request.kind)) +
               ", algorithm=" + std::string(algorithm_name(self.algorithm)) +
               ", steps=" + std::to_string(self.steps.size()) + ")";
      });
  equality(plan);

  py::class_<CollectiveEstimate>(m, "CollectiveEstimate", "The whole collective's estimate.")
      .def_readonly("horizon", &CollectiveEstimate::horizon)
      .def_readonly("lower_bound", &CollectiveEstimate::lower_bound)
      .def_readonly("longest_program_words", &CollectiveEstimate::longest_program_words)
      .def_property_readonly("steps",
                             [](py::object self) {
                               return references(self.cast<const CollectiveEstimate&>().steps,
                                                 self);
                             })
      .def("__repr__", [](const CollectiveEstimate& self) {
        return "CollectiveEstimate(horizon=" + std::to_string(self.horizon) +
               ", lower_bound=" + std::to_string(self.lower_bound) + ")";
      });

  py::class_<ReplayIssue> issue(m, "ReplayIssue", "A fault the data-flow replay found.");
  issue.def_readonly("step", &ReplayIssue::step)
      .def_readonly("transfer", &ReplayIssue::transfer)
      .def_readonly("tile", &ReplayIssue::tile)
      .def_readonly("what", &ReplayIssue::what)
      .def("__str__", [](const ReplayIssue& self) { return to_string(self); })
      .def("__repr__",
           [](const ReplayIssue& self) { return "ReplayIssue(" + to_string(self) + ")"; });
  equality(issue);
}

void bind_operations(py::module_& m) {
  using py::arg;
  m.def(
      "plan_collective",
      [](const Topology& topology, const CollectiveRequest& request) {
        std::expected<CollectivePlan, CollectiveError> plan;
        {
          py::gil_scoped_release release;
          plan = plan_collective(topology, request);
        }
        if (!plan) raise_collective_error(plan.error());
        return std::move(*plan);
      },
      arg("topology"), arg("request"),
      "Checks the request and builds the plan; Auto weighs every candidate. Raises "
      "CollectiveError.");
  m.def(
      "estimate_collective",
      [](const Topology& topology, const CollectivePlan& plan) {
        std::expected<CollectiveEstimate, CompileError> estimate;
        {
          py::gil_scoped_release release;
          estimate = estimate_collective(topology, plan);
        }
        return unwrap_compile(std::move(estimate));
      },
      arg("topology"), arg("plan"), "Horizons and lower bounds added up over the steps.");
  m.def(
      "compile_collective",
      [](const Topology& topology, const CollectivePlan& plan) {
        std::expected<std::vector<CompiledExchange>, CompileError> compiled;
        {
          py::gil_scoped_release release;
          compiled = compile_collective(topology, plan);
        }
        std::vector<CompiledExchange> steps = unwrap_compile(std::move(compiled));
        py::list out(steps.size());
        for (std::size_t i = 0; i < steps.size(); ++i) out[i] = py::cast(std::move(steps[i]));
        return out;
      },
      arg("topology"), arg("plan"), "Every step's exchange compiled, in step order.");
  m.def("explain_choice", &explain_choice, arg("plan"),
        "Why Auto chose what it chose, one line per candidate.");
  m.def(
      "replay_collective",
      [](const Topology& topology, const CollectivePlan& plan, const py::list& compiled,
         std::size_t limit) {
        std::vector<CompiledExchange> steps;
        steps.reserve(compiled.size());
        for (const py::handle step : compiled)
          steps.push_back(step.cast<const CompiledExchange&>());
        std::vector<ReplayIssue> issues;
        {
          py::gil_scoped_release release;
          issues = replay_collective(topology, plan, steps, limit);
        }
        return copies(issues);
      },
      arg("topology"), arg("plan"), arg("compiled"), arg("limit") = 20,
      "Runs the plan on symbolic tile memories; an empty list means every word lands where "
      "the layout says.");
}

}  // namespace

void bind_collectives(py::module_& m) {
  bind_enums(m);
  bind_request(m);
  bind_plan(m);
  bind_operations(m);
}

}  // namespace meshweave::python
