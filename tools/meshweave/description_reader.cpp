#include "description_reader.hpp"

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "diagnostics.hpp"
#include "meshweave/exchange/buffer_rules.hpp"
#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/schedule.hpp"
#include "meshweave/instruction_words/control_words.hpp"
#include "meshweave/topology/topology.hpp"
#include "number_text.hpp"
#include "strict_json.hpp"

namespace meshweave::tool {
namespace {

// The one card the tool knows; the key may be left out.
constexpr std::string_view card_name = "m1472";

[[noreturn]] void refuse(std::string path, std::string reason, std::size_t at) {
  throw JsonRefusal{std::move(path), std::move(reason), at};
}

// The keys of the three kinds of object, each a bit in an object's set of seen keys.
enum Key : unsigned {
  Topology = 1u << 0,
  Phases = 1u << 1,
  Transfers = 1u << 2,
  From = 1u << 3,
  To = 1u << 4,
  Words = 1u << 5,
  Source = 1u << 6,
  Destination = 1u << 7,
  Id = 1u << 8,
  After = 1u << 9,
};

struct KeyName {
  Key key;
  std::string_view name;
};
constexpr KeyName top_level_keys[] = {
    {Topology, "topology"}, {Phases, "phases"}, {Transfers, "transfers"}};
constexpr KeyName phase_keys[] = {{Transfers, "transfers"}};
// The keys every transfer must have; a transfer of the transfers form may add "id" and "after".
constexpr KeyName transfer_keys[] = {
    {From, "from"}, {To, "to"}, {Words, "words"}, {Source, "source"}, {Destination, "destination"}};
constexpr KeyName scheduled_transfer_keys[] = {{From, "from"},
                                               {To, "to"},
                                               {Words, "words"},
                                               {Source, "source"},
                                               {Destination, "destination"},
                                               {Id, "id"},
                                               {After, "after"}};

// The container being read. The format fixes what holds what, so the level
// alone says where the reader is.
enum class Level : std::uint8_t {
  Outside,
  TopLevel,
  PhaseList,
  Phase,
  TransferList,
  Transfer,
  ReceiverList,
  DestinationList,
  AfterList,
  Done,
};

// What a value found by its first event is for.
enum class Slot : std::uint8_t {
  Document,
  Topology,
  Phases,
  Phase,
  Transfers,
  Transfer,
  From,
  To,
  Words,
  Source,
  Destination,
  Receiver,
  DestinationElement,
  Id,
  After,
  AfterElement,
};

std::string type_name(const JsonNumber& number) {
  if (number.integer_syntax) return "a number";
  return number.text.find('.') != std::string_view::npos ? "a fractional number"
                                                         : "a number with an exponent";
}

// One transfer while its keys arrive, in any order; checked and stored when it closes.
struct TransferDraft {
  unsigned keys = 0;
  std::size_t at = 0;
  std::uint16_t sender = 0;
  bool multicast = false;
  std::uint16_t receiver = 0;
  std::size_t to_at = 0;
  std::vector<std::uint16_t> receivers;
  std::vector<std::size_t> receivers_at;
  std::uint32_t words = 0;
  std::uint32_t source = 0;
  std::size_t source_at = 0;
  bool destination_list = false;
  std::size_t destination_at = 0;
  std::vector<std::uint32_t> destinations;
  std::vector<std::size_t> destinations_at;
  std::size_t after_at = 0;
};

// An "after" entry, resolved once every id is known (it may name a later transfer).
struct PendingAfter {
  std::size_t transfer = 0;
  std::size_t element = 0;
  std::string id;
  std::size_t at = 0;
};

class DescriptionBuilder final : public JsonReceiver {
 public:
  ExchangeDescription take() && { return std::move(description_); }

  void object_start(std::size_t at) override {
    switch (slot()) {
      case Slot::Document:
        top_at_ = at;
        level_ = Level::TopLevel;
        return;
      case Slot::Phase:
        description_.phases.emplace_back();
        phase_keys_ = 0;
        phase_at_ = at;
        level_ = Level::Phase;
        return;
      case Slot::Transfer:
        start_transfer(at);
        level_ = Level::Transfer;
        return;
      default: wrong_type("an object", at);
    }
  }

