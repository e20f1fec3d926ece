// Free energies at the program's start-up parameters: one complex in both
// approximations, and the two single chains solved by continuation in the charge.

#include "physics/FreeEnergy.h"

#include <benchmark/benchmark.h>

namespace {

using marlinq::FreeEnergy;

constexpr double kKa = 0.2;
constexpr double kZ = 18.0;       // charge of one chain of either kind
constexpr double kLength = 72.0;  // charged block length of either kind

// Complex of mp '+' and mm '-' chains, arguments as the complex stages pass them.
void complexArgs(benchmark::State& state, double& qp, double& qn, double& vcore) {
    const auto mp = static_cast<double>(state.range(0));
    const auto mm = static_cast<double>(state.range(1));
    qp = mp * kZ;
    qn = mm * kZ;
    vcore = mp * kLength + mm * kLength;
}

void BM_ComplexPoissonBoltzmann(benchmark::State& state) {
    double qp, qn, vcore;
    complexArgs(state, qp, qn, vcore);
    for (auto _ : state) benchmark::DoNotOptimize(FreeEnergy::freeEnergy_Sphere(kKa, qp, qn, vcore));
}
BENCHMARK(BM_ComplexPoissonBoltzmann)->Args({5, 5})->Args({5, 4})->Args({8, 2})->Unit(benchmark::kMicrosecond);

void BM_ComplexDebyeHueckel(benchmark::State& state) {
    double qp, qn, vcore;
    complexArgs(state, qp, qn, vcore);
    for (auto _ : state) benchmark::DoNotOptimize(FreeEnergy::freeEnergy_SphereDH(kKa, qp, qn, vcore));
}
BENCHMARK(BM_ComplexDebyeHueckel)->Args({5, 5})->Args({5, 4})->Unit(benchmark::kMicrosecond);

// Both chains of a run: kip = kim = 0.25, Np = 1, Nm = 200.
void BM_SingleChainsSolved(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(FreeEnergy::freeEnergy_Chain(0.079, kKa, 0.25, kLength, false, 1, 10));
        benchmark::DoNotOptimize(FreeEnergy::freeEnergy_Chain(0.079, kKa, -0.25, kLength, true, 200, 10));
    }
}
BENCHMARK(BM_SingleChainsSolved)->Unit(benchmark::kMicrosecond);

// A chain whose continuation has to restart with 100 steps (ka = 0.2, ki = 2).
void BM_SingleChainRestarted(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(FreeEnergy::freeEnergy_Chain(0.0, kKa, 2.0, 1.0, false, 0, 10));
}
BENCHMARK(BM_SingleChainRestarted)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
