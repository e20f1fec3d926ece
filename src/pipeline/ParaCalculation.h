#pragma once
// The three calculation stages: single chains, Poisson-Boltzmann rows, Debye-Hueckel matrix.

#include "files/ChainTables.h"
#include "pipeline/Records.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace marlinq {

// Pair (M+, M-) of a stage's work list.
struct Index {
    std::int32_t mp;
    std::int32_t mm;
};

class ParalContr {
public:
    virtual ~ParalContr() = default;
    static int get_num_of_cores() { return 4; }
    static int get_optimized_num_of_threads(int /*scale*/) { return 8; }
    static int get_optimized_num_of_threads_sum(int scale) { return scale >= 5000 ? 8 : 1; }
};

// The cells of the energy landscape a complex stage evaluated, with notes on their solves.
struct StageCells {
    std::vector<LandscapeCell> cells;
    std::int64_t unstable = 0;        // Newton solves that stopped at the step limit
    double errorEstimate = 0.0;       // converged energies: largest estimated remaining error (kT)
    double standardDifference = 0.0;  // converged energies: largest |converged - standard| (kT)
};

// What the chain stage reports besides the two energies.
struct ChainStageReport {
    std::string failure;                   // why no energies could be formed
    std::vector<std::string> diagnostics;  // lines on the chain solves
    std::int32_t failedChains = 0;         // chains whose energy could not be computed
    double errorEstimate = 0.0;            // converged chains: the larger estimated error (kT)
    double standardDifference = 0.0;       // converged chains: the larger |converged - standard| (kT)
};

class ParaCalculation {
public:
    ParaCalculation() = default;
    explicit ParaCalculation(std::shared_ptr<InfoChainBean> icb_) : icb(std::move(icb_)) {}

    // Fills icb.ffc_minus and icb.ffc_positive. Returns 1; on failure (a table that cannot
    // be read, a chain energy that is not a number) returns 0 and, if given, the reason.
    int startChainEnergy(InfoChainBean& icb, std::string* failure = nullptr);
    // The same with the tables loaded by the caller (only read when icb.checked; nullptr
    // then fails the stage) and the chain solves' diagnostics returned, not printed.
    int startChainEnergy(InfoChainBean& icb, const ChainTables* tables, ChainStageReport& report);
    // The Poisson-Boltzmann row M+ = i of the landscape: the band of at most nine cells
    // around charge neutrality, in ascending M- (none for M+ = 0 or outside the range).
    static StageCells sphereRow(const InfoSphereBean& isb, std::int32_t i);
    // Every complex (M+, M- >= 1) of the ranges by Debye-Hueckel.
    static StageCells debyeHueckelCells(const InfoSphereBean& isb);

    std::shared_ptr<InfoChainBean> icb;
};

}  // namespace marlinq
