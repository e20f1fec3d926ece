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
    SolveForProblem problem;
    problem.base = startupParameterSet();
    Parameters& p = problem.base.params;
    p.zp = p.zn = 50.0;
    problem.base.plen = problem.base.mlen = 18.0;
    p.kip = p.kim = 50.0 / 18.0;
    p.Np = p.Nm = 200;
    p.ka = 0.5;
    p.mpMax = p.mmMax = 60;
    problem.base.totalMode = true;
    problem.base.totalPlus = problem.base.totalMinus = 1e-4;
    problem.name = "gamma";
    problem.observable = "mass_average_aggregation";
    problem.target = 15.0;
    problem.options.method = Method::PoissonBoltzmann;
    problem.options.chains = Chains::Solved;
    SolveForResult result;
    for (auto _ : state) result = solveFor(problem, shippedTables());
    state.counters["runs"] = result.runs;
    state.counters["gamma"] = result.value.value_or(NAN);
    state.counters["achieved"] = result.achieved;
}
BENCHMARK(BM_SolveForGammaPB60)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
}  // namespace marlinq

BENCHMARK_MAIN();
