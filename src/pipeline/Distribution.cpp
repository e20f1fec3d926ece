// The weights, the common shift, the lone chains and the normalisation of a distribution.

#include "pipeline/Distribution.h"

#include "kernel/Interpolation.h"
#include "physics/Constants.h"
#include "pipeline/CalculationStages.h"

#include <cmath>

namespace marlinq {

namespace {

using constants::kE;
// Above this exponent a weight is formed from its logarithm in one power.
constexpr double kLogBranch = 300.0;
// A weight beyond this counts as overflowing the range of a double.
constexpr double kOverflow = 9.9e300;

// ln 2.71828183: the exponent E of a weight is a power of the program's e, not of e itself.
const double kLnE = std::log(kE);

// The concentrations a weight is formed from.
struct Concentrations {
    double plus, minus, lnPlus, lnMinus;  // c+, c- and their natural logarithms

    // The logarithm of the weight to the base 2.71828183, the base of E and of the shift:
    // 2.71828183^logWeight = c+^M+ c-^M- 2.71828183^E. (The natural logarithms of c+ and c-
    // taken as powers of 2.71828183 would miss the weight by about 6e-10 per unit of ln c,
    // 4e-7 at c+ c- = 1e-314.)
    double logWeight(std::int32_t mp, std::int32_t mm, double E) const {
        return (mp * lnPlus + mm * lnMinus) / kLnE + E;
    }

