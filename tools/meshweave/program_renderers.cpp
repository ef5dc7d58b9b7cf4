#include "program_renderers.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "huge_pages.hpp"
#include "word_listing.hpp"

namespace meshweave::tool {

std::optional<ProgramFormat> program_format(std::string_view name) noexcept {
  if (name == "text") return ProgramFormat::Text;
  if (name == "json") return ProgramFormat::Json;
  if (name == "hex") return ProgramFormat::Hex;
  return std::nullopt;
}

namespace {
// A compiled exchange without phases came from the transfers form.
bool scheduled(const CompiledExchange& compiled) noexcept {
  return compiled.phase_starts.empty() && !compiled.timings.empty();
}
}  // namespace

std::string render_text(const CompiledExchange& compiled, const CostSummary* cost) {
  // About one line of 80 characters per word and per phase, reserved at once.
  std::size_t lines = compiled.phase_starts.size() + 2 * compiled.programs.size() + 1;
  for (const TileProgram& program : compiled.programs) lines += program.words.size();
  std::string out;
  out.reserve(lines * 80);
  if (cost != nullptr) out += summary_line(*cost) + "\n";
  out += "horizon " + std::to_string(compiled.horizon) + " cycles, " +
         (scheduled(compiled) ? std::string{"scheduled"}
                              : std::to_string(compiled.phase_starts.size()) + " phase(s)") +
         ", " + std::to_string(compiled.programs.size()) + " program(s)\n";
  for (std::size_t p = 0; p < compiled.phase_starts.size() && p < compiled.phase_ends.size(); ++p) {
    out += "phase " + std::to_string(p) + ": cycles " + std::to_string(compiled.phase_starts[p]) +
           " to " + std::to_string(compiled.phase_ends[p]) + "\n";
  }
  for (const TileProgram& program : compiled.programs) {
    out += "\ntile " + std::to_string(program.logical) + " (physical " +
           std::to_string(program.physical) + "): " + std::to_string(program.words.size()) +
           " words\n";
    append_word_listing(out, program.words);
  }
  return out;
}

namespace {

void append_number(std::string& out, std::uint64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

// A JSON array laid out one element per line, `indent` spaces deep ("[]" when
// empty); `element` writes one element at indent + 1.
template <class Range, class Element>
void append_array(std::string& out, const Range& items, std::size_t indent, Element element) {
  if (std::empty(items)) {
    out += "[]";
    return;
  }
  out += "[\n";
  bool first = true;
  for (const auto& item : items) {
    if (!first) out += ",\n";
    first = false;
    out.append(indent + 1, ' ');
    element(item);
  }
  out += '\n';
  out.append(indent, ' ');
  out += ']';
}

// `"name": ` at `indent` spaces, after a separator from the member before.
void append_member(std::string& out, std::size_t indent, std::string_view name, bool first) {
  if (!first) out += ",\n";
  out.append(indent, ' ');
  out += '"';
  out += name;
  out += "\": ";
}

void append_number_member(std::string& out, std::size_t indent, std::string_view name,
                          std::uint64_t value, bool first = false) {
  append_member(out, indent, name, first);
  append_number(out, value);
}

}  // namespace

// Written directly rather than through a JSON document, which would hold every
// word as a JSON value; the layout is that of a dump with an indent of one.
std::string render_json(const CompiledExchange& compiled, const CostSummary* cost) {
  std::size_t words = 0;
  for (const TileProgram& program : compiled.programs) words += program.words.size();
  std::string out;
  out.reserve(words * 16 + compiled.timings.size() * 160 + compiled.phase_starts.size() * 48 + 64);
  const std::size_t phases = std::min(compiled.phase_starts.size(), compiled.phase_ends.size());
  std::vector<std::size_t> phase_indices(phases);
  for (std::size_t p = 0; p < phases; ++p) phase_indices[p] = p;

  out += "{\n";
  append_number_member(out, 1, "horizon", compiled.horizon, true);
  if (cost != nullptr) {
    append_number_member(out, 1, "lower_bound", cost->lower_bound);
    append_member(out, 1, "ratio", false);
    out += horizon_ratio(*cost).value_or("null");
    append_member(out, 1, "longest_program", false);
    if (cost->tiles == 0) {
      out += "null";
    } else {
      out += "{\"tile\": " + std::to_string(cost->longest_tile) +
             ", \"words\": " + std::to_string(cost->longest_words) + "}";
    }
    append_member(out, 1, "busiest_tile", false);
    if (cost->tiles == 0) {
      out += "null";
    } else {
      out += "{\"tile\": " + std::to_string(cost->busiest_tile) +
             ", \"busy_cycles\": " + std::to_string(cost->busiest_cycles) + "}";
    }
  }
  const bool no_phases = scheduled(compiled);
  append_member(out, 1, "phases", false);
  append_array(out, phase_indices, 1, [&](std::size_t p) {
    out += "{\n";
    append_number_member(out, 3, "start", compiled.phase_starts[p], true);
    append_number_member(out, 3, "end", compiled.phase_ends[p]);
    out += "\n  }";
  });
  append_member(out, 1, "programs", false);
  append_array(out, compiled.programs, 1, [&](const TileProgram& program) {
    out += "{\n";
    append_number_member(out, 3, "logical", program.logical, true);
    append_number_member(out, 3, "physical", program.physical);
    append_member(out, 3, "words", false);
    append_array(out, program.words, 3, [&](std::uint32_t word) { append_number(out, word); });
    out += "\n  }";
  });
  append_member(out, 1, "transfers", false);
  append_array(out, compiled.timings, 1, [&](const TransferTiming& timing) {
    out += "{\n";
    if (no_phases) {
      append_number_member(out, 3, "transfer", timing.transfer, true);
      // A long transfer is split into pieces, each with its own timing.
      append_number_member(out, 3, "word_offset", timing.word_offset);
      append_number_member(out, 3, "words", timing.count);
    } else {
      append_number_member(out, 3, "phase", timing.phase, true);
      append_number_member(out, 3, "transfer", timing.transfer);
      append_number_member(out, 3, "phase_start", timing.phase_start);
    }
    append_number_member(out, 3, "start", timing.start);
    append_number_member(out, 3, "send_cycle", timing.send_cycle);
    append_member(out, 3, "arrival_cycles", false);
    append_array(out, arrival_cycles(compiled, timing), 3,
                 [&](std::uint32_t cycle) { append_number(out, cycle); });
    out += "\n  }";
  });
  out += "\n}\n";
  return out;
}

// Sized exactly before it is written: the output of a whole card runs to
// hundreds of megabytes. Words are written a byte (two digits) at a time.
std::string render_hex(const CompiledExchange& compiled) {
  static const auto byte_digits = [] {
    constexpr char digits[] = "0123456789abcdef";
    std::array<std::array<char, 2>, 256> table{};
    for (std::size_t byte = 0; byte < table.size(); ++byte) {
      table[byte] = {digits[byte >> 4], digits[byte & 0xf]};
    }
    return table;
  }();
  std::size_t size = 0;
  for (const TileProgram& program : compiled.programs) {
    size += std::to_string(program.logical).size() + 2 + 9 * program.words.size();
  }
  std::string out;
  out.resize_and_overwrite(size, [&](char* data, std::size_t) {
    prefer_huge_pages(data, size);
    char* at = data;
    for (const TileProgram& program : compiled.programs) {
      at = std::to_chars(at, data + size, program.logical).ptr;
      *at++ = ':';
      for (const std::uint32_t word : program.words) {
        *at++ = ' ';
        for (int shift = 24; shift >= 0; shift -= 8) {
          const auto& pair = byte_digits[(word >> shift) & 0xffu];
          *at++ = pair[0];
          *at++ = pair[1];
        }
      }
      *at++ = '\n';
    }
    return static_cast<std::size_t>(at - data);
  });
  return out;
}

std::string render_programs(const CompiledExchange& compiled, ProgramFormat format,
                            const CostSummary* cost) {
  switch (format) {
    case ProgramFormat::Json: return render_json(compiled, cost);
    case ProgramFormat::Hex: return render_hex(compiled);
    case ProgramFormat::Text: break;
  }
  return render_text(compiled, cost);
}

}  // namespace meshweave::tool