  void object_end(std::size_t) override {
    switch (level_) {
      case Level::TopLevel:
        if ((top_keys_ & (Phases | Transfers)) == 0) {
          refuse({}, "missing \"phases\" (or \"transfers\")", top_at_);
        }
        if (scheduled_) check_after_cycles();
        level_ = Level::Done;
        return;
      case Level::Phase:
        if ((phase_keys_ & Transfers) == 0)
          refuse(phase_path(), "missing \"transfers\"", phase_at_);
        level_ = Level::PhaseList;
        return;
      default: finish_transfer(); level_ = Level::TransferList;
    }
  }

  void array_start(std::size_t at) override {
    switch (slot()) {
      case Slot::Phases: level_ = Level::PhaseList; return;
      case Slot::Transfers: level_ = Level::TransferList; return;
      case Slot::After:
        draft_.after_at = at;
        level_ = Level::AfterList;
        return;
      case Slot::To:
        draft_.multicast = true;
        draft_.to_at = at;
        level_ = Level::ReceiverList;
        return;
      case Slot::Destination:
        draft_.destination_list = true;
        draft_.destination_at = at;
        level_ = Level::DestinationList;
        return;
      default: wrong_type("an array", at);
    }
  }

  void array_end(std::size_t) override {
    switch (level_) {
      case Level::PhaseList: level_ = Level::TopLevel; return;
      case Level::TransferList: {
        if (scheduled_) {
          resolve_after();
          level_ = Level::TopLevel;
          return;
        }
        // Sized exactly: a phase's list grown by doubling would hold up to twice its transfers.
        auto& transfers = description_.phases.back().transfers;
        transfers.assign(std::make_move_iterator(phase_transfers_.begin()),
                         std::make_move_iterator(phase_transfers_.end()));
        phase_transfers_.clear();
        level_ = Level::Phase;
        return;
      }
      default: level_ = Level::Transfer;
    }
  }

  void key(std::string_view key, std::size_t at) override {
    switch (level_) {
      case Level::TopLevel:
        take_key(key, at, top_level_keys, top_keys_, [] { return std::string{}; });
        if ((top_keys_ & (Phases | Transfers)) == (Phases | Transfers)) {
          refuse(std::string{key}, "a description gives \"phases\" or \"transfers\", not both", at);
        }
        if (key_ == Transfers) scheduled_ = true;
        return;
      case Level::Phase:
        return take_key(key, at, phase_keys, phase_keys_, [this] { return phase_path(); });
      default:
        if (scheduled_) {
          return take_key(key, at, scheduled_transfer_keys, draft_.keys,
                          [this] { return transfer_path(); });
        }
        return take_key(key, at, transfer_keys, draft_.keys, [this] { return transfer_path(); });
    }
  }

  void string(std::string_view value, std::size_t at) override {
    switch (slot()) {
      case Slot::Topology:
        if (value != card_name) {
          refuse("topology", "unknown topology \"" + echo(value) + "\" (the only one is \"m1472\")",
                 at);
        }
        return;
      case Slot::Source:
        draft_.source = address_text(value, at);
        draft_.source_at = at;
        return;
      case Slot::Destination:
        draft_.destinations.push_back(address_text(value, at));
        draft_.destination_at = at;
        return;
      case Slot::DestinationElement:
        draft_.destinations_at.push_back(at);
        draft_.destinations.push_back(address_text(value, at));
        return;
      case Slot::Id: {
        const std::size_t index = description_.transfers.size();
        const auto [known, added] = ids_.try_emplace(std::string{value}, index);
        if (!added) {
          refuse(slot_path(),
                 "duplicate id \"" + echo(value) + "\" (also transfers[" +
                     std::to_string(known->second) + "])",
                 at);
        }
        return;
      }
      case Slot::AfterElement:
        pending_after_.push_back(
            {description_.transfers.size(), after_elements_++, std::string{value}, at});
        return;
      default: wrong_type("a string", at);
    }
  }