    // Weight of a cell with finite exponent E, lowered by the exponent offset `offset`.
    double weight(std::int32_t mp, std::int32_t mm, double E, double offset) const {
        if (E < kLogBranch) {
            const double w =
                std::pow(kE, -offset) * ((marlinq::pow(minus, mm) * marlinq::pow(plus, mp)) * std::pow(kE, E));
            if (std::isfinite(w)) return w;
            // Only concentrations above 1 get here; the logarithmic form stays in range.
        }
        return std::pow(kE, logWeight(mp, mm, E) - offset);
    }
};

// One pass over a group of cells: the weight of each (lowered by offset), the largest
// log-weight (at least 0), whether a weight overflows and how many cells have no finite E.
struct WeightPass {
    std::vector<double> w;
    double lMax = 0.0;
    bool overflow = false;
    std::int64_t nonFinite = 0;
};

WeightPass weighCells(const Concentrations& c, const std::vector<LandscapeCell>& cells, double offset,
                      int threadLimit) {
    WeightPass pass;
    const std::int64_t n = static_cast<std::int64_t>(cells.size());
    pass.w.resize(cells.size());
    double* const w = pass.w.data();
    double lMax = 0.0;
    bool overflow = false;
    std::int64_t nonFinite = 0;
    // Every cell is weighed alone and the reductions are exact, so the team size changes
    // no result; a row of a few cells stays on the calling thread.
#pragma omp parallel for num_threads(teamSize(threadLimit, n)) schedule(static) if (n > 4096) \
    reduction(max : lMax) reduction(|| : overflow) reduction(+ : nonFinite)
    for (std::int64_t k = 0; k < n; ++k) {
        const LandscapeCell& cell = cells[static_cast<std::size_t>(k)];
        double wk = 0.0;
        if (std::isfinite(cell.E)) {
            const double L = c.logWeight(cell.mp, cell.mm, cell.E);
            if (L > lMax) lMax = L;
            wk = c.weight(cell.mp, cell.mm, cell.E, offset);
            if (!(wk <= kOverflow)) overflow = true;
        } else {
            ++nonFinite;
        }
        w[k] = wk;
    }
    pass.lMax = lMax;
    pass.overflow = overflow;
    pass.nonFinite = nonFinite;
    return pass;
}

// The weights of the cells again, with a new offset (cells without a finite E keep 0).
void reweigh(const Concentrations& c, const std::vector<LandscapeCell>& cells, double offset, std::vector<double>& w,
             int threadLimit) {
    const std::int64_t n = static_cast<std::int64_t>(cells.size());
#pragma omp parallel for num_threads(teamSize(threadLimit, n)) schedule(static) if (n > 4096)
    for (std::int64_t k = 0; k < n; ++k) {
        const LandscapeCell& cell = cells[static_cast<std::size_t>(k)];
        if (std::isfinite(cell.E)) w[static_cast<std::size_t>(k)] = c.weight(cell.mp, cell.mm, cell.E, offset);
    }
}

}  // namespace

double weightShiftOffset(double max_shift) { return max_shift == 0.0 ? 0.0 : max_shift - 10.0; }

double weightShiftFactor(double max_shift) { return std::pow(kE, -weightShiftOffset(max_shift)); }

DistributionBuilder::DistributionBuilder(std::int32_t mpMin, std::int32_t mpMax, std::int32_t mmMin,
                                         std::int32_t mmMax, double cPlus, double cMinus, int threadLimit)
    : mpMin_(mpMin), mpMax_(mpMax), mmMin_(mmMin), mmMax_(mmMax), cPlus_(cPlus), cMinus_(cMinus),
      lnPlus_(std::log(cPlus)), lnMinus_(std::log(cMinus)), threadLimit_(threadLimit) {
    const std::int32_t rows = mpMax - mpMin + 1, cols = mmMax - mmMin + 1;
    d_.absValue = Grid<double>(rows, cols);
    d_.Value = Grid<double>(rows, cols);
    const bool inside = d_.absValue.rows() > 0 && d_.absValue.cols() > 0;
    plusCell_ = inside && mmMin == 0 && mpMin <= 1 && 1 <= mpMax;
    minusCell_ = inside && mpMin == 0 && mmMin <= 1 && 1 <= mmMax;
}

void DistributionBuilder::enterFreeChains() {
    const double factor = weightShiftFactor(d_.max_shift);
    if (plusCell_) d_.Value(1 - mpMin_, 0) = d_.absValue(1 - mpMin_, 0) = cPlus_ * factor;
    if (minusCell_) d_.Value(0, 1 - mmMin_) = d_.absValue(0, 1 - mmMin_) = cMinus_ * factor;
}

DistributionBuilder::FreeChainWeights DistributionBuilder::freeChainWeights() const {
    FreeChainWeights w;
    if (plusCell_) {
        w.plusAbs = d_.absValue(1 - mpMin_, 0);
        w.plusValue = d_.Value(1 - mpMin_, 0);
    }
    if (minusCell_) {
        w.minusAbs = d_.absValue(0, 1 - mmMin_);
        w.minusValue = d_.Value(0, 1 - mmMin_);
    }
    return w;
}

void DistributionBuilder::restoreFreeChains(const FreeChainWeights& w) {
    if (plusCell_) {
        d_.absValue(1 - mpMin_, 0) = w.plusAbs;
        d_.Value(1 - mpMin_, 0) = w.plusValue;
    }
    if (minusCell_) {
        d_.absValue(0, 1 - mmMin_) = w.minusAbs;
        d_.Value(0, 1 - mmMin_) = w.minusValue;
    }
}

// Multiplies every cell of both grids by 2.71828183^exponent (exponent <= 0), except those
// marked in `skip` (row-major; may be empty). A large change is applied in steps, each
// factor within the range of a double, so that a weight whose rescaled value is
// representable does not vanish through an underflowing factor. Two steps of e^-700 take
// the largest double below the smallest one, so more steps would change nothing: the work
// is bounded whatever the exponent.
void DistributionBuilder::rescale(double exponent, const std::vector<char>& skip) {
    constexpr double kLargestStep = 700.0;
    constexpr std::size_t kMostSteps = 3;
    std::vector<double> factors;
    while (exponent < -kLargestStep && factors.size() < kMostSteps) {
        factors.push_back(std::pow(kE, -kLargestStep));
        exponent += kLargestStep;
    }
    factors.push_back(exponent < -kLargestStep ? 0.0 : std::pow(kE, exponent));
    const std::int32_t cols = d_.absValue.cols();
    for (std::int32_t r = 0; r < d_.absValue.rows(); ++r) {
        double* abs = d_.absValue.row(r);
        double* value = d_.Value.row(r);
        for (std::int32_t c = 0; c < cols; ++c) {
            if (!skip.empty() && skip[static_cast<std::size_t>(r) * cols + c]) continue;
            for (const double f : factors) {
                abs[c] = abs[c] * f;
                value[c] = value[c] * f;
            }
        }
    }
}

// Sum, maximum and the normalised distribution over every cell, in row-major order.
void DistributionBuilder::normalise() {
    double S = 0.0;
    double maxV = 0.0;
    d_.absValue.forEach([&](double a) {
        S += a;
        if (a > maxV) maxV = a;
    });
    d_.maxValue = maxV;
    d_.sum = S;
    d_.normalised = true;
    const double step = (maxV - 0.0) / 20.0;
    if (step == 0.0) return;
    for (std::int32_t r = 0; r < d_.absValue.rows(); ++r) {
        const double* abs = d_.absValue.row(r);
        double* value = d_.Value.row(r);
        for (std::int32_t c = 0; c < d_.absValue.cols(); ++c) value[c] = abs[c] / S;
    }
}

void DistributionBuilder::addRow(std::int32_t mp, const std::vector<LandscapeCell>& row) {
    d_.normalised = false;
    ++rows_;
    const Concentrations conc{cPlus_, cMinus_, lnPlus_, lnMinus_};
    const std::int32_t cols = mmMax_ - mmMin_ + 1;
    const auto cellOf = [&](const LandscapeCell& cell) {
        return static_cast<std::size_t>(cell.mp - mpMin_) * static_cast<std::size_t>(cols) +
               static_cast<std::size_t>(cell.mm - mmMin_);
    };
    const double offset = weightShiftOffset(d_.max_shift);
    WeightPass pass = weighCells(conc, row, offset, threadLimit_);
    if (!std::isfinite(pass.lMax)) d_.unrepresentable = true;
    if (pass.overflow && std::isfinite(pass.lMax)) {
        // A larger common shift: the row is weighed anew with it, everything else lowered
        // by the change of the offset.
        const double newShift = pass.lMax > d_.max_shift ? pass.lMax : d_.max_shift;
        const double newOffset = weightShiftOffset(newShift);
        std::vector<char> skip(d_.absValue.cellCount(), 0);
        for (const LandscapeCell& cell : row) skip[cellOf(cell)] = 1;
        rescale(offset - newOffset, skip);
        reweigh(conc, row, newOffset, pass.w, threadLimit_);
        d_.max_shift = newShift;
    }
    if (!row.empty()) {
        const std::int32_t r = mp - mpMin_;
        double* abs = d_.absValue.row(r);
        double* value = d_.Value.row(r);
        for (std::size_t k = 0; k < row.size(); ++k) {
            const std::int32_t c = row[k].mm - mmMin_;
            abs[c] = pass.w[k];
            value[c] = pass.w[k];
        }
    }
    d_.nonFiniteCells += pass.nonFinite;
    for (const LandscapeCell& cell : row) written_.push_back(cellOf(cell));
    // Sum and maximum as the closing normalisation forms them over the rows: every other
    // complex cell is 0 and adding 0 changes no sum, so the written cells summed in
    // row-major order (the order they were written in) give that sum to the bit.
    double S = 0.0;
    double maxV = 0.0;
    for (const std::size_t k : written_) {
        const double a = d_.absValue.at(k);
        S += a;
        if (a > maxV) maxV = a;
    }
    d_.sum = S;
    d_.maxValue = maxV;
    // The closing normalisation sees the lone chains as this row left them; shown, they
    // carry the current scale.
    beforeEntry_ = freeChainWeights();
    enterFreeChains();
}

void DistributionBuilder::finishRows() {
    if (rows_ == 0) return;  // nothing computed, nothing to normalise
    restoreFreeChains(beforeEntry_);
    normalise();
    enterFreeChains();
}

void DistributionBuilder::addWhole(const std::vector<LandscapeCell>& cells) {
    const Concentrations conc{cPlus_, cMinus_, lnPlus_, lnMinus_};
    const std::int32_t cols = mmMax_ - mmMin_ + 1;
    WeightPass pass = weighCells(conc, cells, 0.0, threadLimit_);
    for (std::size_t k = 0; k < cells.size(); ++k) {
        const std::int32_t r = cells[k].mp - mpMin_, c = cells[k].mm - mmMin_;
        d_.absValue(r, c) = pass.w[k];
        d_.Value(r, c) = pass.w[k];
    }
    if (!std::isfinite(pass.lMax)) d_.unrepresentable = true;
    if (pass.overflow && std::isfinite(pass.lMax)) {
        d_.max_shift = pass.lMax;
        const double offset = weightShiftOffset(pass.lMax);
        // Cells outside the landscape (the lone chains) take the same shift.
        std::vector<char> listed(d_.absValue.cellCount(), 0);
        for (const LandscapeCell& cell : cells)
            listed[static_cast<std::size_t>(cell.mp - mpMin_) * static_cast<std::size_t>(cols) +
                   static_cast<std::size_t>(cell.mm - mmMin_)] = 1;
        rescale(0.0 - offset, listed);
        std::fill(pass.w.begin(), pass.w.end(), 0.0);
        reweigh(conc, cells, offset, pass.w, threadLimit_);
        for (std::size_t k = 0; k < cells.size(); ++k) {
            const std::int32_t r = cells[k].mp - mpMin_, c = cells[k].mm - mmMin_;
            d_.absValue(r, c) = pass.w[k];
            d_.Value(r, c) = pass.w[k];
        }
    }
    d_.nonFiniteCells = pass.nonFinite;
    normalise();
    enterFreeChains();
}

void storeWeights(const Distribution& d, RunResult& record) {
    record.absValue = d.absValue;
    record.Value = d.Value;
    record.sum = d.sum;
    record.maxValue = d.maxValue;
    record.max_shift = d.max_shift;
    record.normalised = d.normalised;
}

void DistributionBuilder::store(RunResult& record) const {
    storeWeights(d_, record);
    record.quality.unrepresentable = d_.unrepresentable;
    record.quality.nonFiniteCells = d_.nonFiniteCells;
}

Landscape landscapeOf(const RunResult& record) {
    const Parameters& p = record.params();
    Landscape l;
    l.mpMin = p.mpMin;
    l.mpMax = p.mpMax;
    l.mmMin = p.mmMin;
    l.mmMax = p.mmMax;
    l.fPlus = record.chains.plus;
    l.fMinus = record.chains.minus;
    l.cells = record.energies;
    l.byRows = record.byRows();
    return l;
}

Distribution distributionOf(const Landscape& landscape, double cPlus, double cMinus, int threadLimit) {
    DistributionBuilder builder(landscape.mpMin, landscape.mpMax, landscape.mmMin, landscape.mmMax, cPlus, cMinus,
                                threadLimit);
    builder.enterFreeChains();
    const CellEnergies& e = landscape.cells;
    const auto cellAt = [&](std::int32_t r, std::int32_t c) {
        return LandscapeCell{landscape.mpMin + r, landscape.mmMin + c, e.F(r, c), e.E(r, c)};
    };
    if (landscape.byRows) {
        std::vector<LandscapeCell> row;
        for (std::int32_t r = 0; r < e.evaluated.rows(); ++r) {
            row.clear();
            for (std::int32_t c = 0; c < e.evaluated.cols(); ++c)
                if (e.evaluated(r, c)) row.push_back(cellAt(r, c));
            builder.addRow(landscape.mpMin + r, row);
        }
        builder.finishRows();
    } else {
        std::vector<LandscapeCell> cells;
        for (std::int32_t r = 0; r < e.evaluated.rows(); ++r)
            for (std::int32_t c = 0; c < e.evaluated.cols(); ++c)
                if (e.evaluated(r, c)) cells.push_back(cellAt(r, c));
        builder.addWhole(cells);
    }
    return builder.distribution();
}

}  // namespace marlinq
