#include "svg_timeline.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <span>
#include <string_view>
#include <tuple>
#include <vector>

#include "transfer_windows.hpp"
#include "xml_text.hpp"

namespace meshweave::tool {
namespace {

// Layout in SVG user units.
constexpr double left_margin = 170;
constexpr double plot_width = 1000;
constexpr double right_margin = 50;
constexpr double canvas_width = left_margin + plot_width + right_margin;
constexpr double plot_top = 84;
constexpr double lane_height = 16;
// SEND bars take the upper half of a lane and receive bars the lower half, so
// that windows merged at the picture's resolution never hide one another.
constexpr double send_bar_offset = 2;
constexpr double receive_bar_offset = 8;
constexpr double bar_height = 6;
constexpr double legend_bar_height = 10;
constexpr double summary_height = 48;
constexpr double axis_gap = 6;
// The summary lane has a column per unit of plot width at most.
constexpr std::size_t summary_columns = 1000;
constexpr int target_ticks = 10;
// Thinning of the phase marks: dividers closer than this are left out, phases
// narrower than this are not shaded, and a label is drawn only where it does
// not run into the previous one (widths estimated from the font sizes).
constexpr double min_divider_gap = 8;
constexpr double min_shaded_width = 3;
constexpr double label_offset = 3;
constexpr double label_gap = 6;
constexpr double phase_char_width = 7;
constexpr double note_char_width = 5.5;

constexpr std::string_view send_colour = "#e07b2e";
constexpr std::string_view receive_colour = "#2f6fc4";
constexpr std::string_view phase_shades[] = {"#f4f4f4", "#fbfbfb"};

constexpr std::size_t tile_slots = std::size_t{std::numeric_limits<std::uint16_t>::max()} + 1;
constexpr std::size_t no_lane = std::numeric_limits<std::size_t>::max();

// The part of the timeline drawn: cycles [first, end) and logical tiles
// first_tile to last_tile.
struct Window {
  std::uint64_t first = 0;
  std::uint64_t end = 1;
  std::uint64_t first_tile = 0;
  std::uint64_t last_tile = tile_slots - 1;

  std::uint64_t span() const noexcept { return end - first; }
  bool holds_tile(std::uint16_t tile) const noexcept {
    return tile >= first_tile && tile <= last_tile;
  }
  bool overlaps(const TransferWindow& window) const noexcept {
    return window.start < end && window.end > first;
  }
};

// Cycles 0 to the horizon, cut to the requested cycles and tiles.
Window drawn_window(const TimelineOptions& options, const CompiledExchange& compiled) {
  Window window;
  window.end = std::max<std::uint64_t>(compiled.horizon, 1);
  if (options.cycles) {
    window.first = options.cycles->first;
    const std::uint64_t last = options.cycles->last;
    window.end =
        std::min(window.end, last == std::numeric_limits<std::uint64_t>::max() ? last : last + 1);
    // A window starting after the horizon (refused by check_timeline_window)
    // shows the last cycle rather than wrapping.
    if (window.first >= window.end) window.first = window.end - 1;
  }
  if (options.tiles) {
    window.first_tile = options.tiles->first;
    window.last_tile = options.tiles->last;
  }
  return window;
}

std::string number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  return buffer;
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
  explicit Canvas(const Window& window) : window_{window} {}

  double x(std::uint64_t cycle) const {
    const std::uint64_t clamped = std::clamp(cycle, window_.first, window_.end);
    return left_margin + plot_width * static_cast<double>(clamped - window_.first) /
                             static_cast<double>(window_.span());
  }
  const Window& window() const noexcept { return window_; }

  void rect(double x0, double y0, double width, double height, std::string_view fill,
            std::string_view tooltip = {}) {
    out_ += "<rect x=\"" + number(x0) + "\" y=\"" + number(y0) + "\" width=\"" + number(width) +
            "\" height=\"" + number(height) + "\" fill=\"" + std::string{fill} + "\"";
    if (tooltip.empty()) {
      out_ += "/>\n";
    } else {
      out_ += "><title>" + xml_text(tooltip) + "</title></rect>\n";
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
    out_ += xml_text(content);
    out_ += "</text>\n";
  }
  void raw(std::string_view svg) { out_ += svg; }
  std::string take() { return std::move(out_); }

 private:
  Window window_;
  std::string out_;
};

// A window of a drawn lane: its cycles and the timing it comes from.
struct LaneWindow {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  std::size_t timing = 0;
};

struct Lane {
  std::uint16_t tile = 0;
  std::vector<LaneWindow> sends;
  std::vector<LaneWindow> receives;
};

// How many tiles are busy sending and receiving in each column of the summary
// lane, averaged over the column's cycles. Each tile counts at most once per
// cycle (a window that overlaps the tile's previous one is counted from where
// that one ends), so no column can show more tiles than take part.
class BusyTiles {
 public:
  explicit BusyTiles(const Window& window)
      : first_{window.first},
        span_{window.span()},
        columns_{static_cast<std::size_t>(std::min<std::uint64_t>(summary_columns, span_))},
        busy_until_(tile_slots, 0) {
    for (auto* counts : {&partial_[0], &partial_[1], &whole_[0], &whole_[1]}) {
      counts->assign(columns_ + 1, 0);
    }
  }

