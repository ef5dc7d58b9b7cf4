#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

#include "meshweave/exchange/compiler.hpp"

namespace meshweave {
namespace {

std::string hex(std::uint32_t value) {
  char digits[8];
  const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
  return "0x" + std::string(digits, end);
}

}  // namespace

std::string_view kind_name(CompileError::Kind kind) noexcept {
  static constexpr std::array<std::string_view, 7> names{
      "Library",   "TileConflict", "DestinationCount", "AddressRange",
      "BothForms", "AfterIndex",   "AfterCycle"};
  static_assert(static_cast<std::size_t>(CompileError::Kind::AfterCycle) + 1 == names.size());
  return names[static_cast<std::size_t>(kind)];
}

std::string to_string(const CompileError& error) {
  std::string out = error.scheduled ? std::string{} : "phase " + std::to_string(error.phase);
  if (error.scheduled && error.transfer && error.kind == CompileError::Kind::Library) {
    out = "transfer " + std::to_string(*error.transfer);
    if (error.tile) out += ", tile " + std::to_string(*error.tile);
    return out + ": " + to_string(error.error);
  }
  switch (error.kind) {
    case CompileError::Kind::Library:
      if (error.scheduled) out = "exchange";
      if (error.transfer) out += ", transfer " + std::to_string(*error.transfer);
      if (error.tile) out += ", tile " + std::to_string(*error.tile);
      return out + ": " + to_string(error.error);
    case CompileError::Kind::TileConflict:
      return out + ": tile " + std::to_string(error.tile.value_or(0)) +
             " takes part in transfers " + std::to_string(error.other_transfer.value_or(0)) +
             " and " + std::to_string(error.transfer.value_or(0));
    case CompileError::Kind::AddressRange:
      return out + ", transfer " + std::to_string(error.transfer.value_or(0)) + ", tile " +
             std::to_string(error.tile.value_or(0)) + ": buffer at " +
             hex(error.error.address_value()) + " runs past the end of tile memory (" +
             hex(TILE_MEMORY_BYTES) + ")";
    case CompileError::Kind::DestinationCount:
      return (error.scheduled ? std::string{"transfer "} : out + ", transfer ") +
             std::to_string(error.transfer.value_or(0)) +
             ": a multicast needs one destination address or one per receiver";
    case CompileError::Kind::BothForms: return "a description gives phases or transfers, not both";
    case CompileError::Kind::AfterIndex:
      return "transfer " + std::to_string(error.transfer.value_or(0)) + ": after names transfer " +
             std::to_string(error.other_transfer.value_or(0)) + ", which does not exist";
    case CompileError::Kind::AfterCycle:
      return "transfer " + std::to_string(error.transfer.value_or(0)) + " and transfer " +
             std::to_string(error.other_transfer.value_or(0)) +
             " wait for each other (a cycle of dependencies)";
  }
  return out;
}

std::string explain(const CompileError& error) {
  if (error.kind != CompileError::Kind::Library || !error.refusal) return to_string(error);
  std::string out = "phase " + std::to_string(error.phase);
  if (error.transfer) out += ", transfer " + std::to_string(*error.transfer);
  if (error.tile) out += ", tile " + std::to_string(*error.tile);
  return out + ": " + explain(*error.refusal);
}

std::ostream& operator<<(std::ostream& out, const CompileError& error) {
  return out << to_string(error);
}

}  // namespace meshweave
