#include "chrome_trace.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "description_reader.hpp"

namespace meshweave::tool {
namespace {

// A slice as the test compares it: track, name, start, length, phase,
// transfer, words and peer ("to" as written, or "from").
using Slice = std::tuple<std::uint64_t, std::string, std::uint64_t, std::uint64_t, std::uint64_t,
                         std::uint64_t, std::uint64_t, std::string>;

class ChromeTrace : public ::testing::Test {
 protected:
  nlohmann::json trace(const ExchangeDescription& description, const CompiledExchange& compiled) {
    std::ostringstream out;
    write_chrome_trace(out, topology_, description, compiled);
    return nlohmann::json::parse(out.str());
  }

  Topology topology_ = Topology::m1472();
};

TEST_F(ChromeTrace, HasASliceForEveryTimedWindowAndPhase) {
  std::ifstream file(std::string{MESHWEAVE_SOURCE_DIR} + "/examples/multiphase.json");
  std::stringstream text;
  text << file.rdbuf();
  const auto description = read_description(std::string_view{text.str()});
  ASSERT_TRUE(description.has_value());
  const auto compiled = compile_exchange(topology_, *description);
  ASSERT_TRUE(compiled.has_value());
  const nlohmann::json document = trace(*description, *compiled);

  // Expected straight from the compiler's timings.
  std::vector<Slice> expected;
  std::vector<std::pair<std::uint64_t, std::string>> expected_tracks{{0, "phases"}};
  for (const TransferTiming& timing : compiled->timings) {
    const TransferView transfer =
        view(description->phases[timing.phase].transfers[timing.transfer]);
    nlohmann::json to = nlohmann::json::array();
    for (const std::uint16_t receiver : transfer.receivers) to.push_back(receiver);
    if (!transfer.multicast) to = to[0];
    expected.emplace_back(transfer.sender + 1u, "SEND", timing.send_cycle, transfer.count,
                          timing.phase, timing.transfer, transfer.count, to.dump());
    for (std::size_t i = 0; i < transfer.receivers.size(); ++i) {
      expected.emplace_back(transfer.receivers[i] + 1u, "receive",
                            arrival_cycles(*compiled, timing)[i], transfer.count, timing.phase,
                            timing.transfer, transfer.count, std::to_string(transfer.sender));
    }
  }
  for (const TileProgram& program : compiled->programs) {
    expected_tracks.emplace_back(program.logical + 1u, "tile " + std::to_string(program.logical) +
                                                           " (physical " +
                                                           std::to_string(program.physical) + ")");
  }

  std::vector<Slice> slices;
  std::vector<std::pair<std::uint64_t, std::string>> tracks;
  std::size_t phase_slices = 0;
  for (const nlohmann::json& event : document.at("traceEvents")) {
    ASSERT_EQ(event.at("pid"), 1);
    const std::uint64_t track = event.at("tid");
    if (event.at("ph") == "M") {
      if (event.at("name") == "thread_name")
        tracks.emplace_back(track, event.at("args").at("name"));
      continue;
    }
    ASSERT_EQ(event.at("ph"), "X");
    const nlohmann::json& args = event.at("args");
    if (track == 0) {
      const std::size_t p = args.at("phase");
      ASSERT_LT(p, compiled->phase_starts.size());
      EXPECT_EQ(event.at("name"), "phase " + std::to_string(p));
      EXPECT_EQ(event.at("ts"), compiled->phase_starts[p]);
      EXPECT_EQ(event.at("dur"), compiled->phase_ends[p] - compiled->phase_starts[p]);
      EXPECT_EQ(args.at("transfers"), description->phases[p].transfers.size());
      ++phase_slices;
      continue;
    }
    const bool send = event.at("name") == "SEND";
    slices.emplace_back(track, event.at("name"), event.at("ts"), event.at("dur"), args.at("phase"),
                        args.at("transfer"), args.at("words"),
                        (send ? args.at("to") : args.at("from")).dump());
  }
  std::sort(expected.begin(), expected.end());
  std::sort(slices.begin(), slices.end());
  EXPECT_EQ(slices, expected);
  std::sort(tracks.begin(), tracks.end());
  EXPECT_EQ(tracks, expected_tracks);
  EXPECT_EQ(phase_slices, compiled->phase_starts.size());
  EXPECT_EQ(document.at("otherData").at("horizon"), compiled->horizon);
}

TEST_F(ChromeTrace, WritesAnEmptyExchangeAndSkipsForeignTimings) {
  CompiledExchange compiled;
  compiled.timings.push_back(TransferTiming{3, 7, 0, 10, 0, 1});
  compiled.arrival_cycles = {20};
  const nlohmann::json document = trace(ExchangeDescription{}, compiled);
  for (const nlohmann::json& event : document.at("traceEvents")) {
    EXPECT_EQ(event.at("ph"), "M");
    EXPECT_EQ(event.at("tid"), 0);
  }
}

}  // namespace
}  // namespace meshweave::tool
