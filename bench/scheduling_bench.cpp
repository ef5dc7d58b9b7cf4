// Building one tile's stream: each append costs the row's length, so n rows cost
// time linear in n.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "meshweave/plans.hpp"
#include "meshweave/scheduling.hpp"

namespace meshweave {
namespace {

// Rows that follow one another on one tile: row i waits 5i + 1 cycles, then sends
// 4 words, so each starts one cycle after the previous one ended.
std::vector<PlanRow> consecutive_rows(std::size_t count) {
  const PlanRow send{ROW_ENTRY_INSTRUCTION, encode_send(3, 1, 0).value(), RETURN_INSTRUCTION};
  std::vector<PlanRow> rows(count, send);
  for (std::size_t i = 0; i < count; ++i) {
    if (!offset_plan(rows[i], static_cast<std::uint32_t>(5 * i + 1))) std::abort();
  }
  return rows;
}

void BM_AppendRows(benchmark::State& state) {
  const std::vector<PlanRow> rows = consecutive_rows(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    PlanProgramBuilder builder;
    for (const PlanRow& row : rows) {
      if (!builder.append_scheduled_row(row)) state.SkipWithError("append refused");
    }
    const std::uint32_t horizon = builder.event_cycles + 10;
    benchmark::DoNotOptimize(std::move(builder).finish(horizon));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AppendRows)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_PlanEventCycles(benchmark::State& state) {
  const PlanRow row{0x41800003, 0x64000000, 0x61994000, 0x6402c640, 0x40a00038,
                    0x43a00000, 0,          0,          0};
  for (auto _ : state) benchmark::DoNotOptimize(plan_event_cycles(row));
}
BENCHMARK(BM_PlanEventCycles);

}  // namespace
}  // namespace meshweave
