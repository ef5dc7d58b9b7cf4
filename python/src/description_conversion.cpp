#include "description_conversion.hpp"

#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace meshweave::python {

namespace {

// Where a value sits, built into text only when something is wrong there.
struct Path {
  const Path* parent = nullptr;
  const char* key = nullptr;
  std::size_t index = 0;

  std::string text() const {
    std::string out = parent != nullptr ? parent->text() : std::string();
    if (key != nullptr) {
      if (!out.empty()) out += '.';
      out += key;
    } else if (parent != nullptr) {
      out += '[' + std::to_string(index) + ']';
    }
    return out;
  }
  Path at(const char* name) const { return Path{this, name, 0}; }
  Path item(std::size_t i) const { return Path{this, nullptr, i}; }
};

[[noreturn]] void fail(const Path& path, const std::string& what) {
  raise_description_error(path.text(), what);
}

std::string type_name(py::handle value) {
  if (value.is_none()) return "None";
  if (py::isinstance<py::bool_>(value)) return "a bool";
  if (py::isinstance<py::int_>(value)) return "an integer";
  if (py::isinstance<py::str>(value)) return "a string";
  if (py::isinstance<py::dict>(value)) return "an object";
  if (py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value)) return "an array";
  return "a " + py::str(py::type::handle_of(value).attr("__name__")).cast<std::string>();
}

std::uint64_t integer(py::handle value, const Path& path, std::uint64_t maximum, const char* what) {
  if (!PyLong_Check(value.ptr()) || PyBool_Check(value.ptr())) {
    fail(path, "expected an integer, found " + type_name(value));
  }
  int overflow = 0;
  const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
  if (overflow < 0 || (overflow == 0 && number < 0)) {
    fail(path, std::string(what) + " " + py::str(value).cast<std::string>() + " is negative");
  }
  if (overflow > 0 || static_cast<std::uint64_t>(number) > maximum) {
    fail(path, std::string(what) + " " + py::str(value).cast<std::string>() + " does not fit " +
                   std::to_string(maximum));
  }
  return static_cast<std::uint64_t>(number);
}

std::uint16_t tile(py::handle value, const Path& path) {
  return static_cast<std::uint16_t>(
      integer(value, path, std::numeric_limits<std::uint16_t>::max(), "tile"));
}

std::uint32_t address(py::handle value, const Path& path) {
  if (PyUnicode_Check(value.ptr())) {
    const std::string text = py::str(value).cast<std::string>();
    std::size_t used = 0;
    unsigned long long number = 0;
    bool good = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
                text.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos;
    if (good) {
      try {
        number = std::stoull(text.substr(2), &used, 16);
      } catch (const std::out_of_range&) {
        good = false;
      }
    }
    if (!good || number > std::numeric_limits<std::uint32_t>::max()) {
      fail(path, "address \"" + text.substr(0, 80) + "\" is not a 32-bit 0x-hexadecimal number");
    }
    return static_cast<std::uint32_t>(number);
  }
  return static_cast<std::uint32_t>(
      integer(value, path, std::numeric_limits<std::uint32_t>::max(), "address"));
}

py::list array(py::handle value, const Path& path) {
  if (!PyList_Check(value.ptr()) && !PyTuple_Check(value.ptr())) {
    fail(path, "expected an array, found " + type_name(value));
  }
  return py::list(py::reinterpret_borrow<py::object>(value));
}

py::dict object(py::handle value, const Path& path) {
  if (!PyDict_Check(value.ptr())) fail(path, "expected an object, found " + type_name(value));
  return py::reinterpret_borrow<py::dict>(value);
}

// Interned keys, looked up without building a string per lookup.
PyObject* key(const char* name) {
  static std::unordered_map<std::string, PyObject*>* interned =
      new std::unordered_map<std::string, PyObject*>();
  auto [at, added] = interned->emplace(name, nullptr);
  if (added) at->second = PyUnicode_InternFromString(name);
  return at->second;
}

