#include "svg_timeline.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "meshweave/exchange/compiler.hpp"

namespace meshweave::tool {
namespace {

std::size_t occurrences(std::string_view text, std::string_view needle) {
  std::size_t count = 0;
  for (std::size_t at = text.find(needle); at != std::string_view::npos;
       at = text.find(needle, at + needle.size())) {
    ++count;
  }
  return count;
}

// Bars are the only rects that carry a tooltip; their colour tells the kind.
constexpr std::string_view send_bar = "fill=\"#e07b2e\"><title>";
constexpr std::string_view receive_bar = "fill=\"#2f6fc4\"><title>";

class SvgTimeline : public ::testing::Test {
 protected:
  std::string render(const ExchangeDescription& description, TimelineOptions options = {}) {
    const auto compiled = compile_exchange(topology_, description);
    EXPECT_TRUE(compiled.has_value());
    if (!compiled) return {};
    return render_svg_timeline(topology_, description, *compiled, options);
  }

  Topology topology_ = Topology::m1472();
};

TEST_F(SvgTimeline, DrawsOneLanePerTileAndABarPerWindow) {
  ExchangeDescription ring;
  ring.phases.resize(2);
  for (std::uint16_t tile = 0; tile < 16; ++tile) {
    ring.phases[tile % 2].transfers.push_back(PointToPointTransfer{
        tile, static_cast<std::uint16_t>((tile + 1) % 16), 64, 0x50000, 0x51000});
  }
  const std::string svg = render(ring);
  ASSERT_TRUE(svg.starts_with("<svg xmlns=\"http://www.w3.org/2000/svg\""));
  EXPECT_TRUE(svg.ends_with("</svg>\n"));
  EXPECT_EQ(occurrences(svg, "class=\"lane\">tile "), 16u);
  EXPECT_EQ(occurrences(svg, send_bar), 16u);
  EXPECT_EQ(occurrences(svg, receive_bar), 16u);
  EXPECT_EQ(occurrences(svg, "class=\"phase\">phase "), 2u);
  EXPECT_EQ(occurrences(svg, "class=\"boundary\""), 2u);
  EXPECT_EQ(svg.find("not drawn"), std::string::npos);
  EXPECT_NE(svg.find("16 tiles, 2 phases, horizon 497 cycles"), std::string::npos);
}

TEST_F(SvgTimeline, TooltipsGiveTheTimedWindows) {
  // Logical 0 -> 1 is physical 0 -> 2: time_to_mux -28, so the SEND starts at
  // cycle 140 and the receiver's first XPIC ends at 140 - 28 + 1 = 113.
  const ExchangeDescription description{{Phase{{PointToPointTransfer{0, 1, 64, 0, 0}}}}};
  const std::string svg = render(description);
  EXPECT_NE(svg.find("phase 0, transfer 0: tile 0 sends 64 words to 1, cycles 140 to 203"),
            std::string::npos);
  EXPECT_NE(svg.find("phase 0, transfer 0: tile 1 receives 64 words from 0, cycles 113 to 176"),
            std::string::npos);
  EXPECT_NE(svg.find("tile 1 (physical 2)"), std::string::npos);
}

TEST_F(SvgTimeline, SummarisesBeyondTheLaneLimit) {
  std::vector<std::uint16_t> receivers(1471);
  std::iota(receivers.begin(), receivers.end(), std::uint16_t{1});
  const ExchangeDescription broadcast{
      {Phase{{MulticastTransfer{0, receivers, 32, 0x50000, {0x52000}}}}}};
  const std::string svg = render(broadcast);
  EXPECT_EQ(occurrences(svg, "class=\"lane\">tile "), 48u);
  EXPECT_EQ(occurrences(svg, send_bar) + occurrences(svg, receive_bar), 48u);
  EXPECT_NE(svg.find("1424 more tiles take part but are not drawn; the lane below sums all 1472 "
                     "tiles"),
            std::string::npos);
  EXPECT_NE(svg.find("1 send, 1471 receive"), std::string::npos);

  TimelineOptions wide;
  wide.max_lanes = 2000;
  const std::string everything = render(broadcast, wide);
  EXPECT_EQ(occurrences(everything, "class=\"lane\">tile "), 1472u);
  EXPECT_EQ(everything.find("not drawn"), std::string::npos);
}

TEST_F(SvgTimeline, EscapesTheTitle) {
  TimelineOptions options;
  options.title = "a<b & \"c\">";
  const std::string svg = render(ExchangeDescription{}, options);
  EXPECT_NE(svg.find("a&lt;b &amp; &quot;c&quot;&gt;"), std::string::npos);
  EXPECT_EQ(svg.find("a<b"), std::string::npos);
}

// Every text and attribute of the picture is valid XML character data.
TEST_F(SvgTimeline, StaysWellFormedWhateverTheTitle) {
  TimelineOptions options;
  options.title = std::string{"bad\x01\x1b[2J\xff\xfe\0name.json", 20};
  const std::string svg = render(ExchangeDescription{}, options);
  EXPECT_NE(
      svg.find("class=\"title\">bad\xEF\xBF\xBD\xEF\xBF\xBD[2J\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
               "name.json</text>"),
      std::string::npos);
  for (const char c : svg) {
    const auto byte = static_cast<unsigned char>(c);
    EXPECT_TRUE(byte >= 0x20 || c == '\n') << static_cast<int>(byte);
  }
}

// Pairs of tiles i and i ^ k exchange in phase k, so all `tiles` are busy in
// every phase; the lane must count tiles, not windows.
ExchangeDescription pairwise(std::uint16_t tiles) {
  ExchangeDescription description;
  for (std::uint16_t k = 1; k < tiles; ++k) {
    Phase& phase = description.phases.emplace_back();
    for (std::uint16_t i = 0; i < tiles; ++i) {
      const auto peer = static_cast<std::uint16_t>(i ^ k);
      if (i < peer) phase.transfers.push_back(PointToPointTransfer{i, peer, 8, 0x50000, 0x51000});
    }
  }
  return description;
}

TEST_F(SvgTimeline, SummaryCountsBusyTilesNeverMoreThanTakePart) {
  TimelineOptions options;
  options.max_lanes = 4;
  const std::string svg = render(pairwise(64), options);
  std::smatch peak;
  ASSERT_TRUE(std::regex_search(svg, peak, std::regex{"peak ([0-9]+) of ([0-9]+)<"}));
  EXPECT_EQ(peak[2], "64");
  EXPECT_GT(std::stoi(peak[1]), 0);
  EXPECT_LE(std::stoi(peak[1]), 64);

  // Under a thousand cycles a column is one cycle, so the peak is exact: the
  // most tiles whose windows cover one cycle.
  std::vector<std::uint16_t> receivers(1471);
  std::iota(receivers.begin(), receivers.end(), std::uint16_t{1});
  const ExchangeDescription broadcast{
      {Phase{{MulticastTransfer{0, receivers, 32, 0x50000, {0x52000}}}}}};
  const auto compiled = compile_exchange(topology_, broadcast);
  ASSERT_TRUE(compiled.has_value());
  ASSERT_LT(compiled->horizon, 1000u);
  const TransferTiming& timing = compiled->timings.at(0);
  std::size_t most = 0;
  for (std::uint32_t cycle = 0; cycle < compiled->horizon; ++cycle) {
    std::size_t busy = cycle >= timing.send_cycle && cycle < timing.send_cycle + 32u ? 1 : 0;
    for (const std::uint32_t arrival : arrival_cycles(*compiled, timing)) {
      if (cycle >= arrival && cycle < arrival + 32u) ++busy;
    }
    most = std::max(most, busy);
  }
  const std::string summary = render_svg_timeline(topology_, broadcast, *compiled);
  EXPECT_NE(summary.find("peak " + std::to_string(most) + " of 1472<"), std::string::npos)
      << "expected peak " << most;
}

struct Text {
  double x = 0;
  std::string content;
};

// Every text of `css_class`, in order.
std::vector<Text> texts(const std::string& svg, std::string_view css_class) {
  std::vector<Text> found;
  const std::regex text{"<text x=\"([0-9.]+)\" y=\"[0-9.]+\" class=\"" + std::string{css_class} +
                        "\">([^<]*)</text>"};
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), text); it != std::sregex_iterator();
       ++it) {
    found.push_back({std::stod((*it)[1]), (*it)[2]});
  }
  return found;
}

