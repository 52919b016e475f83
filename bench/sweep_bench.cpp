// One full sweep of 361 positions, table-driven against evaluated directly,
// in the two regimes: the cloud (epoch even) and the coil (epoch odd).
#include "field/field.h"

#include <benchmark/benchmark.h>

namespace {

constexpr float CLOUD_PHASE = 0.5f;                // epoch 0, w ~ 0.97
constexpr float COIL_PHASE = 12.566370614359172f;  // 4 pi: epoch 1, w = 1

template <bool Direct>
void sweep(benchmark::State& state, float T) {
    for (auto _ : state) {
        auto sink = [](Vec3 p) { benchmark::DoNotOptimize(p); };
        if (Direct)
            forEachSphereDirect(T, sink);
        else
            forEachSphere(T, sink);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * SWEEP_SAMPLES);
}

void TableCloud(benchmark::State& s) { sweep<false>(s, CLOUD_PHASE); }
void TableCoil(benchmark::State& s) { sweep<false>(s, COIL_PHASE); }
void DirectCloud(benchmark::State& s) { sweep<true>(s, CLOUD_PHASE); }
void DirectCoil(benchmark::State& s) { sweep<true>(s, COIL_PHASE); }

}  // namespace

BENCHMARK(TableCloud)->Unit(benchmark::kMicrosecond);
BENCHMARK(TableCoil)->Unit(benchmark::kMicrosecond);
BENCHMARK(DirectCloud)->Unit(benchmark::kMicrosecond);
BENCHMARK(DirectCoil)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
