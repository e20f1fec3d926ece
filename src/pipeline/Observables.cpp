#include "pipeline/Observables.h"

#include "physics/Constants.h"
#include "physics/Complex.h"
#include "pipeline/Distribution.h"
#include "pipeline/MassBalance.h"

#include <cmath>

namespace marlinq {

namespace {

// bound / (bound + free) for a bound sum known as boundRel * 2.71828183^logScale (boundRel
// > 0) and a free concentration vc > 0, formed without leaving the range of a double.
double boundFraction(double boundRel, double logScaleOfBound, double vc) {
    if (!(boundRel > 0.0)) return 0.0;
    const double logBound = std::log(boundRel) + logScaleOfBound;
    const double ratio = std::exp(std::log(vc) - logBound);  // free / bound
    return 1.0 / (1.0 + ratio);
}

}  // namespace

std::optional<MapCell> mostProbableCell(const RunResult& resultRecord, CellRange among) {
    if (!resultRecord.hasResults()) return std::nullopt;
    return mostProbableCell(resultRecord.absValue, resultRecord.params().mpMin, resultRecord.params().mmMin, among);
}

std::optional<MapCell> mostProbableCell(const Grid<double>& a, std::int32_t mpMin, std::int32_t mmMin, CellRange among) {
    std::optional<MapCell> best;
    const bool complexesOnly = among == CellRange::Complexes;
    double largest = 0.0;
    for (std::int32_t r = 0; r < a.rows(); ++r) {
        const std::int32_t mp = mpMin + r;
        if (complexesOnly && mp < 1) continue;
        const double* row = a.row(r);
        for (std::int32_t c = 0; c < a.cols(); ++c) {
            const std::int32_t mm = mmMin + c;
            if (complexesOnly && mm < 1) continue;
            if (row[c] > largest) {
                largest = row[c];
                best = MapCell{mp, mm};
            }
        }
    }
    return best;
}

std::vector<MapCell> mostProbableCells(const RunResult& resultRecord, CellRange among) {
    const Parameters& p = resultRecord.params();
    std::vector<MapCell> cells;
    const std::optional<MapCell> best = mostProbableCell(resultRecord, among);
    if (!best) return cells;
    const Grid<double>& a = resultRecord.absValue;
    const double largest = a(best->first - p.mpMin, best->second - p.mmMin);
    const double least = largest * (1.0 - kTieTolerance);
    const bool complexesOnly = among == CellRange::Complexes;
    for (std::int32_t r = 0; r < a.rows(); ++r) {
        const std::int32_t mp = p.mpMin + r;
        if (complexesOnly && mp < 1) continue;
        const double* row = a.row(r);
        for (std::int32_t c = 0; c < a.cols(); ++c) {
            const std::int32_t mm = p.mmMin + c;
            if (complexesOnly && mm < 1) continue;
            if (row[c] >= least) cells.push_back(MapCell{mp, mm});
        }
    }
    return cells;
}

Observables computeObservables(const RunResult& resultRecord) {
    const Parameters& p = resultRecord.params();
    Observables o;
    if (!resultRecord.hasResults()) return o;
    const Grid<double>& a = resultRecord.absValue;

    o.totalMode = resultRecord.totalMode();
    o.freePlus = resultRecord.concentrations.freePlus;
    o.freeMinus = resultRecord.concentrations.freeMinus;
    // Given in total mode; what the distribution holds otherwise.
    const MassBalanceTotals totals =
        resultRecord.totalMode()
            ? MassBalanceTotals{resultRecord.concentrations.totalPlus, resultRecord.concentrations.totalMinus}
            : chainTotals(resultRecord);
    o.totalPlus = totals.plus;
    o.totalMinus = totals.minus;
    o.chargeFraction = chargeFraction(p.zp, p.zn, totals.plus, totals.minus);
    o.massBalanceResidual = resultRecord.concentrations.massBalanceResidual;
    o.criticalConcentration = resultRecord.concentrations.criticalConcentration;
    o.coacervateLikely = resultRecord.neutralEdge.coacervateLikely;
    o.edgeFreeEnergySlope = resultRecord.neutralEdge.slope;

    o.mostProbable = mostProbableCell(resultRecord);
    o.mostProbableComplex = mostProbableCell(resultRecord, CellRange::Complexes);
    o.mostProbableTies = mostProbableCells(resultRecord);
    if (o.mostProbableTies.size() < 2) o.mostProbableTies.clear();
    o.mostProbableComplexTies = mostProbableCells(resultRecord, CellRange::Complexes);
    if (o.mostProbableComplexTies.size() < 2) o.mostProbableComplexTies.clear();
    o.standardMostProbable = resultRecord.standard.mostProbable;
    // The largest complex weight: the scale of the sums.
    double complexMax = 0.0;
    if (const std::optional<MapCell> heaviest = o.mostProbableComplex)
        complexMax = a(heaviest->first - p.mpMin, heaviest->second - p.mmMin);
    if (o.mostProbable) {
        o.mostProbableShare = resultRecord.share(o.mostProbable->first - p.mpMin, o.mostProbable->second - p.mmMin);
        // A lone chain has no core: the radius stays undefined (null in the summary).
        if (o.mostProbable->first >= 1 && o.mostProbable->second >= 1)
            o.mostProbableCoreRadius = resultRecord.complexAt(o.mostProbable->first, o.mostProbable->second).radius;
    }
    if (!(complexMax > 0.0) || !std::isfinite(complexMax)) return o;
    o.anyComplex = true;

    // Sums of c / complexMax: every term at most M^2, whatever the scale of the weights.
    double s0 = 0.0, sMp = 0.0, sMm = 0.0, sN = 0.0, sN2 = 0.0, sQ = 0.0, sR = 0.0;
    for (std::int32_t r = 0; r < a.rows(); ++r) {
        const std::int32_t mp = p.mpMin + r;
        if (mp < 1) continue;
        const double* row = a.row(r);
        for (std::int32_t c = 0; c < a.cols(); ++c) {
            const std::int32_t mm = p.mmMin + c;
            if (mm < 1 || !(row[c] > 0.0)) continue;
            const double w = row[c] / complexMax;
            const double n = static_cast<double>(mp) + mm;
            s0 += w;
            sMp += mp * w;
            sMm += mm * w;
            sN += n * w;
            sN2 += n * n * w;
            const SphericalComplex complex = resultRecord.complexAt(mp, mm);
            sQ += complex.charge * w;
            sR += complex.radius * w;
        }
    }
    o.meanMp = sMp / s0;
    o.meanMm = sMm / s0;
    o.massAverageAggregation = sN2 / sN;
    o.meanNetCharge = sQ / s0;
    o.meanCoreRadius = sR / s0;
    // Absolute concentration = absValue * 2.71828183^offset (offset 0 without a shift).
    const double logScale = std::log(complexMax) + weightShiftOffset(resultRecord.max_shift) * std::log(constants::kE);
    o.boundFractionPlus = boundFraction(sMp, logScale, resultRecord.concentrations.freePlus);
    o.boundFractionMinus = boundFraction(sMm, logScale, resultRecord.concentrations.freeMinus);
    return o;
}

}  // namespace marlinq
