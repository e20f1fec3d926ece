// The two complex stages: the Poisson-Boltzmann row and the Debye-Hueckel matrix, the
// statistical weight of a cell and the normalisation of the distribution.
//
// Weights live on a common logarithmic scale. Without a shift a weight is the plain
// concentration of the complex. When a weight would leave the range of a double,
// max_shift records the largest log-weight L_max and every weight of the record is
// lowered by the factor 2.71828183^-(L_max - 10), so the largest one becomes
// 2.71828183^10. The Debye-Hueckel stage finds the shift in one extra pass over the
// matrix; the Poisson-Boltzmann stage, which sees one row at a time, raises it when a
// later row needs it and rescales what the earlier rows left in the matrix.

#include "kernel/Interpolation.h"
#include "physics/Constants.h"
#include "physics/ConvergedEnergy.h"
#include "physics/FreeEnergy.h"
#include "pipeline/ParaCalculation.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace marlinq {

namespace {

using constants::kE;
// Above this exponent a weight is formed from its logarithm in one power.
constexpr double kLogBranch = 300.0;
// A weight beyond this counts as overflowing the range of a double.
constexpr double kOverflow = 9.9e300;

// The fields a stage reads, copied once.
struct StageInputs {
    std::int32_t mpMin, mpMax, mmMin, mmMax;
    double zp, zn, plen, mlen, ka;
    std::int32_t Np, Nm;
    double ffc_positive, ffc_minus, vc10, vc01;
    const std::vector<double>* sigma;
    double lnNp, lnNm;     // logarithms of the neutral-block lengths, precision per stage
    double lnVc10, lnVc01;

    StageInputs(const InfoSphereBean& isb, bool singlePrecisionLogs)
        : mpMin(isb.mpMin), mpMax(isb.mpMax), mmMin(isb.mmMin), mmMax(isb.mmMax), zp(isb.zp), zn(isb.zn),
          plen(isb.plen), mlen(isb.mlen), ka(isb.ka), Np(isb.Np), Nm(isb.Nm), ffc_positive(isb.ffc_positive),
          ffc_minus(isb.ffc_minus), vc10(isb.vc10), vc01(isb.vc01), sigma(isb.sigma.get()),
          lnVc10(std::log(isb.vc10)), lnVc01(std::log(isb.vc01)) {
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
        const std::vector<double>& s = *sigma;
        double T;
        if (Np < Nm) {
            T = -(s[mp + mm] + s[1] * mp - s[mm]) * lnNp - (s[1] * mm + s[mm]) * lnNm;
        } else {
            T = -(s[1] * mp + s[mp]) * lnNp - (s[mp + mm] + s[1] * mm - s[mp]) * lnNm;
        }
        return (mp * ffc_positive + mm * ffc_minus) - F - T;
    }

    double logWeight(std::int32_t mp, std::int32_t mm, double E) const { return mp * lnVc10 + mm * lnVc01 + E; }

