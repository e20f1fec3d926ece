// One whole calculation, from the single chains to the finished distribution, as short
// stages: chains, landscape, concentrations, the comparison with the standard answer and
// the closing judgements. Each stage says what it found as typed diagnostics
// (pipeline/RunDiagnostics.h), tagged with the stage.

#include "pipeline/CalculationJob.h"

#include "kernel/Fatal.h"
#include "io/NumberText.h"
#include "physics/NeutralBlock.h"
#include "pipeline/Distribution.h"
#include "pipeline/MapClasses.h"
#include "pipeline/Observables.h"
#include "pipeline/ParameterSchema.h"
#include "pipeline/CalculationStages.h"
#include "pipeline/Coacervate.h"

#include <cmath>
#include <optional>
#include <vector>

namespace marlinq {

namespace {

constexpr const char* kUnrepresentable =
    "A weight lies beyond the range of a double even after a common shift (a free energy is out of range); "
    "no distribution was calculated.";

// The events are optional (a quiet batch run has none). Every line carries the stage the
// reporter is in.
class Reporter {
public:
    explicit Reporter(const JobEvents& events) : events_(events) {}
    void enter(JobStage stage) const { stage_ = stage; }
    void say(RunNote n) const {
        if (!events_.message) return;
        const Severity severity = severityOf(n);
        std::string line = noteText(n);
        events_.message(JobMessage{severity, std::move(line), false, std::nullopt, stage_, std::move(n)});
    }
    void say(NoteKind kind) const {
        RunNote n;
        n.kind = kind;
        say(std::move(n));
    }
    void error(const std::string& s) const { message(Severity::Error, s); }
    void warning(RunWarning w, Severity severity = Severity::Warning) const {
        if (!events_.message) return;
        std::string line = warningText(w);
        events_.message(JobMessage{severity, std::move(line), false, std::move(w), stage_, std::nullopt});
    }
    void diagnostic(const std::string& s) const {
        if (events_.message) events_.message(JobMessage{Severity::Info, s, true, std::nullopt, stage_, std::nullopt});
    }
    void progress(std::int64_t done, std::int64_t total) const {
        if (events_.progress) events_.progress(done, total);
    }
    // A snapshot shares the matrices' blocks with the working record: it costs the
    // blocks the next rows change, not a copy of the map. Its map is formed here, on the
    // job's thread.
    void publish(const RunResult& record) const {
        if (!events_.snapshot) return;
        auto snapshot = std::make_shared<RunResult>(record);
        formMapData(*snapshot);
        events_.snapshot(std::move(snapshot));
    }

private:
    void message(Severity severity, const std::string& s) const {
        if (events_.message) events_.message(JobMessage{severity, s, false, std::nullopt, stage_, std::nullopt});
    }
    const JobEvents& events_;
    mutable JobStage stage_ = JobStage::Setup;
};

JobOutcome fail(const Reporter& report, const std::string& reason) {
    report.error(reason);
    return JobOutcome::Failed;
}

}  // namespace

std::optional<RunWarning> rangeEdgeWarning(const RunResult& resultRecord) {
    const Parameters& p = resultRecord.params();
    // Among the complexes: lone chains sit on the edge M+ = 0 or M- = 0 by nature.
    const auto best = mostProbableCell(resultRecord, CellRange::Complexes);
    if (!best) return std::nullopt;
    const auto [mp, mm] = *best;
    // An edge that can move: a maximum below the largest allowed, a minimum above 1.
    const bool onMp = (mp == p.mpMax && p.mpMax < kMaxAggregation) || (mp == p.mpMin && p.mpMin > 1);
    const bool onMm = (mm == p.mmMax && p.mmMax < kMaxAggregation) || (mm == p.mmMin && p.mmMin > 1);
    if (!onMp && !onMm) return std::nullopt;
    RunWarning w;
    w.kind = WarningKind::RangeEdge;
    w.scope = DiagnosticScope::Cell;
    w.edge = onMp && onMm ? MapEdge::BothRanges : (onMp ? MapEdge::PlusRange : MapEdge::MinusRange);
    w.mp = mp;
    w.mm = mm;
    return w;
}

namespace {

// ---------------------------------------------------------------------------------------
// The concentrations stage.

// The chains of each kind in the cells on an edge that hides larger complexes: a maximum of
// a range that could be enlarged, and the cells the run evaluated next to ones it did not
// (a Poisson-Boltzmann run leaves cells of hopeless weight out). The totals count no
// complex beyond those edges.
struct EdgeChains {
    double rowPlus = 0.0, rowMinus = 0.0;        // M+ = mpMax
    double columnPlus = 0.0, columnMinus = 0.0;  // M- = mmMax
    double innerPlus = 0.0, innerMinus = 0.0;    // evaluated cells next to unevaluated ones
};

EdgeChains edgeChains(const RunResult& resultRecord) {
    const Parameters& p = resultRecord.params();
    EdgeChains e;
    const Grid<double>& a = resultRecord.absValue;
    const CellEnergies& cells = resultRecord.energies;
    const double factor = weightShiftFactor(resultRecord.max_shift);  // a concentration is absValue / factor
    const bool rowEdge = p.mpMax < kMaxAggregation, columnEdge = p.mmMax < kMaxAggregation;
    for (std::int32_t r = 0; r < a.rows(); ++r) {
        const std::int32_t mp = p.mpMin + r;
        for (std::int32_t c = 0; c < a.cols(); ++c) {
            const std::int32_t mm = p.mmMin + c;
            if (mp == 0 || mm == 0) continue;  // lone chains have no larger complexes to miss
            const double conc = a(r, c) / factor;
            if (!(conc > 0.0)) continue;
            if (rowEdge && mp == p.mpMax) e.rowPlus += mp * conc, e.rowMinus += mm * conc;
            if (columnEdge && mm == p.mmMax) e.columnPlus += mp * conc, e.columnMinus += mm * conc;
            if (!cells.empty() && cells.evaluated(r, c)) {
                const bool openAbove = r + 1 < a.rows() && !cells.evaluated(r + 1, c);
                const bool openRight = c + 1 < a.cols() && !cells.evaluated(r, c + 1);
                if (openAbove || openRight) e.innerPlus += mp * conc, e.innerMinus += mm * conc;
            }
        }
    }
    return e;
}

// The doubts of the totals: an edge whose complexes hold more than kTotalsEdgeShare of
// either total.
void reportEdges(const RunResult& resultRecord, const Reporter& report) {
    const EdgeChains e = edgeChains(resultRecord);
    const auto say = [&](MapEdge edge, double plus, double minus) {
        RunWarning w;
        w.kind = WarningKind::TotalsEdge;
        w.scope = edge == MapEdge::EvaluatedCells ? DiagnosticScope::Cell : DiagnosticScope::Row;
        w.edge = edge;
        w.mp = resultRecord.params().mpMax;
        w.mm = resultRecord.params().mmMax;
        w.plus = plus / resultRecord.concentrations.totalPlus;
        w.minus = minus / resultRecord.concentrations.totalMinus;
        w.residual = std::max(w.plus, w.minus);
        if (w.residual > kTotalsEdgeShare) report.warning(std::move(w));
    };
    say(MapEdge::PlusRange, e.rowPlus, e.rowMinus);
    say(MapEdge::MinusRange, e.columnPlus, e.columnMinus);
    say(MapEdge::EvaluatedCells, e.innerPlus, e.innerMinus);
}

// Free mode: the totals the free chains imply. reform: form the distribution again at the
// record's vc10, vc01 (the record then holds another run's distribution).
void settleFree(RunResult& resultRecord, const Landscape& landscape, int threads, bool reform, const Reporter& report) {
    ResultConcentrations& conc = resultRecord.concentrations;
    if (reform) storeWeights(distributionOf(landscape, conc.freePlus, conc.freeMinus, threads), resultRecord);
    const MassBalanceTotals implied = chainTotals(resultRecord);
    conc.totalPlus = implied.plus;
    conc.totalMinus = implied.minus;
    if (impliedTotalsMessage(implied, conc.freePlus, conc.freeMinus)) {
        RunWarning w;
        w.kind = WarningKind::ImpliedTotals;
        w.plus = implied.plus - conc.freePlus;
        w.minus = implied.minus - conc.freeMinus;
        report.warning(std::move(w));
    }
    conc.massBalanceResidual = 0.0;
    conc.massBalanceSteps = 0;
    conc.criticalConcentration = NAN;
    conc.criticalBelow = conc.criticalAbove = false;
}

// Total mode: the free chains that meet the totals, and the distribution at them.
void settleTotals(RunResult& resultRecord, const Landscape& landscape, const MassBalance& balance,
                  const MassBalanceTotals& totals, int threads, const Reporter& report) {
    ResultConcentrations& conc = resultRecord.concentrations;
    const MassBalanceSolution solved = balance.solve(totals.plus, totals.minus);
    storeWeights(distributionOf(landscape, solved.freePlus, solved.freeMinus, threads), resultRecord);
    conc.freePlus = solved.freePlus;
    conc.freeMinus = solved.freeMinus;
    conc.totalPlus = totals.plus;
    conc.totalMinus = totals.minus;
    conc.massBalanceSteps = solved.newtonSteps;
    const MassBalanceTotals met = chainTotals(resultRecord);
    conc.massBalanceResidual = std::max(std::abs(met.plus - conc.totalPlus) / conc.totalPlus,
                                        std::abs(met.minus - conc.totalMinus) / conc.totalMinus);
    RunNote found;
    found.kind = NoteKind::FreeChainsFound;
    found.plus = solved.freePlus;
    found.minus = solved.freeMinus;
    found.steps = solved.newtonSteps;
    report.say(std::move(found));
    if (!solved.freeChainsDetermined()) {
        RunWarning w;
        w.kind = WarningKind::FreeChainsUndetermined;
        w.mp = solved.productPlus;
        w.mm = solved.productMinus;
        w.lnProduct = solved.lnProduct;
        report.warning(std::move(w));
    }
    if (!(conc.massBalanceResidual <= kMassBalanceTolerance)) report.warning(residualWarning(conc.massBalanceResidual));
}

// Total mode: the critical concentration at the run's charge fraction, from the cache when
// another point of the landscape found it. A stopped run has none: its landscape is partial,
// and the search (dozens of solves) would only delay the stop.
void settleCritical(RunResult& resultRecord, const MassBalance& balance, const Reporter& report,
                    CriticalConcentrationCache* cache, std::stop_token stop) {
    ResultConcentrations& conc = resultRecord.concentrations;
    const Parameters& p = resultRecord.params();
    const double fraction = chargeFraction(p.zp, p.zn, conc.totalPlus, conc.totalMinus);
    CriticalConcentration critical;
    if (stop.stop_requested()) {
    } else if (cache != nullptr) {
        const auto key = static_cast<long long>(std::llround(fraction * 1e12));
        std::lock_guard lock(cache->mutex);
        const auto known = cache->byFraction.find(key);
        critical = known != cache->byFraction.end()
                       ? known->second
                       : (cache->byFraction[key] = criticalConcentration(balance, fraction, p.zp, p.zn));
    } else {
        critical = criticalConcentration(balance, fraction, p.zp, p.zn, stop);
    }
    conc.criticalConcentration = critical.total.value_or(NAN);
    conc.criticalBelow = critical.below;
    conc.criticalAbove = critical.above;
    if (critical.below) report.warning(criticalWarning(true));
    if (critical.above) report.warning(criticalWarning(false));
}

// The concentrations of a record whose landscape is finished: in total mode the free
// chains that meet the totals and the distribution at them, with the critical
// concentration; in free mode the totals the free chains imply.
void settle(RunResult& resultRecord, const std::optional<MassBalanceTotals>& totals, bool keepEnergies, int threads,
            bool reform, const Reporter& report, CriticalConcentrationCache* cache = nullptr,
            std::stop_token stop = {}) {
    report.enter(JobStage::Concentrations);
    const Landscape landscape = landscapeOf(resultRecord);
    if (!totals) {
        settleFree(resultRecord, landscape, threads, reform, report);
    } else {
        const MassBalance balance(landscape);
        settleTotals(resultRecord, landscape, balance, *totals, threads, report);
        settleCritical(resultRecord, balance, report, cache, stop);
        reportEdges(resultRecord, report);
    }
    if (!keepEnergies) resultRecord.energies = CellEnergies();
}

// ---------------------------------------------------------------------------------------
// The job: one run's state, and its stages in the order they run.

class Job {
public:
    Job(const JobInput& input, std::stop_token token, const Reporter& report, JobCounts& counts)
        : input_(input), token_(std::move(token)), report_(report), counts_(counts) {}

