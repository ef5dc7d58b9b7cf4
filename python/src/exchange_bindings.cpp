// Exchange descriptions, compile, schedule, estimate and verify.

#include <pybind11/stl.h>

#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "binding_support.hpp"
#include "description_conversion.hpp"
#include "meshweave/exchange/batch_compiler.hpp"
#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/description.hpp"
#include "meshweave/exchange/schedule.hpp"
#include "meshweave/exchange/tile_conflicts.hpp"
#include "meshweave/exchange/verifier.hpp"

namespace meshweave::python {

namespace {

// The one place that reads a timing's arrival cycles.
std::span<const std::uint32_t> arrival_cycles_of(const CompiledExchange& compiled,
                                                 const TransferTiming& timing) {
  return arrival_cycles(compiled, timing);
}

template <class T>
T unwrap(std::expected<T, CompileError>&& result) {
  if (!result) raise_compile_error(result.error());
  return std::move(*result);
}

std::string list_text(const std::vector<std::uint32_t>& values) {
  std::string out = "[";
  for (std::size_t i = 0; i < values.size(); ++i) {
    out += (i == 0 ? "" : ", ") + std::to_string(values[i]);
  }
  return out + "]";
}

py::object transfer_to_python(const Transfer& transfer) {
  return std::visit([](const auto& value) { return py::cast(value); }, transfer);
}

void bind_descriptions(py::module_& m) {
  using py::arg;
  py::class_<PointToPointTransfer> point(
      m, "PointToPointTransfer",
      "One sender moves `count` words from `source_address` to one receiver's "
      "`destination_address` (logical tiles, tile-memory bytes).");
  point
      .def(py::init([](std::uint16_t sender, std::uint16_t receiver, std::uint32_t count,
                       std::uint32_t source_address, std::uint32_t destination_address) {
             return PointToPointTransfer{sender, receiver, count, source_address,
                                         destination_address};
           }),
           arg("sender"), arg("receiver"), arg("count"), arg("source_address"),
           arg("destination_address"))
      .def_readonly("sender", &PointToPointTransfer::sender)
      .def_readonly("receiver", &PointToPointTransfer::receiver)
      .def_readonly("count", &PointToPointTransfer::count)
      .def_readonly("source_address", &PointToPointTransfer::source_address)
      .def_readonly("destination_address", &PointToPointTransfer::destination_address)
      .def("__repr__", [](const PointToPointTransfer& t) {
        return "PointToPointTransfer(sender=" + std::to_string(t.sender) +
               ", receiver=" + std::to_string(t.receiver) + ", count=" + std::to_string(t.count) +
               ", source_address=" + std::to_string(t.source_address) +
               ", destination_address=" + std::to_string(t.destination_address) + ")";
      });
  equality_and_hash(point, [](const PointToPointTransfer& t) {
    return py::make_tuple(t.sender, t.receiver, t.count, t.source_address, t.destination_address);
  });

  py::class_<MulticastTransfer> multicast(
      m, "MulticastTransfer",
      "One sender moves `count` words to several receivers; `destination_addresses` holds one "
      "address per receiver or a single shared one.");
  multicast
      .def(py::init([](std::uint16_t sender, std::vector<std::uint16_t> receivers,
                       std::uint32_t count, std::uint32_t source_address,
                       std::vector<std::uint32_t> destination_addresses) {
             return MulticastTransfer{sender, std::move(receivers), count, source_address,
                                      std::move(destination_addresses)};
           }),
           arg("sender"), arg("receivers"), arg("count"), arg("source_address"),
           arg("destination_addresses"))
      .def_readonly("sender", &MulticastTransfer::sender)
      .def_property_readonly(
          "receivers", [](const MulticastTransfer& t) { return tiles_to_python(t.receivers); })
      .def_readonly("count", &MulticastTransfer::count)
      .def_readonly("source_address", &MulticastTransfer::source_address)
      .def_property_readonly(
          "destination_addresses",
          [](const MulticastTransfer& t) { return py::cast(t.destination_addresses); })
      .def("__repr__", [](const MulticastTransfer& t) {
        std::vector<std::uint32_t> receivers(t.receivers.begin(), t.receivers.end());
        return "MulticastTransfer(sender=" + std::to_string(t.sender) +
               ", receivers=" + list_text(receivers) + ", count=" + std::to_string(t.count) +
               ", source_address=" + std::to_string(t.source_address) +
               ", destination_addresses=" + list_text(t.destination_addresses) + ")";
      });
  equality_and_hash(multicast, [](const MulticastTransfer& t) {
    return py::make_tuple(t.sender, py::tuple(py::cast(t.receivers)), t.count, t.source_address,
                          py::tuple(py::cast(t.destination_addresses)));
  });

  py::class_<Phase> phase(m, "Phase", "Transfers that start together.");
  phase
      .def(py::init([](std::vector<Transfer> transfers) { return Phase{std::move(transfers)}; }),
           arg("transfers"))
      .def_property_readonly("transfers",
                             [](const Phase& self) {
                               py::list out;
                               for (const Transfer& t : self.transfers)
                                 out.append(transfer_to_python(t));
                               return out;
                             })
      .def("__repr__", [](const Phase& self) {
        return "Phase(" + std::to_string(self.transfers.size()) + " transfers)";
      });
  equality(phase);

  py::class_<ScheduledTransfer> scheduled(
      m, "ScheduledTransfer",
      "A transfer of the transfers form; it follows the transfers listed in `after` (indices).");
  scheduled
      .def(py::init([](Transfer transfer, std::vector<std::size_t> after) {
             return ScheduledTransfer{std::move(transfer), std::move(after)};
           }),
           arg("transfer"), arg("after") = std::vector<std::size_t>{})
      .def_property_readonly(
          "transfer",
          [](const ScheduledTransfer& self) { return transfer_to_python(self.transfer); })
      .def_property_readonly("after",
                             [](const ScheduledTransfer& self) { return py::cast(self.after); })
      .def("__repr__", [](const ScheduledTransfer& self) {
        return "ScheduledTransfer(" +
               py::repr(transfer_to_python(self.transfer)).cast<std::string>() +
               ", after=" + py::repr(py::cast(self.after)).cast<std::string>() + ")";
      });
  equality(scheduled);

  py::class_<ExchangeDescription> description(
      m, "ExchangeDescription",
      "The exchanges of a program: `phases` (run one after the other) or `transfers` (the "
      "transfers form, scheduled by the library), not both. Functions that take a description "
      "also take a dict in the shape of the JSON exchange format.");
  description
      .def(py::init([](std::vector<Phase> phases, std::vector<ScheduledTransfer> transfers) {
             return ExchangeDescription{std::move(phases), std::move(transfers)};
           }),
           arg("phases") = std::vector<Phase>{},
           arg("transfers") = std::vector<ScheduledTransfer>{})
      .def_static("from_dict", &description_from_dict, arg("description"),
                  "The description a dict in the JSON format stands for (as json.load gives it).")
      .def_property_readonly("phases",
                             [](py::object self) {
                               return references(self.cast<const ExchangeDescription&>().phases,
                                                 self);
                             })
      .def_property_readonly("transfers",
                             [](py::object self) {
                               return references(self.cast<const ExchangeDescription&>().transfers,
                                                 self);
                             })
      .def("__repr__", [](const ExchangeDescription& self) {
        return "ExchangeDescription(phases=" + std::to_string(self.phases.size()) +
               ", transfers=" + std::to_string(self.transfers.size()) + ")";
      });
  equality(description);

  m.def(
      "to_transfers_form",
      [](py::handle value) {
        std::optional<ExchangeDescription> storage;
        return to_transfers_form(description_from(value, storage));
      },
      arg("description"), "The transfers of all phases in phase order, without the barriers.");
}

void bind_options(py::module_& m) {
  using py::arg;
  py::class_<CompileOptions>(m, "CompileOptions", "Options of compile_exchange.")
      .def(py::init([](bool idle_programs) { return CompileOptions{idle_programs}; }),
           arg("idle_programs") = false)
      .def_readonly("idle_programs", &CompileOptions::idle_programs,
                    "Give every tile that takes no part an idle program too.")
      .def("__repr__", [](const CompileOptions& self) {
        return std::string("CompileOptions(idle_programs=") +
               (self.idle_programs ? "True" : "False") + ")";
      });
  py::class_<ScheduleOptions>(m, "ScheduleOptions", "Transforms the scheduler applies.")
      .def(py::init([](bool split_long_transfers, bool merge_into_multicasts) {
             return ScheduleOptions{split_long_transfers, merge_into_multicasts};
           }),
           arg("split_long_transfers") = true, arg("merge_into_multicasts") = true)
      .def_readonly("split_long_transfers", &ScheduleOptions::split_long_transfers)
      .def_readonly("merge_into_multicasts", &ScheduleOptions::merge_into_multicasts)
      .def("__repr__", [](const ScheduleOptions& self) {
        return std::string("ScheduleOptions(split_long_transfers=") +
               (self.split_long_transfers ? "True" : "False") +
               ", merge_into_multicasts=" + (self.merge_into_multicasts ? "True" : "False") + ")";
      });
}

void bind_results(py::module_& m) {
  m.attr("TILE_MEMORY_BYTES") = TILE_MEMORY_BYTES;
  py::class_<TileProgram> program(m, "TileProgram", "One tile's finished exchange program.");
  program.def_readonly("logical", &TileProgram::logical)
      .def_readonly("physical", &TileProgram::physical)
      .def_property_readonly(
          "words",
          [](py::object self) { return words_view(self.cast<const TileProgram&>().words, self); },
          "The program's words (a read-only view).")
      .def("__repr__", [](const TileProgram& self) {
        return "TileProgram(logical=" + std::to_string(self.logical) +
               ", physical=" + std::to_string(self.physical) +
               ", words=" + std::to_string(self.words.size()) + " words)";
      });
  equality_and_hash(program, [](const TileProgram& self) {
    return py::make_tuple(self.logical, self.physical, py::tuple(py::cast(self.words)));
  });

  py::class_<TransferTiming> timing_class(
      m, "TransferTiming",
      "When a transfer happens on the shared timeline; its receivers' arrival cycles come from "
      "CompiledExchange.arrival_cycles(timing).");
  timing_class.def_readonly("phase", &TransferTiming::phase)
      .def_readonly("transfer", &TransferTiming::transfer)
      .def_readonly("phase_start", &TransferTiming::phase_start)
      .def_readonly("send_cycle", &TransferTiming::send_cycle)
      .def_readonly("start", &TransferTiming::start)
      .def_readonly("word_offset", &TransferTiming::word_offset)
      .def_readonly("count", &TransferTiming::count)
      .def("__repr__", [](const TransferTiming& self) {
        return "TransferTiming(phase=" + std::to_string(self.phase) +
               ", transfer=" + std::to_string(self.transfer) +
               ", send_cycle=" + std::to_string(self.send_cycle) +
               ", start=" + std::to_string(self.start) + ", count=" + std::to_string(self.count) +
               ")";
      });
  equality(timing_class);

  py::class_<CompiledExchange> compiled(
      m, "CompiledExchange", "Every tile's program and every transfer's timing. Read-only.");
  compiled.def_readonly("horizon", &CompiledExchange::horizon, "Cycle at which every program ends.")
      .def_property_readonly("phase_starts",
                             [](py::object self) {
                               return words_view(self.cast<const CompiledExchange&>().phase_starts,
                                                 self);
                             })
      .def_property_readonly("phase_ends",
                             [](py::object self) {
                               return words_view(self.cast<const CompiledExchange&>().phase_ends,
                                                 self);
                             })
      .def_property_readonly(
          "programs",
          [](py::object self) {
            return references(self.cast<const CompiledExchange&>().programs, self);
          },
          "Programs ordered by logical tile.")
      .def_property_readonly(
          "timings",
          [](py::object self) {
            return references(self.cast<const CompiledExchange&>().timings, self);
          },
          "One timing per transfer (or piece), in program order.")
      .def(
          "program",
          [](const CompiledExchange& self, std::uint16_t logical) { return self.program(logical); },
          py::arg("logical"), py::return_value_policy::reference_internal,
          "The program of `logical`, or None.")
      .def(
          "arrival_cycles",
          [](py::object self, const TransferTiming& timing) {
            const auto& exchange = self.cast<const CompiledExchange&>();
            const std::span<const TransferTiming> owned(exchange.timings);
            if (owned.empty() || &timing < owned.data() || &timing >= owned.data() + owned.size()) {
              throw py::value_error("the timing is not one of this exchange's timings");
            }
            return words_view(arrival_cycles_of(exchange, timing), self);
          },
          py::arg("timing"),
          "Cycle at which each receiver's first XPIC ends: send_cycle + time_to_mux + 1.")
      .def("__repr__", [](const CompiledExchange& self) {
        return "CompiledExchange(horizon=" + std::to_string(self.horizon) +
               ", programs=" + std::to_string(self.programs.size()) +
               ", timings=" + std::to_string(self.timings.size()) + ")";
      });
  equality(compiled);

  py::class_<ScheduledPiece> piece(m, "ScheduledPiece", "One transfer (or piece) as placed.");
  piece.def_readonly("transfer", &ScheduledPiece::transfer)
      .def_readonly("word_offset", &ScheduledPiece::word_offset)
      .def_readonly("count", &ScheduledPiece::count)
      .def_readonly("start", &ScheduledPiece::start)
      .def_property_readonly("merged",
                             [](const ScheduledPiece& self) { return py::cast(self.merged); })
      .def("__repr__", [](const ScheduledPiece& self) {
        return "ScheduledPiece(transfer=" + std::to_string(self.transfer) +
               ", word_offset=" + std::to_string(self.word_offset) +
               ", count=" + std::to_string(self.count) + ", start=" + std::to_string(self.start) +
               ")";
      });
  equality(piece);

  py::class_<ExchangeSchedule> schedule(m, "ExchangeSchedule", "Where every transfer runs.");
  schedule.def_readonly("horizon", &ExchangeSchedule::horizon)
      .def_property_readonly("pieces",
                             [](py::object self) {
                               return references(self.cast<const ExchangeSchedule&>().pieces, self);
                             })
      .def_readonly("phase_layout", &ExchangeSchedule::phase_layout)
      .def("__repr__", [](const ExchangeSchedule& self) {
        return "ExchangeSchedule(horizon=" + std::to_string(self.horizon) +
               ", pieces=" + std::to_string(self.pieces.size()) + ")";
      });
  equality(schedule);

  py::class_<TileEstimate> tile(m, "TileEstimate", "One tile's share of an estimate.");
  tile.def_readonly("logical", &TileEstimate::logical)
      .def_readonly("busy_cycles", &TileEstimate::busy_cycles)
      .def_readonly("program_words", &TileEstimate::program_words)
      .def("__repr__", [](const TileEstimate& self) {
        return "TileEstimate(logical=" + std::to_string(self.logical) +
               ", busy_cycles=" + std::to_string(self.busy_cycles) +
               ", program_words=" + std::to_string(self.program_words) + ")";
      });
  equality(tile);

  py::class_<ExchangeEstimate> estimate(m, "ExchangeEstimate",
                                        "What compiling would give, without building programs.");
  estimate.def_readonly("horizon", &ExchangeEstimate::horizon)
      .def_readonly("lower_bound", &ExchangeEstimate::lower_bound)
      .def_property_readonly("tiles",
                             [](py::object self) {
                               return references(self.cast<const ExchangeEstimate&>().tiles, self);
                             })
      .def("__repr__", [](const ExchangeEstimate& self) {
        return "ExchangeEstimate(horizon=" + std::to_string(self.horizon) +
               ", lower_bound=" + std::to_string(self.lower_bound) +
               ", tiles=" + std::to_string(self.tiles.size()) + ")";
      });
  equality(estimate);

  py::class_<TileConflict> conflict(m, "TileConflict",
                                    "A tile that takes part in two transfers of one phase.");
  conflict.def_readonly("phase", &TileConflict::phase)
      .def_readonly("transfer", &TileConflict::transfer)
      .def_readonly("other_transfer", &TileConflict::other_transfer)
      .def_readonly("tile", &TileConflict::tile)
      .def("__repr__", [](const TileConflict& self) {
        return "TileConflict(phase=" + std::to_string(self.phase) +
               ", transfer=" + std::to_string(self.transfer) +
               ", other_transfer=" + std::to_string(self.other_transfer) +
               ", tile=" + std::to_string(self.tile) + ")";
      });
  equality(conflict);
  py::class_<TileConflicts>(m, "TileConflicts", "The first conflicts and the count of all.")
      .def_property_readonly(
          "first",
          [](py::object self) { return references(self.cast<const TileConflicts&>().first, self); })
      .def_readonly("total", &TileConflicts::total);

  py::class_<VerifyIssue> issue(m, "VerifyIssue",
                                "One mismatch between a compiled program and its description.");
  issue.def_readonly("tile", &VerifyIssue::tile)
      .def_readonly("word", &VerifyIssue::word)
      .def_readonly("check", &VerifyIssue::check)
      .def_readonly("expected", &VerifyIssue::expected)
      .def_readonly("found", &VerifyIssue::found)
      .def("__str__", [](const VerifyIssue& self) { return to_string(self); })
      .def("__repr__",
           [](const VerifyIssue& self) { return "VerifyIssue(" + to_string(self) + ")"; });
  equality(issue);
}

void bind_operations(py::module_& m) {
  using py::arg;
  m.def(
      "compile_exchange",
      [](const Topology& topology, py::handle value, const CompileOptions& options,
         const ScheduleOptions& schedule_options) {
        std::optional<ExchangeDescription> storage;
        const ExchangeDescription& description = description_from(value, storage);
        std::expected<CompiledExchange, CompileError> result;
        {
          py::gil_scoped_release release;
          result = compile_exchange(topology, description, options, schedule_options);
        }
        return unwrap(std::move(result));
      },
      arg("topology"), arg("description"), arg("options") = CompileOptions{},
      arg("schedule_options") = ScheduleOptions{},
      "Plans, patches and merges every transfer into one program per tile, all ending on one "
      "horizon; a transfers form is scheduled first. Raises CompileError.");
  m.def(
      "compile_exchange",
      [](const Topology& topology, py::handle value, const ExchangeSchedule& schedule,
         const CompileOptions& options) {
        std::optional<ExchangeDescription> storage;
        const ExchangeDescription& description = description_from(value, storage);
        std::expected<CompiledExchange, CompileError> result;
        {
          py::gil_scoped_release release;
          result = compile_exchange(topology, description, schedule, options);
        }
        return unwrap(std::move(result));
      },
      arg("topology"), arg("description"), arg("schedule"), arg("options") = CompileOptions{},
      "The programs of a schedule of `description`.");
  m.def(
      "compile_exchanges",
      [](const Topology& topology, const py::iterable& values, unsigned threads,
         const CompileOptions& options, const ScheduleOptions& schedule_options) {
        std::vector<ExchangeDescription> descriptions;
        for (const py::handle value : values) {
          std::optional<ExchangeDescription> storage;
          descriptions.push_back(description_from(value, storage));
        }
        std::vector<std::expected<CompiledExchange, CompileError>> results;
        {
          py::gil_scoped_release release;
          results = compile_exchanges(topology, descriptions, threads, options, schedule_options);
        }
        py::list out;
        for (auto& result : results) {
          out.append(result ? py::cast(std::move(*result)) : compile_error_object(result.error()));
        }
        return out;
      },
      arg("topology"), arg("descriptions"), arg("threads") = 0u, arg("options") = CompileOptions{},
      arg("schedule_options") = ScheduleOptions{},
      "Compiles every description on `threads` threads (0: one per core), without the GIL. "
      "Returns one entry per description, in order: its CompiledExchange, or the CompileError "
      "(not raised) that compiling it gave.");
  m.def(
      "schedule_exchange",
      [](const Topology& topology, py::handle value, const ScheduleOptions& options) {
        std::optional<ExchangeDescription> storage;
        const ExchangeDescription& description = description_from(value, storage);
        std::expected<ExchangeSchedule, CompileError> result;
        {
          py::gil_scoped_release release;
          result = schedule_exchange(topology, description, options);
        }
        return unwrap(std::move(result));
      },
      arg("topology"), arg("description"), arg("options") = ScheduleOptions{},
      "Places every transfer (either form) on the shared timeline.");
  m.def(
      "estimate_exchange",
      [](const Topology& topology, py::handle value, const CompileOptions& options,
         const ScheduleOptions& schedule_options) {
        std::optional<ExchangeDescription> storage;
        const ExchangeDescription& description = description_from(value, storage);
        std::expected<ExchangeEstimate, CompileError> result;
        {
          py::gil_scoped_release release;
          result = estimate_exchange(topology, description, options, schedule_options);
        }
        return unwrap(std::move(result));
      },
      arg("topology"), arg("description"), arg("options") = CompileOptions{},
      arg("schedule_options") = ScheduleOptions{},
      "What compiling would give (horizon, lower bound, busy tiles), without building programs.");
  m.def(
      "check_form",
      [](py::handle value) {
        std::optional<ExchangeDescription> storage;
        const std::expected<void, CompileError> checked =
            check_form(description_from(value, storage));
        if (!checked) raise_compile_error(checked.error());
      },
      arg("description"),
      "Raises CompileError for both forms at once, or `after` lists that name no transfer or "
      "wait in a cycle.");
  m.def(
      "find_tile_conflicts",
      [](py::handle value, std::size_t limit) {
        std::optional<ExchangeDescription> storage;
        return find_tile_conflicts(description_from(value, storage), limit);
      },
      arg("description"), arg("limit") = 20,
      "Every tile that takes part in two transfers of one phase (the first `limit` kept).");
  m.def(
      "verify_exchange",
      [](const Topology& topology, py::handle value, const CompiledExchange& compiled) {
        std::optional<ExchangeDescription> storage;
        const ExchangeDescription& description = description_from(value, storage);
        std::vector<VerifyIssue> issues;
        {
          py::gil_scoped_release release;
          issues = verify_exchange(topology, description, compiled);
        }
        return copies(issues);
      },
      arg("topology"), arg("description"), arg("compiled"),
      "Replays every program and checks it against the description; an empty list means right.");
}

}  // namespace

void bind_exchange(py::module_& m) {
  bind_descriptions(m);
  bind_options(m);
  bind_results(m);
  bind_operations(m);
}

}  // namespace meshweave::python
