#pragma once
// From the energy landscape to the size distribution.
//
// The stages produce the landscape: for every evaluated complex (M+, M-) its free energy F
// and the exponent E of its weight, with the single-chain energies f+ and f-. The
// distribution follows from the landscape and the free concentrations c+ and c- alone:
//   weight(M+, M-) = c+^M+ c-^M- 2.71828183^E,  the lone chains (1, 0) and (0, 1) weigh c+, c-,
// and the distribution is the weights over their sum.
//
// Weights live on a common logarithmic scale. Without a shift a weight is the plain
// concentration of the complex. When a weight would leave the range of a double, max_shift
// records the largest log-weight L_max and every weight is lowered by the factor
// 2.71828183^-(L_max - 10), so the largest one becomes 2.71828183^10. A Debye-Hueckel
// landscape, known whole, finds the shift in one extra pass; a Poisson-Boltzmann run, which
// sees one row at a time, raises it when a later row needs it and rescales what the earlier
// rows left. DistributionBuilder keeps that row-by-row arithmetic, so a distribution formed
// again from a finished landscape is the run's own to the bit.

#include "kernel/Grid.h"
#include "pipeline/RunResult.h"

#include <cstdint>
#include <vector>

namespace marlinq {

// The energy landscape of a run, without any concentration.
struct Landscape {
    std::int32_t mpMin = 0, mpMax = -1, mmMin = 0, mmMax = -1;
    double fPlus = 0.0, fMinus = 0.0;  // single-chain free energies (kT)
    CellEnergies cells;                // rows M+ from mpMin, columns M- from mmMin
    // Poisson-Boltzmann: formed row by row (M+ ascending), the common shift raised as the
    // rows needed it; otherwise (Debye-Hueckel) every cell at once.
    bool byRows = false;
};

// The landscape a run kept in its record (empty cells when the run kept no energies).
Landscape landscapeOf(const RunResult& record);

struct Distribution {
    Grid<double> absValue;  // weights: concentrations times 2.71828183^-(max_shift - 10) when shifted
    // absValue over sum once normalised; while rows are being added a copy of absValue. The
    // lone-chain cells hold their weight, not their share (as the window has always shown).
    Grid<double> Value;
    double sum = 0.0;        // sum of absValue, as the last normalisation formed it
    double maxValue = 0.0;   // largest weight, likewise
    double max_shift = 0.0;  // largest log-weight when the weights are shifted, else 0
    bool normalised = true;
    // A log-weight beyond the range of a double: no shift brings it into range, and the
    // distribution is not to be used.
    bool unrepresentable = false;
    std::int64_t nonFiniteCells = 0;  // evaluated cells without a finite E (weight 0)
};

// Copies the weights, their sum, maximum, shift and state into a record, not the counts of
// unrepresentable and non-finite cells (cheap: the grids share their blocks).
void storeWeights(const Distribution& d, RunResult& record);

// The weights of one landscape at given free concentrations, cell group by cell group.
class DistributionBuilder {
public:
    // Weights 0 everywhere, no shift; nothing entered yet.
    // threadLimit: the most threads a pass over many cells may use (0: the machine's).
    DistributionBuilder(std::int32_t mpMin, std::int32_t mpMax, std::int32_t mmMin, std::int32_t mmMax, double cPlus,
                        double cMinus, int threadLimit = 0);

    // The lone chains (1, 0) and (0, 1), where the ranges hold them, take c+ and c- on the
    // current scale.
    void enterFreeChains();
    // One Poisson-Boltzmann row M+ = mp: its cells (ascending M-) weighed with the current
    // shift, which is raised, with every other weight rescaled, when the row needs it; sum
    // and maximum kept over the rows so far; the lone chains entered again.
    void addRow(std::int32_t mp, const std::vector<LandscapeCell>& row);
    // The closing normalisation of a row-by-row distribution (nothing when no row came).
    void finishRows();
    // A whole (Debye-Hueckel) landscape at once: weights, shift, normalisation, lone chains.
    void addWhole(const std::vector<LandscapeCell>& cells);

    const Distribution& distribution() const { return d_; }
    // Copies the weights and the counts into a record.
    void store(RunResult& record) const;

private:
    struct FreeChainWeights {
        double plusAbs = 0.0, plusValue = 0.0, minusAbs = 0.0, minusValue = 0.0;
    };
    void normalise();
    void rescale(double exponent, const std::vector<char>& skip);
    FreeChainWeights freeChainWeights() const;
    void restoreFreeChains(const FreeChainWeights& w);

    std::int32_t mpMin_, mpMax_, mmMin_, mmMax_;
    double cPlus_, cMinus_, lnPlus_, lnMinus_;
    int threadLimit_;
    bool plusCell_ = false, minusCell_ = false;  // the lone chains lie inside the ranges
    Distribution d_;
    std::vector<std::size_t> written_;  // cells the rows wrote, row-major
    FreeChainWeights beforeEntry_;       // lone chains as the last row left them
    std::int32_t rows_ = 0;
};

// The distribution of a landscape at free concentrations c+ (lone '+' chains) and c-: for a
// finished run's landscape and the run's own concentrations, the run's distribution.
Distribution distributionOf(const Landscape& landscape, double cPlus, double cMinus, int threadLimit = 0);

// Exponent offset that the weights carry for a given max_shift: 0 when max_shift is 0 (no
// shift), else max_shift - 10, so that the largest log-weight L_max (which max_shift holds)
// becomes a weight of 2.71828183^10.
double weightShiftOffset(double max_shift);
// The factor 2.71828183^(-offset) that a plain concentration (a free chain) carries.
double weightShiftFactor(double max_shift);

}  // namespace marlinq
