// Planning costs: point-to-point plans and row operations are constant work without
// allocation; multicast grows linearly with its receivers.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "meshweave/plans.hpp"

namespace meshweave {
namespace {

void BM_PointToPoint(benchmark::State& state) {
  const Topology card = Topology::m1472();
  std::uint16_t receiver = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(card.point_to_point(0, receiver, 64));
    receiver = static_cast<std::uint16_t>(receiver % 1471 + 1);
  }
}
BENCHMARK(BM_PointToPoint);

// Every ordered pair of distinct card tiles, one plan each.
void BM_PointToPointEveryPair(benchmark::State& state) {
  const Topology card = Topology::m1472();
  for (auto _ : state) {
    for (std::uint16_t sender = 0; sender < M1472_TILE_COUNT; ++sender) {
      for (std::uint16_t receiver = 0; receiver < M1472_TILE_COUNT; ++receiver) {
        if (sender != receiver) benchmark::DoNotOptimize(card.point_to_point(sender, receiver, 64));
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * M1472_TILE_COUNT * (M1472_TILE_COUNT - 1));
}
BENCHMARK(BM_PointToPointEveryPair)->Unit(benchmark::kMillisecond);

// The typical patching of one point-to-point plan.
void BM_RowOperations(benchmark::State& state) {
  const Plan plan = Topology::m1472().point_to_point(0, 1286, 3).value();
  for (auto _ : state) {
    PlanRow sender = plan.sender;
    benchmark::DoNotOptimize(patch_sender_address(sender, 0x52040));
    benchmark::DoNotOptimize(offset_plan(sender, 600000));
    Result<PlanRow> receiver = finalize_point_receiver(plan.receiver, 0);
    benchmark::DoNotOptimize(patch_receiver_address(*receiver, 0x53080));
    benchmark::DoNotOptimize(normalize_sender_instruction(sender));
    benchmark::DoNotOptimize(sender);
    benchmark::DoNotOptimize(receiver);
  }
}
BENCHMARK(BM_RowOperations);

void BM_Multicast(benchmark::State& state) {
  const Topology card = Topology::m1472();
  std::vector<std::uint16_t> receivers(static_cast<std::size_t>(state.range(0)));
  std::iota(receivers.begin(), receivers.end(), std::uint16_t{1});
  for (auto _ : state) benchmark::DoNotOptimize(card.multicast(0, receivers, 64, 0));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Multicast)->Arg(1)->Arg(8)->Arg(64)->Arg(512)->Arg(1471);

// A table of 65536 tiles with two receivers: the receiver check costs what the
// table's size asks for, once per plan.
void BM_MulticastLargeTable(benchmark::State& state) {
  std::vector<std::uint16_t> table(65536);
  for (std::size_t i = 0; i < table.size(); ++i) {
    table[i] = m1472_logical_to_physical(static_cast<std::uint16_t>(i % 1472));
  }
  const Topology big{table};
  const std::vector<std::uint16_t> receivers{1, 60000};
  for (auto _ : state) benchmark::DoNotOptimize(big.multicast(0, receivers, 64, 0));
}
BENCHMARK(BM_MulticastLargeTable);

}  // namespace
}  // namespace meshweave
