// A measurement, not a timing: the shipped single-chain tables against the converged chain
// energy per length over the tables' domain (ka and charge density 0.2 .. 10), on a grid of
// points between the table's nodes. Prints the largest relative difference overall and
// within the region where both ka and the charge density lie in [0.2, 10], the share of
// points above 2 %, and the worst points.
//
//     build/bench/table_accuracy [POINTS_PER_AXIS]      (default 25)

#include "files/ChainTables.h"
#include "files/DataPaths.h"
#include "pipeline/ModelFactory.h"
#include "physics/ConvergedEnergy.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace marlinq;

int main(int argc, char** argv) {
    const int points = argc > 1 ? std::atoi(argv[1]) : 25;
    std::string error;
    const std::shared_ptr<const ChainTables> tables =
        loadChainTables(locateDataFile(kCoarseTableFile), locateDataFile(kFineTableFile), error);
    if (!tables) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const ChainModelPointer tableModel = makeChainModel(Chains::Tables, Accuracy::Standard, tables);
    struct Point {
        double ka, xi, table, converged, relative;
    };
    std::vector<Point> all;
    // Logarithmic spacing, shifted off the table's nodes.
    auto axis = [&](int i) { return 0.2 * std::pow(50.0, (i + 0.37) / points); };
    for (int i = 0; i < points; ++i)
        for (int j = 0; j < points; ++j) {
            const double ka = std::min(axis(i), 10.0), xi = std::min(axis(j), 10.0);
            // Unit length, no neutral block: the table model gives the per-length energy.
            const double table =
                tableModel->energy(SingleChain{xi, 1.0, 0, false}, ChainConditions{ka, 1.0}, {}).value;
            const ConvergedEnergy c = convergedChainEnergy(0.0, ka, xi, 1.0, 0);
            if (!std::isfinite(table) || !std::isfinite(c.value)) continue;
            all.push_back({ka, xi, table, c.value, std::fabs(table - c.value) / c.value});
        }
    std::sort(all.begin(), all.end(), [](const Point& a, const Point& b) { return a.relative > b.relative; });
    std::size_t above = 0;
    for (const Point& p : all) above += p.relative > 0.02 ? 1 : 0;
    std::printf("%zu points, %zu above 2 %% (%.1f %%)\nworst:\n", all.size(), above, 100.0 * above / all.size());
    for (std::size_t k = 0; k < std::min<std::size_t>(15, all.size()); ++k)
        std::printf("  ka %.4f xi %.4f table %.6g converged %.6g difference %.3g %%\n", all[k].ka, all[k].xi,
                    all[k].table, all[k].converged, 100.0 * all[k].relative);
    // By table: the coarse one serves ka > 1 and xi > 1, the fine one the rest.
    double fine = 0.0, coarse = 0.0;
    std::size_t fineAbove = 0, fineCount = 0;
    for (const Point& p : all) {
        if (p.ka > 1.0 && p.xi > 1.0) {
            coarse = std::max(coarse, p.relative);
        } else {
            fine = std::max(fine, p.relative);
            ++fineCount;
            fineAbove += p.relative > 0.02 ? 1 : 0;
        }
    }
    // Where the tables are fine: the weakest chain and the highest salt above 2 %.
    double weakest = INFINITY, saltiest = 0.0;
    for (const Point& p : all)
        if (p.relative > 0.02) weakest = std::min(weakest, p.xi), saltiest = std::max(saltiest, p.ka);
    if (above > 0)
        std::printf("above 2 %% only where xi >= %.3g and ka <= %.3g\n", weakest, saltiest);
    std::printf("fine table: largest %.3g %%, %zu of %zu points above 2 %%; coarse table: largest %.3g %%\n",
                100.0 * fine, fineAbove, fineCount, 100.0 * coarse);
    return 0;
}
