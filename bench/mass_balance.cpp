// Total mode: what the mass balance adds to a run, and the solve alone on one landscape
// (the work a total sweep repeats per point).
//
//   build/bench/mass_balance --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

#include "ShippedTables.h"
#include "pipeline/Engine.h"
#include "pipeline/MassBalance.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace marlinq {
namespace {

using bench::shippedTables;

JobInput startupJob() {
    const ParameterSet set = startupParameterSet();
    Parameters p;
    validate(set, p);
    return makeJobInput(p, set, RunOptions{Method::PoissonBoltzmann, Chains::Tables}, shippedTables());
}

// A standard Poisson-Boltzmann run of the start-up values (free chains 1e-3).
void BM_FreeRun(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(runToCompletion(startupJob()).record);
}
BENCHMARK(BM_FreeRun)->Unit(benchmark::kMillisecond);

// The same run in total mode at a total of 2e-3 at stoichiometry: landscape, mass balance,
// distribution, critical concentration.
void BM_TotalRun(benchmark::State& state) {
    for (auto _ : state) {
        JobInput input = startupJob();
        input.request = inTotalMode(*input.request, MassBalanceTotals{1e-3, 1e-3});
        benchmark::DoNotOptimize(runToCompletion(std::move(input)).record);
    }
}
BENCHMARK(BM_TotalRun)->Unit(benchmark::kMillisecond);

// One solve on the start-up landscape: at 2e-3, and in the stiff region (total 1000, charge
// fraction 0.51).
void BM_Solve(benchmark::State& state) {
    JobInput input = startupJob();
    input.keepEnergies = true;
    const RunOutcome run = runToCompletion(std::move(input));
    const MassBalance balance(landscapeOf(*run.record));
    const double total = state.range(0) == 0 ? 2e-3 : 1000.0, f = state.range(0) == 0 ? 0.5 : 0.51;
    for (auto _ : state) benchmark::DoNotOptimize(balance.solve(f * total, (1.0 - f) * total).lnPlus);
}
BENCHMARK(BM_Solve)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace marlinq

BENCHMARK_MAIN();
