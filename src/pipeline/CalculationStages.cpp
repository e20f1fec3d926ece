// The stages of a calculation: the chain stage (the free energies of the lone '+' and '-'
// chains) and the complex stages (a row of the band around charge neutrality, or every
// complex at once). Each complex stage gives the cells of the energy landscape it evaluated,
// the free energy F of its model and the exponent E of the weight of each; the weights
// themselves are formed from the landscape (see Distribution.h).

#include "pipeline/CalculationStages.h"

#include "kernel/Interpolation.h"
#include "physics/Complex.h"
#include "pipeline/ModelFactory.h"
#include "pipeline/TeamError.h"
#include "io/NumberText.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <omp.h>
#include <sstream>
#include <vector>

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

// ---------------------------------------------------------------------------------------
// The complex stages


namespace {

// The exponent of a cell's weight, with the logarithms of the neutral-block lengths formed
// once per stage (in single precision for the rows, as the row stage always had them).
struct StageInputs {
    const LandscapeInputs& in;
    const std::vector<double>* sigma;
    double lnNp, lnNm;

    StageInputs(const LandscapeInputs& inputs, bool singlePrecisionLogs) : in(inputs), sigma(inputs.sigma.get()) {
        if (singlePrecisionLogs) {
            const float lp = marlinq::log(static_cast<float>(in.Np));
            const float lm = marlinq::log(static_cast<float>(in.Nm));
            lnNp = lp;
            lnNm = lm;
        } else {
            lnNp = std::log(static_cast<double>(in.Np));
            lnNm = std::log(static_cast<double>(in.Nm));
        }
    }

    // Exponent E = -(free energy of forming the complex from isolated chains), with the
    // neutral-block term; NaN or infinite when F is.
    double exponent(std::int32_t mp, std::int32_t mm, double F) const {
        return exponent(mp, mm, F, in.fPlus, in.fMinus);
    }
    // The same with given single-chain energies (the standard ones of a converged run).
    double exponent(std::int32_t mp, std::int32_t mm, double F, double fPlus, double fMinus) const {
        const std::vector<double>& s = *sigma;
        double T;
        if (in.Np < in.Nm) {
            T = -(s[mp + mm] + s[1] * mp - s[mm]) * lnNp - (s[1] * mm + s[mm]) * lnNm;
        } else {
            T = -(s[1] * mp + s[mp]) * lnNp - (s[mp + mm] + s[1] * mm - s[mp]) * lnNm;
        }
        return (mp * fPlus + mm * fMinus) - F - T;
    }
};

// The neutral-block table must reach the largest complex, M+ + M- = mpMax + mmMax.
bool hasSigmaFor(const LandscapeInputs& in) {
    return in.sigma && static_cast<std::int64_t>(in.sigma->size()) > std::int64_t{in.mpMax} + in.mmMax;
}

// One pass over a work list: F and E of every cell by the stage's model, with how many
// Newton solves hit their step limit, the cells beyond the model's validity and, for
// converged energies, the largest error estimate and distance from the standard energy.
StageCells evaluateCells(const ComplexModel& model, const StageInputs& si, const std::vector<Index>& list,
                         int threadLimit, const std::stop_token& stop) {
    const LandscapeInputs& in = si.in;
    const bool flagsValidity = model.flagsValidity();
    const bool withStandard = model.keepsStandard();
    const std::int64_t n = static_cast<std::int64_t>(list.size());
    StageCells out;
    out.cells.resize(list.size());
    LandscapeCell* const cells = out.cells.data();
    std::int64_t unstable = 0, beyondValidity = 0, skipped = 0, targetMissed = 0;
    out.listed = n;
    double errorEstimate = 0.0;
    double standardDifference = 0.0;
    double missedTargetEstimate = 0.0;
    if (n == 0) return out;
    if (flagsValidity) out.beyond.assign(list.size(), 0);
    std::uint8_t* const beyond = out.beyond.data();
    // Converged stages keep the standard landscape beside their own.
    if (withStandard) out.standardCells.resize(list.size());
    LandscapeCell* const standardCells = out.standardCells.data();
    // No more threads than cells: a team costs more to start than a short row takes.
    const int threads = teamSize(threadLimit, n);
    TeamError errors;  // a failing free energy (KernelError) leaves the region only through this

#pragma omp parallel for num_threads(threads) schedule(static) reduction(+ : unstable, beyondValidity, skipped, targetMissed) \
    reduction(max : errorEstimate, standardDifference, missedTargetEstimate)
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int32_t mp = list[k].mp;
        const std::int32_t mm = list[k].mm;
        // A stop reaches every thread within one cell; the cells left are marked and dropped.
        if (stop.stop_requested()) {
            cells[k].mp = -1;
            ++skipped;
            continue;
        }
        ComplexEnergy e;
        try {
            e = model.energy(SphericalComplex::of(mp, mm, in.blocks, in.conditions));
        } catch (...) {
            errors.capture(k);
            continue;
        }
        const double F = e.value;
        if (e.unstable) ++unstable;
        if (e.targetMissed) {
            ++targetMissed;
            if (e.errorEstimate > missedTargetEstimate) missedTargetEstimate = e.errorEstimate;
        }
        if (flagsValidity && e.beyondValidity) {
            ++beyondValidity;
            beyond[k] = 1;
        }
        if (e.errorEstimate > errorEstimate) errorEstimate = e.errorEstimate;
        if (e.standardDifference > standardDifference) standardDifference = e.standardDifference;
        cells[k] = LandscapeCell{mp, mm, F, std::isfinite(F) ? si.exponent(mp, mm, F) : NAN};
        if (withStandard) {
            const double S = e.standardValue;
            standardCells[k] = LandscapeCell{
                mp, mm, S, std::isfinite(S) ? si.exponent(mp, mm, S, in.standardFPlus, in.standardFMinus) : NAN};
        }
    }
    errors.rethrow();
    out.unstable = unstable;
    out.beyondValidity = beyondValidity;
    out.targetMissed = targetMissed;
    out.missedTargetEstimate = missedTargetEstimate;
    if (skipped > 0) {
        out.stopped = true;
        std::size_t kept = 0;
        for (std::size_t k = 0; k < out.cells.size(); ++k) {
            if (out.cells[k].mp < 0) continue;
            out.cells[kept] = out.cells[k];
            if (!out.beyond.empty()) out.beyond[kept] = out.beyond[k];
            if (!out.standardCells.empty()) out.standardCells[kept] = out.standardCells[k];
            ++kept;
        }
        out.cells.resize(kept);
        if (!out.standardCells.empty()) out.standardCells.resize(kept);
        if (!out.beyond.empty()) out.beyond.resize(kept);
    }
    out.errorEstimate = errorEstimate;
    out.standardDifference = standardDifference;
    return out;
}

}  // namespace

