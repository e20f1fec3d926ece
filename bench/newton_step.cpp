// One Newton step of the two radial problems, solved through the banded Jacobian and
// through the dense Gauss-Jordan inverse, at 401 and 801 grid points. After the run the
// dense/banded time ratio of each pair is printed.

#include "physics/Solver.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

using marlinq::Solver;
using marlinq::Vtr;

constexpr double kLength = 8.0;  // both grids span 8 units

struct Problem {
    Vtr x;
    Vtr iterate;
    double h;
};

// A charged sphere (q = 5, kappa = 1.5) on [0, 8], two steps away from u = 0.
Problem sphere(int n) {
    const double h = kLength / (n - 1);
    Problem p{Vtr(n, 0.0), Vtr(n, 0.0), h};
    for (int i = 0; i < n; ++i) p.x[i] = i * h;
    for (int s = 0; s < 2; ++s) p.iterate = Solver::sphereStep(p.x, p.iterate, 5.0, h, 1.5, n);
    return p;
}

// A charged cylinder (ka = 1, k = -1) on [ka, ka + 8], two steps away from y = 1.
constexpr double kCylinderK = -1.0;
Problem cylinder(int n) {
    const double h = kLength / (n - 1);
    Problem p{Vtr(n, 0.0), Vtr(n, 1.0), h};
    for (int i = 0; i < n; ++i) p.x[i] = 1.0 + i * h;
    for (int s = 0; s < 2; ++s) p.iterate = Solver::cylinderStep(p.x, p.iterate, h, kCylinderK);
    return p;
}

void BM_SphereBanded(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const Problem p = sphere(n);
    for (auto _ : state) benchmark::DoNotOptimize(Solver::sphereStep(p.x, p.iterate, 5.0, p.h, 1.5, n));
}
void BM_SphereDense(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const Problem p = sphere(n);
    for (auto _ : state) benchmark::DoNotOptimize(Solver::sphereStepDense(p.x, p.iterate, 5.0, p.h, 1.5, n));
}
void BM_CylinderBanded(benchmark::State& state) {
    const Problem p = cylinder(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(Solver::cylinderStep(p.x, p.iterate, p.h, kCylinderK));
}
void BM_CylinderDense(benchmark::State& state) {
    const Problem p = cylinder(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(Solver::cylinderStepDense(p.x, p.iterate, p.h, kCylinderK));
}

BENCHMARK(BM_SphereBanded)->Arg(401)->Arg(801)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SphereDense)->Arg(401)->Arg(801)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CylinderBanded)->Arg(401)->Arg(801)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CylinderDense)->Arg(401)->Arg(801)->Unit(benchmark::kMicrosecond);

// Console output as usual, and the real time per iteration of every run kept by name.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                seconds[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    for (const char* problem : {"Sphere", "Cylinder"}) {
        for (const char* n : {"401", "801"}) {
            const auto banded = reporter.seconds.find(std::string("BM_") + problem + "Banded/" + n);
            const auto dense = reporter.seconds.find(std::string("BM_") + problem + "Dense/" + n);
            if (banded == reporter.seconds.end() || dense == reporter.seconds.end() || banded->second <= 0.0) continue;
            std::printf("%-8s n=%s  banded %10.2f us  dense %12.2f us  dense/banded ratio %10.0f\n", problem, n,
                        banded->second * 1e6, dense->second * 1e6, dense->second / banded->second);
        }
    }
    return 0;
}
