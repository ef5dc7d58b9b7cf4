// The command-line tool's exchange description reader, and the compiler and
// verifier behind it. A description the reader accepts holds only values the
// planners take; it either compiles into programs that the independent verifier
// finds right (and wrong once a SEND or PIC address is moved), or compiling
// fails at a phase, transfer and tile of the description (a tile in two
// transfers of a phase, or a start too late for a plan row to reach). A refused
// input names the JSON path of the offending value, a path that exists in the
// document, and its line and column; it leaves the path empty only when the
// input is not a JSON object with "phases" (or holds a NUL byte).
//
// Input: JSON text; or a zero byte followed by a description drawn from the
// bytes (see generated_description), which reaches the compiler far more often.

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

#include "description_reader.hpp"
#include "diagnostics.hpp"
#include "fuzz_check.hpp"
#include "fuzz_input.hpp"
#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/verifier.hpp"
#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/topology/topology.hpp"

namespace {

using namespace meshweave;
using nlohmann::json;

constexpr std::size_t card_tiles = 1472;

// Follows a reader path ("phases[2].transfers[0].to") through the document.
// Keys may hold dots or brackets themselves, so the longest key that fits wins.
bool path_exists(const json& document, std::string_view path) {
  const json* at = &document;
  bool first = true;
  while (!path.empty()) {
    if (at->is_array()) {
      const std::size_t close = path.find(']');
      std::size_t index = 0;
      if (!path.starts_with('[') || close == std::string_view::npos) return false;
      const auto [stop, failed] = std::from_chars(path.data() + 1, path.data() + close, index);
      if (failed != std::errc{} || stop != path.data() + close || index >= at->size()) return false;
      at = &(*at)[index];
      path.remove_prefix(close + 1);
      first = false;
      continue;
    }
    if (!at->is_object()) return false;
    if (!first) {
      if (!path.starts_with('.')) return false;
      path.remove_prefix(1);
    }
    const json* next = nullptr;
    std::size_t taken = 0;
    for (const auto& [key, value] : at->items()) {
      // Paths show keys as echoed in messages: bounded and escaped.
      const std::string shown = tool::echo(key);
      const bool fits =
          path.starts_with(shown) &&
          (shown.size() == path.size() || path[shown.size()] == '.' || path[shown.size()] == '[');
      if (fits && (next == nullptr || shown.size() > taken)) {
        next = &value;
        taken = shown.size();
      }
    }
    if (next == nullptr) return false;
    at = next;
    path.remove_prefix(taken);
    first = false;
  }
  return true;
}

void check_refusal(std::string_view text, const tool::InputError& error) {
  FUZZ_CHECK(!error.reason.empty(), "refusal without a reason at " << error.path);
  FUZZ_CHECK(error.line >= 1 && error.column >= 1,
             "refusal without a line and column: " << error.reason);
  const json document = json::parse(text, nullptr, false);
  // A plain parse stops at a NUL byte, which the reader refuses wherever it is.
  const bool whole_file = document.is_discarded() || !document.is_object() ||
                          !document.contains("phases") || text.find('\0') != std::string_view::npos;
  if (error.path.empty()) {
    FUZZ_CHECK(whole_file, "refusal without a path: " << error.reason);
    return;
  }
  // A number past the range of a double fails the plain parse; the reader takes
  // any number as text and refuses it where it stands.
  if (document.is_discarded()) return;
  FUZZ_CHECK(path_exists(document, error.path),
             "refusal at " << error.path << ", which is not in the document: " << error.reason);
}

// What the reader promises about every description it returns.
void check_accepted(const ExchangeDescription& description) {
  for (const Phase& phase : description.phases) {
    for (const Transfer& transfer : phase.transfers) {
      const TransferView t = view(transfer);
      FUZZ_CHECK(
          t.sender < card_tiles && t.count >= 1 && t.count <= 4148 && t.source_address % 4 == 0 &&
              t.source_address + std::uint64_t{t.count} * 4 <= 0x100000 && !t.receivers.empty() &&
              (t.destination_addresses.size() == 1 ||
               t.destination_addresses.size() == t.receivers.size()),
          "accepted transfer from tile " << t.sender << " of " << t.count << " words");
      for (std::size_t i = 0; i < t.receivers.size(); ++i) {
        FUZZ_CHECK(
            t.receivers[i] < card_tiles && t.receivers[i] != t.sender &&
                std::find(t.receivers.begin(), t.receivers.begin() + static_cast<std::ptrdiff_t>(i),
                          t.receivers[i]) == t.receivers.begin() + static_cast<std::ptrdiff_t>(i),
            "accepted receiver " << t.receivers[i] << " of tile " << t.sender);
      }
      for (const std::uint32_t address : t.destination_addresses) {
        FUZZ_CHECK(address % 4 == 0 && address + std::uint64_t{t.count} * 4 <= 0x100000,
                   "accepted destination " << address << " of " << t.count << " words");
      }
    }
  }
}

bool takes_part(const Transfer& transfer, std::uint16_t tile) {
  const TransferView t = view(transfer);
  return t.sender == tile ||
         std::find(t.receivers.begin(), t.receivers.end(), tile) != t.receivers.end();
}

void check_compile_error(const ExchangeDescription& description, const CompileError& error) {
  FUZZ_CHECK(error.phase < description.phases.size(), to_string(error));
  const auto& transfers = description.phases[error.phase].transfers;
  FUZZ_CHECK(!error.transfer || *error.transfer < transfers.size(), to_string(error));
  FUZZ_CHECK(!error.tile || *error.tile < card_tiles, to_string(error));
  if (error.tile && error.transfer) {
    FUZZ_CHECK(takes_part(transfers[*error.transfer], *error.tile), to_string(error));
  }
  switch (error.kind) {
    case CompileError::Kind::TileConflict:
      FUZZ_CHECK(error.tile && error.transfer && error.other_transfer &&
                     *error.other_transfer < *error.transfer &&
                     takes_part(transfers[*error.other_transfer], *error.tile),
                 to_string(error));
      return;
    case CompileError::Kind::Library: {
      // What the reader let through can only fail where a phase starts too late
      // for a row to be shifted there, or past the 32-bit timeline.
      const bool late =
          error.error.kind() == ExchangeError::Kind::PlanOffsetRange ||
          error.error == ExchangeError::schedule(schedule_message::plan_event_horizon_overflow);
      FUZZ_CHECK(late, "accepted description fails to compile: " << to_string(error));
      return;
    }
    case CompileError::Kind::DestinationCount:
      FUZZ_CHECK(false, "the reader let a bad destination list through: " << to_string(error));
      return;
    case CompileError::Kind::AddressRange:
      FUZZ_CHECK(false, "the reader let a buffer past tile memory through: " << to_string(error));
    case CompileError::Kind::BothForms:
    case CompileError::Kind::AfterIndex:
    case CompileError::Kind::AfterCycle:
      FUZZ_CHECK(false, "a phase form failed as a transfers form: " << to_string(error));
  }
}

// The verifier is not fooled: moving the first SEND of some program to another
// source word, or the first PIC to another destination word, is reported.
void check_verifier_notices(const Topology& topology, const ExchangeDescription& description,
                            const CompiledExchange& compiled) {
  const auto first_word = [&](WordPattern kind) -> std::pair<std::size_t, std::size_t> {
    for (std::size_t p = 0; p < compiled.programs.size(); ++p) {
      const auto& program = compiled.programs[p].words;
      for (std::size_t w = 0; w < program.size(); ++w) {
        if (kind.matches(program[w])) return {p, w};
      }
    }
    return {compiled.programs.size(), 0};
  };
  const auto moved = [&](WordPattern kind, std::uint32_t field_low, std::uint32_t field_mask) {
    const auto [p, w] = first_word(kind);
    if (p == compiled.programs.size()) return;
    CompiledExchange changed = compiled;
    std::uint32_t& word = changed.programs[p].words[w];
    word = (word & ~field_mask) | ((word + (1u << field_low)) & field_mask);
    FUZZ_CHECK(!verify_exchange(topology, description, changed).empty(),
               "the verifier passed tile " << changed.programs[p].logical << " with word " << w
                                           << " changed to " << fuzz::hex(word));
  };
  moved(send_word::kind, send_word::BaseWord::low, send_word::BaseWord::mask);
  moved(pic_word::kind, pic_word::Address::low, pic_word::Address::mask);
}

void check_compiled(const ExchangeDescription& description, bool idle_programs) {
  static const Topology card = Topology::m1472();
  const auto compiled = compile_exchange(card, description, CompileOptions{idle_programs});
  if (!compiled) return check_compile_error(description, compiled.error());
  const std::vector<VerifyIssue> issues = verify_exchange(card, description, *compiled);
  FUZZ_CHECK(issues.empty(), issues.size() << " issues, the first: " << to_string(issues.front()));
  if (idle_programs) {
    FUZZ_CHECK(compiled->programs.size() == card_tiles, compiled->programs.size() << " programs");
  }
  check_verifier_notices(card, description, *compiled);
}

void check_text(std::string_view text, bool idle_programs) {
  const auto description = tool::read_description(text);
  if (!description) return check_refusal(text, description.error());
  check_accepted(*description);
  check_compiled(*description, idle_programs);
}

// A byte address, as a number or as "0x..." text, mostly valid.
json address_value(fuzz::FuzzInput& input) {
  const std::uint32_t raw = input.u32();
  const std::uint32_t address = (raw & 1u) != 0 ? raw >> 1 : (raw >> 1) % 0x100000 / 4 * 4;
  if ((raw & 2u) != 0) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", address);
    return text;
  }
  return address;
}