LandscapeInputs landscapeInputsOf(const RunResult& r) {
    const Parameters& p = r.params();
    LandscapeInputs in;
    in.mpMin = p.mpMin;
    in.mpMax = p.mpMax;
    in.mmMin = p.mmMin;
    in.mmMax = p.mmMax;
    in.blocks = r.blocks();
    in.conditions = complexConditionsOf(p);
    in.Np = p.Np;
    in.Nm = p.Nm;
    in.fPlus = r.chains.plus;
    in.fMinus = r.chains.minus;
    in.standardFPlus = r.standard.chains.plus;
    in.standardFMinus = r.standard.chains.minus;
    in.sigma = r.sigma;
    return in;
}

StageCells CalculationStages::sphereRow(const LandscapeInputs& in, std::int32_t i) const {
    // The band of at most nine cells around charge neutrality, M- = c - 4 .. c + 4.
    std::vector<Index> list;
    if (i != 0 && i >= in.mpMin && i <= in.mpMax && hasSigmaFor(in)) {
        const double c = std::trunc((in.blocks.chargePlus / in.blocks.chargeMinus) * i);
        // Only the columns from c - 4 on can hold a cell of the band.
        const double first = std::max<double>(in.mmMin, c - 4.0);
        for (std::int32_t mm = first <= in.mmMax ? static_cast<std::int32_t>(first) : in.mmMax + 1; mm <= in.mmMax;
             ++mm) {
            if (mm - c > 4.0) break;
            if (mm != 0 && std::fabs(mm - c) <= 4.0) list.push_back(Index{i, mm});
        }
    }
    return evaluateCells(*model, StageInputs(in, true), list, threadLimit, stop);
}

double everyCellStageSeconds(const ComplexModel& model, const Parameters& p, double plen, double mlen, int threads) {
    const std::int32_t mpFirst = std::max(p.mpMin, 1), mmFirst = std::max(p.mmMin, 1);
    if (p.mpMax < mpFirst || p.mmMax < mmFirst) return 0.0;
    const std::int64_t rows = p.mpMax - mpFirst + 1, columns = p.mmMax - mmFirst + 1;
    const std::int64_t cells = rows * columns;
    const ChainBlocks blocks{p.zp, p.zn, plen, mlen};
    const ComplexConditions conditions = complexConditionsOf(p);
    // The stage hands each thread one contiguous share of its list (column by column, a
    // static schedule) and ends with the slowest share. Each thread of the same team times a
    // few complexes of its own share, all at once, so that the estimate sees what the run
    // will meet: shares of unequal cost, threads that share a core, a busy machine.
    const int team = teamSize(threads, cells);
    constexpr int kSamples = 12;  // complexes timed per share
    std::vector<double> shareSeconds(static_cast<std::size_t>(team), 0.0);
    double* const seconds = shareSeconds.data();
#pragma omp parallel for num_threads(team) schedule(static, 1)
    for (int t = 0; t < team; ++t) {
        const std::int64_t first = cells * t / team, last = cells * (t + 1) / team;  // [first, last)
        if (last <= first) continue;
        const int samples = static_cast<int>(std::min<std::int64_t>(kSamples, last - first));
        double spent = 0.0;
        for (int s = 0; s < samples; ++s) {
            const std::int64_t k = first + (samples > 1 ? (last - 1 - first) * s / (samples - 1) : 0);
            const std::int32_t mp = mpFirst + static_cast<std::int32_t>(k % rows);
            const std::int32_t mm = mmFirst + static_cast<std::int32_t>(k / rows);
            const auto start = std::chrono::steady_clock::now();
            try {
                (void)model.energy(SphericalComplex::of(mp, mm, blocks, conditions));
            } catch (...) {
                // A failing cell costs what it cost.
            }
            spent += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        seconds[t] = spent / samples * static_cast<double>(last - first);
    }
    return *std::max_element(shareSeconds.begin(), shareSeconds.end());
}

StageCells CalculationStages::everyCell(const LandscapeInputs& in) const {
    const std::int32_t rows = in.mpMax - in.mpMin + 1;
    const std::int32_t columns = in.mmMax - in.mmMin + 1;

    // Column by column, leaving out the free chains and the empty complex.
    std::vector<Index> list;
    list.reserve(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
    for (std::int32_t mm = in.mmMin; mm <= in.mmMax && hasSigmaFor(in); ++mm) {
        for (std::int32_t mp = in.mpMin; mp <= in.mpMax; ++mp) {
            if (mp != 0 && mm != 0) list.push_back(Index{mp, mm});
        }
    }
    return evaluateCells(*model, StageInputs(in, false), list, threadLimit, stop);
}

}  // namespace marlinq