  void number(const JsonNumber& number, std::size_t at) override {
    switch (slot()) {
      case Slot::From: draft_.sender = tile(number, at); return;
      case Slot::To:
        draft_.receiver = tile(number, at);
        draft_.to_at = at;
        return;
      case Slot::Receiver:
        draft_.receivers.push_back(tile(number, at));
        draft_.receivers_at.push_back(at);
        return;
      case Slot::Words: draft_.words = word_count(number, at); return;
      case Slot::Source:
        draft_.source = address_number(number, at);
        draft_.source_at = at;
        return;
      case Slot::Destination:
        draft_.destinations.push_back(address_number(number, at));
        draft_.destination_at = at;
        return;
      case Slot::DestinationElement:
        draft_.destinations_at.push_back(at);
        draft_.destinations.push_back(address_number(number, at));
        return;
      default: wrong_type(type_name(number), at);
    }
  }

  void boolean(bool, std::size_t at) override { wrong_type("a boolean", at); }
  void null(std::size_t at) override { wrong_type("null", at); }

 private:
  Slot slot() const noexcept {
    switch (level_) {
      case Level::Outside: return Slot::Document;
      case Level::TopLevel:
        if (key_ == Topology) return Slot::Topology;
        return key_ == Transfers ? Slot::Transfers : Slot::Phases;
      case Level::PhaseList: return Slot::Phase;
      case Level::Phase: return Slot::Transfers;
      case Level::TransferList: return Slot::Transfer;
      case Level::ReceiverList: return Slot::Receiver;
      case Level::DestinationList: return Slot::DestinationElement;
      case Level::AfterList: return Slot::AfterElement;
      case Level::Transfer:
      case Level::Done: break;
    }
    switch (key_) {
      case From: return Slot::From;
      case To: return Slot::To;
      case Words: return Slot::Words;
      case Source: return Slot::Source;
      case Id: return Slot::Id;
      case After: return Slot::After;
      default: return Slot::Destination;
    }
  }

  // Paths are built only for messages; indices are those of the element being read.
  std::string phase_path() const {
    return "phases[" + std::to_string(description_.phases.size() - 1) + "]";
  }
  std::string transfer_path() const {
    if (scheduled_) return scheduled_path(description_.transfers.size());
    return phase_path() + ".transfers[" + std::to_string(phase_transfers_.size()) + "]";
  }
  static std::string scheduled_path(std::size_t index) {
    return "transfers[" + std::to_string(index) + "]";
  }
  std::string field_path(std::string_view field) const {
    return transfer_path() + "." + std::string{field};
  }
  std::string receiver_path(std::size_t index) const {
    return field_path("to") + "[" + std::to_string(index) + "]";
  }
  std::string destination_path(std::size_t index) const {
    return field_path("destination") + "[" + std::to_string(index) + "]";
  }
  std::string destination_element() const { return destination_path(draft_.destinations.size()); }

  std::string slot_path() const {
    switch (slot()) {
      case Slot::Document: return {};
      case Slot::Topology: return "topology";
      case Slot::Phases: return "phases";
      case Slot::Phase: return "phases[" + std::to_string(description_.phases.size()) + "]";
      case Slot::Transfers: return scheduled_ ? "transfers" : phase_path() + ".transfers";
      case Slot::Transfer: return transfer_path();
      case Slot::From: return field_path("from");
      case Slot::To: return field_path("to");
      case Slot::Words: return field_path("words");
      case Slot::Source: return field_path("source");
      case Slot::Destination: return field_path("destination");
      case Slot::Receiver: return receiver_path(draft_.receivers.size());
      case Slot::DestinationElement: return destination_element();
      case Slot::Id: return field_path("id");
      case Slot::After: return field_path("after");
      case Slot::AfterElement:
        return field_path("after") + "[" + std::to_string(after_elements_) + "]";
    }
    return {};
  }