PyObject* lookup(const py::dict& entry, PyObject* name) {
  return PyDict_GetItem(entry.ptr(), name);
}

// `present` known keys were found; any other key is refused.
void check_keys(const py::dict& entry, const Path& path, std::size_t present,
                std::initializer_list<const char*> known, const char* expected) {
  if (static_cast<std::size_t>(PyDict_Size(entry.ptr())) == present) return;
  for (const auto& [name_object, unused] : entry) {
    const std::string name = py::str(name_object).cast<std::string>();
    bool found = false;
    for (const char* allowed : known) found = found || name == allowed;
    if (!found) {
      raise_description_error(path.text() + "." + name.substr(0, 80),
                              std::string("unknown key (expected ") + expected + ")");
    }
  }
}

py::handle required(PyObject* value, const char* name, const Path& path) {
  if (value == nullptr) fail(path, std::string("missing \"") + name + "\"");
  return value;
}

Transfer transfer_from(py::handle value, const Path& path, bool scheduled) {
  const py::dict entry = object(value, path);
  PyObject* const from_value = lookup(entry, key("from"));
  PyObject* const to_value = lookup(entry, key("to"));
  PyObject* const words_value = lookup(entry, key("words"));
  PyObject* const source_value = lookup(entry, key("source"));
  PyObject* const destination_value = lookup(entry, key("destination"));
  const auto found = [](PyObject* item) -> std::size_t { return item != nullptr ? 1 : 0; };
  std::size_t present = found(from_value) + found(to_value) + found(words_value) +
                        found(source_value) + found(destination_value);
  if (scheduled) {
    present += found(lookup(entry, key("id"))) + found(lookup(entry, key("after")));
    check_keys(entry, path, present,
               {"from", "to", "words", "source", "destination", "id", "after"},
               "from, to, words, source, destination, id, after");
  } else {
    check_keys(entry, path, present, {"from", "to", "words", "source", "destination"},
               "from, to, words, source, destination");
  }
  const std::uint16_t sender = tile(required(from_value, "from", path), path.at("from"));
  const py::handle to = required(to_value, "to", path);
  const auto count =
      static_cast<std::uint32_t>(integer(required(words_value, "words", path), path.at("words"),
                                         std::numeric_limits<std::uint32_t>::max(), "word count"));
  const std::uint32_t source = address(required(source_value, "source", path), path.at("source"));
  const py::handle destination = required(destination_value, "destination", path);
  if (PyLong_Check(to.ptr()) || PyBool_Check(to.ptr())) {
    if (PyList_Check(destination.ptr()) || PyTuple_Check(destination.ptr())) {
      fail(path.at("destination"), "a point-to-point transfer has one destination address");
    }
    return PointToPointTransfer{sender, tile(to, path.at("to")), count, source,
                                address(destination, path.at("destination"))};
  }
  MulticastTransfer multicast{sender, {}, count, source, {}};
  const Path to_path = path.at("to");
  const py::list receivers = array(to, to_path);
  if (receivers.empty()) fail(to_path, "a multicast needs at least one receiver");
  multicast.receivers.reserve(receivers.size());
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    multicast.receivers.push_back(tile(receivers[i], to_path.item(i)));
  }
  const Path destination_path = path.at("destination");
  if (PyList_Check(destination.ptr()) || PyTuple_Check(destination.ptr())) {
    const py::list addresses = array(destination, destination_path);
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      multicast.destination_addresses.push_back(address(addresses[i], destination_path.item(i)));
    }
  } else {
    multicast.destination_addresses.push_back(address(destination, destination_path));
  }
  return multicast;
}

std::vector<Phase> phases_from(py::handle value, const Path& path) {
  const py::list phases = array(value, path);
  std::vector<Phase> out(phases.size());
  for (std::size_t k = 0; k < phases.size(); ++k) {
    const Path phase_path = path.item(k);
    const py::dict phase = object(phases[k], phase_path);
    PyObject* const transfers_value = lookup(phase, key("transfers"));
    check_keys(phase, phase_path, std::size_t{transfers_value != nullptr}, {"transfers"},
               "transfers");
    const Path transfers_path = phase_path.at("transfers");
    const py::list transfers =
        array(required(transfers_value, "transfers", phase_path), transfers_path);
    out[k].transfers.reserve(transfers.size());
    for (std::size_t t = 0; t < transfers.size(); ++t) {
      out[k].transfers.push_back(transfer_from(transfers[t], transfers_path.item(t), false));
    }
  }
  return out;
}

