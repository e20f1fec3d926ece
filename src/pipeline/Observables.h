#pragma once
// What a physicist reads off one distribution: the most probable complex, mean aggregation
// numbers, bound fractions, mean net charge and core radius, and the landscape of free
// energies. Toolkit-free; the window, the batch command and any binding share it.
//
// Concentrations are the weights in absolute units: absValue without the common shift a
// record may carry (max_shift). The sums run over the complexes, the cells with M+ >= 1
// and M- >= 1; cells a stopped run did not reach hold weight 0 and count for nothing.
// Every sum is formed relative to the largest complex weight, so no term leaves the range
// of a double whatever the shift.

#include "pipeline/RunResult.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace marlinq {

// A cell of the map: (M+, M-).
using MapCell = std::pair<std::int32_t, std::int32_t>;

// The cells the most probable one is looked for among.
enum class CellRange {
    WholeMap,   // every cell, lone chains (1, 0) and (0, 1) included, as the result panel names it
    Complexes,  // M+ >= 1 and M- >= 1
};

// The most probable cell of a record: the cell of the largest absValue among `among`, the
// first in drawing order (M+ outer, M- inner) on ties; nullopt when every weight there is 0
// (or the record has no results).
std::optional<MapCell> mostProbableCell(const RunResult& record, CellRange among = CellRange::WholeMap);
// The same over weights whose rows count M+ from mpMin and columns M- from mmMin.
std::optional<MapCell> mostProbableCell(const Grid<double>& weights, std::int32_t mpMin, std::int32_t mmMin,
                                        CellRange among = CellRange::WholeMap);

// Weights that agree to this relative difference are a tie: the same weight up to the
// rounding of the arithmetic that formed them (the lone chains of a symmetric system, the
// mirror complexes (M+, M-) and (M-, M+) of equal chains).
inline constexpr double kTieTolerance = 1e-9;

// Every cell among `among` whose weight ties with the largest there, in drawing order; a
// tie when it holds more than one cell (empty when every weight is 0).
std::vector<MapCell> mostProbableCells(const RunResult& record, CellRange among = CellRange::WholeMap);

// What a front end shows of a run is listed in ObservableRegistry.h.
struct Observables {
    // mostProbableCell over the whole map, and among the complexes alone.
    std::optional<MapCell> mostProbable;
    std::optional<MapCell> mostProbableComplex;
    // The cells tied for most probable (the most probable first) when there is a tie, else empty.
    std::vector<MapCell> mostProbableTies, mostProbableComplexTies;
    // Converged runs: the most probable cell of the standard free energies (none otherwise).
    std::optional<MapCell> standardMostProbable;
    double mostProbableShare = 0.0;     // its share of the distribution (Value of the cell)
    double meanMp = NAN, meanMm = NAN;  // number averages over the complexes: sum M c / sum c
    double massAverageAggregation = NAN;  // sum (M+ + M-)^2 c / sum (M+ + M-) c
    double boundFractionPlus = NAN;     // sum M+ c / (sum M+ c + vc10)
    double boundFractionMinus = NAN;    // sum M- c / (sum M- c + vc01)
    double meanNetCharge = NAN;         // sum (M+ zp - M- zn) c / sum c
    double meanCoreRadius = NAN;        // sum Rc c / sum c, segment units
    double mostProbableCoreRadius = NAN;  // Rc of the most probable cell
    bool anyComplex = false;            // some complex has a positive weight
    // The concentrations: set as total chains (else as free chains), the free chains c+ and
    // c-, the totals C+ and C- (given, or implied by the free chains), the charge fraction
    // q+ C+ / (q+ C+ + q- C-) and how closely the distribution meets the given totals.
    bool totalMode = false;
    double freePlus = NAN, freeMinus = NAN, totalPlus = NAN, totalMinus = NAN;
    double chargeFraction = NAN, massBalanceResidual = NAN;
    // Total mode: the total C+ + C- at this charge fraction where the larger bound fraction
    // is 1/2; NaN otherwise or when not crossed between 1e-20 and 1.
    double criticalConcentration = NAN;
    // The free energy per chain along the neutral line does not rise at the range's end
    // (pipeline/Coacervate.h), and its slope there.
    bool coacervateLikely = false;
    double edgeFreeEnergySlope = NAN;
};

// The observables of a result record; NaN where the sums are empty (no complex has a
// weight). A record without matrices gives the defaults.
Observables computeObservables(const RunResult& record);

}  // namespace marlinq
