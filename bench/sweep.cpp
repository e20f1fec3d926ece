// A 100-point Poisson-Boltzmann salt sweep of the start-up values (ka 0.2..10, log spaced,
// tables): runSweep as a whole against its points run one by one through the service
// layer. The sweep's own cost (values, point sets, observables, CSV rows) is the gap.
//
//   build/bench/sweep --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "ShippedTables.h"
#include "pipeline/Engine.h"
#include "pipeline/Sweep.h"

#include <benchmark/benchmark.h>

namespace marlinq {
namespace {

using bench::shippedTables;

SweepSpec saltSweep() {
    SweepSpec plan;
    plan.base = startupParameterSet();
    std::string error;
    plan.axes = {*parseSweepAxis("ka=0.2:10:100:log", error)};
    plan.options.method = Method::PoissonBoltzmann;
    return plan;
}

// The whole sweep, with its CSV, as marlinq-batch --sweep runs it in-process.
void BM_SaltSweepPB(benchmark::State& state) {
    const SweepSpec plan = saltSweep();
    for (auto _ : state) {
        std::string csv = sweepCsvHeader(plan);
        runSweep(plan, shippedTables(), {}, [&](const SweepPoint& p, std::int64_t, std::int64_t) {
            csv += sweepCsvRow(plan, p);
        });
        benchmark::DoNotOptimize(csv);
    }
}
BENCHMARK(BM_SaltSweepPB)->Unit(benchmark::kMillisecond);

// The same 100 parameter sets run one after the other, nothing else.
void BM_SaltSweepPointsAlone(benchmark::State& state) {
    const SweepSpec plan = saltSweep();
    std::vector<std::pair<ParameterSet, Parameters>> sets;
    for (std::int64_t i = 0; i < sweepPointCount(plan); ++i) {
        std::string error;
        ParameterSet set = *sweepPointSet(plan, sweepPointValues(plan, i), error);
        Parameters p;
        validate(set, p);
        sets.emplace_back(set, p);
    }
    for (auto _ : state)
        for (const auto& [set, p] : sets)
            benchmark::DoNotOptimize(runToCompletion(makeJobInput(p, set, plan.options, shippedTables())).record);
}
BENCHMARK(BM_SaltSweepPointsAlone)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace marlinq

BENCHMARK_MAIN();
