#pragma once
// The three calculation stages: single chains, Poisson-Boltzmann rows, Debye-Hueckel matrix.

#include "files/ChainTables.h"
#include "pipeline/Records.h"

#include <cstdint>
#include <string>
#include <vector>

namespace marlinq {

// Pair (M+, M-) of a stage's work list.
struct Index {
    std::int32_t mp;
    std::int32_t mm;
};

// Threads a team may have on this machine: omp_get_max_threads(), which follows
// OMP_NUM_THREADS.
int machineThreads();
// Team size of a stage that computes `tasks` independent pieces: the caller's limit (0 or
// less: machineThreads()), never more than the pieces, at least 1. Every piece is
// computed alone, so the team size changes no result.
int teamSize(int threadLimit, std::int64_t tasks);

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
    // threadLimit: the most threads a stage's team may have (0: the machine's).
    explicit ParaCalculation(int threadLimit = 0) : threadLimit(threadLimit) {}

    // Fills icb.ffc_minus and icb.ffc_positive from the tables loaded by the caller (only
    // read when icb.checked; nullptr then fails the stage) or by solving both chains, and
    // returns the chain solves' diagnostics in the report. Returns 1; on failure (no
    // tables, a chain energy that is not a number) returns 0 with the reason in the report.
    int startChainEnergy(InfoChainBean& icb, const ChainTables* tables, ChainStageReport& report);
    // One Poisson-Boltzmann row of a run: writes the row's weights and keeps sum and
    // maximum current, without renormalising the matrix (normalise() does that once at
    // the end); the cost follows the cells of the row, not the size of the matrix.
    void startSphereRow(InfoSphereBean& isb, std::int32_t i, SphereRunCells& cells);
    // Sum, maximum, colour classes and the normalised distribution over the whole matrix.
    static void normalise(InfoSphereBean& isb);
    // The whole matrix by Debye-Hueckel. Returns 0.
    int startDH(InfoSphereBean& isb);

    int threadLimit = 0;
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
