#include "svg_timeline.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

namespace meshweave::tool {
namespace {

// Layout in SVG user units.
constexpr double left_margin = 170;
constexpr double plot_width = 1000;
constexpr double right_margin = 50;
constexpr double plot_top = 84;
constexpr double lane_height = 16;
constexpr double bar_height = 10;
constexpr double summary_height = 48;
constexpr double axis_gap = 6;
constexpr std::size_t summary_buckets = 250;
constexpr int target_ticks = 10;

constexpr std::string_view send_colour = "#e07b2e";
constexpr std::string_view receive_colour = "#2f6fc4";
constexpr std::string_view phase_shades[] = {"#f4f4f4", "#fbfbfb"};

enum class BarKind : std::uint8_t { Send, Receive };

struct Bar {
  std::uint16_t tile;
  BarKind kind;
  std::uint64_t start;
  std::uint64_t end;  // exclusive
  std::size_t phase;
  std::string tooltip;
};

std::string number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  return buffer;
}

std::string escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string tile_list(std::span<const std::uint16_t> tiles) {
  constexpr std::size_t shown = 8;
  std::string out;
  for (std::size_t i = 0; i < tiles.size() && i < shown; ++i) {
    out += (i == 0 ? "" : ", ") + std::to_string(tiles[i]);
  }
  if (tiles.size() > shown) out += ", ... (" + std::to_string(tiles.size()) + " tiles)";
  return out;
}

std::string plural(std::uint64_t count, std::string_view noun) {
  return std::to_string(count) + " " + std::string{noun} + (count == 1 ? "" : "s");
}

std::string cycles(std::uint64_t start, std::uint64_t end) {
  return "cycles " + std::to_string(start) + " to " + std::to_string(end - 1);
}

// Send and receive windows of every transfer, from the compiler's timings.
std::vector<Bar> collect_bars(const ExchangeDescription& description,
                              const CompiledExchange& compiled) {
  std::vector<Bar> bars;
  for (const TransferTiming& timing : compiled.timings) {
    if (timing.phase >= description.phases.size() ||
        timing.transfer >= description.phases[timing.phase].transfers.size()) {
      continue;  // timings that do not belong to this description draw nothing
    }
    const TransferView transfer = view(description.phases[timing.phase].transfers[timing.transfer]);
    const std::string name = "phase " + std::to_string(timing.phase) + ", transfer " +
                             std::to_string(timing.transfer) + ": ";
    const std::uint64_t send = timing.send_cycle;
    bars.push_back(Bar{transfer.sender, BarKind::Send, send, send + transfer.count, timing.phase,
                       name + "tile " + std::to_string(transfer.sender) + " sends " +
                           std::to_string(transfer.count) + " words to " +
                           tile_list(transfer.receivers) + ", " +
                           cycles(send, send + transfer.count)});
    const std::size_t receivers = std::min(transfer.receivers.size(), timing.arrival_cycles.size());
    for (std::size_t i = 0; i < receivers; ++i) {
      const std::uint64_t arrival = timing.arrival_cycles[i];
      bars.push_back(Bar{transfer.receivers[i], BarKind::Receive, arrival,
                         arrival + transfer.count, timing.phase,
                         name + "tile " + std::to_string(transfer.receivers[i]) + " receives " +
                             std::to_string(transfer.count) + " words from " +
                             std::to_string(transfer.sender) + ", " +
                             cycles(arrival, arrival + transfer.count)});
    }
  }
  std::stable_sort(bars.begin(), bars.end(), [](const Bar& a, const Bar& b) {
    return a.tile != b.tile ? a.tile < b.tile : a.start < b.start;
  });
  return bars;
}

// A tick step of 1, 2 or 5 times a power of ten giving about target_ticks ticks.
std::uint64_t tick_step(std::uint64_t span) {
  const double raw = static_cast<double>(span) / target_ticks;
  std::uint64_t magnitude = 1;
  while (static_cast<double>(magnitude) * 10 <= raw) magnitude *= 10;
  for (const std::uint64_t factor : {1u, 2u, 5u}) {
    if (static_cast<double>(magnitude * factor) >= raw) return magnitude * factor;
  }
  return magnitude * 10;
}

class Canvas {
 public:
  explicit Canvas(std::uint64_t horizon) : span_{std::max<std::uint64_t>(horizon, 1)} {}

  double x(std::uint64_t cycle) const {
    return left_margin + plot_width * static_cast<double>(std::min(cycle, span_)) /
                             static_cast<double>(span_);
  }
  std::uint64_t span() const noexcept { return span_; }

