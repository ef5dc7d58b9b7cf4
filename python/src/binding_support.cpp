#include "binding_support.hpp"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "meshweave/exchange/compiler.hpp"

namespace meshweave::python {

namespace {

bool& numpy_enabled() {
  static bool enabled = [] {
    try {
      py::module_::import("numpy");
      return true;
    } catch (const py::error_already_set&) {
      return false;
    }
  }();
  return enabled;
}

// The exception classes live in meshweave._errors; looked up once and kept
// for the life of the process (never destroyed, so no GIL is needed at exit).
py::object error_class(const char* name) {
  static py::object* errors = new py::object(py::module_::import("meshweave._errors"));
  return errors->attr(name);
}

std::string_view reason_name(Reason reason) {
  static constexpr std::string_view names[] = {
#define MESHWEAVE_REASON_STRING(name, text) #name,
      MESHWEAVE_REFUSAL_REASONS(MESHWEAVE_REASON_STRING)
#undef MESHWEAVE_REASON_STRING
  };
  return names[static_cast<std::size_t>(reason)];
}

void mark_read_only(py::array& array) {
  py::detail::array_proxy(array.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
}

bool reads_as_words(const Py_buffer& view) {
  if (view.itemsize != 4 || view.ndim != 1 || view.format == nullptr) return false;
  const char* format = view.format;
  if (*format == '=' || *format == '<' || *format == '@') ++format;
  return std::strcmp(format, "I") == 0 || (std::strcmp(format, "L") == 0 && sizeof(long) == 4);
}

std::uint32_t word_from(py::handle item) {
  const py::int_ number = py::reinterpret_steal<py::int_>(PyNumber_Index(item.ptr()));
  if (!number) throw py::error_already_set();  // TypeError: not an integer
  int overflow = 0;
  const long long value = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
  if (overflow != 0 || value < 0 || value > std::numeric_limits<std::uint32_t>::max()) {
    throw py::value_error("word " + py::repr(number).cast<std::string>() +
                          " is not a 32-bit unsigned number");
  }
  return static_cast<std::uint32_t>(value);
}

[[noreturn]] void raise(py::handle cls, py::object instance) {
  PyErr_SetObject(cls.ptr(), instance.ptr());
  throw py::error_already_set();
}

py::object optional_index(const std::optional<std::size_t>& value) {
  return value ? py::object(py::int_(*value)) : py::object(py::none());
}

}  // namespace

std::vector<std::uint32_t> words_from(py::handle sequence) {
  if (PyObject_CheckBuffer(sequence.ptr()) != 0) {
    Py_buffer view;
    if (PyObject_GetBuffer(sequence.ptr(), &view, PyBUF_FORMAT | PyBUF_C_CONTIGUOUS) == 0) {
      const bool words = reads_as_words(view);
      std::vector<std::uint32_t> out;
      if (words) {
        out.resize(static_cast<std::size_t>(view.len) / 4);
        std::memcpy(out.data(), view.buf, out.size() * 4);
      }
      PyBuffer_Release(&view);
      if (words) return out;
    } else {
      PyErr_Clear();
    }
  }
  if (py::isinstance<py::str>(sequence) || !py::isinstance<py::sequence>(sequence)) {
    throw py::type_error("expected a sequence of 32-bit words");
  }
  const auto items = py::reinterpret_borrow<py::sequence>(sequence);
  std::vector<std::uint32_t> out;
  out.reserve(items.size());
  for (const py::handle item : items) out.push_back(word_from(item));
  return out;
}

PlanRow row_from(py::handle sequence) {
  const std::vector<std::uint32_t> words = words_from(sequence);
  if (words.size() != PLAN_ROW_WORDS) {
    throw py::value_error("a plan row has 9 words, not " + std::to_string(words.size()));
  }
  PlanRow row{};
  std::copy(words.begin(), words.end(), row.begin());
  return row;
}

bool numpy_words() { return numpy_enabled(); }

void set_numpy_words(bool enabled) {
  if (enabled) py::module_::import("numpy");  // raises when numpy is missing
  numpy_enabled() = enabled;
}

py::object words_to_python(std::vector<std::uint32_t>&& words) {
  if (!numpy_enabled()) return py::cast(words);
  auto* owned = new std::vector<std::uint32_t>(std::move(words));
  py::capsule owner(
      owned, [](void* pointer) { delete static_cast<std::vector<std::uint32_t>*>(pointer); });
  return py::array_t<std::uint32_t>(static_cast<py::ssize_t>(owned->size()), owned->data(), owner);
}

py::object words_view(std::span<const std::uint32_t> words, py::handle owner) {
  if (!numpy_enabled()) return py::cast(std::vector<std::uint32_t>(words.begin(), words.end()));
  py::array array =
      py::array_t<std::uint32_t>(static_cast<py::ssize_t>(words.size()), words.data(), owner);
  mark_read_only(array);
  return array;
}

py::object row_to_python(const PlanRow& row) {
  return words_to_python(std::vector<std::uint32_t>(row.begin(), row.end()));
}

py::object rows_view(std::span<const PlanRow> rows, py::handle owner) {
  if (!numpy_enabled()) {
    py::list out(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      out[i] = py::cast(std::vector<std::uint32_t>(rows[i].begin(), rows[i].end()));
    }
    return out;
  }
  const auto row_bytes = static_cast<py::ssize_t>(sizeof(PlanRow));
  py::array array = py::array_t<std::uint32_t>(
      {static_cast<py::ssize_t>(rows.size()), static_cast<py::ssize_t>(PLAN_ROW_WORDS)},
      {row_bytes, static_cast<py::ssize_t>(sizeof(std::uint32_t))},
      rows.empty() ? nullptr : rows.front().data(), owner);
  mark_read_only(array);
  return array;
}

py::object tiles_to_python(std::span<const std::uint16_t> tiles) {
  py::list out(tiles.size());
  for (std::size_t i = 0; i < tiles.size(); ++i) out[i] = py::int_(tiles[i]);
  return out;
}

py::object exchange_error_object(const ExchangeError& error,
                                 const std::optional<Refusal>& refusal) {
  const py::dict kinds = error_class("EXCHANGE_ERROR_KINDS").cast<py::dict>();
  const py::object cls = kinds[py::str(std::string(kind_name(error.kind())))];
  py::dict payload;
  payload["tile"] = error.tile_value();
  payload["count"] = error.count_value();
  payload["message"] = std::string(error.message());
  payload["cycles"] = error.cycles();
  payload["maximum"] = error.maximum();
  payload["address"] = error.address_value();
  if (refusal && refusal->reason != Reason::unexplained) {
    payload["reason"] = std::string(reason_name(refusal->reason));
    payload["argument"] = std::string(argument_name(refusal->argument));
    payload["explanation"] = explain(*refusal);
  }
  return cls(to_string(error), **payload);
}

void raise_exchange_error(const ExchangeError& error, const std::optional<Refusal>& refusal) {
  py::object instance = exchange_error_object(error, refusal);
  const py::handle cls = instance.get_type();
  raise(cls, std::move(instance));
}

void raise_refusal(const Refusal& refusal) { raise_exchange_error(refusal.error, refusal); }

py::object compile_error_object(const CompileError& error) {
  py::dict fields;
  fields["kind"] = std::string{kind_name(error.kind)};
  fields["error"] = error.kind == CompileError::Kind::Library
                        ? exchange_error_object(error.error, error.refusal)
                        : py::object(py::none());
  fields["phase"] = error.phase;
  fields["transfer"] = optional_index(error.transfer);
  fields["tile"] = error.tile ? py::object(py::int_(*error.tile)) : py::object(py::none());
  fields["other_transfer"] = optional_index(error.other_transfer);
  fields["scheduled"] = error.scheduled;
  fields["explanation"] = explain(error);
  return error_class("CompileError")(to_string(error), **fields);
}

void raise_compile_error(const CompileError& error) {
  raise(error_class("CompileError"), compile_error_object(error));
}

void raise_collective_error(const CollectiveError& error) {
  py::dict fields;
  fields["kind"] = std::string{kind_name(error.kind)};
  fields["message"] = error.message;
  fields["compile"] = error.compile ? compile_error_object(*error.compile) : py::object(py::none());
  raise(error_class("CollectiveError"), error_class("CollectiveError")(to_string(error), **fields));
}

void raise_assembly_error(const AssemblyError& error) {
  py::dict fields;
  fields["line"] = error.line;
  fields["column"] = error.column;
  fields["reason"] = error.reason;
  raise(error_class("AssemblyError"), error_class("AssemblyError")(to_string(error), **fields));
}

void raise_description_error(const std::string& path, const std::string& what) {
  py::dict fields;
  fields["path"] = path;
  raise(error_class("DescriptionError"),
        error_class("DescriptionError")(path.empty() ? what : path + ": " + what, **fields));
}

}  // namespace meshweave::python
