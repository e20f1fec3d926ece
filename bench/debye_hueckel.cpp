// The Debye-Hueckel free energy of a complex: the single-pass evaluation of the program
// against the former two-step one (bench/DebyeHueckelReference.h), in one run, on the cells
// the DH stage evaluates for the start-up values (charges 18, charged blocks 72, ka 0.2)
// over 0..2000 x 0..2000, sampled every 37 chains in each direction, and on a salty
// variant (ka 5). The figure to read is the time per cell: 1 / items_per_second.

#include "DebyeHueckelReference.h"
#include "physics/FreeEnergy.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

struct Cell {
    double qp, qn, vcore;
};

std::vector<Cell> stageCells() {
    std::vector<Cell> cells;
    for (int mp = 1; mp <= 2000; mp += 37)
        for (int mm = 1; mm <= 2000; mm += 37) cells.push_back({mp * 18.0, mm * 18.0, mm * 72.0 + mp * 72.0});
    return cells;
}

template <double (*F)(double, double, double, double)>
void run(benchmark::State& state, double ka) {
    const std::vector<Cell> cells = stageCells();
    for (auto _ : state)
        for (const Cell& c : cells) benchmark::DoNotOptimize(F(ka, c.qp, c.qn, c.vcore));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * cells.size()));
}

void BM_DebyeHueckel_Former(benchmark::State& state) { run<marlinq::reference::freeEnergy_SphereDH>(state, 0.2); }
void BM_DebyeHueckel_SinglePass(benchmark::State& state) { run<marlinq::FreeEnergy::freeEnergy_SphereDH>(state, 0.2); }
void BM_DebyeHueckel_Former_ka5(benchmark::State& state) { run<marlinq::reference::freeEnergy_SphereDH>(state, 5.0); }
void BM_DebyeHueckel_SinglePass_ka5(benchmark::State& state) { run<marlinq::FreeEnergy::freeEnergy_SphereDH>(state, 5.0); }
BENCHMARK(BM_DebyeHueckel_Former)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DebyeHueckel_SinglePass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DebyeHueckel_Former_ka5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DebyeHueckel_SinglePass_ka5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