// A tile, mostly among the first few so that phases share tiles now and then.
std::uint32_t tile_value(fuzz::FuzzInput& input) {
  const std::uint16_t raw = input.u16();
  return (raw & 0x8000u) != 0 ? raw & 0x7ffu : raw % 24;
}

// Phases (up to 7, or up to 255 when the shape byte's bit 1 is set) of up to 5
// transfers, each a point-to-point or a multicast to up to 4 tiles.
json generated_description(fuzz::FuzzInput& input, std::uint8_t shape) {
  json phases = json::array();
  const std::size_t phase_count = (shape & 2u) != 0 ? input.u8() : input.u8() % 8;
  for (std::size_t p = 0; p < phase_count && !input.empty(); ++p) {
    json transfers = json::array();
    const std::size_t transfer_count = input.u8() % 6;
    for (std::size_t t = 0; t < transfer_count; ++t) {
      json transfer{{"from", tile_value(input)}};
      const std::uint8_t receivers = input.u8();
      if (receivers % 5 == 0) {
        transfer["to"] = tile_value(input);
      } else {
        transfer["to"] = json::array();
        for (std::size_t r = 0; r < receivers % 5; ++r) transfer["to"].push_back(tile_value(input));
      }
      const std::uint16_t words = input.u16();
      transfer["words"] = (words & 0x8000u) != 0 ? words & 0x7fffu : words % 4148 + 1;
      transfer["source"] = address_value(input);
      if ((receivers & 0x80u) != 0 && transfer["to"].is_array()) {
        transfer["destination"] = json::array();
        for (std::size_t r = 0; r < transfer["to"].size(); ++r) {
          transfer["destination"].push_back(address_value(input));
        }
      } else {
        transfer["destination"] = address_value(input);
      }
      transfers.push_back(std::move(transfer));
    }
    phases.push_back(json{{"transfers", std::move(transfers)}});
  }
  json document{{"phases", std::move(phases)}};
  if ((shape & 4u) != 0) document["topology"] = "m1472";
  return document;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input{data, size};
  if (size == 0 || data[0] != 0) {
    check_text(input.rest_text(), false);
    return 0;
  }
  input.u8();
  const std::uint8_t shape = input.u8();
  const std::string text = generated_description(input, shape).dump();
  check_text(text, (shape & 1u) != 0);
  return 0;
}
