#pragma once

#include <cstddef>
#include <string>

#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/description.hpp"
#include "meshweave/topology/topology.hpp"

namespace meshweave::tool {

struct TimelineOptions {
  // Shown above the picture; escaped, so any text is safe.
  std::string title = "exchange timeline";
  // Beyond this many tiles the picture draws the first lanes only and adds a
  // summary lane for all tiles, so that it stays readable.
  std::size_t max_lanes = 48;
};

// A self-contained SVG picture of a compiled exchange: one lane per tile that
// takes part (in logical order), SEND windows and receive windows (from the end
// of the receiver's first XPIC, for as many cycles as there are words) as coloured bars on a cycle axis, phases shaded and labelled.
// Every bar carries a tooltip naming the transfer.
std::string render_svg_timeline(const Topology& topology, const ExchangeDescription& description,
                                const CompiledExchange& compiled,
                                const TimelineOptions& options = {});

}  // namespace meshweave::tool