  [[noreturn]] void wrong_type(const std::string& found, std::size_t at) const {
    std::string expected;
    switch (slot()) {
      case Slot::Document: refuse({}, "expected an object at the top level, found " + found, at);
      case Slot::Topology: expected = "a string"; break;
      case Slot::Phases:
      case Slot::Transfers:
      case Slot::After: expected = "an array"; break;
      case Slot::Phase:
      case Slot::Transfer: expected = "an object"; break;
      case Slot::From:
      case Slot::To:
      case Slot::Words:
      case Slot::Receiver: expected = "an integer"; break;
      case Slot::Source:
      case Slot::Destination:
      case Slot::DestinationElement: expected = "an address (an integer or \"0x...\")"; break;
      case Slot::Id: expected = "a string"; break;
      case Slot::AfterElement: expected = "an id (a string)"; break;
    }
    refuse(slot_path(), "expected " + expected + ", found " + found, at);
  }

  // `object_path` makes the object's path, for messages only.
  template <std::size_t Count, class ObjectPath>
  void take_key(std::string_view key, std::size_t at, const KeyName (&known)[Count], unsigned& seen,
                ObjectPath object_path) {
    const auto member = [&](std::string_view name) {
      const std::string path = object_path();
      return path.empty() ? std::string{name} : path + "." + std::string{name};
    };
    for (const KeyName& candidate : known) {
      if (candidate.name != key) continue;
      if ((seen & candidate.key) != 0) refuse(member(key), "duplicate key", at);
      seen |= candidate.key;
      key_ = candidate.key;
      return;
    }
    std::string expected;
    for (const KeyName& candidate : known) {
      if (!expected.empty()) expected += ", ";
      expected += candidate.name;
    }
    refuse(member(echo(key)), "unknown key (expected " + expected + ")", at);
  }

  void start_transfer(std::size_t at) {
    draft_.keys = 0;
    draft_.at = at;
    draft_.multicast = false;
    draft_.destination_list = false;
    draft_.receivers.clear();
    draft_.receivers_at.clear();
    draft_.destinations.clear();
    draft_.destinations_at.clear();
    after_elements_ = 0;
  }

  // An integer in a tile, word count or address slot: negative (or -0), past
  // 64 bits, or its value.
  std::uint16_t tile(const JsonNumber& number, std::size_t at) const {
    const std::uint64_t value = unsigned_value(number, "tile", "(write 0)", at);
    if (!number.magnitude || value >= M1472_TILE_COUNT) {
      refuse(slot_path(), "tile " + echo(number.text) + " is not on the card", at);
    }
    return static_cast<std::uint16_t>(value);
  }

  std::uint32_t word_count(const JsonNumber& number, std::size_t at) const {
    const std::string& range = scheduled_ ? scheduled_word_range() : word_range();
    const std::uint64_t value = unsigned_value(number, "word count", range, at);
    const std::uint64_t most = scheduled_ ? max_scheduled_words : MAX_TRANSFER_WORDS;
    if (!number.magnitude || value < MIN_TRANSFER_WORDS || value > most) {
      refuse(slot_path(), "word count " + echo(number.text) + " is out of range " + range, at);
    }
    return static_cast<std::uint32_t>(value);
  }

  // The scheduler splits a long transfer into pieces one SEND pair carries, so
  // the transfers form is bounded only by tile memory.
  static constexpr std::uint64_t max_scheduled_words = TILE_MEMORY_BYTES / 4;

  static std::string range_text(std::uint64_t most) {
    // Built by appending: GCC 12 warns falsely on a chain of + around a literal.
    std::string text{"("};
    text.append(std::to_string(MIN_TRANSFER_WORDS))
        .append(" to ")
        .append(std::to_string(most))
        .append(")");
    return text;
  }
  static const std::string& word_range() {
    static const std::string range = range_text(MAX_TRANSFER_WORDS);
    return range;
  }
  static const std::string& scheduled_word_range() {
    static const std::string range = range_text(max_scheduled_words);
    return range;
  }

