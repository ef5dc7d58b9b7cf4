// The extension module meshweave._meshweave; the package re-exports it.

#include "binding_support.hpp"

PYBIND11_MODULE(_meshweave, m) {
  namespace mp = meshweave::python;
  m.doc() = "Exchange code generation for the M1472 tile processor.";
  mp::bind_errors(m);
  mp::bind_instruction_words(m);
  mp::bind_topology(m);
  mp::bind_plans(m);
  mp::bind_host(m);
  mp::bind_disassembly(m);
  mp::bind_exchange(m);
  mp::bind_collectives(m);
  mp::bind_events(m);
  m.def("numpy_words", &mp::numpy_words,
        "Whether word sequences come back as numpy uint32 arrays (else as lists).");
  m.def("set_numpy_words", &mp::set_numpy_words, pybind11::arg("enabled"),
        "Return word sequences as numpy arrays (True, needs numpy) or as lists (False).");
}
