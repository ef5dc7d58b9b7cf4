#include "description_reader.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/topology/topology.hpp"
#include "number_text.hpp"
#include "strict_json.hpp"

namespace meshweave::tool {
namespace {

using nlohmann::json;

// The one card the tool knows; the key may be left out.
constexpr std::string_view card_name = "m1472";
// A SEND word addresses tile memory below this byte address, in whole words.
constexpr std::uint64_t address_limit = 0x100000;
constexpr std::uint64_t address_alignment = 4;

// Thrown inside the reader only, to unwind to read_description with the first
// problem found; never leaves this file.
struct Refusal {
  InputError error;
};

[[noreturn]] void refuse(std::string path, std::string reason) {
  throw Refusal{InputError{std::move(path), std::move(reason)}};
}

std::string member(const std::string& path, std::string_view key) {
  return path.empty() ? std::string{key} : path + '.' + std::string{key};
}
std::string element(const std::string& path, std::size_t index) {
  return path + '[' + std::to_string(index) + ']';
}

// Text from the file echoed in a message, cut so that a runaway string stays one line.
std::string shortened(const std::string& text) {
  constexpr std::size_t shown = 40;
  return text.size() <= shown ? text : text.substr(0, shown) + "...";
}

std::string type_name(const json& value) {
  switch (value.type()) {
    case json::value_t::null: return "null";
    case json::value_t::boolean: return "a boolean";
    case json::value_t::string: return "a string";
    case json::value_t::array: return "an array";
    case json::value_t::object: return "an object";
    case json::value_t::number_float: return "a fractional number";
    default: return "a number";
  }
}

[[noreturn]] void wrong_type(const std::string& path, std::string_view expected,
                             const json& found) {
  refuse(path, "expected " + std::string{expected} + ", found " + type_name(found));
}

// Refuses keys outside `allowed` and reports the first missing one of `required`.
void check_keys(const json& object, const std::string& path,
                std::initializer_list<std::string_view> allowed,
                std::initializer_list<std::string_view> required) {
  for (const auto& [key, value] : object.items()) {
    if (std::find(allowed.begin(), allowed.end(), key) == allowed.end()) {
      std::string expected;
      for (const std::string_view name : allowed) {
        expected += expected.empty() ? "" : ", ";
        expected += name;
      }
      refuse(member(path, key), "unknown key (expected " + expected + ")");
    }
  }
  for (const std::string_view key : required) {
    if (!object.contains(key)) refuse(path, "missing \"" + std::string{key} + "\"");
  }
}

const json& object_at(const json& value, const std::string& path) {
  if (!value.is_object()) wrong_type(path, "an object", value);
  return value;
}

const json& array_at(const json& value, const std::string& path) {
  if (!value.is_array()) wrong_type(path, "an array", value);
  return value;
}

// Any JSON integer, as a 64-bit magnitude; negative values are out of range for
// every field, so they are refused here with the number in the message.
std::uint64_t unsigned_at(const json& value, const std::string& path, std::string_view what) {
  if (value.is_number_unsigned()) return value.get<std::uint64_t>();
  if (value.is_number_integer()) {
    refuse(path, std::string{what} + " " + std::to_string(value.get<std::int64_t>()) +
                     " is negative");
  }
  wrong_type(path, "an integer", value);
}

std::uint16_t tile_at(const json& value, const std::string& path) {
  const std::uint64_t tile = unsigned_at(value, path, "tile");
  if (tile >= M1472_TILE_COUNT) {
    refuse(path, "tile " + std::to_string(tile) + " is not on the card");
  }
  return static_cast<std::uint16_t>(tile);
}

std::uint32_t words_at(const json& value, const std::string& path) {
  const std::uint64_t words = unsigned_at(value, path, "word count");
  if (words < MIN_TRANSFER_WORDS || words > MAX_TRANSFER_WORDS) {
    refuse(path, "word count " + std::to_string(words) + " is out of range (" +
                     std::to_string(MIN_TRANSFER_WORDS) + " to " +
                     std::to_string(MAX_TRANSFER_WORDS) + ")");
  }
  return static_cast<std::uint32_t>(words);
}

// A byte address in tile memory: an integer or a "0x..." string.
std::uint32_t address_at(const json& value, const std::string& path) {
  std::uint64_t address = 0;
  if (value.is_string()) {
    const std::string& text = value.get_ref<const std::string&>();
    const auto parsed = parse_unsigned(text);
    const bool hex = text.starts_with("0x") || text.starts_with("0X");
    if (!parsed || !hex) {
      // Built by appending: GCC 12 warns falsely on a chain of + around a literal.
      std::string reason{"\""};
      reason.append(shortened(text)).append("\" is not an address (expected an integer or \"0x...\")");
      refuse(path, reason);
    }
    address = *parsed;
  } else if (value.is_number_integer()) {
    address = unsigned_at(value, path, "address");
  } else {
    wrong_type(path, "an address (an integer or \"0x...\")", value);
  }
  if (address >= address_limit) {
    refuse(path, "address " + hex_address(address) + " is not below " +
                     hex_address(address_limit));
  }
  if (address % address_alignment != 0) {
    refuse(path, "address " + hex_address(address) + " is not a multiple of 4");
  }
  return static_cast<std::uint32_t>(address);
}

std::vector<std::uint16_t> receivers_at(const json& value, const std::string& path,
                                        std::uint16_t sender) {
  std::vector<std::uint16_t> receivers;
  receivers.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    const std::string at = element(path, i);
    const std::uint16_t tile = tile_at(value[i], at);
    if (tile == sender) refuse(at, "tile " + std::to_string(tile) + " is the sender");
    if (std::find(receivers.begin(), receivers.end(), tile) != receivers.end()) {
      refuse(at, "tile " + std::to_string(tile) + " is already a receiver of this transfer");
    }
    receivers.push_back(tile);
  }
  if (receivers.empty()) refuse(path, "a multicast needs at least one receiver");
  return receivers;
}

Transfer transfer_at(const json& value, const std::string& path) {
  const json& object = object_at(value, path);
  check_keys(object, path, {"from", "to", "words", "source", "destination"},
             {"from", "to", "words", "source", "destination"});
  const std::uint16_t sender = tile_at(object["from"], member(path, "from"));
  const json& to = object["to"];
  const std::string to_path = member(path, "to");
  const json& destination = object["destination"];
  const std::string destination_path = member(path, "destination");

  if (!to.is_array()) {
    const std::uint16_t receiver = tile_at(to, to_path);
    if (receiver == sender) refuse(to_path, "tile " + std::to_string(receiver) + " is the sender");
    const std::uint32_t count = words_at(object["words"], member(path, "words"));
    const std::uint32_t source = address_at(object["source"], member(path, "source"));
    if (destination.is_array()) {
      refuse(destination_path, "a point-to-point transfer has one destination address");
    }
    return PointToPointTransfer{sender, receiver, count, source,
                                address_at(destination, destination_path)};
  }

  MulticastTransfer multicast;
  multicast.sender = sender;
  multicast.receivers = receivers_at(to, to_path, sender);
  multicast.count = words_at(object["words"], member(path, "words"));
  multicast.source_address = address_at(object["source"], member(path, "source"));
  if (destination.is_array()) {
    const std::size_t given = destination.size();
    if (given != 1 && given != multicast.receivers.size()) {
      refuse(destination_path,
             std::to_string(given) + " addresses for " +
                 std::to_string(multicast.receivers.size()) +
                 " receivers (give one shared address or one per receiver)");
    }
    multicast.destination_addresses.reserve(given);
    for (std::size_t i = 0; i < given; ++i) {
      multicast.destination_addresses.push_back(
          address_at(destination[i], element(destination_path, i)));
    }
  } else {
    multicast.destination_addresses.push_back(address_at(destination, destination_path));
  }
  return multicast;
}

Phase phase_at(const json& value, const std::string& path) {
  const json& object = object_at(value, path);
  check_keys(object, path, {"transfers"}, {"transfers"});
  const std::string transfers_path = member(path, "transfers");
  const json& transfers = array_at(object["transfers"], transfers_path);
  Phase phase;
  phase.transfers.reserve(transfers.size());
  for (std::size_t i = 0; i < transfers.size(); ++i) {
    phase.transfers.push_back(transfer_at(transfers[i], element(transfers_path, i)));
  }
  return phase;
}

ExchangeDescription description_at(const json& document) {
  if (!document.is_object()) {
    refuse({}, "expected an object at the top level, found " + type_name(document));
  }
  check_keys(document, {}, {"topology", "phases"}, {"phases"});
  if (const auto topology = document.find("topology"); topology != document.end()) {
    if (!topology->is_string()) wrong_type("topology", "a string", *topology);
    if (topology->get_ref<const std::string&>() != card_name) {
      refuse("topology", "unknown topology \"" + shortened(topology->get<std::string>()) +
                             "\" (the only one is \"m1472\")");
    }
  }
  const json& phases = array_at(document["phases"], "phases");
  ExchangeDescription description;
  description.phases.reserve(phases.size());
  for (std::size_t i = 0; i < phases.size(); ++i) {
    description.phases.push_back(phase_at(phases[i], element("phases", i)));
  }
  return description;
}

}  // namespace

std::expected<ExchangeDescription, InputError> read_description(const nlohmann::json& document) {
  try {
    return description_at(document);
  } catch (const Refusal& refusal) {
    return std::unexpected(refusal.error);
  }
}

std::expected<ExchangeDescription, InputError> read_description(std::string_view json_text) {
  auto document = parse_strict_json(json_text);
  if (!document) return std::unexpected(std::move(document.error()));
  return read_description(*document);
}

}  // namespace meshweave::tool
