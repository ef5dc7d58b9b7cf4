// Error values, control words and scalar encoders.

#include <string>

#include "binding_support.hpp"
#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/instruction_words/error.hpp"
#include "meshweave/instruction_words/scalar_encoders.hpp"

namespace meshweave::python {

void bind_errors(py::module_& m) {
  py::list messages;
  for (const std::string_view message : schedule_message::all)
    messages.append(std::string(message));
  m.attr("SCHEDULE_MESSAGES") = py::tuple(messages);
}

void bind_instruction_words(py::module_& m) {
  using py::arg;
  m.attr("LONG_OPCODE_MASK") = LONG_OPCODE_MASK;
  m.attr("SEND_OPCODE") = SEND_OPCODE;
  m.attr("ROW_ENTRY_INSTRUCTION") = ROW_ENTRY_INSTRUCTION;
  m.attr("RETURN_INSTRUCTION") = RETURN_INSTRUCTION;
  m.attr("MIN_TRANSFER_WORDS") = MIN_TRANSFER_WORDS;
  m.attr("MAX_TRANSFER_WORDS") = MAX_TRANSFER_WORDS;

  m.def("delay", &delay, arg("cycles"),
        "DELAY of cycles + 1 cycles; the operand is cut to 19 bits.");
  m.def("delay_pic", &delay_pic, arg("a"), arg("b"), arg("c"),
        "PIC delay: waits a + 1 cycles, flag b, receive-buffer word address c (cut to their "
        "fields).");
  m.def("delay_xpic", &delay_xpic, arg("a"), arg("b"), arg("c"),
        "XPIC delay: waits a + 1 cycles, flag b, tile selector c (cut to their fields).");
  m.def(
      "encode_send",
      [](std::uint32_t count_minus_one, std::uint32_t direction, std::uint32_t base_word) {
        return value_or_raise(encode_send(count_minus_one, direction, base_word));
      },
      arg("count_minus_one"), arg("direction"), arg("base_word"),
      "SEND of count_minus_one + 1 words from word address base_word; raises ScheduleError "
      "when an operand does not fit its field.");
  m.def("send_off", &send_off, arg("count_minus_one"), arg("direction"), arg("base_word"),
        "Continuation SEND: a 12-bit count split over two 6-bit fields; operands cut to their "
        "fields.");
  m.def(
      "validate_count", [](std::uint32_t count) { value_or_raise(validate_count(count)); },
      arg("count"), "Raises CountError unless 1 <= count <= 4148.");
  m.def("instruction_advance", &instruction_advance, arg("instruction"),
        "Cycles a word accounts for on the exchange timeline; 0 for untimed words.");
  m.def(
      "set_instruction_advance",
      [](std::uint32_t instruction, std::uint32_t advance) {
        value_or_raise(set_instruction_advance(instruction, advance));
        return instruction;
      },
      arg("instruction"), arg("advance"),
      "The DELAY, PIC or XPIC word with its wait rewritten to account for exactly `advance` "
      "cycles; raises ScheduleError when it cannot.");

  m.def("br_m", &br_m, arg("reg"), "Unchecked BR through register `reg`.");
  m.def("setzi_m", &setzi_m, arg("reg"), arg("immediate"), "Unchecked SETZI.");
  m.def("put_special_from_m8", &put_special_from_m8, arg("reg"),
        "Unchecked PUT from m8 into special register `reg`.");
  m.def(
      "encode_br_m", [](std::uint8_t reg) { return value_or_raise(encode_br_m(reg)); }, arg("reg"),
      "Checked BR through register `reg`.");
  m.def(
      "encode_setzi_m",
      [](std::uint8_t reg, std::uint32_t immediate) {
        return value_or_raise(encode_setzi_m(reg, immediate));
      },
      arg("reg"), arg("immediate"), "Checked SETZI: register below 16, immediate below 2^20.");
  m.def(
      "encode_put_special_m",
      [](std::uint8_t special, std::uint8_t reg) {
        return value_or_raise(encode_put_special_m(special, reg));
      },
      arg("special"), arg("reg"), "Checked PUT of register `reg` into special register `special`.");
  m.def(
      "encode_call_m_immediate",
      [](std::uint8_t return_register, std::uint32_t target_address) {
        return value_or_raise(encode_call_m_immediate(return_register, target_address));
      },
      arg("return_register"), arg("target_address"), "Checked CALL to a byte address.");
  m.def(
      "encode_brz_m_immediate",
      [](std::uint8_t reg, std::uint32_t target_address) {
        return value_or_raise(encode_brz_m_immediate(reg, target_address));
      },
      arg("reg"), arg("target_address"), "Checked BRZ to a byte address.");
  m.def(
      "encode_ld32_m_immediate",
      [](std::uint8_t destination, std::uint8_t base, std::uint8_t delta,
         std::uint16_t word_offset) {
        return value_or_raise(encode_ld32_m_immediate(destination, base, delta, word_offset));
      },
      arg("destination"), arg("base"), arg("delta"), arg("word_offset"), "Checked LD32.");
  m.def(
      "encode_st32_m_immediate",
      [](std::uint8_t source, std::uint8_t base, std::uint8_t delta, std::uint16_t word_offset) {
        return value_or_raise(encode_st32_m_immediate(source, base, delta, word_offset));
      },
      arg("source"), arg("base"), arg("delta"), arg("word_offset"), "Checked ST32.");
  m.def(
      "encode_add_m_immediate",
      [](std::uint8_t destination, std::uint8_t source, std::int32_t immediate) {
        return value_or_raise(encode_add_m_immediate(destination, source, immediate));
      },
      arg("destination"), arg("source"), arg("immediate"),
      "Checked ADD of a 16-bit signed immediate (checked before the registers).");
  m.def(
      "encode_and_m_immediate",
      [](std::uint8_t destination, std::uint8_t source, std::uint16_t immediate) {
        return value_or_raise(encode_and_m_immediate(destination, source, immediate));
      },
      arg("destination"), arg("source"), arg("immediate"), "Checked AND of a 12-bit immediate.");
  m.def(
      "encode_shl_m_immediate",
      [](std::uint8_t destination, std::uint8_t source, std::uint16_t immediate) {
        return value_or_raise(encode_shl_m_immediate(destination, source, immediate));
      },
      arg("destination"), arg("source"), arg("immediate"), "Checked SHL by a 12-bit immediate.");
}

}  // namespace meshweave::python
