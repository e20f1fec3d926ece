// The Debye-Hueckel free energy of a complex: the single-pass evaluation of the program
// against the former two-step one (bench/DebyeHueckelReference.h), in one run, on the cells
// the DH stage evaluates for the start-up values (charges 18, charged blocks 72, ka 0.2)
// over 0..2000 x 0..2000, sampled every 37 chains in each direction, and on a salty
// variant (ka 5). The figure to read is the time per cell: 1 / items_per_second.

#include "DebyeHueckelReference.h"
#include "DebyeHueckelSinglePass.h"
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

double programDH(double ka, double qp, double qn, double v) { return marlinq::FreeEnergy::freeEnergy_SphereDH(ka, qp, qn, v); }

template <double (*F)(double, double, double, double)>
void run(benchmark::State& state, double ka) {
    const std::vector<Cell> cells = stageCells();
    std::int64_t iteration = 0;
    for (auto _ : state) {
        // A few ulp of ka more each time: the program keeps the sums of complexes it has met.
        const double k = ka * (1.0 + 0x1p-50 * static_cast<double>(++iteration));
        for (const Cell& c : cells) benchmark::DoNotOptimize(F(k, c.qp, c.qn, c.vcore));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * cells.size()));
}

void BM_DebyeHueckel_Former(benchmark::State& state) { run<marlinq::reference::freeEnergy_SphereDH>(state, 0.2); }
void BM_DebyeHueckel_SinglePass(benchmark::State& state) { run<programDH>(state, 0.2); }
void BM_DebyeHueckel_Former_ka5(benchmark::State& state) { run<marlinq::reference::freeEnergy_SphereDH>(state, 5.0); }
void BM_DebyeHueckel_SinglePass_ka5(benchmark::State& state) { run<programDH>(state, 5.0); }
BENCHMARK(BM_DebyeHueckel_Former)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DebyeHueckel_SinglePass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DebyeHueckel_Former_ka5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DebyeHueckel_SinglePass_ka5)->Unit(benchmark::kMillisecond);

// A whole Debye-Hueckel landscape in the order of the stage (row by row), one thread:
// 0..300 x 0..300, charges 18 on blocks of 72 (the start-up polymers, mirror complexes
// alike) and an uneven pair (charges 20 and 12 on blocks of 20 and 24, ka 0.7), where no
// complex has a mirror and few share a core volume. Each iteration shifts ka by a few ulp so
// that nothing is left from the one before: the figure is that of one fresh run. The
// former single pass (bench/DebyeHueckelSinglePass.h) against the program's.
struct Polymers {
    double ka, zp, zn, plen, mlen;
};
constexpr Polymers kStartup{0.2, 18.0, 18.0, 72.0, 72.0};
constexpr Polymers kUneven{0.7, 20.0, 12.0, 20.0, 24.0};

template <double (*F)(double, double, double, double)>
void landscape(benchmark::State& state, const Polymers& p) {
    std::int64_t run = 0;
    for (auto _ : state) {
        const double ka = p.ka * (1.0 + 0x1p-50 * static_cast<double>(++run));
        for (int mp = 0; mp <= 300; ++mp)
            for (int mm = 0; mm <= 300; ++mm)
                if (mp + mm > 0) benchmark::DoNotOptimize(F(ka, mp * p.zp, mm * p.zn, mm * p.mlen + mp * p.plen));
    }
    state.SetItemsProcessed(state.iterations() * (301 * 301 - 1));
}
void BM_Landscape300_Former(benchmark::State& state) { landscape<marlinq::reference::singlePass::freeEnergy_SphereDH>(state, kStartup); }
void BM_Landscape300_Program(benchmark::State& state) { landscape<programDH>(state, kStartup); }
void BM_Landscape300Uneven_Former(benchmark::State& state) { landscape<marlinq::reference::singlePass::freeEnergy_SphereDH>(state, kUneven); }
void BM_Landscape300Uneven_Program(benchmark::State& state) { landscape<programDH>(state, kUneven); }
BENCHMARK(BM_Landscape300_Former)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_Landscape300_Program)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_Landscape300Uneven_Former)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_Landscape300Uneven_Program)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
