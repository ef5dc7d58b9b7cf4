// Decoding, disassembly and assembly.

#include <pybind11/stl.h>

#include <string>
#include <tuple>
#include <utility>
#include <variant>

#include "binding_support.hpp"
#include "meshweave/disassembly/codec.hpp"
#include "meshweave/disassembly/instruction.hpp"
#include "meshweave/disassembly/text.hpp"

namespace meshweave::python {

namespace {

template <class T, class V>
struct Member {
  const char* name;
  V T::* pointer;
};
template <class T, class... V>
constexpr auto members(Member<T, V>... list) {
  return std::tuple{list...};
}

// The fields of each kind, named and ordered as its encoder takes them.
template <class T>
constexpr auto fields_of();
template <>
constexpr auto fields_of<op::Delay>() {
  return members(Member<op::Delay, std::uint32_t>{"cycles", &op::Delay::cycles});
}
template <>
constexpr auto fields_of<op::PicDelay>() {
  return members(Member<op::PicDelay, std::uint32_t>{"wait", &op::PicDelay::wait},
                 Member<op::PicDelay, std::uint32_t>{"flag", &op::PicDelay::flag},
                 Member<op::PicDelay, std::uint32_t>{"address", &op::PicDelay::address});
}
template <>
constexpr auto fields_of<op::XpicDelay>() {
  return members(Member<op::XpicDelay, std::uint32_t>{"wait", &op::XpicDelay::wait},
                 Member<op::XpicDelay, std::uint32_t>{"flag", &op::XpicDelay::flag},
                 Member<op::XpicDelay, std::uint32_t>{"selector", &op::XpicDelay::selector});
}
template <>
constexpr auto fields_of<op::Send>() {
  return members(Member<op::Send, std::uint32_t>{"count_minus_one", &op::Send::count_minus_one},
                 Member<op::Send, std::uint32_t>{"direction", &op::Send::direction},
                 Member<op::Send, std::uint32_t>{"base_word", &op::Send::base_word});
}
template <>
constexpr auto fields_of<op::SendContinuation>() {
  using S = op::SendContinuation;
  return members(Member<S, std::uint32_t>{"count_minus_one", &S::count_minus_one},
                 Member<S, std::uint32_t>{"direction", &S::direction},
                 Member<S, std::uint32_t>{"base_word", &S::base_word},
                 Member<S, std::uint32_t>{"reserved", &S::reserved});
}
template <>
constexpr auto fields_of<op::Sync>() {
  return members(Member<op::Sync, std::uint32_t>{"operand", &op::Sync::operand});
}
template <>
constexpr auto fields_of<op::Setzi>() {
  return members(Member<op::Setzi, std::uint8_t>{"reg", &op::Setzi::reg},
                 Member<op::Setzi, std::uint32_t>{"immediate", &op::Setzi::immediate});
}
template <>
constexpr auto fields_of<op::Put>() {
  return members(Member<op::Put, std::uint8_t>{"special", &op::Put::special},
                 Member<op::Put, std::uint8_t>{"reg", &op::Put::reg});
}
template <>
constexpr auto fields_of<op::Br>() {
  return members(Member<op::Br, std::uint8_t>{"reg", &op::Br::reg});
}
template <>
constexpr auto fields_of<op::Brz>() {
  return members(Member<op::Brz, std::uint8_t>{"reg", &op::Brz::reg},
                 Member<op::Brz, std::uint32_t>{"target_address", &op::Brz::target_address});
}
template <>
constexpr auto fields_of<op::Call>() {
  return members(Member<op::Call, std::uint8_t>{"return_register", &op::Call::return_register},
                 Member<op::Call, std::uint32_t>{"target_address", &op::Call::target_address});
}
template <>
constexpr auto fields_of<op::Ld32>() {
  using L = op::Ld32;
  return members(Member<L, std::uint8_t>{"destination", &L::destination},
                 Member<L, std::uint8_t>{"base", &L::base},
                 Member<L, std::uint8_t>{"delta", &L::delta},
                 Member<L, std::uint16_t>{"word_offset", &L::word_offset});
}
template <>
constexpr auto fields_of<op::St32>() {
  using S = op::St32;
  return members(Member<S, std::uint8_t>{"source", &S::source},
                 Member<S, std::uint8_t>{"base", &S::base},
                 Member<S, std::uint8_t>{"delta", &S::delta},
                 Member<S, std::uint16_t>{"word_offset", &S::word_offset});
}
template <>
constexpr auto fields_of<op::Add>() {
  return members(Member<op::Add, std::uint8_t>{"destination", &op::Add::destination},
                 Member<op::Add, std::uint8_t>{"source", &op::Add::source},
                 Member<op::Add, std::int32_t>{"immediate", &op::Add::immediate});
}
template <>
constexpr auto fields_of<op::And>() {
  return members(Member<op::And, std::uint8_t>{"destination", &op::And::destination},
                 Member<op::And, std::uint8_t>{"source", &op::And::source},
                 Member<op::And, std::uint16_t>{"immediate", &op::And::immediate});
}
template <>
constexpr auto fields_of<op::Shl>() {
  return members(Member<op::Shl, std::uint8_t>{"destination", &op::Shl::destination},
                 Member<op::Shl, std::uint8_t>{"source", &op::Shl::source},
                 Member<op::Shl, std::uint16_t>{"immediate", &op::Shl::immediate});
}
template <>
constexpr auto fields_of<op::Data>() {
  return members(Member<op::Data, std::uint32_t>{"word", &op::Data::word});
}

py::dict fields_dict(const Instruction& instruction) {
  py::dict out;
  std::visit(
      [&out](const auto& fields) {
        using T = std::decay_t<decltype(fields)>;
        std::apply(
            [&](const auto&... member) { ((out[member.name] = fields.*(member.pointer)), ...); },
            fields_of<T>());
      },
      instruction.fields);
  return out;
}

template <class T>
Instruction instruction_from(const py::kwargs& given) {
  T fields{};
  std::size_t used = 0;
  std::apply(
      [&](const auto&... member) {
        (
            [&] {
              using V = std::decay_t<decltype(fields.*(member.pointer))>;
              if (given.contains(member.name)) {
                fields.*(member.pointer) = given[member.name].template cast<V>();
                ++used;
              }
            }(),
            ...);
      },
      fields_of<T>());
  if (used != given.size()) {
    throw py::type_error(
        "unknown field for " + std::string(kind_name(T::kind)) + ": expected " +
        py::str(py::list(fields_dict(Instruction{T{}}).attr("keys")())).cast<std::string>());
  }
  return Instruction{fields};
}

Instruction make_instruction(InstructionKind kind, const py::kwargs& given) {
  using Maker = Instruction (*)(const py::kwargs&);
  static constexpr auto makers = []<std::size_t... I>(std::index_sequence<I...>) {
    return std::array<Maker, sizeof...(I)>{
        &instruction_from<std::variant_alternative_t<I, InstructionFields>>...};
  }(std::make_index_sequence<std::variant_size_v<InstructionFields>>{});
  return makers[static_cast<std::size_t>(kind)](given);
}

}  // namespace

void bind_disassembly(py::module_& m) {
  using py::arg;
  py::enum_<InstructionKind> kind(m, "InstructionKind", "What a word is.");
  for (const InstructionDescription& description : instruction_syntax()) {
    kind.value(std::string(kind_name(description.kind)).c_str(), description.kind);
  }

  py::class_<Instruction> instruction_class(
      m, "Instruction",
      "One instruction word taken apart: its kind and that kind's fields (read-only). "
      "Instruction(InstructionKind.Delay, cycles=134); fields missing from the call are 0.");
  instruction_class.def(py::init(&make_instruction), arg("kind"))
      .def_property_readonly("kind", &Instruction::kind)
      .def_property_readonly("fields", &fields_dict,
                             "The fields as a dict, in the order the kind's encoder takes them.")
      .def("__getattr__",
           [](const Instruction& self, const std::string& name) -> py::object {
             py::dict fields = fields_dict(self);
             if (!fields.contains(name)) throw py::attribute_error(name);
             return fields[py::str(name)];
           })
      .def("__str__", [](const Instruction& self) { return to_string(self); })
      .def("__repr__", [](const Instruction& self) {
        std::string text = "Instruction(InstructionKind." + std::string(kind_name(self.kind()));
        for (const auto& [name, value] : fields_dict(self)) {
          text +=
              ", " + py::str(name).cast<std::string>() + "=" + py::str(value).cast<std::string>();
        }
        return text + ")";
      });
  equality_and_hash(instruction_class, [](const Instruction& self) {
    return py::make_tuple(static_cast<int>(self.kind()),
                          py::tuple(fields_dict(self).attr("values")()));
  });

  m.def("decode", &decode, arg("word"), "Takes a word apart; every word has a reading.");
  m.def(
      "encode", [](const Instruction& instruction) { return value_or_raise(encode(instruction)); },
      arg("instruction"), "The word an instruction stands for; every operand is checked.");
  m.def("disassemble", &disassemble, arg("word"), "The text of one instruction.");
  m.def(
      "assemble",
      [](std::string_view text) {
        AssemblyResult words = assemble(text);
        if (!words) raise_assembly_error(words.error());
        return words_to_python(std::move(*words));
      },
      arg("text"),
      "Reads the text form back, one word per instruction line; AssemblyError on a fault.");
  m.def(
      "instruction_syntax",
      [] {
        py::list out;
        for (const InstructionDescription& description : instruction_syntax()) {
          py::list operands;
          for (const OperandDescription& operand : description.operands) {
            py::dict entry;
            entry["name"] = std::string(operand.name);
            entry["minimum"] = operand.minimum;
            entry["maximum"] = operand.maximum;
            entry["multiple_of"] = operand.multiple_of;
            entry["hexadecimal"] = operand.hexadecimal;
            entry["bare"] = operand.bare;
            entry["optional"] = operand.optional;
            operands.append(entry);
          }
          py::dict entry;
          entry["kind"] = description.kind;
          entry["mnemonic"] = std::string(description.mnemonic);
          entry["operands"] = operands;
          out.append(entry);
        }
        return out;
      },
      "The syntax the assembler reads: one dict per kind (kind, mnemonic, operands).");
}

}  // namespace meshweave::python
