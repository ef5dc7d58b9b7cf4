#include "transfer_windows.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <ranges>
#include <sstream>
#include <string>

#include "description_reader.hpp"
#include "meshweave/instruction_words/control_words.hpp"

namespace meshweave::tool {
namespace {

ExchangeDescription example(const std::string& name) {
  std::ifstream file(std::string{MESHWEAVE_SOURCE_DIR} + "/examples/" + name);
  std::stringstream text;
  text << file.rdbuf();
  auto description = read_description(std::string_view{text.str()});
  EXPECT_TRUE(description.has_value()) << name;
  return description.value_or(ExchangeDescription{});
}

bool is_send(std::uint32_t word) {
  return send_word::kind.matches(word) || send_off_word::kind.matches(word);
}

// Replays `tile`'s program: the cycles of the run of SEND words starting at
// `cycle`, or 0 when no SEND starts there.
std::uint64_t send_run_at(const CompiledExchange& compiled, std::uint16_t tile,
                          std::uint64_t cycle) {
  const TileProgram* program = compiled.program(tile);
  if (program == nullptr) return 0;
  std::uint64_t at = 0;
  std::uint64_t run = 0;
  for (const std::uint32_t word : program->words) {
    if (run > 0 && !is_send(word)) return run;
    if (run > 0 || (at == cycle && send_word::kind.matches(word))) run += instruction_advance(word);
    at += instruction_advance(word);
  }
  return run;
}

// Replays `tile`'s program: where the first XPIC starting at or after `from` ends.
std::uint64_t first_xpic_end(const CompiledExchange& compiled, std::uint16_t tile,
                             std::uint64_t from) {
  std::uint64_t at = 0;
  for (const std::uint32_t word : compiled.program(tile)->words) {
    at += instruction_advance(word);
    if (xpic_word::kind.matches(word) && at - instruction_advance(word) >= from) return at;
  }
  return 0;
}

// Replays `tile`'s program: whether an XPIC word ends at `cycle`.
bool xpic_ends_at(const CompiledExchange& compiled, std::uint16_t tile, std::uint64_t cycle) {
  std::uint64_t at = 0;
  for (const std::uint32_t word : compiled.program(tile)->words) {
    at += instruction_advance(word);
    if (at == cycle && xpic_word::kind.matches(word)) return true;
  }
  return false;
}

// The windows must be what the programs do: a SEND window is the run of SEND
// and continuation SEND words at the send cycle, a receive window starts where
// the receiver's first XPIC of the phase ends (an XPIC ends, in the transfers
// form, whose rows may overlap in their waiting parts); both last a cycle per
// word (of the piece, for a transfer the scheduler split).
TEST(TransferWindows, MatchTheProgramWords) {
  const Topology topology = Topology::m1472();
  for (const char* name :
       {"multiphase.json", "ring16.json", "ring16_scheduled.json", "pipeline.json"}) {
    const ExchangeDescription description = example(name);
    const auto compiled = compile_exchange(topology, description);
    ASSERT_TRUE(compiled.has_value()) << name;
    std::size_t windows = 0;
    for_each_window(
        description, *compiled,
        [&](const TransferTiming& timing, const TransferView& transfer,
            const TransferWindow& window) {
          ++windows;
          EXPECT_EQ(window.end - window.start, transfer.count);
          if (window.kind == WindowKind::Send) {
            EXPECT_EQ(window.tile, transfer.sender);
            EXPECT_EQ(send_run_at(*compiled, window.tile, window.start), transfer.count)
                << name << " phase " << timing.phase << " transfer " << timing.transfer;
          } else if (description.phases.empty()) {
            EXPECT_TRUE(xpic_ends_at(*compiled, window.tile, window.start))
                << name << " transfer " << timing.transfer << " tile " << window.tile;
          } else {
            EXPECT_EQ(first_xpic_end(*compiled, window.tile, timing.phase_start), window.start)
                << name << " phase " << timing.phase << " tile " << window.tile;
          }
        });
    std::size_t expected = 0;
    for (const Transfer& transfer : to_transfers_form(description).transfers |
                                        std::views::transform(&ScheduledTransfer::transfer)) {
      const TransferView whole = view(transfer);
      const std::size_t pieces = description.phases.empty()
                                     ? (whole.count + MAX_TRANSFER_WORDS - 1) / MAX_TRANSFER_WORDS
                                     : 1;
      expected += pieces * (1 + whole.receivers.size());
    }
    EXPECT_EQ(windows, expected) << name;
  }
}

TEST(TransferWindows, SkipTimingsTheDescriptionLacks) {
  const ExchangeDescription description{{Phase{{PointToPointTransfer{0, 1, 4, 0, 0}}}}};
  CompiledExchange compiled;
  // phase, transfer, phase start, send cycle, first arrival, arrivals, start,
  // word offset, count; the last timing's arrivals lie outside the list.
  compiled.timings = {
      TransferTiming{0, 0, 0, 10, 0, 1, 0, 0, 4}, TransferTiming{0, 1, 0, 10, 0, 1, 0, 0, 4},
      TransferTiming{1, 0, 0, 10, 0, 1, 0, 0, 4}, TransferTiming{0, 0, 0, 30, 1, 0, 0, 0, 4},
      TransferTiming{0, 0, 0, 40, 1, 1, 0, 0, 4}};
  compiled.arrival_cycles = {20};
  std::vector<TransferWindow> seen;
  for_each_window(description, compiled,
                  [&](const TransferTiming&, const TransferView&, const TransferWindow& window) {
                    seen.push_back(window);
                  });
  const std::vector<TransferWindow> expected{{WindowKind::Send, 0, 10, 14},
                                             {WindowKind::Receive, 1, 20, 24},
                                             {WindowKind::Send, 0, 30, 34},
                                             {WindowKind::Send, 0, 40, 44}};
  EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace meshweave::tool
