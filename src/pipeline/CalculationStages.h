#pragma once
// The calculation stages: the two lone chains, and the cells of the energy landscape (row by
// row near charge neutrality, or every complex at once, as the complex model selects). The
// physics of each comes from its model (physics/ComplexModel.h, physics/ChainModel.h).

#include "physics/ChainModel.h"
#include "physics/ComplexModel.h"
#include "pipeline/Parameters.h"
#include "pipeline/RunResult.h"

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

// What the complex stages read, fixed for a run: the ranges, the chains, the solution, the
// lone chains' energies and the neutral-block table.
struct LandscapeInputs {
    std::int32_t mpMin = 0, mpMax = 0, mmMin = 0, mmMax = 0;
    ChainBlocks blocks;
    ComplexConditions conditions;
    std::int32_t Np = 0, Nm = 0;  // neutral-block lengths
    double fPlus = 0.0, fMinus = 0.0;  // free energies of the lone chains
    // Converged runs: the standard chain energies, for the standard answer's exponents.
    double standardFPlus = 0.0, standardFMinus = 0.0;
    SigmaTable sigma;  // sigma(p) for p = 0 .. mpMax + mmMax
};

// The inputs a record holds: the job's own record as it starts its stages, or one built by
// hand (tests and benchmarks).
LandscapeInputs landscapeInputsOf(const RunResult& resultRecord);

// The cells of the energy landscape a complex stage evaluated, with notes on their solves.
struct StageCells {
    std::vector<LandscapeCell> cells;
    std::int64_t unstable = 0;  // Newton solves that stopped at the step limit
    // Models that flag their validity (Debye-Hueckel): cells outside it (|e psi(R) / kT|
    // beyond complex::kDebyeHueckelPotentialBound, or no finite free energy), their count and
    // one flag per cell of cells (empty for other models).
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
    // these give with the standard chain energies (LandscapeInputs::standardFPlus/Minus), in
    // the order of cells. Empty otherwise.
    std::vector<LandscapeCell> standardCells;
};

// The lone chains' free energies and what the chain stage reports besides.
struct ChainStageReport {
    double fPlus = 0.0, fMinus = 0.0;      // the two energies (when the stage succeeded)
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

// The seconds the every-cell stage of model over the ranges of p will take on `threads`
// threads (0: the machine's): a few complexes of each thread's share of the map timed by
// that thread, all at once, scaled to the slowest share. A front end's estimate, a few
// milliseconds to form; 0 without complexes.
double everyCellStageSeconds(const ComplexModel& model, const Parameters& p, double plen, double mlen,
                             int threads = 0);

// A free energy that fails in the kernel (KernelError, e.g. a singular Newton Jacobian) ends
// the stage: the error is thrown after the stage's team of threads has ended, the one of the
// first failing cell in the work list.
class CalculationStages {
public:
    // threadLimit: the most threads a stage's team may have (0: the machine's).
    explicit CalculationStages(ComplexModelPointer model = nullptr, int threadLimit = 0)
        : model(std::move(model)), threadLimit(threadLimit) {}

    // The free energies of the lone '+' and '-' chains by chains; returns false with the
    // reason in the report when they cannot be formed (a chain energy that is not a number,
    // a stop request).
    bool chainEnergies(const ChainModel& chains, const SingleChain& plus, const SingleChain& minus,
                       const ChainConditions& conditions, ChainStageReport& report) const;

    // The row M+ = i of the landscape: the band of at most nine cells around charge
    // neutrality, in ascending M- (none for M+ = 0 or outside the range).
    StageCells sphereRow(const LandscapeInputs& in, std::int32_t i) const;
    // Every complex (M+, M- >= 1) of the ranges, column by column.
    StageCells everyCell(const LandscapeInputs& in) const;

    ComplexModelPointer model;
    int threadLimit = 0;
    // Looked at before every cell inside the stages' parallel loops: once stopped, a stage
    // evaluates no further cell and returns those it has (StageCells::stopped).
    std::stop_token stop;
};

}  // namespace marlinq
