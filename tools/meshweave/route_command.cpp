#include "route_command.hpp"

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>

#include "diagnostics.hpp"
#include "exit_codes.hpp"
#include "meshweave/topology/route.hpp"
#include "meshweave/topology/topology.hpp"

namespace meshweave::tool {
namespace {

struct Tile {
  std::uint16_t logical;
  std::uint16_t physical;
};

// Both numberings of a tile given in either one; nullopt when it is not on the card.
std::optional<Tile> find_tile(const Topology& topology, std::uint64_t number, bool physical) {
  if (number >= topology.tile_count()) return std::nullopt;
  const auto table = topology.logical_to_physical();
  if (!physical) {
    return Tile{static_cast<std::uint16_t>(number), table[number]};
  }
  const auto at = std::find(table.begin(), table.end(), number);
  if (at == table.end()) return std::nullopt;
  return Tile{static_cast<std::uint16_t>(at - table.begin()), static_cast<std::uint16_t>(number)};
}

}  // namespace

int run_route(const RouteRequest& request, std::ostream& out, std::ostream& err) {
  const Topology topology = Topology::m1472();
  const std::string numbering = request.physical ? "physical tile " : "tile ";
  const auto from = find_tile(topology, request.from, request.physical);
  const auto to = find_tile(topology, request.to, request.physical);
  for (const auto& [tile, number, argument] :
       {std::tuple{from, request.from, "from"}, std::tuple{to, request.to, "to"}}) {
    if (!tile) {
      report_error(err, "route", argument,
                   numbering + std::to_string(number) + " is not on the card");
      return exit_bad_input;
    }
  }
  // A tile has no route to itself.
  if (request.from == request.to) {
    report_error(err, "route", "",
                 numbering + std::to_string(request.from) + " is both the sender and the receiver");
    return exit_bad_input;
  }
  const std::uint32_t source = from->physical;
  const std::uint32_t destination = to->physical;
  out << "from tile " << from->logical << " (physical " << source << ") to tile " << to->logical
      << " (physical " << destination << ")\n"
      << "displacement " << route_displacement(source, destination) << '\n'
      << "direction " << direction(source, destination) << '\n'
      << "time_to_mux " << time_to_mux(source, destination) << '\n';
  return exit_success;
}

}  // namespace meshweave::tool
