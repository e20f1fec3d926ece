// The two complex stages: the Poisson-Boltzmann row and the Debye-Hueckel matrix. Each
// gives the cells of the energy landscape it evaluated, the free energy F and the exponent
// E of the weight of each; the weights themselves are formed from the landscape (see
// Distribution.h).

#include "kernel/Interpolation.h"
#include "physics/Complex.h"
#include "physics/ConvergedEnergy.h"
#include "physics/FreeEnergy.h"
#include "pipeline/CalculationStages.h"
#include "pipeline/TeamError.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace marlinq {

namespace {

// The fields a stage reads, copied once.
struct StageInputs {
    std::int32_t mpMin, mpMax, mmMin, mmMax;
    double zp, zn, plen, mlen, ka;
    std::int32_t Np, Nm;
    double ffc_positive, ffc_minus;
    double standardFfcPlus, standardFfcMinus;  // converged runs: the standard chain energies
    const std::vector<double>* sigma;
    double lnNp, lnNm;  // logarithms of the neutral-block lengths, precision per stage

    StageInputs(const ResultRecord& resultRecord, bool singlePrecisionLogs)
        : mpMin(resultRecord.mpMin),
          mpMax(resultRecord.mpMax),
          mmMin(resultRecord.mmMin),
          mmMax(resultRecord.mmMax),
          zp(resultRecord.zp),
          zn(resultRecord.zn),
          plen(resultRecord.plen),
          mlen(resultRecord.mlen),
          ka(resultRecord.ka),
          Np(resultRecord.Np),
          Nm(resultRecord.Nm),
          ffc_positive(resultRecord.ffc_positive),
          ffc_minus(resultRecord.ffc_minus),
          standardFfcPlus(resultRecord.standardFfcPlus),
          standardFfcMinus(resultRecord.standardFfcMinus),
          sigma(resultRecord.sigma.get()) {
        if (singlePrecisionLogs) {
            const float lp = marlinq::log(static_cast<float>(Np));
            const float lm = marlinq::log(static_cast<float>(Nm));
            lnNp = lp;
            lnNm = lm;
        } else {
            lnNp = std::log(static_cast<double>(Np));
            lnNm = std::log(static_cast<double>(Nm));
        }
    }