  void add(const TransferWindow& window) {
    std::uint64_t& until = busy_until_[window.tile];
    const std::uint64_t start = std::max({window.start, until, first_});
    const std::uint64_t end = std::min(window.end, first_ + span_);
    until = std::max(until, window.end);
    if (start >= end) return;
    add_cycles(window.kind == WindowKind::Send ? 0 : 1, start - first_, end - first_);
  }

  std::size_t columns() const noexcept { return columns_; }
  // First cycle of column i, counted from the window's first cycle.
  std::uint64_t column_start(std::size_t i) const noexcept { return span_ * i / columns_; }

  // Average busy tiles of column i sending (kind 0) or receiving (kind 1).
  // Call finish() first.
  double busy(std::size_t kind, std::size_t i) const noexcept {
    const std::uint64_t cycles = column_start(i + 1) - column_start(i);
    return static_cast<double>(partial_[kind][i] + whole_[kind][i] * cycles) /
           static_cast<double>(cycles);
  }

  // Turns the counts of whole columns from differences into values.
  void finish() {
    for (auto& whole : whole_) {
      std::uint64_t running = 0;
      for (std::uint64_t& count : whole) count = running += count;
    }
  }

 private:
  std::size_t column_of(std::uint64_t offset) const noexcept {
    return static_cast<std::size_t>(((offset + 1) * columns_ - 1) / span_);
  }

  // Adds cycles [from, to) (offsets into the window) to the columns they cover:
  // the partly covered ends directly, the wholly covered middle as a difference.
  void add_cycles(std::size_t kind, std::uint64_t from, std::uint64_t to) {
    const std::size_t head = column_of(from);
    const std::size_t tail = column_of(to - 1);
    if (head == tail) {
      partial_[kind][head] += to - from;
      return;
    }
    partial_[kind][head] += column_start(head + 1) - from;
    partial_[kind][tail] += to - column_start(tail);
    if (tail > head + 1) {
      ++whole_[kind][head + 1];
      --whole_[kind][tail];  // wraps; the running sum in finish() undoes it
    }
  }

