#pragma once

// Conversions shared by every part of the module: word sequences in and out,
// and the library's errors raised as the package's exception classes.

#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "meshweave/collectives/request.hpp"
#include "meshweave/disassembly/text.hpp"
#include "meshweave/exchange/compiler.hpp"
#include "meshweave/instruction_words/error.hpp"
#include "meshweave/instruction_words/refusal.hpp"
#include "meshweave/plans/plan.hpp"

namespace meshweave::python {

namespace py = pybind11;

// Words from any sequence of integers; a C-contiguous buffer of 32-bit
// unsigned integers (a numpy uint32 array, array('I')) is read without a loop
// over Python objects. Values that do not fit 32 bits raise OverflowError.
std::vector<std::uint32_t> words_from(py::handle sequence);
// Exactly nine words, for plan rows.
PlanRow row_from(py::handle sequence);

// Whether word sequences come back as numpy arrays (numpy importable and not
// switched off) or as lists.
bool numpy_words();
void set_numpy_words(bool enabled);

// A new uint32 array that owns `words` (no copy), or a list.
py::object words_to_python(std::vector<std::uint32_t>&& words);
// A read-only uint32 array over memory that `owner` keeps alive, or a list.
py::object words_view(std::span<const std::uint32_t> words, py::handle owner);
py::object row_to_python(const PlanRow& row);
// A read-only n x 9 view of consecutive rows owned by `owner`, or a list of lists.
py::object rows_view(std::span<const PlanRow> rows, py::handle owner);
py::object tiles_to_python(std::span<const std::uint16_t> tiles);

// Raise the package's exception for a library error, with the refusal's
// reason when there is one.
[[noreturn]] void raise_exchange_error(const ExchangeError& error,
                                       const std::optional<Refusal>& refusal = std::nullopt);
[[noreturn]] void raise_refusal(const Refusal& refusal);
[[noreturn]] void raise_compile_error(const CompileError& error);
[[noreturn]] void raise_collective_error(const CollectiveError& error);
[[noreturn]] void raise_assembly_error(const AssemblyError& error);
// The error as an exception object, not raised (the payload of CompileError).
py::object exchange_error_object(const ExchangeError& error,
                                 const std::optional<Refusal>& refusal = std::nullopt);
py::object compile_error_object(const CompileError& error);
// DescriptionError: a dict description that cannot be read, at `path`.
[[noreturn]] void raise_description_error(const std::string& path, const std::string& what);

template <class T>
T value_or_raise(Result<T>&& result) {
  if (!result) raise_exchange_error(result.error());
  return std::move(*result);
}
inline void value_or_raise(Status&& status) {
  if (!status) raise_exchange_error(status.error());
}
template <class T>
T value_or_raise(Explained<T>&& result) {
  if (!result) raise_refusal(result.error());
  return std::move(*result);
}
inline void value_or_raise(ExplainedStatus&& status) {
  if (!status) raise_refusal(status.error());
}

// Items of `items` as objects that refer into `owner` (no copies).
template <class T>
py::list references(const std::vector<T>& items, py::handle owner) {
  py::list out(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    out[i] = py::cast(&items[i], py::return_value_policy::reference_internal, owner);
  }
  return out;
}

template <class T>
py::list copies(const std::vector<T>& items) {
  py::list out(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) out[i] = py::cast(items[i]);
  return out;
}

// Equality from the C++ operator== and, for value types, a hash of `key`.
template <class Class>
void equality(Class& cls) {
  using T = typename Class::type;
  cls.def(
      "__eq__",
      [](const T& a, py::object b) -> py::object {
        if (!py::isinstance<T>(b)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
        return py::bool_(a == b.cast<const T&>());
      },
      py::is_operator());
}
template <class Class, class Key>
void equality_and_hash(Class& cls, Key key) {
  using T = typename Class::type;
  equality(cls);
  cls.def("__hash__", [key](const T& value) { return py::hash(key(value)); });
}

void bind_errors(py::module_& m);
void bind_instruction_words(py::module_& m);
void bind_topology(py::module_& m);
void bind_plans(py::module_& m);
void bind_host(py::module_& m);
void bind_disassembly(py::module_& m);
void bind_exchange(py::module_& m);
void bind_collectives(py::module_& m);
void bind_events(py::module_& m);

}  // namespace meshweave::python
