// The chain stage: the free energies of the lone '+' and '-' chains.

#include "pipeline/CalculationStages.h"
#include "pipeline/TeamError.h"

#include "files/ChainTables.h"
#include "kernel/Interpolation.h"
#include "physics/ConvergedEnergy.h"
#include "physics/FreeEnergy.h"
#include "physics/NeutralBlock.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <locale>
#include <memory>
#include <omp.h>
#include <sstream>

namespace marlinq {

namespace {

using neutral::kChainConstant;
constexpr std::int32_t kContinuationSteps = 10;
// Only above this value of both ka and the charge density is the coarse table used.
constexpr double kSwitchPoint = 1.0;
// Per-length energy at ka = 0.2, ki = 0.25, used whatever the fine table holds there.
constexpr double kOverrideEnergy = 0.11446831776247358;

// A diagnostic line in the stream's default format (6 significant digits).
std::string chainLine(const char* text, double value) {
    std::ostringstream line;
    line.imbue(std::locale::classic());
    line << text << value;
    return line.str();
}

// The indices come from the validated range 0.2 .. 10; clamping only keeps a stray value
// from reading outside the table.
std::int32_t clampIndex(double index, std::int32_t last) {
    if (!(index >= 0.0)) return 0;
    if (index > last) return last;
    return static_cast<std::int32_t>(index);
}

// Per-length energy of one chain from the tables, interpolated in the cell that holds
// (ka, k); the same lookup for both kinds of chain.
double tableEnergy(const ChainTables& tables, double k, double ka) {
    if (ka > kSwitchPoint && k > kSwitchPoint) {
        const std::int32_t X = clampIndex(std::trunc((ka - kTableOrigin) / kCoarseStep), 18);
        const std::int32_t Y = clampIndex(std::trunc((k - kTableOrigin) / kCoarseStep), 18);
        return interpolateCoarse(k, ka, X, Y, tables.coarse);
    }
    const double rowQuotient = (ka - kTableOrigin) / kFineStep;
    const std::int32_t X = clampIndex(std::trunc(rowQuotient), 98);
    const std::int32_t Y = clampIndex(std::trunc((k - kTableOrigin) / kFineStep), 98);
    return interpolateFine(k, ka, X, Y, tables.fine);
}

// Per-length energy times length plus the end term of the neutral block, as in the solved path.
double chainEnergyFromTable(double perLength, double length, std::int32_t neutralLength) {
    return perLength * length - 2 * kChainConstant * std::log(length + neutralLength);
}

}  // namespace

int machineThreads() { return std::max(1, omp_get_max_threads()); }

int teamSize(int threadLimit, std::int64_t tasks) {
    const std::int64_t limit = threadLimit > 0 ? threadLimit : machineThreads();
    return static_cast<int>(std::max<std::int64_t>(1, std::min(limit, tasks)));
}

int CalculationStages::startChainEnergy(RunRecord& runRecord, const ChainTables* tables, ChainStageReport& report) {
    double ffc_minus = 0.0;
    double ffc_positive = 0.0;
    // A stop reaches the solves between their steps; the stage then gives no energies.
    const auto stopped = [&] {
        if (!stop.stop_requested()) return false;
        report.stopped = true;
        return true;
    };
    if (stopped()) return 0;

    if (runRecord.converged) {
        // Both chains solved on refined grids; the standard solves give the difference.
        ConvergedEnergy minus{0.0, 0.0}, plus{0.0, 0.0};
        double minusStandard = 0.0, plusStandard = 0.0;
        TeamError errors;
#pragma omp parallel sections num_threads(teamSize(threadLimit, 2))
        {
#pragma omp section
            try {
                minus = convergedChainEnergy(kChainConstant, runRecord.ka, -runRecord.kim, runRecord.mlen, runRecord.Nm,
                                             stop);
                minusStandard =
                    FreeEnergy::freeEnergy_Chain(kChainConstant, runRecord.ka, -runRecord.kim, runRecord.mlen, true,
                                                 runRecord.Nm, kContinuationSteps, nullptr, stop);
            } catch (...) {
                errors.capture(0);
            }
#pragma omp section
            try {
                plus = convergedChainEnergy(kChainConstant, runRecord.ka, runRecord.kip, runRecord.plen, runRecord.Np,
                                            stop);
                plusStandard = FreeEnergy::freeEnergy_Chain(kChainConstant, runRecord.ka, runRecord.kip, runRecord.plen,
                                                            false, runRecord.Np, kContinuationSteps, nullptr, stop);
            } catch (...) {
                errors.capture(1);
            }
        }
        errors.rethrow();
        if (stopped()) return 0;
        ffc_minus = minus.value;
        ffc_positive = plus.value;
        report.diagnostics.push_back(chainLine("single chain with - charge calculation finished: ", ffc_minus));
        report.diagnostics.push_back(chainLine("single chain with + charge for calculation finished: ", ffc_positive));
        report.errorEstimate = std::max(minus.errorEstimate, plus.errorEstimate);
        report.standardDifference =
            std::max(std::fabs(minus.value - minusStandard), std::fabs(plus.value - plusStandard));
        report.targetMissed = (minus.targetMet ? 0 : 1) + (plus.targetMet ? 0 : 1);
        report.missedTargetEstimate =
            std::max(minus.targetMet ? 0.0 : minus.errorEstimate, plus.targetMet ? 0.0 : plus.errorEstimate);
        report.standardPlus = plusStandard;
        report.standardMinus = minusStandard;
    } else if (!runRecord.useTables) {
        std::string minusLine, plusLine, minusFailure, plusFailure;
        // Both chains at once; with a team of one thread the '-' section runs first.
        TeamError errors;
#pragma omp parallel sections num_threads(teamSize(threadLimit, 2))
        {
#pragma omp section
            try {
                ffc_minus = FreeEnergy::freeEnergy_Chain(kChainConstant, runRecord.ka, -runRecord.kim, runRecord.mlen,
                                                         true, runRecord.Nm, kContinuationSteps, &minusFailure, stop);
                minusLine = chainLine("single chain with - charge calculation finished: ", ffc_minus);
            } catch (...) {
                errors.capture(0);
            }
#pragma omp section
            try {
                ffc_positive =
                    FreeEnergy::freeEnergy_Chain(kChainConstant, runRecord.ka, runRecord.kip, runRecord.plen, false,
                                                 runRecord.Np, kContinuationSteps, &plusFailure, stop);
                plusLine = chainLine("single chain with + charge for calculation finished: ", ffc_positive);
            } catch (...) {
                errors.capture(1);
            }
        }
        errors.rethrow();
        if (stopped()) return 0;
        // In the order one thread would write them: each chain's failure before its energy.
        for (const std::string* line : {&minusFailure, &minusLine, &plusFailure, &plusLine})
            if (!line->empty()) report.diagnostics.push_back(*line);
    } else {
        if (!tables) {
            report.failure = "The single-chain tables were not loaded; no distribution was calculated.";
            return 0;
        }
        double eMinus = tableEnergy(*tables, runRecord.kim, runRecord.ka);
        double ePlus = tableEnergy(*tables, runRecord.kip, runRecord.ka);
        if (runRecord.ka == 0.2 && runRecord.kim == 0.25) eMinus = kOverrideEnergy;
        if (runRecord.ka == 0.2 && runRecord.kip == 0.25) ePlus = kOverrideEnergy;
        ffc_positive = chainEnergyFromTable(ePlus, runRecord.plen, runRecord.Np);
        ffc_minus = chainEnergyFromTable(eMinus, runRecord.mlen, runRecord.Nm);
    }

    runRecord.ffc_minus = ffc_minus;
    runRecord.ffc_positive = ffc_positive;

    // Every complex weight is built from these two numbers: a NaN here would poison the
    // whole distribution, so the run stops with the reason instead.
    const bool minusFailed = !std::isfinite(ffc_minus);
    const bool plusFailed = !std::isfinite(ffc_positive);
    if (minusFailed || plusFailed) {
        report.failedChains = (minusFailed ? 1 : 0) + (plusFailed ? 1 : 0);
        report.failure = std::string("The free energy of the single chain with ") +
                         (minusFailed && plusFailed ? "'+' and '-'" : (minusFailed ? "'-'" : "'+'")) +
                         " charge could not be computed; no distribution was calculated.";
        return 0;
    }
    return 1;
}

}  // namespace marlinq
