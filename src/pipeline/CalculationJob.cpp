// One whole calculation, from the single chains to the finished distribution.

#include "pipeline/CalculationJob.h"

#include "kernel/Fatal.h"
#include "io/NumberText.h"
#include "physics/Complex.h"
#include "physics/NeutralBlock.h"
#include "pipeline/Distribution.h"
#include "pipeline/Observables.h"
#include "pipeline/ParameterSchema.h"
#include "pipeline/CalculationStages.h"
#include "pipeline/Coacervate.h"

#include <cmath>
#include <optional>
#include <vector>

namespace marlinq {

namespace {

constexpr const char* kCancelled = "Cancelled!";
constexpr const char* kChainsFinished = "Calculation of the energy of single chains with '+' and '-' charge is finished";
constexpr const char* kDhStarting = "Starting calculation of the potential by Debye Huckel approximation";
constexpr const char* kDhFinished = "Finished calculation of the potential by Debye Huckel approximation";
constexpr const char* kAllFinished = "Finished calculation of the spheres free energy";
constexpr const char* kConvergedChains =
    "Converged free energies: the single chains are solved, not interpolated from the tables";

// The events are optional (a quiet batch run has none).
class Reporter {
public:
    explicit Reporter(const JobEvents& events) : events_(events) {}
    void text(const std::string& s) const { message(Severity::Info, s); }
    void note(Severity severity, const std::string& s) const { message(severity, s); }
    void error(const std::string& s) const { message(Severity::Error, s); }
    void warning(RunWarning w, Severity severity = Severity::Warning) const {
        if (!events_.message) return;
        JobMessage m{severity, w.text, false, std::move(w)};
        events_.message(m);
    }
    void diagnostic(const std::string& s) const {
        if (events_.message) events_.message(JobMessage{Severity::Info, s, true, std::nullopt});
    }
    void progress(std::int64_t done, std::int64_t total) const {
        if (events_.progress) events_.progress(done, total);
    }
    // A snapshot shares the matrices' blocks with the working record: it costs the
    // blocks the next rows change, not a copy of the map.
    void publish(const ResultRecord& record) const {
        if (events_.snapshot) events_.snapshot(std::make_shared<const ResultRecord>(record));
    }

private:
    void message(Severity severity, const std::string& s) const {
        if (events_.message) events_.message(JobMessage{severity, s, false, std::nullopt});
    }
    const JobEvents& events_;
};

RunWarning nonFiniteWarning(std::int64_t count) {
    RunWarning w;
    w.kind = WarningKind::NonFiniteCells;
    w.count = count;
    w.text = count == 1 ? std::string("1 complex has no finite free energy and was given weight 0")
                        : std::to_string(count) + " complexes have no finite free energy and were given weight 0";
    return w;
}

RunWarning unstableWarning(std::int64_t count) {
    RunWarning w;
    w.kind = WarningKind::UnstableSolves;
    w.count = count;
    w.text = count == 1 ? std::string("1 Newton solve of a complex did not converge (unstable solution)")
                        : std::to_string(count) + " Newton solves of complexes did not converge (unstable solution)";
    return w;
}

RunWarning partialWarning(std::int64_t done, std::int64_t rows) {
    RunWarning w;
    w.kind = WarningKind::PartialResult;
    w.count = done;
    w.total = rows;
    w.text = "The result is partial: " + std::to_string(done) + " of " + std::to_string(rows) + " rows were computed.";
    return w;
}

// Six significant digits, a point whatever the locale.
// When refinements ended on their finest grid short of the target, the line says how many:
// the estimate is then the one reached, not the target's.
RunWarning accuracyWarning(double error, double difference, std::int64_t targetMissed, double missedEstimate) {
    RunWarning w;
    w.kind = WarningKind::Accuracy;
    w.errorEstimate = error;
    w.standardDifference = difference;
    w.count = targetMissed;
    w.text = "Converged free energies: largest estimated remaining error " + significantText(error, 6) +
             " kT; largest difference from the standard free energies " + significantText(difference, 6) + " kT";
    if (targetMissed > 0)
        w.text += "; " + std::to_string(targetMissed) + (targetMissed == 1 ? " free energy" : " free energies") +
                  " reached the finest grid without meeting the target (two extrapolations within 2e-5 of the value); "
                  "the largest estimated error reached there is " +
                  significantText(missedEstimate, 6) + " kT";
    return w;
}

// "Mass balance: free c+ = ..., c- = ... (N Newton steps)", six significant digits.
std::string massBalanceMessage(double cPlus, double cMinus, int steps) {
    return "Mass balance: free c+ = " + significantText(cPlus, 6) + ", c- = " + significantText(cMinus, 6) + " (" +
           std::to_string(steps) + (steps == 1 ? " Newton step)" : " Newton steps)");
}

RunWarning criticalWarning(bool below) {
    RunWarning w;
    w.kind = WarningKind::CriticalConcentration;
    w.text = below ? "The critical concentration lies below a total of 1e-20: more than half of the scarcer chains are in "
                     "complexes at every total"
                   : "The critical concentration lies above a total of 1: fewer than half of the scarcer chains are in "
                     "complexes at every total up to 1";
    return w;
}

RunWarning residualWarning(double residual) {
    RunWarning w;
    w.kind = WarningKind::MassBalanceResidual;
    w.residual = residual;
    w.text = massBalanceResidualMessage(residual);  // the summary's words and digits
    return w;
}

}  // namespace

std::optional<RunWarning> rangeEdgeWarning(const ResultRecord& resultRecord) {
    // Among the complexes: lone chains sit on the edge M+ = 0 or M- = 0 by nature.
    const auto best = mostProbableCell(resultRecord, CellRange::Complexes);
    if (!best) return std::nullopt;
    const auto [mp, mm] = *best;
    // An edge that can move: a maximum below the largest allowed, a minimum above 1.
    const bool onMp = (mp == resultRecord.mpMax && resultRecord.mpMax < kMaxAggregation) ||
                      (mp == resultRecord.mpMin && resultRecord.mpMin > 1);
    const bool onMm = (mm == resultRecord.mmMax && resultRecord.mmMax < kMaxAggregation) ||
                      (mm == resultRecord.mmMin && resultRecord.mmMin > 1);
    if (!onMp && !onMm) return std::nullopt;
    const std::string where = onMp && onMm ? "of the M+ and M- ranges; enlarge them" : (onMp ? "of the M+ range; enlarge it" : "of the M- range; enlarge it");
    RunWarning w;
    w.kind = WarningKind::RangeEdge;
    w.mp = mp;
    w.mm = mm;
    w.text = "the most probable complex (" + std::to_string(mp) + ", " + std::to_string(mm) + ") lies on the edge " + where;
    return w;
}

namespace {

constexpr const char* kUnrepresentable =
    "A weight lies beyond the range of a double even after a common shift (a free energy is out of range); "
    "no distribution was calculated.";

JobOutcome fail(const Reporter& report, const std::string& reason) {
    report.error(reason);
    return JobOutcome::Failed;
}

JobOutcome calculate(const JobInput& input, std::stop_token token, const Reporter& report, JobCounts& counts);

}  // namespace

JobOutcome GenerateFreeEnergy(const JobInput& input, std::stop_token token, const JobEvents& events,
                              JobCounts* countsOut) {
    const Reporter report(events);
    JobCounts scratch;
    JobCounts& counts = countsOut ? *countsOut : scratch;
    counts = JobCounts{};
    report.text(input.runRecord && input.runRecord->useTables ? kTablesStart : kSolveStart);
    JobOutcome outcome;
    try {
        outcome = calculate(input, token, report, counts);
    } catch (const KernelError& e) {
        outcome = fail(report, numericFailureMessage(e.what()));
    }
    if (events.finished) events.finished(outcome, counts);
    return outcome;
}

namespace {

// The chains of each kind in the cells on an edge that hides larger complexes: a maximum of
// a range that could be enlarged, and the cells the run evaluated next to ones it did not
// (a Poisson-Boltzmann run leaves cells of hopeless weight out). The totals count no
// complex beyond those edges.
struct EdgeChains {
    double rowPlus = 0.0, rowMinus = 0.0;        // M+ = mpMax
    double columnPlus = 0.0, columnMinus = 0.0;  // M- = mmMax
    double innerPlus = 0.0, innerMinus = 0.0;    // evaluated cells next to unevaluated ones
};

EdgeChains edgeChains(const ResultRecord& resultRecord) {
    EdgeChains e;
    const Grid<double>& a = resultRecord.absValue;
    const CellEnergies& cells = resultRecord.energies;
    const double factor = weightShiftFactor(resultRecord.max_shift);  // a concentration is absValue / factor
    const bool rowEdge = resultRecord.mpMax < kMaxAggregation, columnEdge = resultRecord.mmMax < kMaxAggregation;
    for (std::int32_t r = 0; r < a.rows(); ++r) {
        const std::int32_t mp = resultRecord.mpMin + r;
        for (std::int32_t c = 0; c < a.cols(); ++c) {
            const std::int32_t mm = resultRecord.mmMin + c;
            if (mp == 0 || mm == 0) continue;  // lone chains have no larger complexes to miss
            const double conc = a(r, c) / factor;
            if (!(conc > 0.0)) continue;
            if (rowEdge && mp == resultRecord.mpMax) e.rowPlus += mp * conc, e.rowMinus += mm * conc;
            if (columnEdge && mm == resultRecord.mmMax) e.columnPlus += mp * conc, e.columnMinus += mm * conc;
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
void reportEdges(const ResultRecord& resultRecord, const Reporter& report) {
    const EdgeChains e = edgeChains(resultRecord);
    const auto say = [&](const std::string& where, const std::string& remedy, double plus, double minus) {
        const double share = std::max(plus / resultRecord.totalPlus, minus / resultRecord.totalMinus);
        if (!(share > kTotalsEdgeShare)) return;
        RunWarning w;
        w.kind = WarningKind::TotalsEdge;
        w.residual = share;
        w.text = "The totals assume no larger complexes, but the complexes " + where + " hold " +
                 significantText(plus / resultRecord.totalPlus, 6) + " of the '+' chains and " +
                 significantText(minus / resultRecord.totalMinus, 6) + " of the '-' chains; " + remedy;
        report.warning(std::move(w));
    };
    say("on the edge M+ = " + std::to_string(resultRecord.mpMax), "enlarge mpMax", e.rowPlus, e.rowMinus);
    say("on the edge M- = " + std::to_string(resultRecord.mmMax), "enlarge mmMax", e.columnPlus, e.columnMinus);
    say("on the edge of the cells the run evaluated", "their neighbours were left out as negligible at the run's "
        "start", e.innerPlus, e.innerMinus);
}

// The concentrations of a record whose landscape is finished: in total mode the free
// chains that meet the totals and the distribution at them, with the critical
// concentration; in free mode the totals the free chains imply. reform: form the
// free-mode distribution again at the record's vc10, vc01 (the record then holds another
// run's distribution).
void settle(ResultRecord& resultRecord, const std::optional<MassBalanceTotals>& totals, bool keepEnergies, int threads,
            bool reform, const Reporter& report, CriticalConcentrationCache* cache = nullptr,
            std::stop_token stop = {}) {
    const Landscape landscape = landscapeOf(resultRecord);
    const auto take = [&resultRecord](const Distribution& d) { storeWeights(d, resultRecord); };
    resultRecord.totalMode = totals.has_value();
    if (!totals) {
        if (reform) take(distributionOf(landscape, resultRecord.vc10, resultRecord.vc01, threads));
        const MassBalanceTotals implied = chainTotals(resultRecord);
        resultRecord.totalPlus = implied.plus;
        resultRecord.totalMinus = implied.minus;
        if (auto crowded = impliedTotalsMessage(implied, resultRecord.vc10, resultRecord.vc01))
            report.warning(RunWarning{WarningKind::ImpliedTotals, std::move(*crowded)});
        resultRecord.massBalanceResidual = 0.0;
        resultRecord.massBalanceSteps = 0;
        resultRecord.criticalConcentration = NAN;
        resultRecord.criticalBelow = resultRecord.criticalAbove = false;
        if (!keepEnergies) resultRecord.energies = CellEnergies();
        return;
    }
    const MassBalance balance(landscape);
    const MassBalanceSolution solved = balance.solve(totals->plus, totals->minus);
    take(distributionOf(landscape, solved.freePlus, solved.freeMinus, threads));
    resultRecord.vc10 = solved.freePlus;
    resultRecord.vc01 = solved.freeMinus;
    resultRecord.totalPlus = totals->plus;
    resultRecord.totalMinus = totals->minus;
    resultRecord.massBalanceSteps = solved.newtonSteps;
    const MassBalanceTotals met = chainTotals(resultRecord);
    resultRecord.massBalanceResidual =
        std::max(std::abs(met.plus - resultRecord.totalPlus) / resultRecord.totalPlus,
                 std::abs(met.minus - resultRecord.totalMinus) / resultRecord.totalMinus);
    report.text(massBalanceMessage(solved.freePlus, solved.freeMinus, solved.newtonSteps));
    if (!solved.freeChainsDetermined())
        report.warning(RunWarning{WarningKind::FreeChainsUndetermined, undeterminedFreeChainsMessage(solved)});
    if (!(resultRecord.massBalanceResidual <= kMassBalanceTolerance))
        report.warning(residualWarning(resultRecord.massBalanceResidual));
    const double fraction =
        chargeFraction(resultRecord.zp, resultRecord.zn, resultRecord.totalPlus, resultRecord.totalMinus);
    CriticalConcentration critical;
    if (stop.stop_requested()) {
        // A stopped run: its landscape is partial, and the search (dozens of solves) would
        // only delay the stop. No critical concentration.
    } else if (cache != nullptr) {
        const auto key = static_cast<long long>(std::llround(fraction * 1e12));
        std::lock_guard lock(cache->mutex);
        const auto known = cache->byFraction.find(key);
        critical =
            known != cache->byFraction.end()
                ? known->second
                : (cache->byFraction[key] = criticalConcentration(balance, fraction, resultRecord.zp, resultRecord.zn));
    } else {
        critical = criticalConcentration(balance, fraction, resultRecord.zp, resultRecord.zn, stop);
    }
    resultRecord.criticalConcentration = critical.total.value_or(NAN);
    resultRecord.criticalBelow = critical.below;
    resultRecord.criticalAbove = critical.above;
    if (critical.below) report.warning(criticalWarning(true));
    if (critical.above) report.warning(criticalWarning(false));
    reportEdges(resultRecord, report);
    if (!keepEnergies) resultRecord.energies = CellEnergies();
}

JobOutcome calculate(const JobInput& input, std::stop_token token, const Reporter& report, JobCounts& counts) {
    if (token.stop_requested()) {
        report.text(kCancelled);
        return JobOutcome::Cancelled;
    }
    if (!input.runRecord) return fail(report, "No chain parameters were given; no distribution was calculated.");

    // The job's own copy: nothing the front end does to its records reaches this run.
    Parameters p = input.params;
    RunRecord runRecord = *input.runRecord;
    // In total mode the map is weighed at the totals (the free chains are fewer) until the
    // mass balance gives the free chains.
    if (input.totals) {
        p.vc10 = input.totals->plus;
        p.vc01 = input.totals->minus;
    }

    const std::int64_t rows = std::int64_t{p.mpMax} - p.mpMin + 1;
    const std::int64_t columns = std::int64_t{p.mmMax} - p.mmMin + 1;
    if (p.mpMin < 0 || p.mmMin < 0 || rows < 1 || columns < 1) {
        return fail(report, "Ranges of aggregation numbers are invalid; no distribution was calculated.");
    }
    if (p.mpMax > kMaxAggregation || p.mmMax > kMaxAggregation || rows * columns > kMaxCells) {
        return fail(report, "Ranges of aggregation numbers are too large (at most 4000000 complexes)");
    }
    counts.rows = static_cast<std::int32_t>(rows);

    const Accuracy accuracy = runRecord.converged ? Accuracy::Converged : Accuracy::Standard;
    const ComplexModelPointer model = makeComplexModel(input.method, accuracy, p);
    CalculationStages calculation(model, input.threads);
    calculation.stop = token;
    if (runRecord.converged && runRecord.useTables) {
        // Converged energies need solved chains; the tables hold the standard ones.
        runRecord.useTables = false;
        RunWarning note;
        note.kind = WarningKind::ConvergedChains;
        note.text = kConvergedChains;
        report.warning(std::move(note), Severity::Info);
    }
    if (runRecord.useTables && !input.tables) {
        const std::string reason = input.tablesError.empty()
                                       ? std::string("The single-chain tables were not loaded; no distribution was calculated.")
                                       : input.tablesError;
        return fail(report, reason);
    }
    // A model beyond the program's first one is named in the log.
    if (model->description().find(" + ") != std::string::npos || p.bjerrum != 1.0 || p.waterFraction != 0.0)
        report.text("Complex model: " + model->description() + "; Bjerrum length " + formatGeneral(p.bjerrum, '.') +
                    " a; water fraction of the core " + formatGeneral(p.waterFraction, '.'));
    const SingleChain plusChain{runRecord.kip, runRecord.plen, runRecord.Np, false};
    const SingleChain minusChain{-runRecord.kim, runRecord.mlen, runRecord.Nm, true};
    const ChainConditions chainConditions = chainConditionsOf(p);
    const ChainModelPointer chainModel =
        makeChainModel(runRecord.useTables ? Chains::Tables : Chains::Solved, accuracy, input.tables);
    ChainStageReport chains;
    const bool chainsDone = calculation.chainEnergies(*chainModel, plusChain, minusChain, chainConditions, chains);
    for (const std::string& line : chains.diagnostics) report.diagnostic(line);
    counts.failedChains = chains.failedChains;
    if (chains.stopped) {
        report.text(kCancelled);
        return JobOutcome::Cancelled;
    }
    if (!chainsDone) {
        return fail(report, chains.failure.empty() ? "The single-chain free energies could not be computed."
                                                   : chains.failure);
    }
    runRecord.ffc_positive = chains.fPlus;
    runRecord.ffc_minus = chains.fMinus;
    report.text(kChainsFinished);
    // A converged run forms the standard answer beside its own: the standard chain energies
    // of the chain choice the run was asked for (the tables when they were asked for and are
    // loaded, else the standard solves the chain stage made beside the converged ones).
    double standardPlus = chains.standardPlus, standardMinus = chains.standardMinus;
    if (runRecord.converged && input.runRecord->useTables && input.tables) {
        ChainStageReport tableReport;
        if (calculation.chainEnergies(*tableChainModel(input.tables), plusChain, minusChain, chainConditions,
                                      tableReport)) {
            standardPlus = tableReport.fPlus;
            standardMinus = tableReport.fMinus;
        }
    }

    auto sigma = std::make_shared<std::vector<double>>(static_cast<std::size_t>(p.mpMax) + p.mmMax + 1);
    for (std::int32_t k = 0; k <= p.mpMax + p.mmMax; ++k) (*sigma)[static_cast<std::size_t>(k)] = neutral::sigma(k);

    const bool dh = model->selection() == CellSelection::EveryCell;
    const bool totalMode = input.totals.has_value();
    if (totalMode && (p.mpMin != 0 || p.mmMin != 0 || p.mpMax < 1 || p.mmMax < 1))
        return fail(report, "Total concentrations need the lone chains (1, 0) and (0, 1) in the ranges: set mpMin and mmMin to 0");
    // The working record is this thread's alone; the front end sees snapshots of it. The
    // weights are formed from the landscape the stages produce, at the run's concentrations.
    ResultRecord resultRecord(runRecord.plen, runRecord.mlen, p.kip, p.kim, p.ka, p.vc01, p.vc10, p.zp, p.zn, p.Np,
                              p.Nm, p.mpMin, p.mpMax, p.mmMin, p.mmMax, runRecord.ffc_minus, runRecord.ffc_positive, {},
                              {}, SigmaTable(std::move(sigma)), dh, 0.0);
    resultRecord.conditions = complexConditionsOf(p);
    DistributionBuilder weights(p.mpMin, p.mpMax, p.mmMin, p.mmMax, p.vc10, p.vc01, input.threads);
    weights.store(resultRecord);
    resultRecord.converged = runRecord.converged;
    resultRecord.linearDH = input.method == Method::DebyeHueckelLinear;
    resultRecord.errorEstimate = chains.errorEstimate;
    resultRecord.standardDifference = chains.standardDifference;
    resultRecord.convergenceTargetMissed = chains.targetMissed;
    resultRecord.missedTargetEstimate = chains.missedTargetEstimate;
    resultRecord.standardFfcPlus = standardPlus;
    resultRecord.standardFfcMinus = standardMinus;
    // What the complex stages read: the run's inputs, fixed from here on.
    const LandscapeInputs stageInputs = landscapeInputsOf(resultRecord);
    // Converged runs: the standard free energies of the cells, the landscape of the standard answer.
    CellEnergies standardEnergies;
    if (resultRecord.converged)
        standardEnergies = CellEnergies(resultRecord.absValue.rows(), resultRecord.absValue.cols());
    // Total mode solves the mass balance on the landscape: it keeps the energies.
    if (input.keepEnergies || totalMode)
        resultRecord.energies = CellEnergies(resultRecord.absValue.rows(), resultRecord.absValue.cols());
    resultRecord.totalMode = totalMode;
    report.publish(resultRecord);
    weights.enterFreeChains();
    weights.store(resultRecord);

    NeutralLine neutralLine(p.zp, p.zn);
    // The cells a stage evaluated join the landscape (when kept) and the run's notes.
    const auto takeCells = [&](const StageCells& stage) {
        neutralLine.take(stage.cells);
        if (!resultRecord.energies.empty())
            resultRecord.energies.keep(stage.cells, resultRecord.mpMin, resultRecord.mmMin, stage.beyond);
        if (!standardEnergies.empty())
            standardEnergies.keep(stage.standardCells, resultRecord.mpMin, resultRecord.mmMin);
        resultRecord.unstableSolves += stage.unstable;
        resultRecord.beyondDebyeHueckel += stage.beyondValidity;
        if (stage.errorEstimate > resultRecord.errorEstimate) resultRecord.errorEstimate = stage.errorEstimate;
        if (stage.standardDifference > resultRecord.standardDifference)
            resultRecord.standardDifference = stage.standardDifference;
        resultRecord.convergenceTargetMissed += stage.targetMissed;
        resultRecord.missedTargetEstimate = std::max(resultRecord.missedTargetEstimate, stage.missedTargetEstimate);
    };
    std::int64_t unstableReported = 0;
    const auto reportUnstable = [&] {
        for (; unstableReported < resultRecord.unstableSolves; ++unstableReported) report.diagnostic(kUnstableSolution);
    };
    // The concentrations settle: in total mode the free chains that meet the totals, and
    // the distribution at them; in free mode the totals the free chains imply.
    const auto settleConcentrations = [&] {
        settle(resultRecord, input.totals, input.keepEnergies, input.threads, false, report, nullptr, token);
    };
    // A finished converged run: the most probable complex the standard free energies give,
    // at the same concentrations (in total mode, the free chains that meet the same totals on
    // the standard landscape), and a line in the log saying whether the accuracy changed it.
    const auto standardAnswer = [&] {
        if (!resultRecord.converged || standardEnergies.empty()) return;
        Landscape standard;
        standard.mpMin = resultRecord.mpMin;
        standard.mpMax = resultRecord.mpMax;
        standard.mmMin = resultRecord.mmMin;
        standard.mmMax = resultRecord.mmMax;
        standard.fPlus = standardPlus;
        standard.fMinus = standardMinus;
        standard.cells = std::move(standardEnergies);
        standard.byRows = !dh;
        double cPlus = input.params.vc10, cMinus = input.params.vc01;
        if (totalMode) {
            const MassBalanceSolution solved = MassBalance(standard).solve(input.totals->plus, input.totals->minus);
            cPlus = solved.freePlus;
            cMinus = solved.freeMinus;
        }
        const Distribution d = distributionOf(standard, cPlus, cMinus, input.threads);
        if (d.unrepresentable) return;
        resultRecord.standardMostProbable = mostProbableCell(d.absValue, resultRecord.mpMin, resultRecord.mmMin);
        const std::optional<MapCell> converged = mostProbableCell(resultRecord);
        if (!converged || !resultRecord.standardMostProbable) return;
        const auto named = [](const MapCell& c) {
            return "(" + std::to_string(c.first) + ", " + std::to_string(c.second) + ")";
        };
        if (*converged == *resultRecord.standardMostProbable)
            report.text("Most probable complex " + named(*converged) + ", the same at standard accuracy");
        else
            report.note(Severity::Warning,
                        "Most probable complex " + named(*converged) + "; at standard accuracy it is " +
                            named(*resultRecord.standardMostProbable) + ": the accuracy changes the answer");
    };
    // A finished run: a tie for the most probable is said as a tie (the outputs name its
    // first cell).
    const auto tieLines = [&] {
        for (const CellRange among : {CellRange::WholeMap, CellRange::Complexes}) {
            const std::vector<MapCell> tied = mostProbableCells(resultRecord, among);
            if (tied.size() >= 2) report.text(tieMessage(tied, among == CellRange::Complexes));
        }
    };
    const auto closingLines = [&] {
        counts.unstableSolves = resultRecord.unstableSolves;
        counts.nonFiniteCells = resultRecord.nonFiniteCells;
        counts.beyondDebyeHueckel = resultRecord.beyondDebyeHueckel;
        counts.converged = resultRecord.converged;
        counts.errorEstimate = resultRecord.errorEstimate;
        counts.standardDifference = resultRecord.standardDifference;
        counts.targetMissed = resultRecord.convergenceTargetMissed;
        if (resultRecord.converged)
            report.warning(accuracyWarning(resultRecord.errorEstimate, resultRecord.standardDifference,
                                           resultRecord.convergenceTargetMissed, resultRecord.missedTargetEstimate));
        if (resultRecord.nonFiniteCells > 0) report.warning(nonFiniteWarning(resultRecord.nonFiniteCells));
        if (resultRecord.unstableSolves > 0) report.warning(unstableWarning(resultRecord.unstableSolves));
        if (resultRecord.beyondDebyeHueckel > 0) {
            RunWarning w;
            w.kind = WarningKind::BeyondDebyeHueckel;
            w.count = resultRecord.beyondDebyeHueckel;
            w.text = beyondDebyeHueckelMessage(resultRecord.beyondDebyeHueckel);
            report.warning(std::move(w));
        }
    };

    // A finished run: complexes that would grow without end are said as a coacervate, not as
    // a range to enlarge.
    std::optional<NeutralLine::EdgeSlope> neutralEdge;
    const auto judgeEdge = [&] {
        neutralEdge = neutralLine.edgeSlope();
        if (!neutralEdge) return;
        resultRecord.edgeFreeEnergySlope = neutralEdge->slope;
        resultRecord.coacervateLikely = neutralEdge->coacervateLikely;
    };
    const auto edgeLines = [&] {
        if (const std::optional<NeutralLine::EdgeSlope>& edge = neutralEdge) {
            if (edge->coacervateLikely) {
                RunWarning w;
                w.kind = WarningKind::Coacervate;
                w.mp = edge->mp;
                w.mm = edge->mm;
                w.residual = edge->slope;
                w.text = coacervateMessage(*edge);
                report.warning(std::move(w));
                return;
            }
        }
        if (auto edge = rangeEdgeWarning(resultRecord)) report.warning(std::move(*edge));
    };

    if (!dh) {
        resultRecord.run = true;
        // Normalises the rows computed so far.
        const auto finishRows = [&] {
            weights.finishRows();
            weights.store(resultRecord);
        };
        for (std::int32_t mp = p.mpMin; mp <= p.mpMax; ++mp) {
            if (token.stop_requested()) {
                finishRows();
                settleConcentrations();
                report.publish(resultRecord);
                closingLines();
                report.warning(partialWarning(counts.rowsDone, counts.rows));
                report.text(kCancelled);
                return JobOutcome::Cancelled;
            }
            const StageCells row = calculation.sphereRow(stageInputs, mp);
            takeCells(row);
            weights.addRow(mp, row.cells);
            weights.store(resultRecord);
            reportUnstable();
            if (resultRecord.unrepresentable) return fail(report, kUnrepresentable);
            resultRecord.index = mp;
            counts.rowsDone = mp - p.mpMin + 1;
            const std::string rowLine = "Row " + std::to_string(mp) + " is passed...";
            report.text(rowLine);
            report.publish(resultRecord);
            report.progress(counts.rowsDone, counts.rows);
        }
        finishRows();
        settleConcentrations();
        standardAnswer();
        judgeEdge();
        report.publish(resultRecord);
        closingLines();
        tieLines();
        edgeLines();
    } else {
        resultRecord.run = true;
        report.text(kDhStarting);
        const StageCells all = calculation.everyCell(stageInputs);
        takeCells(all);
        weights.addWhole(all.cells);
        weights.store(resultRecord);
        if (resultRecord.unrepresentable) return fail(report, kUnrepresentable);
        settleConcentrations();
        if (all.stopped) {
            // The complexes evaluated before the stop form a partial distribution.
            counts.complexesDone = static_cast<std::int64_t>(all.cells.size());
            counts.complexes = all.listed;
            report.publish(resultRecord);
            closingLines();
            RunWarning partial;
            partial.kind = WarningKind::PartialResult;
            partial.count = counts.complexesDone;
            partial.total = counts.complexes;
            partial.text = partialComplexesMessage(counts.complexesDone, counts.complexes);
            report.warning(std::move(partial));
            report.text(kCancelled);
            return JobOutcome::Cancelled;
        }
        standardAnswer();
        judgeEdge();
        closingLines();
        tieLines();
        edgeLines();
        report.text(kDhFinished);
        report.publish(resultRecord);
        report.progress(counts.rows, counts.rows);
    }

    report.text(kAllFinished);
    return JobOutcome::Finished;
}

}  // namespace

std::shared_ptr<ResultRecord> resettle(const ResultRecord& landscapeRecord, double cPlus, double cMinus,
                                       const std::optional<MassBalanceTotals>& totals, bool keepEnergies, int threads,
                                       const JobEvents& events, CriticalConcentrationCache* cache) {
    const Reporter report(events);
    auto resultRecord = std::make_shared<ResultRecord>(landscapeRecord);
    resultRecord->vc10 = cPlus;
    resultRecord->vc01 = cMinus;
    settle(*resultRecord, totals, keepEnergies, threads, true, report, cache);
    if (auto edge = rangeEdgeWarning(*resultRecord)) report.warning(std::move(*edge));
    return resultRecord;
}

std::string tieMessage(const std::vector<MapCell>& tied, bool complexesOnly) {
    std::string list;
    for (std::size_t k = 0; k < tied.size(); ++k) {
        if (k) list += k + 1 == tied.size() ? " and " : ", ";
        list += "(" + std::to_string(tied[k].first) + ", " + std::to_string(tied[k].second) + ")";
    }
    return std::string(complexesOnly ? "Most probable complex: a tie of " : "Most probable: a tie of ") + list +
           ", which hold the same weight";
}

std::string partialComplexesMessage(std::int64_t done, std::int64_t total) {
    return "The result is partial: " + std::to_string(done) + " of " + std::to_string(total) +
           " complexes were computed.";
}

std::string beyondDebyeHueckelMessage(std::int64_t count) {
    const std::string bound = formatGeneral(complex::kDebyeHueckelPotentialBound, '.');
    const std::string why = " beyond the validity of Debye-Hueckel (reduced surface potential |e psi / kT| above " +
                            bound + ", or no finite free energy): ";
    if (count == 1) return "1 complex lies" + why + "its free energy is the method's number, not physics";
    return std::to_string(count) + " complexes lie" + why + "their free energies are the method's numbers, not physics";
}

std::string numericFailureMessage(const std::string& kernelMessage) {
    return "The calculation stopped on a numerical error (" + kernelMessage + "); no distribution was calculated.";
}

}  // namespace marlinq