  std::uint32_t address_number(const JsonNumber& number, std::size_t at) const {
    if (!number.integer_syntax) {
      refuse(slot_path(),
             "expected an address (an integer or \"0x...\"), found " + type_name(number), at);
    }
    const std::uint64_t value = unsigned_value(number, "address", "(write 0)", at);
    if (!number.magnitude) {
      refuse(slot_path(),
             "address " + echo(number.text) + " is not below " + hex_address(TILE_MEMORY_BYTES),
             at);
    }
    return checked_address(value, at);
  }

  std::uint32_t address_text(std::string_view text, std::size_t at) const {
    const auto parsed = parse_unsigned(text);
    const bool hex = text.starts_with("0x") || text.starts_with("0X");
    if (!parsed || !hex) {
      // Built by appending: GCC 12 warns falsely on a chain of + around a literal.
      std::string reason{"\""};
      reason.append(echo(text)).append("\" is not an address (expected an integer or \"0x...\")");
      refuse(slot_path(), reason, at);
    }
    return checked_address(*parsed, at);
  }

  std::uint32_t checked_address(std::uint64_t address, std::size_t at) const {
    if (!in_tile_memory(address)) {
      refuse(slot_path(),
             "address " + hex_address(address) + " is not below " + hex_address(TILE_MEMORY_BYTES),
             at);
    }
    if (!is_word_aligned(address)) {
      refuse(slot_path(), "address " + hex_address(address) + " is not a multiple of 4", at);
    }
    return static_cast<std::uint32_t>(address);
  }

  // The value of an integer with no sign, as far as 64 bits hold it (callers
  // refuse what they do not). A fraction, an exponent or a sign is refused here.
  std::uint64_t unsigned_value(const JsonNumber& number, std::string_view what,
                               std::string_view zero_hint, std::size_t at) const {
    if (!number.integer_syntax)
      refuse(slot_path(), "expected an integer, found " + type_name(number), at);
    if (number.negative) {
      if (number.magnitude == 0u) {
        refuse(slot_path(), "-0 is not a valid " + std::string{what} + " " + std::string{zero_hint},
               at);
      }
      refuse(slot_path(), std::string{what} + " " + echo(number.text) + " is negative", at);
    }
    return number.magnitude.value_or(0);
  }

  // Checks what needs the whole transfer, in the order of its keys, and stores it.
  void finish_transfer() {
    TransferDraft& t = draft_;
    for (const KeyName& key : transfer_keys) {
      if ((t.keys & key.key) == 0) {
        refuse(transfer_path(), "missing \"" + std::string{key.name} + "\"", t.at);
      }
    }
    if (!t.multicast) {
      if (t.receiver == t.sender) {
        refuse(field_path("to"), "tile " + std::to_string(t.receiver) + " is the sender", t.to_at);
      }
    } else {
      std::bitset<M1472_TILE_COUNT> seen;
      for (std::size_t i = 0; i < t.receivers.size(); ++i) {
        const std::uint16_t tile = t.receivers[i];
        if (tile == t.sender) {
          refuse(receiver_path(i), "tile " + std::to_string(tile) + " is the sender",
                 t.receivers_at[i]);
        }
        if (seen.test(tile)) {
          refuse(receiver_path(i),
                 "tile " + std::to_string(tile) + " is already a receiver of this transfer",
                 t.receivers_at[i]);
        }
        seen.set(tile);
      }
      if (t.receivers.empty()) {
        refuse(field_path("to"), "a multicast needs at least one receiver", t.to_at);
      }
    }
    if (t.destination_list) {
      if (!t.multicast) {
        refuse(field_path("destination"), "a point-to-point transfer has one destination address",
               t.destination_at);
      }
      const std::size_t given = t.destinations.size();
      if (!destination_count_fits(given, t.receivers.size())) {
        refuse(field_path("destination"),
               std::to_string(given) + " addresses for " + std::to_string(t.receivers.size()) +
                   " receivers (give one shared address or one per receiver)",
               t.destination_at);
      }
    }
    check_range(t.source, "from", [&] { return field_path("source"); }, t.source_at);
    for (std::size_t i = 0; i < t.destinations.size(); ++i) {
      if (t.destination_list) {
        check_range(
            t.destinations[i], "to", [&] { return destination_path(i); }, t.destinations_at[i]);
      } else {
        check_range(
            t.destinations[i], "to", [&] { return field_path("destination"); }, t.destination_at);
      }
    }
    Transfer transfer;
    if (t.multicast) {
      transfer = MulticastTransfer{t.sender, std::move(t.receivers), t.words, t.source,
                                   std::move(t.destinations)};
    } else {
      transfer =
          PointToPointTransfer{t.sender, t.receiver, t.words, t.source, t.destinations.front()};
    }
    if (scheduled_) {
      if ((t.keys & After) != 0) after_at_.emplace(description_.transfers.size(), t.after_at);
      description_.transfers.push_back({std::move(transfer), {}});
    } else {
      phase_transfers_.push_back(std::move(transfer));
    }
  }