    // Weight of a cell with finite exponent E, lowered by the exponent offset `offset`.
    double weight(std::int32_t mp, std::int32_t mm, double E, double offset) const {
        if (E < kLogBranch) {
            const double w = std::pow(kE, -offset) * ((marlinq::pow(vc01, mm) * marlinq::pow(vc10, mp)) * std::pow(kE, E));
            if (std::isfinite(w)) return w;
            // Only concentrations above 1 get here; the logarithmic form stays in range.
        }
        return std::pow(kE, logWeight(mp, mm, E) - offset);
    }
};

// Shared closing step: sum, maximum, colour classes and the normalised distribution,
// over every cell of the matrix, evaluated or not.
void postProcess(InfoSphereBean& isb) {
    double S = 0.0;
    double maxV = 0.0;
    isb.absValue.forEach([&](double a) {
        S += a;
        if (a > maxV) maxV = a;
    });
    isb.maxValue = maxV;
    isb.sum = S;
    isb.normalised = true;
    const double step = (maxV - 0.0) / 20.0;
    if (step == 0.0) return;
    for (std::int32_t r = 0; r < isb.absValue.rows(); ++r) {
        const double* abs = isb.absValue.row(r);
        std::int32_t* color = isb.Mcolor.row(r);
        double* value = isb.Value.row(r);
        for (std::int32_t c = 0; c < isb.absValue.cols(); ++c) {
            color[c] = static_cast<std::int32_t>((abs[c] - 0.0) / step);
            value[c] = abs[c] / S;
        }
    }
}

// Multiplies every cell of both weight matrices by 2.71828183^exponent (exponent <= 0),
// except those marked in `skip` (indexed like the matrices, row-major; may be empty). A
// large change is applied in steps, each factor within the range of a double, so that a
// weight whose rescaled value is representable does not vanish through an underflowing
// factor. Two steps of e^-700 take the largest double below the smallest one, so more
// steps would change nothing: the work is bounded whatever the exponent.
void rescaleWeights(InfoSphereBean& isb, double exponent, const std::vector<char>& skip) {
    constexpr double kLargestStep = 700.0;
    constexpr std::size_t kMostSteps = 3;
    std::vector<double> factors;
    while (exponent < -kLargestStep && factors.size() < kMostSteps) {
        factors.push_back(std::pow(kE, -kLargestStep));
        exponent += kLargestStep;
    }
    factors.push_back(exponent < -kLargestStep ? 0.0 : std::pow(kE, exponent));
    const bool withValue = !isb.Value.empty();
    const std::int32_t cols = isb.absValue.cols();
    for (std::int32_t r = 0; r < isb.absValue.rows(); ++r) {
        double* abs = isb.absValue.row(r);
        double* value = withValue ? isb.Value.row(r) : nullptr;
        for (std::int32_t c = 0; c < cols; ++c) {
            if (!skip.empty() && skip[static_cast<std::size_t>(r) * cols + c]) continue;
            for (const double f : factors) {
                abs[c] = abs[c] * f;
                if (value) value[c] = value[c] * f;
            }
        }
    }
}

// The neutral-block table must reach the largest complex, M+ + M- = mpMax + mmMax.
bool hasSigmaFor(const InfoSphereBean& isb) {
    return isb.sigma && static_cast<std::int64_t>(isb.sigma->size()) > std::int64_t{isb.mpMax} + isb.mmMax;
}

std::size_t cellOf(const StageInputs& in, std::int32_t cols, std::int32_t mp, std::int32_t mm) {
    return static_cast<std::size_t>(mp - in.mpMin) * static_cast<std::size_t>(cols) +
           static_cast<std::size_t>(mm - in.mmMin);
}

// One pass over a work list: exponent and weight (lowered by offset) of every cell, with
// the largest log-weight, whether any weight overflows, how many cells have no finite
// free energy (weight 0) and how many Newton solves hit their step limit. FreeEnergyOf is
// the approximation of the stage: F(ka, qp, qn, vcore, bool* unstable).
struct CellPass {
    std::vector<double> E, w;
    std::vector<double> F;  // only when the record keeps its energies
    double lMax = 0.0;
    bool overflow = false;
    std::int64_t nonFinite = 0;
    std::int64_t unstable = 0;
    double errorEstimate = 0.0;       // converged energies: largest estimated remaining error
    double standardDifference = 0.0;  // converged energies: largest |converged - standard|
};

// What a free energy reports besides its value.
struct CellNotes {
    bool unstable = false;
    double errorEstimate = 0.0;
    double standardDifference = 0.0;
};

template <typename FreeEnergyOf>
CellPass evaluateCells(const StageInputs& in, const std::vector<Index>& list, int threadLimit, double offset,
                       FreeEnergyOf freeEnergyOf, bool keepF) {
    const std::int64_t n = static_cast<std::int64_t>(list.size());
    CellPass pass;
    pass.E.resize(list.size());
    pass.w.resize(list.size());
    if (keepF) pass.F.resize(list.size());
    double* const Fout = keepF ? pass.F.data() : nullptr;
    double lMax = 0.0;
    bool overflow = false;
    std::int64_t nonFinite = 0;
    std::int64_t unstable = 0;
    double errorEstimate = 0.0;
    double standardDifference = 0.0;
    if (n == 0) return pass;
    // No more threads than cells: a team costs more to start than a short row takes.
    const int threads = teamSize(threadLimit, n);

#pragma omp parallel for num_threads(threads) schedule(static) reduction(max : lMax) reduction(|| : overflow) \
    reduction(+ : nonFinite, unstable) reduction(max : errorEstimate, standardDifference)
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int32_t mp = list[k].mp;
        const std::int32_t mm = list[k].mm;
        CellNotes notes;
        const double F = freeEnergyOf(in.ka, mp * in.zp, mm * in.zn, mm * in.mlen + mp * in.plen, notes);
        if (notes.unstable) ++unstable;
        if (notes.errorEstimate > errorEstimate) errorEstimate = notes.errorEstimate;
        if (notes.standardDifference > standardDifference) standardDifference = notes.standardDifference;
        if (Fout) Fout[k] = F;
        const double e = std::isfinite(F) ? in.exponent(mp, mm, F) : NAN;
        pass.E[k] = e;
        double wk = 0.0;
        if (std::isfinite(e)) {
            const double L = in.logWeight(mp, mm, e);
            if (L > lMax) lMax = L;
            wk = in.weight(mp, mm, e, offset);
            if (!(wk <= kOverflow)) overflow = true;
        } else {
            ++nonFinite;
        }
        pass.w[k] = wk;
    }
    pass.lMax = lMax;
    pass.overflow = overflow;
    pass.nonFinite = nonFinite;
    pass.unstable = unstable;
    pass.errorEstimate = errorEstimate;
    pass.standardDifference = standardDifference;
    return pass;
}

