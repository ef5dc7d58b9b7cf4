#pragma once

#include <cstdint>
#include <iosfwd>

namespace meshweave::tool {

struct RouteRequest {
  std::uint64_t from = 0;
  std::uint64_t to = 0;
  bool physical = false;  // `from` and `to` are physical tile numbers
};

// `meshweave route`: physical tiles, displacement, direction and time_to_mux
// of the route between two tiles of the M1472 card. Tiles off the card, or one
// tile as both ends, are refused with exit status 1.
int run_route(const RouteRequest& request, std::ostream& out, std::ostream& err);

}  // namespace meshweave::tool
