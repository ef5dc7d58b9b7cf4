#include "meshweave/instruction_words/error.hpp"

#include <ostream>
#include <string>

namespace meshweave {

std::string_view kind_name(ExchangeError::Kind kind) noexcept {
  switch (kind) {
    case ExchangeError::Kind::Tile: return "Tile";
    case ExchangeError::Kind::DuplicateTile: return "DuplicateTile";
    case ExchangeError::Kind::Count: return "Count";
    case ExchangeError::Kind::ReceiverSet: return "ReceiverSet";
    case ExchangeError::Kind::Schedule: return "Schedule";
    case ExchangeError::Kind::PlanOffsetRange: return "PlanOffsetRange";
    case ExchangeError::Kind::Address: return "Address";
    case ExchangeError::Kind::HostPacket: return "HostPacket";
  }
  return "Unknown";
}

namespace {

// Message text in double quotes, with quote and backslash escaped.
void append_quoted(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
}

}  // namespace

std::string to_string(const ExchangeError& error) {
  std::string out{kind_name(error.kind())};
  switch (error.kind()) {
    case ExchangeError::Kind::Tile: out += '(' + std::to_string(error.tile_value()) + ')'; break;
    case ExchangeError::Kind::Count: out += '(' + std::to_string(error.count_value()) + ')'; break;
    case ExchangeError::Kind::Address:
      out += '(' + std::to_string(error.address_value()) + ')';
      break;
    case ExchangeError::Kind::Schedule:
      out += '(';
      append_quoted(out, error.message());
      out += ')';
      break;
    case ExchangeError::Kind::PlanOffsetRange:
      out += " { cycles: " + std::to_string(error.cycles()) +
             ", maximum: " + std::to_string(error.maximum()) + " }";
      break;
    case ExchangeError::Kind::DuplicateTile:
    case ExchangeError::Kind::ReceiverSet:
    case ExchangeError::Kind::HostPacket: break;
  }
  return out;
}

std::ostream& operator<<(std::ostream& out, const ExchangeError& error) {
  return out << to_string(error);
}

}  // namespace meshweave