// Stores F and E of the listed cells when the record keeps its energies.
void keepEnergies(InfoSphereBean& isb, const StageInputs& in, const std::vector<Index>& list, const CellPass& pass) {
    if (isb.energies.empty()) return;
    for (std::size_t k = 0; k < list.size(); ++k) {
        const std::int32_t r = list[k].mp - in.mpMin, c = list[k].mm - in.mmMin;
        isb.energies.F(r, c) = pass.F[k];
        isb.energies.E(r, c) = pass.E[k];
        isb.energies.evaluated(r, c) = 1;
    }
}

double sphereEnergy(double ka, double qp, double qn, double vcore, CellNotes& notes) {
    return FreeEnergy::freeEnergy_Sphere(ka, qp, qn, vcore, &notes.unstable);
}

double sphereEnergyDH(double ka, double qp, double qn, double vcore, CellNotes&) {
    return FreeEnergy::freeEnergy_SphereDH(ka, qp, qn, vcore);
}

// Converged energies, with their error estimate and their distance from the standard ones.
double convergedSphere(double ka, double qp, double qn, double vcore, CellNotes& notes) {
    const ConvergedEnergy c = convergedSphereEnergy(ka, qp, qn, vcore);
    notes.errorEstimate = c.errorEstimate;
    notes.standardDifference = std::fabs(c.value - FreeEnergy::freeEnergy_Sphere(ka, qp, qn, vcore));
    return c.value;
}

double convergedSphereDH(double ka, double qp, double qn, double vcore, CellNotes& notes) {
    const ConvergedEnergy c = convergedDebyeHueckelEnergy(ka, qp, qn, vcore);
    notes.errorEstimate = c.errorEstimate;
    notes.standardDifference = std::fabs(c.value - FreeEnergy::freeEnergy_SphereDH(ka, qp, qn, vcore));
    return c.value;
}

void noteAccuracy(InfoSphereBean& isb, const CellPass& pass) {
    if (pass.errorEstimate > isb.errorEstimate) isb.errorEstimate = pass.errorEstimate;
    if (pass.standardDifference > isb.standardDifference) isb.standardDifference = pass.standardDifference;
}

// The Poisson-Boltzmann row M+ = i: its cells evaluated and written into absValue and
// Value (unnormalised), the common shift raised and the rest of the matrix rescaled when
// the row needs it. Returns the cells written, in row-major order.
std::vector<Index> evaluateSphereRow(InfoSphereBean& isb, std::int32_t i, int threadLimit, bool* rescaled) {
    const StageInputs in(isb, true);
    const std::int32_t columns = in.mmMax - in.mmMin + 1;
    *rescaled = false;

    // The band of at most nine cells around charge neutrality, M- = c - 4 .. c + 4.
    std::vector<Index> list;
    if (i != 0 && i >= in.mpMin && i <= in.mpMax && hasSigmaFor(isb)) {
        const double c = std::trunc((in.zp / in.zn) * i);
        // Only the columns from c - 4 on can hold a cell of the band.
        const double first = std::max<double>(in.mmMin, c - 4.0);
        for (std::int32_t mm = first <= in.mmMax ? static_cast<std::int32_t>(first) : in.mmMax + 1; mm <= in.mmMax;
             ++mm) {
            if (mm - c > 4.0) break;
            if (mm != 0 && std::fabs(mm - c) <= 4.0) list.push_back(Index{i, mm});
        }
    }
    const std::int64_t n = static_cast<std::int64_t>(list.size());

    const double offset = weightShiftOffset(isb.max_shift);
    const bool keep = !isb.energies.empty();
    CellPass pass = isb.converged ? evaluateCells(in, list, threadLimit, offset, convergedSphere, keep)
                                  : evaluateCells(in, list, threadLimit, offset, sphereEnergy, keep);
    noteAccuracy(isb, pass);
    keepEnergies(isb, in, list, pass);
    std::vector<double>& w = pass.w;
    if (!std::isfinite(pass.lMax)) isb.unrepresentable = true;
    if (pass.overflow && std::isfinite(pass.lMax)) {
        // A larger common shift: the new row is formed anew with it, everything else in the
        // matrix is lowered by the change of the offset.
        const double newShift = pass.lMax > isb.max_shift ? pass.lMax : isb.max_shift;
        const double newOffset = weightShiftOffset(newShift);
        std::vector<char> skip(isb.absValue.cellCount(), 0);
        for (const Index& idx : list) skip[cellOf(in, columns, idx.mp, idx.mm)] = 1;
        rescaleWeights(isb, offset - newOffset, skip);
        for (std::int64_t k = 0; k < n; ++k) {
            if (std::isfinite(pass.E[k])) w[k] = in.weight(list[k].mp, list[k].mm, pass.E[k], newOffset);
        }
        isb.max_shift = newShift;
        *rescaled = true;
    }
    if (n > 0) {
        const std::int32_t r = i - in.mpMin;
        double* abs = isb.absValue.row(r);
        double* value = isb.Value.empty() ? nullptr : isb.Value.row(r);
        for (std::int64_t k = 0; k < n; ++k) {
            const std::int32_t c = list[k].mm - in.mmMin;
            abs[c] = w[k];
            if (value) value[c] = w[k];
        }
    }
    isb.nonFiniteCells += pass.nonFinite;
    isb.unstableSolves += pass.unstable;
    return list;
}

}  // namespace