  // Every id is known once the list closes: each "after" entry becomes an index.
  void resolve_after() {
    for (PendingAfter& entry : pending_after_) {
      const auto found = ids_.find(entry.id);
      if (found == ids_.end()) {
        refuse(scheduled_path(entry.transfer) + ".after[" + std::to_string(entry.element) + "]",
               "unknown id \"" + echo(entry.id) + "\"", entry.at);
      }
      description_.transfers[entry.transfer].after.push_back(found->second);
    }
    pending_after_ = {};
    ids_ = {};
  }

  // The library finds a cycle of waits; it is reported at the "after" of a
  // transfer on it.
  void check_after_cycles() const {
    const auto form = check_form(description_);
    if (form || form.error().kind != CompileError::Kind::AfterCycle) return;
    const std::size_t transfer = form.error().transfer.value_or(0);
    const std::size_t other = form.error().other_transfer.value_or(transfer);
    const auto at = after_at_.find(transfer);
    std::string reason = "transfer " + std::to_string(transfer) + " waits for itself";
    if (other != transfer) reason += " (through transfer " + std::to_string(other) + ")";
    refuse(scheduled_path(transfer) + ".after", reason, at == after_at_.end() ? 0 : at->second);
  }

  // The whole buffer must lie in tile memory, not only its first word. The
  // path is built only for the message.
  template <class Path>
  void check_range(std::uint32_t address, std::string_view direction, Path path,
                   std::size_t at) const {
    if (!buffer_fits_tile_memory(address, draft_.words)) {
      refuse(path(),
             "transfer of " + std::to_string(draft_.words) + " words " + std::string{direction} +
                 " " + hex_address(address) + " runs past " + hex_address(TILE_MEMORY_BYTES),
             at);
    }
  }

  ExchangeDescription description_;
  std::vector<Transfer> phase_transfers_;
  Level level_ = Level::Outside;
  Key key_ = Topology;
  unsigned top_keys_ = 0;
  unsigned phase_keys_ = 0;
  std::size_t top_at_ = 0;
  std::size_t phase_at_ = 0;
  TransferDraft draft_;
  // The transfers form: ids, "after" entries awaiting their ids, and where each "after" is.
  bool scheduled_ = false;
  std::size_t after_elements_ = 0;
  std::unordered_map<std::string, std::size_t> ids_;
  std::vector<PendingAfter> pending_after_;
  std::unordered_map<std::size_t, std::size_t> after_at_;
};

}  // namespace

std::expected<ExchangeDescription, InputError> read_description(std::string_view json_text) {
  DescriptionBuilder builder;
  if (auto refused = read_json_events(json_text, builder))
    return std::unexpected(std::move(*refused));
  return std::move(builder).take();
}

}  // namespace meshweave::tool
