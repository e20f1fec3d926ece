// What scattering measures: I(q) of a large distribution, and what the molar masses and
// sizes add to the summary of a default run.
//
//   OMP_NUM_THREADS=2 build/bench/scattering --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
//
// Goals: I(q) of 200 q points over a 300 x 300 distribution within 1 s on 2 cores; the
// summary with the molar masses and sizes within 10 % of the summary without them (each
// with the default run that gives it).

#include "ShippedTables.h"
#include "pipeline/Engine.h"
#include "pipeline/ObservablesText.h"
#include "pipeline/Structure.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace marlinq {
namespace {

using bench::shippedTables;

StructureInputs inputs() {
    StructureInputs in;
    in.molarMassPlus = 9000.0;
    in.molarMassMinus = 14000.0;
    in.unitNm = 0.714;
    in.neutralSegmentNm = 0.36;
    in.waterFraction = 0.5;
    return in;
}

// M+ and M- from 0 to 299, every complex with a weight (a broad bump), free chains too.
RunResult wideDistribution() {
    Parameters p = startupParameters();
    p.mpMin = p.mmMin = 0;
    p.mpMax = p.mmMax = 299;
    p.Np = 100;
    p.Nm = 300;
    auto request = std::make_shared<RunRequest>();
    request->params = p;
    RunResult r(request, CellSelection::EveryCell);
    r.concentrations.freePlus = p.vc10;
    r.concentrations.freeMinus = p.vc01;
    r.Value = Grid<double>(300, 300);
    r.absValue = Grid<double>(300, 300);
    r.max_shift = 0.0;
    for (std::int32_t i = 0; i < 300; ++i)
        for (std::int32_t j = 0; j < 300; ++j)
            r.absValue(i, j) = std::exp(-(std::pow(i - 60.0, 2) + std::pow(j - 55.0, 2)) / 2000.0) + 1e-30;
    return r;
}

void BM_ScatteringCurve300x300(benchmark::State& state) {
    const RunResult r = wideDistribution();
    const std::vector<double> q = scatteringQ(0.01, 5.0, 200, true);
    for (auto _ : state) benchmark::DoNotOptimize(scatteringCurve(r, inputs(), q).intensity.data());
}
BENCHMARK(BM_ScatteringCurve300x300)->Unit(benchmark::kMillisecond)->UseRealTime();

// The default run and its summary, without (0) and with (1) the molar masses and sizes.
void BM_DefaultRunSummary(benchmark::State& state) {
    const ParameterSet set = startupParameterSet();
    Parameters p;
    validate(set, p);
    const bool structure = state.range(0) == 1;
    for (auto _ : state) {
        const RunOutcome run =
            runToCompletion(makeJobInput(p, set, RunOptions{Method::DebyeHueckel, Chains::Tables}, shippedTables()));
        const Observables o = computeObservables(*run.record);
        RunDescription d;
        d.set = set;
        d.params = p;
        d.unitNm = 0.714;
        if (structure) d.structure = computeStructureObservables(*run.record, o, inputs());
        benchmark::DoNotOptimize(summaryJson(o, d));
    }
}
BENCHMARK(BM_DefaultRunSummary)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace marlinq

BENCHMARK_MAIN();
