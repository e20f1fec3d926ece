// Solving for a measured value on a Poisson-Boltzmann landscape of 0..60 x 0..60: the
// surface term gamma at which the micelle-forming chains (50 charges on 18 segments,
// neutral blocks of 200, ka 0.5, totals 1e-4 of each) reach a mass-average aggregation
// number of 15. The counter `runs` is the number of trial landscapes (the goal: at most 30).
//
//   build/bench/solve_for --benchmark_min_time=1x

#include "ShippedTables.h"
#include "pipeline/SolveFor.h"

#include <benchmark/benchmark.h>

namespace marlinq {
namespace {

using bench::shippedTables;

void BM_SolveForGammaPB60(benchmark::State& state) {
    SolveForSpec spec;
    spec.base = startupParameterSet();
    Parameters& p = spec.base.params;
    p.zp = p.zn = 50.0;
    spec.base.plen = spec.base.mlen = 18.0;
    p.kip = p.kim = 50.0 / 18.0;
    p.Np = p.Nm = 200;
    p.ka = 0.5;
    p.mpMax = p.mmMax = 60;
    spec.base.totalMode = true;
    spec.base.totalPlus = spec.base.totalMinus = 1e-4;
    spec.name = "gamma";
    spec.observable = "mass_average_aggregation";
    spec.target = 15.0;
    spec.options.method = Method::PoissonBoltzmann;
    spec.options.chains = Chains::Solved;
    SolveForResult result;
    for (auto _ : state) result = solveFor(spec, shippedTables());
    state.counters["runs"] = result.runs;
    state.counters["gamma"] = result.value.value_or(NAN);
    state.counters["achieved"] = result.achieved;
}
BENCHMARK(BM_SolveForGammaPB60)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
}  // namespace marlinq

BENCHMARK_MAIN();