    JobOutcome run() {
        if (token_.stop_requested()) {
            report_.say(NoteKind::Cancelled);
            return JobOutcome::Cancelled;
        }
        if (!input_.request) return fail(report_, "No chain parameters were given; no distribution was calculated.");
        if (std::optional<JobOutcome> end = setup()) return *end;
        if (std::optional<JobOutcome> end = chainStage()) return *end;
        const Parameters& p = request().params;
        if (request().totals && (p.mpMin != 0 || p.mmMin != 0 || p.mpMax < 1 || p.mmMax < 1))
            return fail(report_,
                        "Total concentrations need the lone chains (1, 0) and (0, 1) in the ranges: set mpMin "
                        "and mmMin to 0");
        startResult();
        if (std::optional<JobOutcome> end = dh_ ? wholeStage() : rowsStage()) return *end;
        report_.say(NoteKind::AllFinished);
        return JobOutcome::Finished;
    }

private:
    const RunRequest& request() const { return *input_.request; }
    std::optional<JobOutcome> setup();
    std::optional<JobOutcome> chainStage();
    void startResult();
    std::optional<JobOutcome> rowsStage();
    std::optional<JobOutcome> wholeStage();
    void takeCells(const StageCells& stage);
    void reportUnstable();
    void settleConcentrations() {
        settle(result_, request().totals, input_.keepEnergies, input_.threads, false, report_, nullptr, token_);
    }
    void compareWithStandard();
    void judgeEdge();
    void closingLines();
    void tieLines();
    void edgeLines();
    JobOutcome stopped(RunWarning partial);

