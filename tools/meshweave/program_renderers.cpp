#include "program_renderers.hpp"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "word_listing.hpp"

namespace meshweave::tool {

std::optional<ProgramFormat> program_format(std::string_view name) noexcept {
  if (name == "text") return ProgramFormat::Text;
  if (name == "json") return ProgramFormat::Json;
  if (name == "hex") return ProgramFormat::Hex;
  return std::nullopt;
}

std::string render_text(const CompiledExchange& compiled) {
  std::string out = "horizon " + std::to_string(compiled.horizon) + " cycles, " +
                    std::to_string(compiled.phase_starts.size()) + " phase(s), " +
                    std::to_string(compiled.programs.size()) + " program(s)\n";
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

std::string render_json(const CompiledExchange& compiled) {
  nlohmann::ordered_json document;
  document["horizon"] = compiled.horizon;
  nlohmann::ordered_json& phases = document["phases"] = nlohmann::ordered_json::array();
  for (std::size_t p = 0; p < compiled.phase_starts.size() && p < compiled.phase_ends.size(); ++p) {
    phases.push_back({{"start", compiled.phase_starts[p]}, {"end", compiled.phase_ends[p]}});
  }
  nlohmann::ordered_json& programs = document["programs"] = nlohmann::ordered_json::array();
  for (const TileProgram& program : compiled.programs) {
    programs.push_back(
        {{"logical", program.logical}, {"physical", program.physical}, {"words", program.words}});
  }
  nlohmann::ordered_json& transfers = document["transfers"] = nlohmann::ordered_json::array();
  for (const TransferTiming& timing : compiled.timings) {
    transfers.push_back({{"phase", timing.phase},
                         {"transfer", timing.transfer},
                         {"phase_start", timing.phase_start},
                         {"send_cycle", timing.send_cycle},
                         {"arrival_cycles", timing.arrival_cycles}});
  }
  return document.dump(1) + "\n";
}

std::string render_hex(const CompiledExchange& compiled) {
  std::string out;
  char word[16];
  for (const TileProgram& program : compiled.programs) {
    out += std::to_string(program.logical) + ":";
    for (const std::uint32_t w : program.words) {
      std::snprintf(word, sizeof word, " %08x", w);
      out += word;
    }
    out += '\n';
  }
  return out;
}

std::string render_programs(const CompiledExchange& compiled, ProgramFormat format) {
  switch (format) {
    case ProgramFormat::Json: return render_json(compiled);
    case ProgramFormat::Hex: return render_hex(compiled);
    case ProgramFormat::Text: break;
  }
  return render_text(compiled);
}

}  // namespace meshweave::tool
