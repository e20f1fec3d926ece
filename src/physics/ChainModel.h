#pragma once
// The free energy of one lone chain as a model: the reference against which every complex's
// free energy is counted. The chain stage solves both kinds through this interface, whatever
// the model (solved on the standard grid, converged in the grid, interpolated in tables).
// A model is immutable and re-entrant.

#include <cmath>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

namespace marlinq {

// One chain: its charge density xi (charge per segment, negative for a '-' chain), the
// length of its charged block and of its neutral block.
struct SingleChain {
    double density = 0.0;
    double length = 0.0;
    std::int32_t neutralLength = 0;
    bool minus = false;  // the '-' chain
};

// The solution the chain sits in.
struct ChainConditions {
    double ka = 0.0;
    double bjerrum = 1.0;  // lambda = l_B / a
};

struct ChainEnergy {
    double value = NAN;    // free energy of the chain (kT), NaN when it could not be formed
    std::string failure;   // why not, one line without a line end (solved chains)
    // Converged accuracy: the estimated remaining error (kT), whether the refinement met its
    // target and the standard energy of the same chain.
    double errorEstimate = 0.0;
    bool targetMissed = false;
    double standardValue = NAN;
};

class ChainModel {
public:
    virtual ~ChainModel() = default;
    // "table", "solve": the names of files and command lines.
    virtual std::string_view name() const = 0;
    // A stop request ends a costly solve before its next step (NaN, no failure line).
    virtual ChainEnergy energy(const SingleChain& chain, const ChainConditions& conditions,
                               std::stop_token stop) const = 0;
    // The chain energies are worth a diagnostic line each (they cost a solve).
    virtual bool reportsEnergies() const { return true; }
    // Converged accuracy: the error estimate and the standard energy are meaningful.
    virtual bool converged() const { return false; }
};

using ChainModelPointer = std::shared_ptr<const ChainModel>;

// The chain's end term and continuation constant of the program's chain solve.
inline constexpr std::int32_t kChainContinuationSteps = 10;

// The cylindrical Poisson-Boltzmann problem solved on the standard grid.
ChainModelPointer solvedChainModel();
// The same converged in the grid, with the standard solve beside it.
ChainModelPointer convergedChainModel();

}  // namespace marlinq
