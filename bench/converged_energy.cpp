// The grid-converged free energies (physics/ConvergedEnergy.h) against the standard ones,
// on what a Poisson-Boltzmann run of the window's start-up values with solved chains
// evaluates: the two single chains (ka 0.2, ki 0.25, charged blocks 72, neutral blocks 1
// and 200) and the cells of the neutral band of every row, M+ = 1..10, M- = M+ - 4 .. M+ + 4
// within 1..10 (charges 18, core volume 72 (M+ + M-)).

#include "physics/ConvergedEnergy.h"
#include "physics/FreeEnergy.h"

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

}  // namespace

BENCHMARK_MAIN();