void ParaCalculation::startSphereRow(InfoSphereBean& isb, std::int32_t i, SphereRunCells& cells) {
    isb.normalised = false;
    bool rescaled = false;
    const std::vector<Index> list = evaluateSphereRow(isb, i, threadLimit, &rescaled);
    const std::int32_t columns = isb.mmMax - isb.mmMin + 1;
    for (const Index& idx : list)
        cells.written.push_back(static_cast<std::size_t>(idx.mp - isb.mpMin) * static_cast<std::size_t>(columns) +
                                static_cast<std::size_t>(idx.mm - isb.mmMin));
    // Sum and maximum as the full normalisation would form them: every other cell is 0,
    // and adding 0 changes no sum, so the written cells summed in row-major order (the
    // order they were written in) give the same sum to the bit.
    double S = 0.0;
    double maxV = 0.0;
    for (const std::size_t k : cells.written) {
        const double a = isb.absValue.at(k);
        S += a;
        if (a > maxV) maxV = a;
    }
    isb.sum = S;
    isb.maxValue = maxV;
}

void ParaCalculation::normalise(InfoSphereBean& isb) { postProcess(isb); }

int ParaCalculation::startDH(InfoSphereBean& isb) {
    const StageInputs in(isb, false);
    const std::int32_t rows = in.mpMax - in.mpMin + 1;
    const std::int32_t columns = in.mmMax - in.mmMin + 1;

    // Column by column, leaving out the free chains and the empty complex.
    std::vector<Index> list;
    list.reserve(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
    for (std::int32_t mm = in.mmMin; mm <= in.mmMax && hasSigmaFor(isb); ++mm) {
        for (std::int32_t mp = in.mpMin; mp <= in.mpMax; ++mp) {
            if (mp != 0 && mm != 0) list.push_back(Index{mp, mm});
        }
    }
    const std::int64_t n = static_cast<std::int64_t>(list.size());

    // The exponent of every cell is kept, so the shifted pass needs no second free energy.
    const bool keep = !isb.energies.empty();
    const CellPass pass = isb.converged ? evaluateCells(in, list, threadLimit, 0.0, convergedSphereDH, keep)
                                        : evaluateCells(in, list, threadLimit, 0.0, sphereEnergyDH, keep);
    noteAccuracy(isb, pass);
    keepEnergies(isb, in, list, pass);
    const std::vector<double>& E = pass.E;
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int32_t r = list[k].mp - in.mpMin, c = list[k].mm - in.mmMin;
        isb.absValue(r, c) = pass.w[k];
        isb.Value(r, c) = pass.w[k];
    }

    if (!std::isfinite(pass.lMax)) isb.unrepresentable = true;
    if (pass.overflow && std::isfinite(pass.lMax)) {
        isb.max_shift = pass.lMax;
        const double offset = weightShiftOffset(pass.lMax);
        // Cells outside the list (the free chains the job entered) take the same shift.
        std::vector<char> listed(isb.absValue.cellCount(), 0);
        for (const Index& idx : list) listed[cellOf(in, columns, idx.mp, idx.mm)] = 1;
        rescaleWeights(isb, 0.0 - offset, listed);
        // Every listed cell of a row is written by the thread that owns it; the rows are
        // made private to this grid before the threads start.
        for (std::int32_t r = 0; r < rows; ++r) {
            isb.absValue.row(r);
            isb.Value.row(r);
        }
#pragma omp parallel for num_threads(teamSize(threadLimit, n)) schedule(static)
        for (std::int64_t k = 0; k < n; ++k) {
            const std::int32_t r = list[k].mp - in.mpMin, c = list[k].mm - in.mmMin;
            const double wk = std::isfinite(E[k]) ? in.weight(list[k].mp, list[k].mm, E[k], offset) : 0.0;
            isb.absValue(r, c) = wk;
            isb.Value(r, c) = wk;
        }
    }
    isb.nonFiniteCells = pass.nonFinite;

    postProcess(isb);
    return 0;
}

}  // namespace marlinq
