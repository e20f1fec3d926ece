// The grid-converged free energies (physics/ConvergedEnergy.h) against the standard ones,
// on what a Poisson-Boltzmann run of the window's start-up values with solved chains
// evaluates: the two single chains (ka 0.2, ki 0.25, charged blocks 72, neutral blocks 1
// and 200) and the cells of the neutral band of every row, M+ = 1..10, M- = M+ - 4 .. M+ + 4
// within 1..10 (charges 18, core volume 72 (M+ + M-)); and whole Poisson-Boltzmann runs over
// 0..300 x 0..300 at both accuracies.
//
//   build/bench/converged_energy --benchmark_repetitions=3 --benchmark_enable_random_interleaving=true

#include "physics/ConvergedEnergy.h"
#include "physics/FreeEnergy.h"
#include "pipeline/Engine.h"
#include "pipeline/ParameterSchema.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace marlinq;

struct Cell {
    double qp, qn, vcore;
};

std::vector<Cell> bandCells() {
    std::vector<Cell> cells;
    for (int mp = 1; mp <= 10; ++mp)
        for (int mm = mp - 4; mm <= mp + 4; ++mm)
            if (mm >= 1 && mm <= 10) cells.push_back({mp * 18.0, mm * 18.0, mm * 72.0 + mp * 72.0});
    return cells;
}

void BM_ComplexCells_Standard(benchmark::State& state) {
    const std::vector<Cell> cells = bandCells();
    for (auto _ : state)
        for (const Cell& c : cells) benchmark::DoNotOptimize(FreeEnergy::freeEnergy_Sphere(0.2, c.qp, c.qn, c.vcore));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * cells.size()));
}
BENCHMARK(BM_ComplexCells_Standard)->Unit(benchmark::kMillisecond);

void BM_ComplexCells_Converged(benchmark::State& state) {
    const std::vector<Cell> cells = bandCells();
    for (auto _ : state)
        for (const Cell& c : cells) benchmark::DoNotOptimize(convergedSphereEnergy(0.2, c.qp, c.qn, c.vcore));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * cells.size()));
}
BENCHMARK(BM_ComplexCells_Converged)->Unit(benchmark::kMillisecond);

void BM_SingleChains_Standard(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(FreeEnergy::freeEnergy_Chain(0.079, 0.2, 0.25, 72.0, false, 1, 10));
        benchmark::DoNotOptimize(FreeEnergy::freeEnergy_Chain(0.079, 0.2, -0.25, 72.0, true, 200, 10));
    }
}
BENCHMARK(BM_SingleChains_Standard)->Unit(benchmark::kMillisecond);

void BM_SingleChains_Converged(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(convergedChainEnergy(0.079, 0.2, 0.25, 72.0, 1));
        benchmark::DoNotOptimize(convergedChainEnergy(0.079, 0.2, -0.25, 72.0, 200));
    }
}
BENCHMARK(BM_SingleChains_Converged)->Unit(benchmark::kMillisecond);

// Whole runs: Poisson-Boltzmann over M+ and M- 0..300 (the start-up polymers, chains
// solved), at the standard and at the converged accuracy, on one thread (threads: 1) and on
// the machine's (threads: 0). The ratio of the two accuracies' times is the cost the README
// states (aim: at most 6).
void BM_Run300_PoissonBoltzmann(benchmark::State& state) {
    ParameterSet set = startupParameterSet();
    set.params.mpMax = 300;
    set.params.mmMax = 300;
    Parameters p;
    validate(set, p);
    RunOptions options{Method::PoissonBoltzmann, Chains::Solved,
                       state.range(0) != 0 ? Accuracy::Converged : Accuracy::Standard};
    options.threads = static_cast<int>(state.range(1));
    for (auto _ : state) benchmark::DoNotOptimize(runToCompletion(makeJobInput(p, set, options, LoadedTables{})).record);
    state.SetLabel(std::string(nameOf(options.accuracy)) + (options.threads == 1 ? ", 1 thread" : ", all threads"));
}
BENCHMARK(BM_Run300_PoissonBoltzmann)
    ->ArgsProduct({{0, 1}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
