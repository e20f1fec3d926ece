// The engine as the front ends use it: whole runs through the service layer with the
// tables loaded once, and Poisson-Boltzmann runs whose matrices have the same number of
// cells in different shapes (the cost must follow the cells evaluated, not the rows).
//
//   build/bench/engine --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

#include "ShippedTables.h"
#include "pipeline/Engine.h"

#include <benchmark/benchmark.h>

namespace marlinq {
namespace {

using bench::shippedTables;

RunOutcome runOnce(const ParameterSet& set, bool dh) {
    Parameters p;
    validate(set, p);
    return runToCompletion(makeJobInput(p, set, RunOptions{dh ? Method::DebyeHueckel : Method::PoissonBoltzmann}, shippedTables()));
}

// One Poisson-Boltzmann run of the start-up values.
void BM_OneRun(benchmark::State& state) {
    const ParameterSet set = startupParameterSet();
    for (auto _ : state) benchmark::DoNotOptimize(runOnce(set, false).record);
}
BENCHMARK(BM_OneRun)->Unit(benchmark::kMillisecond);

// The same run 100 times in one process: compare with 100 x BM_OneRun.
void BM_HundredRuns(benchmark::State& state) {
    const ParameterSet set = startupParameterSet();
    for (auto _ : state)
        for (int k = 0; k < 100; ++k) benchmark::DoNotOptimize(runOnce(set, false).record);
}
BENCHMARK(BM_HundredRuns)->Unit(benchmark::kMillisecond);

// Poisson-Boltzmann over M+ 0..rows-1 and M- 0..cols-1 (Debye-Hueckel chains of the
// start-up polymers): the same 780,000 cells as 20000 x 39 and as 2000 x 390, and the
// 100001 x 39 map whose rows beyond 42 hold nothing to evaluate.
void BM_PoissonBoltzmannShape(benchmark::State& state) {
    ParameterSet set = startupParameterSet();
    set.params.mpMax = static_cast<std::int32_t>(state.range(0)) - 1;
    set.params.mmMax = static_cast<std::int32_t>(state.range(1)) - 1;
    for (auto _ : state) benchmark::DoNotOptimize(runOnce(set, false).record);
    state.counters["cells"] = static_cast<double>(state.range(0) * state.range(1));
}
BENCHMARK(BM_PoissonBoltzmannShape)
    ->Args({20000, 39})
    ->Args({2000, 390})
    ->Args({100001, 39})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// A 2000 x 2000 map (M+ and M- 0..1999) by each Debye-Hueckel method: the closed-form linear
// energy costs a few arithmetic operations per cell, the program's approximation a pass over
// 401 points.
void BM_DebyeHueckelMap2000(benchmark::State& state) {
    ParameterSet set = startupParameterSet();
    set.params.mpMax = 1999;
    set.params.mmMax = 1999;
    Parameters p;
    validate(set, p);
    const RunOptions options{state.range(0) != 0 ? Method::DebyeHueckelLinear : Method::DebyeHueckel, Chains::Tables};
    for (auto _ : state)
        benchmark::DoNotOptimize(runToCompletion(makeJobInput(p, set, options, shippedTables())).record);
    state.SetLabel(std::string(nameOf(options.method)));
}
BENCHMARK(BM_DebyeHueckelMap2000)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace marlinq

BENCHMARK_MAIN();
