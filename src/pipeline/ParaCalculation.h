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

// The cells a Poisson-Boltzmann run has written so far, row-major (row by row, and within
// a row by M-), as indices into the matrices.
struct SphereRunCells {
    std::vector<std::size_t> written;
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
    // One Poisson-Boltzmann row M+ = i, then renormalises the whole matrix. Returns 1.
    int startSphereEnergy(InfoSphereBean& isb, std::int32_t i);
    // One Poisson-Boltzmann row of a run: writes the row's weights and keeps sum and
    // maximum current, without renormalising the matrix (normalise() does that once at
    // the end); the cost follows the cells of the row, not the size of the matrix.
    void startSphereRow(InfoSphereBean& isb, std::int32_t i, SphereRunCells& cells);
    // Sum, maximum, colour classes and the normalised distribution over the whole matrix.
    static void normalise(InfoSphereBean& isb);
    // The whole matrix by Debye-Hueckel. Returns 0.
    int startDH(InfoSphereBean& isb);

    std::shared_ptr<InfoChainBean> icb;
};

// Neutral-block term sigma(p) of a complex of p chains.
double readSigma(std::int32_t p);

// Exponent offset that the weights of a record carry for a given max_shift: 0 when
// max_shift is 0 (no shift), else max_shift - 10, so that the largest log-weight L_max
// (which max_shift holds) becomes a weight of 2.71828183^10.
double weightShiftOffset(double max_shift);
// The factor 2.71828183^(-offset) that a plain concentration (a free chain) carries.
double weightShiftFactor(double max_shift);

}  // namespace marlinq
