#pragma once
// The result record of a run, shared (std::shared_ptr) between the window, the job and the
// stages; it checks nothing itself. What the run was asked to do is its RunRequest.

#include "kernel/Grid.h"
#include "physics/SphericalComplex.h"
#include "pipeline/RunRequest.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace marlinq {

// One evaluated cell of the energy landscape: the complex (M+, M-), its free energy F and
// the exponent E of its weight (minus the free energy of forming the complex from isolated
// chains), both in kT. E is NaN or infinite when F is not a finite number.
struct LandscapeCell {
    std::int32_t mp, mm;
    double F, E;
};

// The free energies of the evaluated cells, kept when a run asks for them (the landscape
// export and the distributions formed again from it): F and E as in LandscapeCell. Cells no
// stage evaluated have evaluated = 0 (and F, E = 0). Empty grids when not kept.
// beyondValidity is 1 where a Debye-Hueckel stage evaluated a cell outside the validity of
// its linearisation (see StageCells in CalculationStages.h).
struct CellEnergies {
    Grid<double> F, E;
    Grid<std::uint8_t> evaluated;
    Grid<std::uint8_t> beyondValidity;

    CellEnergies() = default;
    CellEnergies(std::int32_t rows, std::int32_t cols)
        : F(rows, cols), E(rows, cols), evaluated(rows, cols), beyondValidity(rows, cols) {}
    bool empty() const { return evaluated.empty(); }
    // Enters cells whose M+ counts from mpMin and M- from mmMin; beyond, when not empty,
    // holds one flag per cell.
    void keep(const std::vector<LandscapeCell>& cells, std::int32_t mpMin, std::int32_t mmMin,
              const std::vector<std::uint8_t>& beyond = {}) {
        for (std::size_t k = 0; k < cells.size(); ++k) {
            const LandscapeCell& cell = cells[k];
            const std::int32_t r = cell.mp - mpMin, c = cell.mm - mmMin;
            F(r, c) = cell.F;
            E(r, c) = cell.E;
            evaluated(r, c) = 1;
            beyondValidity(r, c) = k < beyond.size() ? beyond[k] : 0;
        }
    }
};

// What the map draws of a result, formed on the job's thread with the weights (formMapData,
// pipeline/MapClasses.h): the colour class of every cell on the linear scale, why those
// classes cannot be drawn (a class off the scale), and the most probable cell ((mpMin,
// mmMin) while no cell has a weight). The window only draws it.
struct MapData {
    Grid<std::int32_t> colourClasses;
    std::optional<std::string> colourError;
    std::pair<std::int32_t, std::int32_t> mostProbable{0, 0};
};

// Neutral-block table sigma(p) for p = 0 .. mpMax + mmMax; shared so no reader outlives it.
using SigmaTable = std::shared_ptr<const std::vector<double>>;