    // Exponent E = -(free energy of forming the complex from isolated chains), with the
    // neutral-block term; NaN or infinite when F is.
    double exponent(std::int32_t mp, std::int32_t mm, double F) const {
        return exponent(mp, mm, F, ffc_positive, ffc_minus);
    }
    // The same with given single-chain energies (the standard ones of a converged run).
    double exponent(std::int32_t mp, std::int32_t mm, double F, double fPlus, double fMinus) const {
        const std::vector<double>& s = *sigma;
        double T;
        if (Np < Nm) {
            T = -(s[mp + mm] + s[1] * mp - s[mm]) * lnNp - (s[1] * mm + s[mm]) * lnNm;
        } else {
            T = -(s[1] * mp + s[mp]) * lnNp - (s[mp + mm] + s[1] * mm - s[mp]) * lnNm;
        }
        return (mp * fPlus + mm * fMinus) - F - T;
    }
};

// The neutral-block table must reach the largest complex, M+ + M- = mpMax + mmMax.
bool hasSigmaFor(const ResultRecord& resultRecord) {
    return resultRecord.sigma && static_cast<std::int64_t>(resultRecord.sigma->size()) >
                                     std::int64_t{resultRecord.mpMax} + resultRecord.mmMax;
}

// What a free energy reports besides its value.
struct CellNotes {
    bool unstable = false;
    bool beyondValidity = false;  // Debye-Hueckel: outside the linearisation's validity
    double errorEstimate = 0.0;
    double standardDifference = 0.0;
    bool targetMissed = false;  // a converged energy short of its target on the finest grid
    // Converged energies: the standard free energy of the same cell (NaN otherwise).
    double standardValue = NAN;
};

// One pass over a work list: F and E of every cell, with how many Newton solves hit their
// step limit and, for converged energies, the largest error estimate and distance from the
// standard energy. FreeEnergyOf is the approximation of the stage:
// F(ka, qp, qn, vcore, CellNotes&).
template <typename FreeEnergyOf>
StageCells evaluateCells(const StageInputs& in, const std::vector<Index>& list, int threadLimit,
                         FreeEnergyOf freeEnergyOf, const std::stop_token& stop, bool flagsValidity = false,
                         bool withStandard = false) {
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
        CellNotes notes;
        double F;
        try {
            F = freeEnergyOf(in.ka, mp * in.zp, mm * in.zn, complex::coreVolume(mp, in.plen, mm, in.mlen), notes);
        } catch (...) {
            errors.capture(k);
            continue;
        }
        if (notes.unstable) ++unstable;
        if (notes.targetMissed) {
            ++targetMissed;
            if (notes.errorEstimate > missedTargetEstimate) missedTargetEstimate = notes.errorEstimate;
        }
        if (flagsValidity && notes.beyondValidity) {
            ++beyondValidity;
            beyond[k] = 1;
        }
        if (notes.errorEstimate > errorEstimate) errorEstimate = notes.errorEstimate;
        if (notes.standardDifference > standardDifference) standardDifference = notes.standardDifference;
        cells[k] = LandscapeCell{mp, mm, F, std::isfinite(F) ? in.exponent(mp, mm, F) : NAN};
        if (withStandard) {
            const double S = notes.standardValue;
            standardCells[k] = LandscapeCell{
                mp, mm, S, std::isfinite(S) ? in.exponent(mp, mm, S, in.standardFfcPlus, in.standardFfcMinus) : NAN};
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

double sphereEnergy(double ka, double qp, double qn, double vcore, CellNotes& notes) {
    return FreeEnergy::freeEnergy_Sphere(ka, qp, qn, vcore, &notes.unstable);
}

// Whether a Debye-Hueckel free energy F of a core lies outside the validity of the
// linearisation: a reduced surface potential beyond the bound, or no finite number.
bool beyondDebyeHueckel(double ka, double qp, double qn, double vcore, double F) {
    const double R = complex::coreRadius(vcore);
    const double surface = complex::debyeHueckelSurfacePotential(qp - qn, R, R * ka);
    return !std::isfinite(F) || !(std::fabs(surface) <= complex::kDebyeHueckelPotentialBound);
}

double sphereEnergyDH(double ka, double qp, double qn, double vcore, CellNotes& notes) {
    const double F = FreeEnergy::freeEnergy_SphereDH(ka, qp, qn, vcore);
    notes.beyondValidity = beyondDebyeHueckel(ka, qp, qn, vcore, F);
    return F;
}

// A closed form: exact at either accuracy, with no discretisation error to estimate.
double sphereEnergyLinearDH(double ka, double qp, double qn, double vcore, CellNotes& notes) {
    notes.standardValue = FreeEnergy::freeEnergy_SphereLinearDH(ka, qp, qn, vcore);
    return notes.standardValue;
}

// Converged energies, with their error estimate and their distance from the standard ones.
double convergedSphere(double ka, double qp, double qn, double vcore, CellNotes& notes) {
    const ConvergedEnergy c = convergedSphereEnergy(ka, qp, qn, vcore);
    notes.errorEstimate = c.errorEstimate;
    notes.targetMissed = !c.targetMet;
    notes.standardValue = FreeEnergy::freeEnergy_Sphere(ka, qp, qn, vcore);
    notes.standardDifference = std::fabs(c.value - notes.standardValue);
    return c.value;
}

double convergedSphereDH(double ka, double qp, double qn, double vcore, CellNotes& notes) {
    const ConvergedEnergy c = convergedDebyeHueckelEnergy(ka, qp, qn, vcore);
    notes.errorEstimate = c.errorEstimate;
    notes.targetMissed = !c.targetMet;
    notes.standardValue = FreeEnergy::freeEnergy_SphereDH(ka, qp, qn, vcore);
    notes.standardDifference = std::fabs(c.value - notes.standardValue);
    notes.beyondValidity = beyondDebyeHueckel(ka, qp, qn, vcore, c.value);
    return c.value;
}

}  // namespace

StageCells CalculationStages::sphereRow(const ResultRecord& resultRecord, std::int32_t i) const {
    const StageInputs in(resultRecord, true);

    // The band of at most nine cells around charge neutrality, M- = c - 4 .. c + 4.
    std::vector<Index> list;
    if (i != 0 && i >= in.mpMin && i <= in.mpMax && hasSigmaFor(resultRecord)) {
        const double c = std::trunc((in.zp / in.zn) * i);
        // Only the columns from c - 4 on can hold a cell of the band.
        const double first = std::max<double>(in.mmMin, c - 4.0);
        for (std::int32_t mm = first <= in.mmMax ? static_cast<std::int32_t>(first) : in.mmMax + 1; mm <= in.mmMax;
             ++mm) {
            if (mm - c > 4.0) break;
            if (mm != 0 && std::fabs(mm - c) <= 4.0) list.push_back(Index{i, mm});
        }
    }
    return resultRecord.converged ? evaluateCells(in, list, threadLimit, convergedSphere, stop, false, true)
                                  : evaluateCells(in, list, threadLimit, sphereEnergy, stop);
}

double debyeHueckelStageSeconds(const Parameters& p, double plen, double mlen, bool linear, bool converged,
                                int threads) {
    const std::int32_t mpFirst = std::max(p.mpMin, 1), mmFirst = std::max(p.mmMin, 1);
    if (p.mpMax < mpFirst || p.mmMax < mmFirst) return 0.0;
    const std::int64_t rows = p.mpMax - mpFirst + 1, columns = p.mmMax - mmFirst + 1;
    const std::int64_t cells = rows * columns;
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
            CellNotes notes;
            const double qp = mp * p.zp, qn = mm * p.zn, vcore = complex::coreVolume(mp, plen, mm, mlen);
            const auto start = std::chrono::steady_clock::now();
            try {
                if (linear) sphereEnergyLinearDH(p.ka, qp, qn, vcore, notes);
                else if (converged) convergedSphereDH(p.ka, qp, qn, vcore, notes);
                else sphereEnergyDH(p.ka, qp, qn, vcore, notes);
            } catch (...) {
                // A failing cell costs what it cost.
            }
            spent += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        seconds[t] = spent / samples * static_cast<double>(last - first);
    }
    return *std::max_element(shareSeconds.begin(), shareSeconds.end());
}

StageCells CalculationStages::debyeHueckelCells(const ResultRecord& resultRecord) const {
    const StageInputs in(resultRecord, false);
    const std::int32_t rows = in.mpMax - in.mpMin + 1;
    const std::int32_t columns = in.mmMax - in.mmMin + 1;

    // Column by column, leaving out the free chains and the empty complex.
    std::vector<Index> list;
    list.reserve(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
    for (std::int32_t mm = in.mmMin; mm <= in.mmMax && hasSigmaFor(resultRecord); ++mm) {
        for (std::int32_t mp = in.mpMin; mp <= in.mpMax; ++mp) {
            if (mp != 0 && mm != 0) list.push_back(Index{mp, mm});
        }
    }
    // The linear method's energy is the closed form of the linear theory: not flagged.
    return resultRecord.linearDH
               ? evaluateCells(in, list, threadLimit, sphereEnergyLinearDH, stop, false, resultRecord.converged)
           : resultRecord.converged ? evaluateCells(in, list, threadLimit, convergedSphereDH, stop, true, true)
                                    : evaluateCells(in, list, threadLimit, sphereEnergyDH, stop, true);
}

}  // namespace marlinq
