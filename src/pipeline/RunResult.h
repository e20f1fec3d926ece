#pragma once
// The result of a run, shared (std::shared_ptr) between the window, the job and the stages;
// it checks nothing itself. It holds what the run was asked to do (its RunRequest) and what
// the run found: the chain energies, the landscape, the distribution, the concentrations and
// the counts behind the run's diagnostics. No input is copied into it.

#include "kernel/Grid.h"
#include "physics/SphericalComplex.h"
#include "pipeline/RunRequest.h"

#include <cmath>
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

// The free energies of a lone '+' and a lone '-' chain, kT.
struct ChainEnergies {
    double plus = 0.0, minus = 0.0;
};

// The concentrations of a result, mol/L of chains.
struct ResultConcentrations {
    // The free chains c+ and c- of the distribution (file keys vc10 and vc01): in free mode
    // those asked for, in total mode those the mass balance found (while the rows come, the
    // concentrations the map is weighed at: RunRequest::weighing).
    double freePlus = 0.0, freeMinus = 0.0;
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
};

// What the run's free energies were worth: the counts and estimates behind its diagnostics.
struct LandscapeQuality {
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
    // Converged runs: the largest estimated remaining error of any free energy of the run
    // and the largest difference between a converged and the standard free energy (kT).
    double errorEstimate = 0.0;
    double standardDifference = 0.0;
    // Converged free energies whose refinement reached its finest grid before meeting its
    // target (their estimates are part of errorEstimate).
    std::int64_t convergenceTargetMissed = 0;
    double missedTargetEstimate = 0.0;  // the largest estimate among those (kT)
};

// Converged runs also form the standard answer from the standard free energies they compute
// beside the converged ones: the single-chain energies of a standard run with the same chain
// choice, and the most probable cell (M+, M-) of the distribution the standard free energies
// give (none while the run goes on, or for a stopped run).
struct StandardAnswer {
    ChainEnergies chains;
    std::optional<std::pair<std::int32_t, std::int32_t>> mostProbable;
};

// A finished run: the slope of the free energy of forming a complex per chain along the cells
// nearest charge neutrality, over their last four (kT per chain per chain; NaN when fewer were
// evaluated), and whether it points to a coacervate (see pipeline/Coacervate.h).
struct NeutralEdge {
    double slope = NAN;
    bool coacervateLikely = false;
};

// Neutral-block table sigma(p) for p = 0 .. mpMax + mmMax; shared so no reader outlives it.
using SigmaTable = std::shared_ptr<const std::vector<double>>;

class RunResult {
public:
    // The empty start-up result: no request, no matrices, max_shift 1.0.
    RunResult() = default;
    // The result of a run asked for by `request`, whose model evaluates `selection`.
    RunResult(RunRequestPointer request, CellSelection selection)
        : request_(std::move(request)), selection_(selection) {}

    // What the run was asked to do (for the empty start-up result: no chains, ranges 0..0).
    const RunRequest& request() const { return request_ ? *request_ : emptyRequest(); }
    const RunRequestPointer& requestPointer() const { return request_; }
    const Parameters& params() const { return request().params; }
    // The same landscape weighed again at other concentrations is the answer to another
    // request (pipeline's resettle).
    void answer(RunRequestPointer request) { request_ = std::move(request); }

    // Whether a run made this result (the start-up result has none).
    bool fromRun() const { return request_ != nullptr; }
    // The run's model evaluated every cell at once (Debye-Hueckel), or the landscape row by
    // row (Poisson-Boltzmann: rows beyond `index` are not yet computed while it runs).
    CellSelection selection() const { return selection_; }
    bool byRows() const { return selection_ == CellSelection::NeutralBandByRows; }
    bool totalMode() const { return request().totals.has_value(); }
    bool converged() const { return request().converged(); }

    ChainBlocks blocks() const {
        const RunRequest& q = request();
        return ChainBlocks{q.params.zp, q.params.zn, q.plusLength, q.minusLength};
    }
    SphericalComplex complexAt(std::int32_t mp, std::int32_t mm) const {
        return SphericalComplex::of(mp, mm, blocks(), complexConditionsOf(params()));
    }

    // The free energies of a lone '+' and '-' chain (kT).
    ChainEnergies chains;
    SigmaTable sigma;
    // The distribution: the weights of every cell as concentrations (absValue) and
    // normalised to the largest (Value).
    Grid<double> Value;     // normalised distribution
    Grid<double> absValue;  // unnormalised weights (concentrations)
    double maxValue = 0.0;  // largest weight as the normalisation last formed it
    double minValue = 0.0;
    // Sum of absValue as the normalisation last formed it. While a Poisson-Boltzmann run is
    // under way only absValue, sum and maxValue are kept current (normalised is false);
    // Value is normalised when the run ends. share() gives the current numbers in either
    // state.
    double sum = 0.0;
    bool normalised = true;
    std::int32_t index = 0;  // last finished row M+ of a Poisson-Boltzmann run
    double max_shift = 1.0;  // common log-scale offset of the weights
    ResultConcentrations concentrations;
    LandscapeQuality quality;
    StandardAnswer standard;
    // F and E of every evaluated cell, when the run keeps them (see CellEnergies).
    CellEnergies energies;
    NeutralEdge neutralEdge;
    // The map of the weights as they are (every published state of a run has its own).
    MapData map;

    bool hasResults() const { return !absValue.empty(); }

    // Share of the distribution held by cell (r, c): its weight over the sum of all weights.
    double share(std::int32_t r, std::int32_t c) const { return sum > 0.0 ? absValue(r, c) / sum : 0.0; }

private:
    static const RunRequest& emptyRequest() {
        static const RunRequest empty = [] {
            RunRequest q;
            q.plusLength = q.minusLength = 0.0;
            return q;
        }();
        return empty;
    }

    RunRequestPointer request_;
    CellSelection selection_ = CellSelection::EveryCell;
};

}  // namespace marlinq