TEST_F(SvgTimeline, ThinsOutPhasesAndMergesWindowsAtThePicturesResolution) {
  // 2000 phases of one short transfer each, between tiles 0 and 1 in turn.
  ExchangeDescription many;
  for (std::uint16_t p = 0; p < 2000; ++p) {
    const auto sender = static_cast<std::uint16_t>(p % 2);
    many.phases.push_back(Phase{{PointToPointTransfer{
        sender, static_cast<std::uint16_t>(1 - sender), 1, 0x50000, 0x51000}}});
  }
  const std::string svg = render(many);
  // Bold 11px text is under 7 units a character.
  const std::vector<Text> labels = texts(svg, "phase");
  ASSERT_GT(labels.size(), 5u);
  for (std::size_t i = 1; i < labels.size(); ++i) {
    EXPECT_GE(labels[i].x - labels[i - 1].x,
              7.0 * static_cast<double>(labels[i - 1].content.size()))
        << labels[i - 1].content << " runs into " << labels[i].content;
  }
  EXPECT_LE(labels.back().x + 7.0 * static_cast<double>(labels.back().content.size()), 1220);
  EXPECT_LE(occurrences(svg, "class=\"boundary\""), 126u);

  // Windows closer than a unit of the picture share a bar that counts them.
  EXPECT_EQ(occurrences(svg, send_bar), 2u);
  EXPECT_EQ(occurrences(svg, receive_bar), 2u);
  EXPECT_NE(svg.find("<title>tile 0: 1000 SEND windows, phases 0 to 1998, cycles "),
            std::string::npos);
  EXPECT_NE(svg.find("<title>tile 0: 1000 receive windows, phases 1 to 1999, cycles "),
            std::string::npos);
}

