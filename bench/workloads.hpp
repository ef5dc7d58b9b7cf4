#pragma once

// Inputs shared by the benchmark programs, built outside the timed loops, and
// one run of each workload of the performance report. The report's benchmarks
// (report_bench.cpp) time the runs; the profile driver (profile_report.cpp) runs
// them under callgrind, so both measure exactly the same work.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "meshweave/exchange.hpp"
#include "meshweave/host.hpp"
#include "meshweave/plans.hpp"
#include "meshweave/scheduling.hpp"
#include "meshweave/topology.hpp"

namespace meshweave::bench {

// `phases` alternating phases over the whole M1472 card: in even phases every
// even tile sends 64 words to the next tile, in odd phases every odd tile does
// (the last wrapping round to tile 0). A tile takes part in one transfer per
// phase, so two phases move every tile's data one tile on.
ExchangeDescription full_card_shift(std::size_t phases);

// `count` rows that follow one another on one tile's timeline: row k sends one
// word at cycle 10k + 1 and lasts until cycle 10k + 6.
std::vector<PlanRow> chained_rows(std::size_t count);

// Every tile but tile 0, the receivers of the multicast workload.
std::vector<std::uint16_t> all_but_tile_zero();

// The workloads. Each returns what it built (or a digest of it), so that no
// work can be optimised away.

// A mix of the checked encoders over changing operands, one word per slot of `out`.
inline constexpr std::size_t encoded_words = 4096;
void encode_words(std::span<std::uint32_t, encoded_words> out);

struct AllPairs {
  std::size_t plans = 0;
  std::uint32_t digest = 0;
};
// point_to_point(sender, receiver, 64) for every ordered pair of distinct tiles.
AllPairs point_to_point_all_pairs(const Topology& card);

// 64 words from tile 0 to `receivers`, at the earliest start.
Result<MulticastPlan> multicast_from_tile_zero(const Topology& card,
                                               std::span<const std::uint16_t> receivers);

// All `rows` appended to a fresh builder; the error of the first refused row.
Result<PlanProgramBuilder> append_rows(std::span<const PlanRow> rows);

// 1 MiB from tile memory to the host: 4096 chunks of 256 bytes.
inline constexpr std::uint32_t tile_to_host_bytes = 1u << 20;
Result<TileToHostProgram> tile_to_host_mebibyte();

}  // namespace meshweave::bench