  std::uint64_t first_;
  std::uint64_t span_;
  std::size_t columns_;
  std::vector<std::uint64_t> busy_until_;
  std::vector<std::uint64_t> partial_[2];
  std::vector<std::uint64_t> whole_[2];
};

// What one pass over the exchange gathers for the picture.
struct Gathered {
  std::size_t tiles = 0;  // tiles in the window's tile range that take part
  std::vector<Lane> lanes;
  // Per phase, the windows of tiles in range: SENDs and receives.
  std::vector<std::size_t> phase_sends;
  std::vector<std::size_t> phase_receives;
};

Gathered gather(const ExchangeDescription& description, const CompiledExchange& compiled,
                const Window& window, std::size_t max_lanes, BusyTiles& busy) {
  Gathered gathered;
  std::vector<bool> takes_part(tile_slots, false);
  for_each_window(description, compiled,
                  [&](const TransferTiming&, const TransferView&, const TransferWindow& w) {
                    if (window.holds_tile(w.tile)) takes_part[w.tile] = true;
                  });
  std::vector<std::size_t> lane_of(tile_slots, no_lane);
  for (std::size_t tile = 0; tile < tile_slots; ++tile) {
    if (!takes_part[tile]) continue;
    if (gathered.lanes.size() < max_lanes) {
      lane_of[tile] = gathered.lanes.size();
      gathered.lanes.push_back(Lane{static_cast<std::uint16_t>(tile), {}, {}});
    }
    ++gathered.tiles;
  }
  gathered.phase_sends.assign(description.phases.size(), 0);
  gathered.phase_receives.assign(description.phases.size(), 0);
  const TransferTiming* timings = compiled.timings.data();
  for_each_window(description, compiled,
                  [&](const TransferTiming& timing, const TransferView&, const TransferWindow& w) {
                    if (!window.holds_tile(w.tile)) return;
                    const bool send = w.kind == WindowKind::Send;
                    busy.add(w);
                    auto& counts = send ? gathered.phase_sends : gathered.phase_receives;
                    if (timing.phase < counts.size()) ++counts[timing.phase];
                    const std::size_t lane = lane_of[w.tile];
                    if (lane == no_lane || !window.overlaps(w)) return;
                    const auto index = static_cast<std::size_t>(&timing - timings);
                    Lane& drawn = gathered.lanes[lane];
                    (send ? drawn.sends : drawn.receives).push_back({w.start, w.end, index});
                  });
  return gathered;
}

// "phase 0, transfer 1: tile 5 sends 16 words to 6, 7, 8, cycles 33 to 48"
// ("transfer 1: ..." in the transfers form, which has no phases).
std::string window_tooltip(const ExchangeDescription& description, const TransferTiming& timing,
                           WindowKind kind, std::uint16_t tile, const LaneWindow& window) {
  const TransferView transfer = timed_transfer(description, timing).value();
  // A window lasts a cycle per word: this counts a split transfer's piece too.
  const std::uint64_t words = window.end - window.start;
  std::string text =
      description.phases.empty() ? std::string{} : "phase " + std::to_string(timing.phase) + ", ";
  text += "transfer " + std::to_string(timing.transfer) + ": tile " + std::to_string(tile);
  if (kind == WindowKind::Send) {
    text += " sends " + std::to_string(words) + " words to " + tile_list(transfer.receivers);
  } else {
    text += " receives " + std::to_string(words) + " words from " + std::to_string(transfer.sender);
  }
  return text + ", " + cycles(window.start, window.end);
}

// A lane's windows of one kind, as bars: windows less than a unit apart are
// merged into one bar, so a lane never has more bars than the plot has units.
void draw_windows(Canvas& canvas, const ExchangeDescription& description,
                  const CompiledExchange& compiled, std::uint16_t tile, WindowKind kind,
                  std::vector<LaneWindow>& windows, double y) {
  // By start, then in gathering order (timings come in index order): what a stable
  // sort by start gives, without libstdc++ 12's stable_sort, which clang rejects
  // for its deprecated temporary buffer.
  std::ranges::sort(windows, {},
                    [](const LaneWindow& w) { return std::tuple{w.start, w.timing, w.end}; });
  const double span = static_cast<double>(canvas.window().span());
  const std::string_view colour = kind == WindowKind::Send ? send_colour : receive_colour;
  const std::string_view noun = kind == WindowKind::Send ? "SEND window" : "receive window";
  for (std::size_t i = 0; i < windows.size();) {
    LaneWindow merged = windows[i];
    // Merged bars name the range of phases they span, or of transfers in the transfers form.
    const bool scheduled = description.phases.empty();
    const auto group = [&](std::size_t timing) {
      return scheduled ? compiled.timings[timing].transfer : compiled.timings[timing].phase;
    };
    std::size_t first_phase = group(merged.timing);
    std::size_t last_phase = first_phase;
    std::size_t j = i + 1;
    for (; j < windows.size(); ++j) {
      const LaneWindow& next = windows[j];
      if (next.start > merged.end &&
          static_cast<double>(next.start - merged.end) * plot_width >= span) {
        break;
      }
      merged.end = std::max(merged.end, next.end);
      const std::size_t phase = group(next.timing);
      first_phase = std::min(first_phase, phase);
      last_phase = std::max(last_phase, phase);
    }
    const std::string tooltip =
        j == i + 1
            ? window_tooltip(description, compiled.timings[merged.timing], kind, tile, merged)
            : "tile " + std::to_string(tile) + ": " + plural(j - i, noun) +
                  (scheduled ? ", transfers " : ", phases ") + std::to_string(first_phase) +
                  " to " + std::to_string(last_phase) + ", " + cycles(merged.start, merged.end);
    const double x0 = canvas.x(merged.start);
    const double width = std::max(canvas.x(merged.end) - x0, 1.0);  // a cycle may be under a unit
    canvas.rect(x0, y, width, bar_height, colour, tooltip);
    i = j;
  }
}

void draw_legend(Canvas& canvas, const TimelineOptions& options, std::size_t tiles,
                 const ExchangeDescription& description, const CompiledExchange& compiled) {
  canvas.text(left_margin, 24, options.title, "class=\"title\"");
  const std::string parts = description.phases.empty()
                                ? plural(description.transfers.size(), "scheduled transfer")
                                : plural(compiled.phase_starts.size(), "phase");
  std::string summary =
      plural(tiles, "tile") + ", " + parts + ", horizon " + plural(compiled.horizon, "cycle");
  const Window& window = canvas.window();
  if (options.tiles) {
    summary +=
        "; tiles " + std::to_string(window.first_tile) + " to " + std::to_string(window.last_tile);
  }
  if (options.cycles) summary += "; " + cycles(window.first, window.end);
  canvas.text(left_margin, 44, summary);
  const double legend_x = left_margin + plot_width - 400;
  canvas.rect(legend_x, 35, 14, legend_bar_height, send_colour);
  canvas.text(legend_x + 20, 44, "SEND");
  canvas.rect(legend_x + 80, 35, 14, legend_bar_height, receive_colour);
  canvas.text(legend_x + 100, 44, "receive (from the end of the first XPIC, a cycle per word)");
}

// A phase label drawn above the plot, and where its note in the summary lane goes.
struct PhaseLabel {
  std::size_t phase = 0;
  double x = 0;
};

std::string phase_note(const Gathered& gathered, std::size_t phase) {
  return std::to_string(gathered.phase_sends[phase]) + " send, " +
         std::to_string(gathered.phase_receives[phase]) + " receive";
}

// Shades, divides and labels the phases in view, leaving out what would
// overprint: returns the phases labelled.
std::vector<PhaseLabel> draw_phases(Canvas& canvas, const CompiledExchange& compiled,
                                    const Gathered& gathered, bool notes, double bottom) {
  const Window& window = canvas.window();
  const std::size_t phases = std::min(compiled.phase_starts.size(), compiled.phase_ends.size());
  std::vector<PhaseLabel> labels;
  double last_divider = -min_divider_gap;
  double label_free_from = 0;
  for (std::size_t p = 0; p < phases; ++p) {
    const std::uint64_t start = compiled.phase_starts[p];
    const std::uint64_t end = compiled.phase_ends[p];
    if (end < window.first || start >= window.end) continue;
    const double x0 = canvas.x(start);
    const double x1 = canvas.x(end);
    if (x1 - x0 >= min_shaded_width) {
      canvas.rect(x0, plot_top, x1 - x0, bottom - plot_top, phase_shades[p % 2]);
    }
    const bool clipped = start < window.first;
    const bool divided = !clipped && x0 - last_divider >= min_divider_gap;
    if (divided) {
      canvas.line(x0, plot_top - 14, x0, bottom, "class=\"boundary\"");
      last_divider = x0;
    }
    if (!divided && !(clipped && labels.empty())) continue;
    const std::string label = "phase " + std::to_string(p);
    double width = phase_char_width * static_cast<double>(label.size());
    if (notes) {
      width =
          std::max(width, note_char_width * static_cast<double>(phase_note(gathered, p).size()));
    }
    const double label_x = x0 + label_offset;
    if (label_x < label_free_from || label_x + width > canvas_width) continue;
    canvas.text(label_x, plot_top - 4, label, "class=\"phase\"");
    labels.push_back({p, label_x});
    label_free_from = label_x + width + label_gap;
  }
  return labels;
}

void draw_axis(Canvas& canvas, double y) {
  const Window& window = canvas.window();
  canvas.line(canvas.x(window.first), y, canvas.x(window.end), y, "class=\"axis\"");
  const std::uint64_t step = tick_step(window.span());
  for (std::uint64_t cycle = (window.first + step - 1) / step * step; cycle <= window.end;
       cycle += step) {
    canvas.line(canvas.x(cycle), y, canvas.x(cycle), y + 5, "class=\"axis\"");
    canvas.text(canvas.x(cycle), y + 18, std::to_string(cycle), "class=\"tick\"");
  }
  canvas.text(canvas.x(window.end), y + 34, "cycle", "class=\"tick end\"");
}

// Busy tiles over time, sending stacked on receiving, scaled so that the
// busiest column fills the lane; and per labelled phase its counts.
void draw_summary(Canvas& canvas, BusyTiles& busy, const Gathered& gathered,
                  std::span<const PhaseLabel> labels, double y) {
  busy.finish();
  double peak = 0;
  for (std::size_t i = 0; i < busy.columns(); ++i) {
    peak = std::max(peak, busy.busy(0, i) + busy.busy(1, i));
  }
  canvas.rect(left_margin, y, plot_width, summary_height, "#ffffff");
  const double scale = (summary_height - 4) / std::max(peak, 1.0);
  const double base = y + summary_height;
  const double span = static_cast<double>(canvas.window().span());
  const auto column_x = [&](std::size_t i) {
    return left_margin + plot_width * static_cast<double>(busy.column_start(i)) / span;
  };
  // Neighbouring columns of equal heights become one rect.
  const auto height = [&](std::size_t kind, std::size_t i) {
    return std::round(scale * busy.busy(kind, i) * 10) / 10;
  };
  for (std::size_t i = 0; i < busy.columns();) {
    const double receive_height = height(1, i);
    const double send_height = height(0, i);
    std::size_t j = i + 1;
    while (j < busy.columns() && height(1, j) == receive_height && height(0, j) == send_height) {
      ++j;
    }
    const double x0 = column_x(i);
    const double width = column_x(j) - x0;
    if (receive_height > 0) {
      canvas.rect(x0, base - receive_height, width, receive_height, receive_colour);
    }
    if (send_height > 0) {
      canvas.rect(x0, base - receive_height - send_height, width, send_height, send_colour);
    }
    i = j;
  }
  canvas.text(left_margin - 8, y + 18, "busy tiles", "class=\"lane\"");
  canvas.text(left_margin - 8, y + 32,
              "peak " + std::to_string(std::lround(peak)) + " of " + std::to_string(gathered.tiles),
              "class=\"lane\"");
  for (const PhaseLabel& label : labels) {
    canvas.text(label.x, y + 11, phase_note(gathered, label.phase), "class=\"note\"");
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

std::optional<TimelineWindowError> check_timeline_window(const TimelineOptions& options,
                                                         const Topology& topology,
                                                         const CompiledExchange& compiled) {
  if (options.tiles && options.tiles->last >= topology.tile_count()) {
    return TimelineWindowError{"tiles", "tile " + std::to_string(options.tiles->last) +
                                            " is not on the card (0 to " +
                                            std::to_string(topology.tile_count() - 1) + ")"};
  }
  const std::uint64_t last_cycle = compiled.horizon == 0 ? 0 : compiled.horizon - 1;
  if (options.cycles && options.cycles->first > last_cycle) {
    return TimelineWindowError{"cycles", "cycle " + std::to_string(options.cycles->first) +
                                             " is after the end of the exchange (cycle " +
                                             std::to_string(last_cycle) + ")"};
  }
  return std::nullopt;
}

std::string render_svg_timeline(const Topology& topology, const ExchangeDescription& description,
                                const CompiledExchange& compiled, const TimelineOptions& options) {
  const Window window = drawn_window(options, compiled);
  // Whether the summary lane is drawn is known only once the tiles are counted;
  // it costs little, so it is always gathered.
  BusyTiles busy(window);
  Gathered gathered = gather(description, compiled, window, options.max_lanes, busy);
  const std::size_t drawn = gathered.lanes.size();
  const bool summarised = drawn < gathered.tiles;

  const double lanes_bottom = plot_top + lane_height * static_cast<double>(drawn);
  const double summary_top = lanes_bottom + (summarised ? 26 : 0);
  const double plot_bottom = summary_top + (summarised ? summary_height : 0);
  const double height = plot_bottom + axis_gap + 48;

  Canvas canvas(window);
  canvas.raw("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(canvas_width) +
             "\" height=\"" + number(height) + "\" viewBox=\"0 0 " + number(canvas_width) + " " +
             number(height) + "\">\n");
  canvas.raw(style);
  canvas.rect(0, 0, canvas_width, height, "#ffffff");
  draw_legend(canvas, options, gathered.tiles, description, compiled);
  const std::vector<PhaseLabel> labels =
      draw_phases(canvas, compiled, gathered, summarised, plot_bottom);

  for (std::size_t lane = 0; lane < drawn; ++lane) {
    Lane& current = gathered.lanes[lane];
    const double lane_y = plot_top + lane_height * static_cast<double>(lane);
    const auto physical = topology.physical(current.tile);
    canvas.text(left_margin - 8, lane_y + 12,
                "tile " + std::to_string(current.tile) +
                    (physical ? " (physical " + std::to_string(*physical) + ")" : ""),
                "class=\"lane\"");
    draw_windows(canvas, description, compiled, current.tile, WindowKind::Send, current.sends,
                 lane_y + send_bar_offset);
    draw_windows(canvas, description, compiled, current.tile, WindowKind::Receive, current.receives,
                 lane_y + receive_bar_offset);
  }
  if (summarised) {
    canvas.text(left_margin, lanes_bottom + 17,
                std::to_string(gathered.tiles - drawn) +
                    " more tiles take part but are not drawn; the lane below sums all " +
                    std::to_string(gathered.tiles) + " tiles",
                "class=\"note\"");
    draw_summary(canvas, busy, gathered, labels, summary_top);
  }
  draw_axis(canvas, plot_bottom + axis_gap);
  canvas.raw("</svg>\n");
  return canvas.take();
}

}  // namespace meshweave::tool