  void rect(double x0, double y0, double width, double height, std::string_view fill,
            std::string_view tooltip = {}) {
    out_ += "<rect x=\"" + number(x0) + "\" y=\"" + number(y0) + "\" width=\"" + number(width) +
            "\" height=\"" + number(height) + "\" fill=\"" + std::string{fill} + "\"";
    if (tooltip.empty()) {
      out_ += "/>\n";
    } else {
      out_ += "><title>" + escape(tooltip) + "</title></rect>\n";
    }
  }
  void line(double x0, double y0, double x1, double y1, std::string_view style) {
    out_ += "<line x1=\"" + number(x0) + "\" y1=\"" + number(y0) + "\" x2=\"" + number(x1) +
            "\" y2=\"" + number(y1) + "\" " + std::string{style} + "/>\n";
  }
  void text(double x0, double y0, std::string_view content, std::string_view attributes = {}) {
    out_ += "<text x=\"" + number(x0) + "\" y=\"" + number(y0) + "\"";
    if (!attributes.empty()) {
      out_ += ' ';
      out_ += attributes;
    }
    out_ += '>';
    out_ += escape(content);
    out_ += "</text>\n";
  }
  void raw(std::string_view svg) { out_ += svg; }
  std::string take() { return std::move(out_); }

 private:
  std::uint64_t span_;
  std::string out_;
};

void draw_legend(Canvas& canvas, const TimelineOptions& options, std::size_t tiles,
                 const CompiledExchange& compiled) {
  canvas.text(left_margin, 24, options.title, "class=\"title\"");
  canvas.text(left_margin, 44,
              plural(tiles, "tile") + ", " + plural(compiled.phase_starts.size(), "phase") +
                  ", horizon " + plural(compiled.horizon, "cycle"));
  const double legend_x = left_margin + plot_width - 400;
  canvas.rect(legend_x, 35, 14, bar_height, send_colour);
  canvas.text(legend_x + 20, 44, "SEND");
  canvas.rect(legend_x + 80, 35, 14, bar_height, receive_colour);
  canvas.text(legend_x + 100, 44, "receive (from the end of the first XPIC, a cycle per word)");
}

void draw_phases(Canvas& canvas, const CompiledExchange& compiled, double bottom) {
  const std::size_t phases = std::min(compiled.phase_starts.size(), compiled.phase_ends.size());
  for (std::size_t p = 0; p < phases; ++p) {
    const double x0 = canvas.x(compiled.phase_starts[p]);
    const double x1 = canvas.x(compiled.phase_ends[p]);
    canvas.rect(x0, plot_top, std::max(x1 - x0, 1.0), bottom - plot_top, phase_shades[p % 2]);
    canvas.line(x0, plot_top - 14, x0, bottom, "class=\"boundary\"");
    canvas.text(x0 + 3, plot_top - 4, "phase " + std::to_string(p), "class=\"phase\"");
  }
}

void draw_axis(Canvas& canvas, double y) {
  canvas.line(canvas.x(0), y, canvas.x(canvas.span()), y, "class=\"axis\"");
  const std::uint64_t step = tick_step(canvas.span());
  for (std::uint64_t cycle = 0; cycle <= canvas.span(); cycle += step) {
    canvas.line(canvas.x(cycle), y, canvas.x(cycle), y + 5, "class=\"axis\"");
    canvas.text(canvas.x(cycle), y + 18, std::to_string(cycle), "class=\"tick\"");
  }
  canvas.text(canvas.x(canvas.span()), y + 34, "cycle", "class=\"tick end\"");
}

void draw_bar(Canvas& canvas, const Bar& bar, double lane_y) {
  const double x0 = canvas.x(bar.start);
  const double width = std::max(canvas.x(bar.end) - x0, 1.0);  // one cycle may be under a unit
  canvas.rect(x0, lane_y + (lane_height - bar_height) / 2, width, bar_height,
              bar.kind == BarKind::Send ? send_colour : receive_colour, bar.tooltip);
}

// How many tiles are busy in each slice of the timeline, sending and receiving,
// over all tiles; drawn as two stacked histograms.
void draw_summary(Canvas& canvas, const std::vector<Bar>& bars, const CompiledExchange& compiled,
                  double y) {
  std::vector<std::int64_t> sending(summary_buckets + 1, 0);
  std::vector<std::int64_t> receiving(summary_buckets + 1, 0);
  const auto bucket = [&](std::uint64_t cycle) {
    const std::uint64_t clamped = std::min(cycle, canvas.span());
    return static_cast<std::size_t>(clamped * (summary_buckets - 1) / canvas.span());
  };
  for (const Bar& bar : bars) {
    auto& counts = bar.kind == BarKind::Send ? sending : receiving;
    ++counts[bucket(bar.start)];
    --counts[bucket(bar.end - 1) + 1];
  }
  std::int64_t peak = 1;
  std::int64_t send_running = 0;
  std::int64_t receive_running = 0;
  for (std::size_t i = 0; i < summary_buckets; ++i) {
    send_running += sending[i];
    receive_running += receiving[i];
    sending[i] = send_running;
    receiving[i] = receive_running;
    peak = std::max(peak, send_running + receive_running);
  }
  canvas.rect(left_margin, y, plot_width, summary_height, "#ffffff");
  const double slice = plot_width / summary_buckets;
  const double scale = (summary_height - 4) / static_cast<double>(peak);
  for (std::size_t i = 0; i < summary_buckets; ++i) {
    const double x0 = left_margin + slice * static_cast<double>(i);
    const double receive_height = scale * static_cast<double>(receiving[i]);
    const double send_height = scale * static_cast<double>(sending[i]);
    const double base = y + summary_height;
    if (receive_height > 0) {
      canvas.rect(x0, base - receive_height, slice, receive_height, receive_colour);
    }
    if (send_height > 0) {
      canvas.rect(x0, base - receive_height - send_height, slice, send_height, send_colour);
    }
  }
  canvas.text(left_margin - 8, y + 18, "all tiles", "class=\"lane\"");
  canvas.text(left_margin - 8, y + 32, "busy, peak " + std::to_string(peak), "class=\"lane\"");

  // Per phase: how many tiles send and receive in it.
  const std::size_t phases = std::min(compiled.phase_starts.size(), compiled.phase_ends.size());
  for (std::size_t p = 0; p < phases; ++p) {
    std::size_t senders = 0;
    std::size_t receivers = 0;
    for (const Bar& bar : bars) {
      if (bar.phase != p) continue;
      ++(bar.kind == BarKind::Send ? senders : receivers);
    }
    canvas.text(canvas.x(compiled.phase_starts[p]) + 3, y + 11,
                std::to_string(senders) + " send, " + std::to_string(receivers) + " receive",
                "class=\"note\"");
  }
}

constexpr std::string_view style = R"(<style>
text { font-family: sans-serif; font-size: 11px; fill: #222; }
.title { font-size: 15px; font-weight: bold; }
.lane { text-anchor: end; }
.tick { text-anchor: middle; fill: #555; }
.end { text-anchor: end; }
.phase { font-weight: bold; fill: #444; }
.note { fill: #444; font-size: 10px; }
.axis { stroke: #444; stroke-width: 1; }
.boundary { stroke: #888; stroke-width: 1; stroke-dasharray: 4 3; }
</style>
)";

}  // namespace

std::string render_svg_timeline(const Topology& topology, const ExchangeDescription& description,
                                const CompiledExchange& compiled, const TimelineOptions& options) {
  const std::vector<Bar> bars = collect_bars(description, compiled);
  std::vector<std::uint16_t> tiles;
  for (const Bar& bar : bars) {
    if (tiles.empty() || tiles.back() != bar.tile) tiles.push_back(bar.tile);
  }
  const std::size_t drawn = std::min(tiles.size(), options.max_lanes);
  const bool summarised = drawn < tiles.size();

  const double lanes_bottom = plot_top + lane_height * static_cast<double>(drawn);
  const double summary_top = lanes_bottom + (summarised ? 26 : 0);
  const double plot_bottom = summary_top + (summarised ? summary_height : 0);
  const double height = plot_bottom + axis_gap + 48;
  const double width = left_margin + plot_width + right_margin;

  Canvas canvas(compiled.horizon);
  canvas.raw("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(width) +
             "\" height=\"" + number(height) + "\" viewBox=\"0 0 " + number(width) + " " +
             number(height) + "\">\n");
  canvas.raw(style);
  canvas.rect(0, 0, width, height, "#ffffff");
  draw_legend(canvas, options, tiles.size(), compiled);
  draw_phases(canvas, compiled, plot_bottom);

  std::size_t lane = 0;
  for (std::size_t i = 0; i < bars.size(); ++i) {
    if (i > 0 && bars[i].tile != bars[i - 1].tile) ++lane;
    if (lane >= drawn) break;
    const double lane_y = plot_top + lane_height * static_cast<double>(lane);
    if (i == 0 || bars[i].tile != bars[i - 1].tile) {
      const auto physical = topology.physical(bars[i].tile);
      canvas.text(left_margin - 8, lane_y + 12,
                  "tile " + std::to_string(bars[i].tile) +
                      (physical ? " (physical " + std::to_string(*physical) + ")" : ""),
                  "class=\"lane\"");
    }
    draw_bar(canvas, bars[i], lane_y);
  }
  if (summarised) {
    canvas.text(left_margin, lanes_bottom + 17,
                std::to_string(tiles.size() - drawn) + " more tiles take part but are not drawn; " +
                    "the lane below sums all " + std::to_string(tiles.size()) + " tiles",
                "class=\"note\"");
    draw_summary(canvas, bars, compiled, summary_top);
  }
  draw_axis(canvas, plot_bottom + axis_gap);
  canvas.raw("</svg>\n");
  return canvas.take();
}

}  // namespace meshweave::tool
