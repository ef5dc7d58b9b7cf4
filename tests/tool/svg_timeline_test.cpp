#include "svg_timeline.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <numeric>
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

TEST_F(SvgTimeline, DrawsAnEmptyExchangeAndIgnoresTimingsOfAnotherDescription) {
  const std::string empty = render(ExchangeDescription{});
  EXPECT_TRUE(empty.ends_with("</svg>\n"));
  EXPECT_EQ(occurrences(empty, "<title>"), 0u);

  // Timings that name transfers the description does not have draw nothing.
  CompiledExchange compiled;
  compiled.horizon = 100;
  compiled.phase_starts = {0};
  compiled.phase_ends = {100};
  compiled.timings.push_back(TransferTiming{3, 7, 0, 10, {20}});
  const std::string svg = render_svg_timeline(topology_, ExchangeDescription{}, compiled);
  EXPECT_EQ(occurrences(svg, "<title>"), 0u);
}

}  // namespace
}  // namespace meshweave::tool
