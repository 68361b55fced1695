// updateVelWorld with the window walk and with the full scan of every bin,
// after 600 warm-up steps of 16667 us so that flocks have formed. Each run
// times the same 600 steps that follow, so both searches see the very same
// sequence of worlds (their results are identical).
#include <benchmark/benchmark.h>

#include "LiteralNeighborScan.h"
#include "math/Random.h"
#include "world/VelButterflySystem.h"
#include "world/VelWorldSettings.h"

namespace {

void runUpdate(benchmark::State& state, VelNeighborRulesFunction rules) {
  const int32_t n = int32_t(state.range(0));
  seedRandom(12345);
  VelWorld world{};
  if (initializeVelWorldFromSettings(&world, defaultVelWorldSettings(n, 6, 1, 1280, 800)) != 0) {
    state.SkipWithError("world could not be built");
    return;
  }
  for (int i = 0; i < 600; ++i) updateVelWorldWith(&world, 16667, rules);
  for (auto _ : state) {
    updateVelWorldWith(&world, 16667, rules);
    benchmark::ClobberMemory();
  }
  state.counters["per_butterfly"] =
      benchmark::Counter(double(state.iterations()) * n, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  freeVelWorld(&world);
}

void BM_UpdateWindowWalk(benchmark::State& state) { runUpdate(state, compute_neighbor_rules); }
void BM_UpdateLiteralScan(benchmark::State& state) { runUpdate(state, literalNeighborRules); }

}  // namespace

BENCHMARK(BM_UpdateWindowWalk)->Arg(20)->Arg(77)->Arg(220)->Arg(1000)->Arg(5000)->Iterations(600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UpdateLiteralScan)->Arg(20)->Arg(77)->Arg(220)->Arg(1000)->Arg(5000)->Iterations(600)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