std::vector<ScheduledTransfer> transfers_from(py::handle value, const Path& path) {
  const py::list transfers = array(value, path);
  std::vector<ScheduledTransfer> out;
  out.reserve(transfers.size());
  std::unordered_map<std::string, std::size_t> ids;
  for (std::size_t t = 0; t < transfers.size(); ++t) {
    const Path item = path.item(t);
    out.push_back(ScheduledTransfer{transfer_from(transfers[t], item, true), {}});
    PyObject* id = PyDict_GetItem(transfers[t].ptr(), key("id"));
    if (id == nullptr) continue;
    if (!PyUnicode_Check(id)) fail(item.at("id"), "expected a string, found " + type_name(id));
    const std::string name = py::str(id).cast<std::string>();
    const auto [at, added] = ids.emplace(name, t);
    if (!added) {
      fail(item.at("id"), "duplicate id \"" + name.substr(0, 80) + "\" (also transfers[" +
                              std::to_string(at->second) + "])");
    }
  }
  for (std::size_t t = 0; t < transfers.size(); ++t) {
    PyObject* after = PyDict_GetItem(transfers[t].ptr(), key("after"));
    if (after == nullptr) continue;
    const Path item = path.item(t);
    const Path after_path = item.at("after");
    const py::list names = array(after, after_path);
    for (std::size_t i = 0; i < names.size(); ++i) {
      const py::handle name = names[i];
      if (!PyUnicode_Check(name.ptr())) {
        fail(after_path.item(i), "expected an id (a string), found " + type_name(name));
      }
      const std::string text = py::str(name).cast<std::string>();
      const auto found = ids.find(text);
      if (found == ids.end()) fail(after_path.item(i), "unknown id \"" + text.substr(0, 80) + "\"");
      out[t].after.push_back(found->second);
    }
  }
  return out;
}

}  // namespace

ExchangeDescription description_from_dict(py::handle value) {
  const Path root{};
  const py::dict description = object(value, root);
  PyObject* const topology = lookup(description, key("topology"));
  PyObject* const phases = lookup(description, key("phases"));
  PyObject* const transfers = lookup(description, key("transfers"));
  check_keys(description, root,
             std::size_t{topology != nullptr} + std::size_t{phases != nullptr} +
                 std::size_t{transfers != nullptr},
             {"topology", "phases", "transfers"}, "topology, phases, transfers");
  if (topology != nullptr) {
    if (!PyUnicode_Check(topology) || py::str(topology).cast<std::string>() != "m1472") {
      fail(root.at("topology"), "unknown topology (expected \"m1472\")");
    }
  }
  if (phases != nullptr && transfers != nullptr) {
    fail(root.at("transfers"), "a description gives \"phases\" or \"transfers\", not both");
  }
  if (phases == nullptr && transfers == nullptr)
    fail(root, "missing \"phases\" (or \"transfers\")");
  ExchangeDescription out;
  if (phases != nullptr) {
    out.phases = phases_from(phases, root.at("phases"));
  } else {
    out.transfers = transfers_from(transfers, root.at("transfers"));
  }
  return out;
}

const ExchangeDescription& description_from(py::handle value,
                                            std::optional<ExchangeDescription>& storage) {
  if (py::isinstance<ExchangeDescription>(value)) return value.cast<const ExchangeDescription&>();
  if (!PyDict_Check(value.ptr())) {
    throw py::type_error("expected an ExchangeDescription or a dict, found " + type_name(value));
  }
  storage = description_from_dict(value);
  return *storage;
}

}  // namespace meshweave::python
