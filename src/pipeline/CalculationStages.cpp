// The chain stage: the free energies of the lone '+' and '-' chains.

#include "pipeline/CalculationStages.h"
#include "pipeline/TeamError.h"
#include "io/NumberText.h"


#include <algorithm>
#include <cmath>
#include <omp.h>

namespace marlinq {

namespace {

// A diagnostic line in the stream's default format (6 significant digits).
std::string chainLine(const char* text, double value) { return text + significantText(value, 6); }

}  // namespace

int machineThreads() { return std::max(1, omp_get_max_threads()); }

int teamSize(int threadLimit, std::int64_t tasks) {
    const std::int64_t limit = threadLimit > 0 ? threadLimit : machineThreads();
    return static_cast<int>(std::max<std::int64_t>(1, std::min(limit, tasks)));
}

bool CalculationStages::chainEnergies(const ChainModel& chains, const SingleChain& plus, const SingleChain& minus,
                                      const ChainConditions& conditions, ChainStageReport& report) const {
    // A stop reaches the solves between their steps; the stage then gives no energies.
    const auto stopped = [&] {
        if (!stop.stop_requested()) return false;
        report.stopped = true;
        return true;
    };
    if (stopped()) return false;

    ChainEnergy minusEnergy, plusEnergy;
    if (chains.reportsEnergies()) {
        // Both chains at once; with a team of one thread the '-' section runs first.
        TeamError errors;
#pragma omp parallel sections num_threads(teamSize(threadLimit, 2))
        {
#pragma omp section
            try {
                minusEnergy = chains.energy(minus, conditions, stop);
            } catch (...) {
                errors.capture(0);
            }
#pragma omp section
            try {
                plusEnergy = chains.energy(plus, conditions, stop);
            } catch (...) {
                errors.capture(1);
            }
        }
        errors.rethrow();
        if (stopped()) return false;
        const std::string minusLine = chainLine("single chain with - charge calculation finished: ", minusEnergy.value);
        const std::string plusLine =
            chainLine("single chain with + charge for calculation finished: ", plusEnergy.value);
        // In the order one thread would write them: each chain's failure before its energy.
        for (const std::string* line :
             std::initializer_list<const std::string*>{&minusEnergy.failure, &minusLine, &plusEnergy.failure, &plusLine})
            if (!line->empty()) report.diagnostics.push_back(*line);
    } else {
        minusEnergy = chains.energy(minus, conditions, stop);
        plusEnergy = chains.energy(plus, conditions, stop);
    }
    if (chains.converged()) {
        report.errorEstimate = std::max(minusEnergy.errorEstimate, plusEnergy.errorEstimate);
        report.standardDifference = std::max(std::fabs(minusEnergy.value - minusEnergy.standardValue),
                                             std::fabs(plusEnergy.value - plusEnergy.standardValue));
        report.targetMissed = (minusEnergy.targetMissed ? 1 : 0) + (plusEnergy.targetMissed ? 1 : 0);
        report.missedTargetEstimate = std::max(minusEnergy.targetMissed ? minusEnergy.errorEstimate : 0.0,
                                               plusEnergy.targetMissed ? plusEnergy.errorEstimate : 0.0);
        report.standardPlus = plusEnergy.standardValue;
        report.standardMinus = minusEnergy.standardValue;
    }
    report.fMinus = minusEnergy.value;
    report.fPlus = plusEnergy.value;

    // Every complex weight is built from these two numbers: a NaN here would poison the
    // whole distribution, so the run stops with the reason instead.
    const bool minusFailed = !std::isfinite(report.fMinus);
    const bool plusFailed = !std::isfinite(report.fPlus);
    if (minusFailed || plusFailed) {
        report.failedChains = (minusFailed ? 1 : 0) + (plusFailed ? 1 : 0);
        report.failure = std::string("The free energy of the single chain with ") +
                         (minusFailed && plusFailed ? "'+' and '-'" : (minusFailed ? "'-'" : "'+'")) +
                         " charge could not be computed; no distribution was calculated.";
        return false;
    }
    return true;
}

}  // namespace marlinq