class ResultRecord {
public:
    // What the run was asked to do (null for the empty start-up record and records made by
    // hand); the fields below that repeat its values are the ones the readers of a result use.
    RunRequestPointer request;
    double plen = 0.0, mlen = 0.0;
    bool run = false;
    double kip = 0.0, kim = 0.0, ka = 0.0, zp = 0.0, zn = 0.0;
    // The free chains c+ and c- of the distribution (file keys vc10 and vc01): in free mode
    // those asked for, in total mode those the mass balance found (while the rows come, the
    // concentrations the map is weighed at: RunRequest::weighing).
    double freePlus = 0.0, freeMinus = 0.0;
    std::int32_t Np = 0, Nm = 0, mpMin = 0, mpMax = 0;
    std::int32_t mmMin = 0, mmMax = 0;
    double ffc_minus = 0.0, ffc_positive = 0.0;
    SigmaTable sigma;
    // The solution and core state of the run's complexes (Bjerrum length, water fraction;
    // its ka is the record's ka): with the charged blocks, what SphericalComplex::of needs to
    // rebuild any complex.
    ComplexConditions conditions;
    ChainBlocks blocks() const { return ChainBlocks{zp, zn, plen, mlen}; }
    SphericalComplex complexAt(std::int32_t mp, std::int32_t mm) const {
        ComplexConditions c = conditions;
        c.ka = ka;
        return SphericalComplex::of(mp, mm, blocks(), c);
    }
    Grid<double> Value;         // normalised distribution
    Grid<double> absValue;      // unnormalised weights (concentrations)
    double maxValue = 0.0;      // largest weight as the normalisation last formed it
    double minValue = 0.0;
    // Sum of absValue as the normalisation last formed it. While a Poisson-Boltzmann run is
    // under way only absValue, sum and maxValue are kept current (normalised is false);
    // Value is normalised when the run ends. share() gives the current numbers in either
    // state.
    double sum = 0.0;
    bool normalised = true;
    std::int32_t index = 0;     // last finished row M+ of a Poisson-Boltzmann run
    bool debyeHueckel = false;
    // With debyeHueckel: the free energies of linear Debye-Hueckel theory in closed form instead
    // of the linearised potential in the nonlinear functional.
    bool linearDH = false;
    double max_shift = 1.0;     // common log-scale offset of the weights
    // Evaluated cells whose complex free energy was not a finite number; they were given
    // weight 0 (an electrostatically impossible complex).
    std::int64_t nonFiniteCells = 0;
    // Newton solves of this run's complexes that stopped at the step limit.
    std::int64_t unstableSolves = 0;
    // Debye-Hueckel cells outside the validity of the linearisation: reduced surface
    // potential beyond complex::kDebyeHueckelPotentialBound, or no finite free energy.
    std::int64_t beyondDebyeHueckel = 0;
    // A weight that no common shift brings into the range of a double (an infinite
    // log-weight); the run has no distribution.
    bool unrepresentable = false;
    // Free energies converged in the grid instead of the standard discretisation; then the
    // largest estimated remaining error of any free energy of the run and the largest
    // difference between a converged and the standard free energy (kT).
    bool converged = false;
    double errorEstimate = 0.0;
    double standardDifference = 0.0;
    // Converged free energies whose refinement reached its finest grid before meeting its
    // target (their estimates are part of errorEstimate).
    std::int64_t convergenceTargetMissed = 0;
    double missedTargetEstimate = 0.0;  // the largest estimate among those (kT)
    // Converged runs also form the standard answer from the standard free energies they
    // compute beside the converged ones: the single-chain energies of a standard run with
    // the same chain choice, and the most probable cell (M+, M-) of the distribution the
    // standard free energies give (none while the run goes on, or for a stopped run).
    double standardFfcPlus = 0.0, standardFfcMinus = 0.0;
    std::optional<std::pair<std::int32_t, std::int32_t>> standardMostProbable;
    // F and E of every evaluated cell, when the run keeps them (see CellEnergies).
    CellEnergies energies;
    // How the concentrations were set: free chains given, or total chains (C+ and C- given;
    // freePlus and freeMinus are then the free chains the mass balance found).
    bool totalMode = false;
    // C+ and C- (sum M+ c and sum M- c, lone chains included): given in total mode, what the
    // free chains imply otherwise; infinite beyond a double.
    double totalPlus = 0.0, totalMinus = 0.0;
    // max |sum M c - C| / C of both kinds over the distribution (0 in free mode), and the
    // steps the mass balance took.
    double massBalanceResidual = 0.0;
    int massBalanceSteps = 0;
    // Total mode: the total C+ + C- at the run's charge fraction where the larger bound
    // fraction is 1/2 (NaN in free mode or when not crossed between 1e-20 and 1: then
    // criticalBelow or criticalAbove says on which side it lies).
    double criticalConcentration = 0.0 / 0.0;
    bool criticalBelow = false, criticalAbove = false;
    // A finished run: the slope of the free energy of forming a complex per chain along the
    // cells nearest charge neutrality, over their last four (kT per chain per chain; NaN when
    // fewer were evaluated), and whether it points to a coacervate (see pipeline/Coacervate.h).
    double edgeFreeEnergySlope = NAN;
    bool coacervateLikely = false;
    // The map of the weights as they are (every published state of a run has its own).
    MapData map;

    // The empty start-up record: no matrices, run false, max_shift 1.0.
    ResultRecord() = default;

    ResultRecord(double plen_, double mlen_, double kip_, double kim_, double ka_, double freeMinus_, double freePlus_,
                 double zp_, double zn_, std::int32_t Np_, std::int32_t Nm_, std::int32_t mpMin_, std::int32_t mpMax_,
                 std::int32_t mmMin_, std::int32_t mmMax_, double ffc_minus_, double ffc_positive_, Grid<double> Value_,
                 Grid<double> absValue_, SigmaTable sigma_, bool debyeHueckel_, double maxshift)
        : plen(plen_),
          mlen(mlen_),
          kip(kip_),
          kim(kim_),
          ka(ka_),
          zp(zp_),
          zn(zn_),
          freePlus(freePlus_),
          freeMinus(freeMinus_),
          Np(Np_),
          Nm(Nm_),
          mpMin(mpMin_),
          mpMax(mpMax_),
          mmMin(mmMin_),
          mmMax(mmMax_),
          ffc_minus(ffc_minus_),
          ffc_positive(ffc_positive_),
          sigma(std::move(sigma_)),
          Value(std::move(Value_)),
          absValue(std::move(absValue_)),
          debyeHueckel(debyeHueckel_),
          max_shift(maxshift) {}

    bool hasResults() const { return !absValue.empty(); }

    // Share of the distribution held by cell (r, c): its weight over the sum of all weights.
    double share(std::int32_t r, std::int32_t c) const { return sum > 0.0 ? absValue(r, c) / sum : 0.0; }
};

}  // namespace marlinq