    const JobInput& input_;
    std::stop_token token_;
    const Reporter& report_;
    JobCounts& counts_;

    ComplexModelPointer model_;
    std::optional<CalculationStages> calculation_;
    bool dh_ = false;           // the model evaluates every cell at once
    bool readsTables_ = false;  // the chains' energies come from the tables
    ChainStageReport chains_;
    double standardPlus_ = 0.0, standardMinus_ = 0.0;  // the standard answer's chain energies

    // The working record is this thread's alone; the front end sees snapshots of it.
    RunResult result_;
    std::optional<DistributionBuilder> weights_;
    LandscapeInputs stageInputs_;    // what the complex stages read, fixed once the result starts
    CellEnergies standardEnergies_;  // converged runs: the landscape of the standard answer
    std::optional<NeutralLine> neutralLine_;
    std::optional<NeutralLine::EdgeSlope> neutralEdge_;
    std::int64_t unstableReported_ = 0;
};

// The run's parameters, ranges and models, and whether it can run at all.
std::optional<JobOutcome> Job::setup() {
    const Parameters& p = request().params;
    const std::int64_t rows = std::int64_t{p.mpMax} - p.mpMin + 1;
    const std::int64_t columns = std::int64_t{p.mmMax} - p.mmMin + 1;
    if (p.mpMin < 0 || p.mmMin < 0 || rows < 1 || columns < 1)
        return fail(report_, "Ranges of aggregation numbers are invalid; no distribution was calculated.");
    if (p.mpMax > kMaxAggregation || p.mmMax > kMaxAggregation || rows * columns > kMaxCells)
        return fail(report_, "Ranges of aggregation numbers are too large (at most 4000000 complexes)");
    counts_.rows = static_cast<std::int32_t>(rows);

    model_ = makeComplexModel(request().method, request().accuracy, p);
    dh_ = model_->selection() == CellSelection::EveryCell;
    calculation_.emplace(model_, input_.threads);
    calculation_->stop = token_;
    readsTables_ = request().readsTables();
    if (request().converged() && request().chains == Chains::Tables) {
        // Converged energies need solved chains; the tables hold the standard ones.
        RunWarning note;
        note.kind = WarningKind::ConvergedChains;
        report_.warning(std::move(note), Severity::Info);
    }
    if (readsTables_ && !input_.tables)
        return fail(report_,
                    input_.tablesError.empty()
                        ? std::string("The single-chain tables were not loaded; no distribution was calculated.")
                        : input_.tablesError);
    // A model beyond the program's first one is named in the log.
    if (model_->termCount() > 0 || p.bjerrum != 1.0 || p.waterFraction != 0.0) {
        RunNote named;
        named.kind = NoteKind::ModelNamed;
        named.model = model_->description();
        named.bjerrum = p.bjerrum;
        named.waterFraction = p.waterFraction;
        report_.say(std::move(named));
    }
    return std::nullopt;
}

// The free energies of the lone chains, and those of the standard answer beside them.
std::optional<JobOutcome> Job::chainStage() {
    report_.enter(JobStage::Chains);
    const RunRequest& q = request();
    const SingleChain plusChain{q.params.kip, q.plusLength, q.params.Np, false};
    const SingleChain minusChain{-q.params.kim, q.minusLength, q.params.Nm, true};
    const ChainConditions conditions = chainConditionsOf(q.params);
    const ChainModelPointer chainModel =
        makeChainModel(readsTables_ ? Chains::Tables : Chains::Solved, q.accuracy, input_.tables);
    const bool done = calculation_->chainEnergies(*chainModel, plusChain, minusChain, conditions, chains_);
    for (const std::string& line : chains_.diagnostics) report_.diagnostic(line);
    counts_.failedChains = chains_.failedChains;
    if (chains_.stopped) {
        report_.say(NoteKind::Cancelled);
        return JobOutcome::Cancelled;
    }
    if (!done)
        return fail(report_, chains_.failure.empty() ? "The single-chain free energies could not be computed."
                                                     : chains_.failure);
    report_.say(NoteKind::ChainsFinished);
    // A converged run forms the standard answer beside its own: the standard chain energies
    // of the chain choice the run was asked for (the tables when they were asked for and are
    // loaded, else the standard solves the chain stage made beside the converged ones).
    standardPlus_ = chains_.standardPlus;
    standardMinus_ = chains_.standardMinus;
    if (q.converged() && q.chains == Chains::Tables && input_.tables) {
        ChainStageReport tableReport;
        if (calculation_->chainEnergies(*tableChainModel(input_.tables), plusChain, minusChain, conditions,
                                        tableReport)) {
            standardPlus_ = tableReport.fPlus;
            standardMinus_ = tableReport.fMinus;
        }
    }
    return std::nullopt;
}

// The result before any complex: ranges, chain energies, the lone chains' weights.
void Job::startResult() {
    report_.enter(JobStage::Landscape);
    const RunRequest& q = request();
    const Parameters& p = q.params;
    // The map is weighed at these concentrations until the concentrations stage settles them.
    const MassBalanceTotals weighing = q.weighing();
    auto sigma = std::make_shared<std::vector<double>>(static_cast<std::size_t>(p.mpMax) + p.mmMax + 1);
    for (std::int32_t k = 0; k <= p.mpMax + p.mmMax; ++k) (*sigma)[static_cast<std::size_t>(k)] = neutral::sigma(k);
    result_ = RunResult(input_.request, model_->selection());
    result_.chains.plus = chains_.fPlus;
    result_.chains.minus = chains_.fMinus;
    result_.sigma = SigmaTable(std::move(sigma));
    result_.max_shift = 0.0;
    result_.concentrations.freePlus = weighing.plus;
    result_.concentrations.freeMinus = weighing.minus;
    weights_.emplace(p.mpMin, p.mpMax, p.mmMin, p.mmMax, weighing.plus, weighing.minus, input_.threads);
    weights_->store(result_);
    result_.quality.errorEstimate = chains_.errorEstimate;
    result_.quality.standardDifference = chains_.standardDifference;
    result_.quality.convergenceTargetMissed = chains_.targetMissed;
    result_.quality.missedTargetEstimate = chains_.missedTargetEstimate;
    result_.standard.chains.plus = standardPlus_;
    result_.standard.chains.minus = standardMinus_;
    stageInputs_ = landscapeInputsOf(result_);
    const std::int32_t rows = result_.absValue.rows(), cols = result_.absValue.cols();
    if (result_.converged()) standardEnergies_ = CellEnergies(rows, cols);
    // Total mode solves the mass balance on the landscape: it keeps the energies.
    if (input_.keepEnergies || q.totals) result_.energies = CellEnergies(rows, cols);
    report_.publish(result_);
    weights_->enterFreeChains();
    weights_->store(result_);
    neutralLine_.emplace(p.zp, p.zn);
}

// The cells a stage evaluated join the landscape (when kept) and the run's notes.
void Job::takeCells(const StageCells& stage) {
    neutralLine_->take(stage.cells);
    if (!result_.energies.empty())
        result_.energies.keep(stage.cells, result_.params().mpMin, result_.params().mmMin, stage.beyond);
    if (!standardEnergies_.empty())
        standardEnergies_.keep(stage.standardCells, result_.params().mpMin, result_.params().mmMin);
    result_.quality.unstableSolves += stage.unstable;
    result_.quality.beyondDebyeHueckel += stage.beyondValidity;
    result_.quality.errorEstimate = std::max(result_.quality.errorEstimate, stage.errorEstimate);
    result_.quality.standardDifference = std::max(result_.quality.standardDifference, stage.standardDifference);
    result_.quality.convergenceTargetMissed += stage.targetMissed;
    result_.quality.missedTargetEstimate = std::max(result_.quality.missedTargetEstimate, stage.missedTargetEstimate);
}

void Job::reportUnstable() {
    for (; unstableReported_ < result_.quality.unstableSolves; ++unstableReported_)
        report_.diagnostic(kUnstableSolution);
}

// Poisson-Boltzmann: the landscape row by row, each row published as it comes.
std::optional<JobOutcome> Job::rowsStage() {
    // Normalises the rows computed so far.
    const auto finishRows = [&] {
        weights_->finishRows();
        weights_->store(result_);
    };
    const Parameters& p = request().params;
    for (std::int32_t mp = p.mpMin; mp <= p.mpMax; ++mp) {
        if (token_.stop_requested()) {
            finishRows();
            settleConcentrations();
            report_.publish(result_);
            return stopped(partialRowsWarning(counts_.rowsDone, counts_.rows));
        }
        const StageCells row = calculation_->sphereRow(stageInputs_, mp);
        takeCells(row);
        weights_->addRow(mp, row.cells);
        weights_->store(result_);
        reportUnstable();
        if (result_.quality.unrepresentable) return fail(report_, kUnrepresentable);
        result_.index = mp;
        counts_.rowsDone = mp - p.mpMin + 1;
        RunNote finished;
        finished.kind = NoteKind::RowFinished;
        finished.scope = DiagnosticScope::Row;
        finished.mp = mp;
        report_.say(std::move(finished));
        report_.publish(result_);
        report_.progress(counts_.rowsDone, counts_.rows);
    }
    finishRows();
    settleConcentrations();
    compareWithStandard();
    judgeEdge();
    report_.publish(result_);
    closingLines();
    tieLines();
    edgeLines();
    return std::nullopt;
}

// Debye-Hueckel: every cell at once.
std::optional<JobOutcome> Job::wholeStage() {
    report_.say(NoteKind::EveryCellStarted);
    const StageCells all = calculation_->everyCell(stageInputs_);
    takeCells(all);
    weights_->addWhole(all.cells);
    weights_->store(result_);
    if (result_.quality.unrepresentable) return fail(report_, kUnrepresentable);
    settleConcentrations();
    if (all.stopped) {
        // The complexes evaluated before the stop form a partial distribution.
        counts_.complexesDone = static_cast<std::int64_t>(all.cells.size());
        counts_.complexes = all.listed;
        report_.publish(result_);
        return stopped(partialComplexesWarning(counts_.complexesDone, counts_.complexes));
    }
    compareWithStandard();
    judgeEdge();
    closingLines();
    tieLines();
    edgeLines();
    report_.say(NoteKind::EveryCellFinished);
    report_.publish(result_);
    report_.progress(counts_.rows, counts_.rows);
    return std::nullopt;
}

// A finished converged run: the most probable complex the standard free energies give, at
// the same concentrations (in total mode, the free chains that meet the same totals on the
// standard landscape), and a line in the log saying whether the accuracy changed it.
void Job::compareWithStandard() {
    const Parameters& ranges = result_.params();
    report_.enter(JobStage::Comparison);
    if (!result_.converged() || standardEnergies_.empty()) return;
    Landscape standard;
    standard.mpMin = ranges.mpMin;
    standard.mpMax = ranges.mpMax;
    standard.mmMin = ranges.mmMin;
    standard.mmMax = ranges.mmMax;
    standard.fPlus = standardPlus_;
    standard.fMinus = standardMinus_;
    standard.cells = std::move(standardEnergies_);
    standard.byRows = !dh_;
    double cPlus = request().params.vc10, cMinus = request().params.vc01;
    if (const std::optional<MassBalanceTotals>& totals = request().totals) {
        const MassBalanceSolution solved = MassBalance(standard).solve(totals->plus, totals->minus);
        cPlus = solved.freePlus;
        cMinus = solved.freeMinus;
    }
    const Distribution d = distributionOf(standard, cPlus, cMinus, input_.threads);
    if (d.unrepresentable) return;
    result_.standard.mostProbable = mostProbableCell(d.absValue, ranges.mpMin, ranges.mmMin);
    const std::optional<MapCell> converged = mostProbableCell(result_);
    if (!converged || !result_.standard.mostProbable) return;
    RunNote comparison;
    comparison.kind = NoteKind::StandardComparison;
    comparison.scope = DiagnosticScope::Cell;
    comparison.mp = converged->first;
    comparison.mm = converged->second;
    comparison.standardCell = result_.standard.mostProbable;
    report_.say(std::move(comparison));
}

// A finished run: complexes that would grow without end are said as a coacervate, not as a
// range to enlarge.
void Job::judgeEdge() {
    neutralEdge_ = neutralLine_->edgeSlope();
    if (!neutralEdge_) return;
    result_.neutralEdge.slope = neutralEdge_->slope;
    result_.neutralEdge.coacervateLikely = neutralEdge_->coacervateLikely;
}

// The counts of the run and its warnings on the cells.
void Job::closingLines() {
    report_.enter(JobStage::Closing);
    counts_.unstableSolves = result_.quality.unstableSolves;
    counts_.nonFiniteCells = result_.quality.nonFiniteCells;
    counts_.beyondDebyeHueckel = result_.quality.beyondDebyeHueckel;
    counts_.converged = result_.converged();
    counts_.errorEstimate = result_.quality.errorEstimate;
    counts_.standardDifference = result_.quality.standardDifference;
    counts_.targetMissed = result_.quality.convergenceTargetMissed;
    if (result_.converged())
        report_.warning(accuracyWarning(result_.quality.errorEstimate, result_.quality.standardDifference,
                                        result_.quality.convergenceTargetMissed, result_.quality.missedTargetEstimate));
    if (result_.quality.nonFiniteCells > 0) report_.warning(nonFiniteWarning(result_.quality.nonFiniteCells));
    if (result_.quality.unstableSolves > 0) report_.warning(unstableWarning(result_.quality.unstableSolves));
    if (result_.quality.beyondDebyeHueckel > 0)
        report_.warning(beyondDebyeHueckelWarning(result_.quality.beyondDebyeHueckel));
}

// A finished run: a tie for the most probable is said as a tie (the outputs name its first
// cell).
void Job::tieLines() {
    for (const CellRange among : {CellRange::WholeMap, CellRange::Complexes}) {
        const std::vector<MapCell> tied = mostProbableCells(result_, among);
        if (tied.size() < 2) continue;
        RunNote tie;
        tie.kind = NoteKind::Tie;
        tie.scope = DiagnosticScope::Cell;
        tie.cells = tied;
        tie.complexesOnly = among == CellRange::Complexes;
        report_.say(std::move(tie));
    }
}

// The coacervate, else the most probable complex on the edge of a range (a judgement of the
// concentrations: other concentrations may move it).
void Job::edgeLines() {
    if (neutralEdge_ && neutralEdge_->coacervateLikely) {
        RunWarning w;
        w.kind = WarningKind::Coacervate;
        w.scope = DiagnosticScope::Cell;
        w.mp = neutralEdge_->mp;
        w.mm = neutralEdge_->mm;
        w.residual = neutralEdge_->slope;
        report_.warning(std::move(w));
        return;
    }
    report_.enter(JobStage::Concentrations);
    if (std::optional<RunWarning> edge = rangeEdgeWarning(result_)) report_.warning(std::move(*edge));
    report_.enter(JobStage::Closing);
}

// A stopped run: its counts and warnings, then the partial result.
JobOutcome Job::stopped(RunWarning partial) {
    closingLines();
    report_.warning(std::move(partial));
    report_.say(NoteKind::Cancelled);
    return JobOutcome::Cancelled;
}

}  // namespace

JobOutcome runCalculation(const JobInput& input, std::stop_token token, const JobEvents& events,
                              JobCounts* countsOut) {
    const Reporter report(events);
    JobCounts scratch;
    JobCounts& counts = countsOut ? *countsOut : scratch;
    counts = JobCounts{};
    RunNote starting;
    starting.kind = NoteKind::Starting;
    starting.fromTables = input.request && input.request->chains == Chains::Tables;
    report.say(std::move(starting));
    JobOutcome outcome;
    try {
        outcome = Job(input, token, report, counts).run();
    } catch (const KernelError& e) {
        outcome = fail(report, numericFailureMessage(e.what()));
    }
    if (events.finished) events.finished(outcome, counts);
    return outcome;
}

std::shared_ptr<RunResult> resettle(const RunResult& landscapeRecord, double cPlus, double cMinus,
                                    const std::optional<MassBalanceTotals>& totals, bool keepEnergies, int threads,
                                    const JobEvents& events, CriticalConcentrationCache* cache) {
    const Reporter report(events);
    auto resultRecord = std::make_shared<RunResult>(landscapeRecord);
    resultRecord->answer(atConcentrations(landscapeRecord.request(), cPlus, cMinus, totals));
    resultRecord->concentrations.freePlus = cPlus;
    resultRecord->concentrations.freeMinus = cMinus;
    settle(*resultRecord, totals, keepEnergies, threads, true, report, cache);
    if (auto edge = rangeEdgeWarning(*resultRecord)) report.warning(std::move(*edge));
    formMapData(*resultRecord);
    return resultRecord;
}

}  // namespace marlinq
