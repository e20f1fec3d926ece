// The complex stages and the whole job in-process, on the window's start-up values
// (18 charges on blocks of 72, ka 0.2, Np 1, Nm 200, concentrations 1e-3). Chain energies
// are the tabulated start-up ones; only the job cases read the table files (found as the
// program finds them: working directory, then its data folders).

#include "pipeline/CalculationJob.h"
#include "pipeline/Distribution.h"
#include "pipeline/Engine.h"
#include "pipeline/CalculationStages.h"
#include "physics/NeutralBlock.h"

#include <benchmark/benchmark.h>

#include <iostream>
#include <memory>
#include <vector>

namespace {

using namespace marlinq;

Parameters startup(std::int32_t maxAggregation) {
    Parameters p;
    p.kip = p.kim = 0.25;
    p.ka = 0.2;
    p.vc01 = p.vc10 = 1e-3;
    p.zp = p.zn = 18.0;
    p.Np = 1;
    p.Nm = 200;
    p.mpMax = p.mmMax = maxAggregation;
    return p;
}

RunResult record(const Parameters& p) {
    auto sigma = std::make_shared<std::vector<double>>();
    for (std::int32_t k = 0; k <= p.mpMax + p.mmMax; ++k) sigma->push_back(neutral::sigma(k));
    const std::int32_t n = p.mpMax + 1;
    auto request = std::make_shared<RunRequest>();
    request->params = p;
    request->params.mpMin = request->params.mmMin = 0;
    RunResult r(request, CellSelection::NeutralBandByRows);
    r.concentrations.freePlus = p.vc10;
    r.concentrations.freeMinus = p.vc01;
    r.chains.plus = 7.563826;
    r.chains.minus = 7.356002;
    r.sigma = sigma;
    r.Value = Grid<double>(n, n);
    r.absValue = Grid<double>(n, n);
    r.max_shift = 0.0;
    return r;
}

void BM_DebyeHueckelMatrix(benchmark::State& state) {
    const Parameters p = startup(static_cast<std::int32_t>(state.range(0)));
    for (auto _ : state) {
        const RunResult resultRecord = record(p);
        DistributionBuilder weights(0, p.mpMax, 0, p.mmMax, p.vc10, p.vc01);
        weights.addWhole(CalculationStages(debyeHueckelModel()).everyCell(landscapeInputsOf(resultRecord)).cells);
        benchmark::DoNotOptimize(weights.distribution().maxValue);
    }
}
BENCHMARK(BM_DebyeHueckelMatrix)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_PoissonBoltzmannRow(benchmark::State& state) {
    const Parameters p = startup(10);
    const RunResult resultRecord = record(p);
    for (auto _ : state) {
        DistributionBuilder weights(0, p.mpMax, 0, p.mmMax, p.vc10, p.vc01);
        weights.addRow(static_cast<std::int32_t>(state.range(0)),
                       CalculationStages(poissonBoltzmannModel()).sphereRow(landscapeInputsOf(resultRecord), static_cast<std::int32_t>(state.range(0))).cells);
        benchmark::DoNotOptimize(weights.distribution().maxValue);
    }
}
BENCHMARK(BM_PoissonBoltzmannRow)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

void BM_Job(benchmark::State& state) {
    const Parameters p = startup(10);
    const bool dh = state.range(0) != 0;
    const bool tableChains = state.range(1) != 0;
    std::string why;
    const auto tables = loadTables(DataSearch{MARLINQ_SOURCE_DATA_DIR, ""}, why);
    ParameterSet set = startupParameterSet();
    set.params = p;
    for (auto _ : state) {
        benchmark::DoNotOptimize(runToCompletion(makeJobInput(p, set, RunOptions{dh ? Method::DebyeHueckel : Method::PoissonBoltzmann, tableChains ? Chains::Tables : Chains::Solved}, tables)).outcome);
    }
}
// (DH, tables), (PB, tables), (PB, solved chains)
BENCHMARK(BM_Job)->Args({1, 1})->Args({0, 1})->Args({0, 0})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
