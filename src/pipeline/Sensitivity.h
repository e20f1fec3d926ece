#pragma once
// How far a run's answers move when the model moves: every complex free energy shifted by
// -1 and +1 kT per chain, the distribution formed again from the run's landscape at the same
// free chains (free mode) or the same totals (total mode). Nothing is solved again. A user
// can then tell which numbers the model fixes and which it only suggests.

#include "io/Json.h"
#include "pipeline/CalculationJob.h"
#include "pipeline/Observables.h"

#include <optional>
#include <string>

namespace marlinq {

struct SensitivityAnswer {
    double shiftPerChain = 0.0;  // kT added to every complex free energy per chain
    std::optional<MapCell> mostProbableComplex;
    double massAverageAggregation = NAN;
    double criticalConcentration = NAN;  // total mode only
};

struct Sensitivity {
    SensitivityAnswer lower, higher;  // -1 and +1 kT per chain
};

// The run's record must keep its landscape (JobInput::keepEnergies); nullopt otherwise.
std::optional<Sensitivity> sensitivityOf(const RunResult& landscapeRecord,
                                         const std::optional<MassBalanceTotals>& totals, double cPlus, double cMinus,
                                         int threads = 0);

// The summary's "sensitivity" object: the answers at -1 and +1 kT per chain.
json::Value sensitivityJson(const Sensitivity& s);

}  // namespace marlinq
