#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/description.hpp"
#include "meshweave/topology/topology.hpp"
#include "range_text.hpp"

namespace meshweave::tool {

struct TimelineOptions {
  // Shown above the picture; any bytes are safe (see xml_text).
  std::string title = "exchange timeline";
  // Beyond this many tiles the picture draws the first lanes only and adds a
  // summary lane for all tiles, so that it stays readable.
  std::size_t max_lanes = 48;
  // A window of the timeline: the logical tiles and the cycles drawn. Absent,
  // every tile and the cycles from 0 to the horizon.
  std::optional<InclusiveRange> tiles;
  std::optional<InclusiveRange> cycles;
};

// Why a window cannot be drawn: the option at fault ("tiles" or "cycles") and
// the reason.
struct TimelineWindowError {
  std::string option;
  std::string message;

  friend bool operator==(const TimelineWindowError&, const TimelineWindowError&) = default;
};

// Refuses a tile range that leaves the card and a cycle range that starts
// after the exchange has ended. A cycle range running past the horizon is
// drawn up to the horizon.
std::optional<TimelineWindowError> check_timeline_window(const TimelineOptions& options,
                                                         const Topology& topology,
                                                         const CompiledExchange& compiled);

// A self-contained SVG picture of a compiled exchange: one lane per tile that
// takes part (in logical order) with its SEND windows above and its receive
// windows below (see transfer_windows.hpp), phases (a scheduled exchange has
// none) divided and labelled on a cycle axis. Windows closer together than a unit of the picture
// are drawn as one bar whose tooltip counts them; every other bar's tooltip names its transfer.
// Beyond max_lanes tiles a summary lane shows how many tiles are busy over time. Work and size grow
// with what is drawn, not with the exchange. Options outside the card or the timeline draw an empty
// window; check them with check_timeline_window first.
std::string render_svg_timeline(const Topology& topology, const ExchangeDescription& description,
                                const CompiledExchange& compiled,
                                const TimelineOptions& options = {});

}  // namespace meshweave::tool
