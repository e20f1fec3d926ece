#pragma once
// The three calculation stages: single chains, Poisson-Boltzmann rows, Debye-Hueckel matrix.

#include "files/ChainTables.h"
#include "pipeline/Parameters.h"
#include "pipeline/Records.h"

#include <cstdint>
#include <string>
#include <stop_token>
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

// The cells of the energy landscape a complex stage evaluated, with notes on their solves.
struct StageCells {
    std::vector<LandscapeCell> cells;
    std::int64_t unstable = 0;  // Newton solves that stopped at the step limit
    // Debye-Hueckel stage: cells outside the validity of the linearisation (|e psi(R) / kT|
    // beyond complex::kDebyeHueckelPotentialBound, or no finite free energy), their count and
    // one flag per cell of cells (empty for the Poisson-Boltzmann stage).
    std::int64_t beyondValidity = 0;
    std::vector<std::uint8_t> beyond;
    // The stop token was seen during the stage: cells holds only the cells evaluated before.
    bool stopped = false;
    std::int64_t listed = 0;            // cells the stage had to evaluate
    double errorEstimate = 0.0;         // converged energies: largest estimated remaining error (kT)
    double standardDifference = 0.0;    // converged energies: largest |converged - standard| (kT)
    std::int64_t targetMissed = 0;      // converged energies that reached the finest grid short of the target
    double missedTargetEstimate = 0.0;  // the largest estimate among them (kT)
    // Converged energies: the cells again with their standard free energies and the exponents
    // these give with the standard chain energies (ResultRecord::standardFfcPlus/Minus),
    // in the order of cells. Empty otherwise.
    std::vector<LandscapeCell> standardCells;
};

// What the chain stage reports besides the two energies.
struct ChainStageReport {
    std::string failure;                   // why no energies could be formed
    std::vector<std::string> diagnostics;  // lines on the chain solves
    std::int32_t failedChains = 0;         // chains whose energy could not be computed
    double errorEstimate = 0.0;            // converged chains: the larger estimated error (kT)
    double standardDifference = 0.0;       // converged chains: the larger |converged - standard| (kT)
    bool stopped = false;                  // the stop token ended the stage: no energies
    std::int32_t targetMissed = 0;         // converged chains that reached the finest grid short of the target
    double missedTargetEstimate = 0.0;     // the larger estimate among them (kT)
    double standardPlus = 0.0, standardMinus = 0.0;  // converged chains: the standard solves' energies
};

// The seconds the Debye-Hueckel stage of the ranges of p will take on `threads` threads (0:
// the machine's): a few complexes of each thread's share of the map timed by that thread,
// all at once, scaled to the slowest share (the program's approximation, the closed linear
// form or converged energies). A front end's estimate, a few milliseconds to form; 0
// without complexes.
double debyeHueckelStageSeconds(const Parameters& p, double plen, double mlen, bool linear, bool converged,
                                int threads = 0);

// A free energy that fails in the kernel (KernelError, e.g. a singular Newton Jacobian) ends
// the stage: the error is thrown after the stage's team of threads has ended, the one of the
// first failing cell in the work list.
class CalculationStages {
public:
    // threadLimit: the most threads a stage's team may have (0: the machine's).
    explicit CalculationStages(int threadLimit = 0) : threadLimit(threadLimit) {}

    // Fills runRecord.ffc_minus and runRecord.ffc_positive from the tables loaded by the caller (only
    // read when runRecord.useTables; nullptr then fails the stage) or by solving both chains, and
    // returns the chain solves' diagnostics in the report. Returns 1; on failure (no
    // tables, a chain energy that is not a number) returns 0 with the reason in the report.
    int startChainEnergy(RunRecord& runRecord, const ChainTables* tables, ChainStageReport& report);
    // The Poisson-Boltzmann row M+ = i of the landscape: the band of at most nine cells
    // around charge neutrality, in ascending M- (none for M+ = 0 or outside the range).
    StageCells sphereRow(const ResultRecord& resultRecord, std::int32_t i) const;
    // Every complex (M+, M- >= 1) of the ranges by Debye-Hueckel.
    StageCells debyeHueckelCells(const ResultRecord& resultRecord) const;

    int threadLimit = 0;
    // Looked at before every cell inside the stages' parallel loops: once stopped, a stage
    // evaluates no further cell and returns those it has (StageCells::stopped).
    std::stop_token stop;
};

}  // namespace marlinq