TEST_F(SvgTimeline, DrawsAWindowOfTilesAndCycles) {
  ExchangeDescription description;
  description.phases.resize(2);
  for (std::uint16_t tile = 0; tile < 16; ++tile) {
    description.phases[tile % 2].transfers.push_back(PointToPointTransfer{
        tile, static_cast<std::uint16_t>((tile + 1) % 16), 64, 0x50000, 0x51000});
  }
  const auto compiled = compile_exchange(topology_, description);
  ASSERT_TRUE(compiled.has_value());
  const std::uint32_t second = compiled->phase_starts[1];

  TimelineOptions options;
  options.tiles = InclusiveRange{4, 7};
  options.cycles = InclusiveRange{second, compiled->horizon};
  const std::string svg = render_svg_timeline(topology_, description, *compiled, options);
  EXPECT_EQ(occurrences(svg, "class=\"lane\">tile "), 4u);
  EXPECT_NE(svg.find("class=\"lane\">tile 4 "), std::string::npos);
  EXPECT_NE(svg.find("class=\"lane\">tile 7 "), std::string::npos);
  // Phase 1: 5 sends to 6 and 7 sends to 8; 4 receives from 3 and 6 from 5.
  EXPECT_EQ(occurrences(svg, send_bar), 2u);
  EXPECT_EQ(occurrences(svg, receive_bar), 2u);
  EXPECT_EQ(occurrences(svg, "<title>phase 1, transfer "), 4u);
  EXPECT_EQ(svg.find("<title>phase 0"), std::string::npos);
  EXPECT_NE(svg.find("; tiles 4 to 7; cycles " + std::to_string(second) + " to " +
                     std::to_string(compiled->horizon - 1)),
            std::string::npos);
  const std::vector<Text> ticks = texts(svg, "tick");
  ASSERT_FALSE(ticks.empty());
  for (const Text& tick : ticks) {
    EXPECT_GE(tick.x, 170);
    EXPECT_LE(tick.x, 1170);
    EXPECT_GE(std::stoul(tick.content), second);
  }

  // Windows off the card and past the end draw nothing, and never wrap.
  options.tiles = InclusiveRange{60000, 65535};
  options.cycles = InclusiveRange{UINT64_MAX - 1, UINT64_MAX};
  const std::string outside = render_svg_timeline(topology_, description, *compiled, options);
  EXPECT_TRUE(outside.ends_with("</svg>\n"));
  EXPECT_EQ(occurrences(outside, "<title>"), 0u);
}

TEST_F(SvgTimeline, ChecksTheWindowAgainstTheCardAndTheTimeline) {
  CompiledExchange compiled;
  compiled.horizon = 500;
  const struct {
    std::optional<InclusiveRange> tiles;
    std::optional<InclusiveRange> cycles;
    std::optional<TimelineWindowError> error;
  } cases[] = {
      {std::nullopt, std::nullopt, std::nullopt},
      {InclusiveRange{0, 1471}, InclusiveRange{0, 499}, std::nullopt},
      {std::nullopt, InclusiveRange{499, 100000}, std::nullopt},
      {InclusiveRange{1400, 1472}, std::nullopt,
       TimelineWindowError{"tiles", "tile 1472 is not on the card (0 to 1471)"}},
      {std::nullopt, InclusiveRange{500, 600},
       TimelineWindowError{"cycles", "cycle 500 is after the end of the exchange (cycle 499)"}},
  };
  for (const auto& c : cases) {
    TimelineOptions options;
    options.tiles = c.tiles;
    options.cycles = c.cycles;
    EXPECT_EQ(check_timeline_window(options, topology_, compiled), c.error);
  }
}

TEST_F(SvgTimeline, DrawsAnEmptyExchangeAndIgnoresTimingsOfAnotherDescription) {
  const std::string empty = render(ExchangeDescription{});
  EXPECT_TRUE(empty.ends_with("</svg>\n"));
  EXPECT_EQ(occurrences(empty, "<title>"), 0u);

  // Timings that name transfers the description does not have draw nothing.
  CompiledExchange compiled;
  compiled.horizon = 100;
  compiled.phase_starts = {0};
  compiled.phase_ends = {100};
  compiled.timings.push_back(TransferTiming{3, 7, 0, 10, 0, 1});
  compiled.arrival_cycles = {20};
  const std::string svg = render_svg_timeline(topology_, ExchangeDescription{}, compiled);
  EXPECT_EQ(occurrences(svg, "<title>"), 0u);
}

}  // namespace
}  // namespace meshweave::tool
