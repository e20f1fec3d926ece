#include "pipeline/RunDiagnostics.h"

#include "io/NumberText.h"
#include "physics/Complex.h"
#include "pipeline/Coacervate.h"
#include "pipeline/MassBalance.h"
#include "pipeline/ObservablesText.h"


namespace marlinq {

namespace {

constexpr const char* kConvergedChains =
    "Converged free energies: the single chains are solved, not interpolated from the tables";

// Numbers of the log: six significant digits, a point whatever the locale.
std::string logNumber(double v) { return significantText(v, 6); }

std::string accuracyText(const RunWarning& w) {
    std::string line = "Converged free energies: largest estimated remaining error " + logNumber(w.errorEstimate) +
                       " kT; largest difference from the standard free energies " + logNumber(w.standardDifference) +
                       " kT";
    // When refinements ended on their finest grid short of the target, the line says how
    // many: the estimate is then the one reached, not the target's.
    if (w.count > 0)
        line += "; " + std::to_string(w.count) + (w.count == 1 ? " free energy" : " free energies") +
                " reached the finest grid without meeting the target (two extrapolations within 2e-5 of the value); "
                "the largest estimated error reached there is " +
                logNumber(w.missedEstimate) + " kT";
    return line;
}

std::string countText(std::int64_t count, const char* one, const char* many) {
    return count == 1 ? std::string("1 ") + one : std::to_string(count) + " " + many;
}

std::string rangeEdgeText(const RunWarning& w) {
    const char* where = w.edge == MapEdge::BothRanges  ? "of the M+ and M- ranges; enlarge them"
                        : w.edge == MapEdge::PlusRange ? "of the M+ range; enlarge it"
                                                       : "of the M- range; enlarge it";
    return "the most probable complex (" + std::to_string(w.mp) + ", " + std::to_string(w.mm) + ") lies on the edge " +
           where;
}

std::string totalsEdgeText(const RunWarning& w) {
    std::string where, remedy;
    if (w.edge == MapEdge::PlusRange) {
        where = "on the edge M+ = " + std::to_string(w.mp);
        remedy = "enlarge mpMax";
    } else if (w.edge == MapEdge::MinusRange) {
        where = "on the edge M- = " + std::to_string(w.mm);
        remedy = "enlarge mmMax";
    } else {
        where = "on the edge of the cells the run evaluated";
        remedy = "their neighbours were left out as negligible at the run's start";
    }
    return "The totals assume no larger complexes, but the complexes " + where + " hold " + logNumber(w.plus) +
           " of the '+' chains and " + logNumber(w.minus) + " of the '-' chains; " + remedy;
}

}  // namespace

std::string warningText(const RunWarning& w, [[maybe_unused]] WarningForm form) {
    switch (w.kind) {
        case WarningKind::ConvergedChains:
            return kConvergedChains;
        case WarningKind::Accuracy:
            return accuracyText(w);
        case WarningKind::NonFiniteCells:
            return countText(w.count, "complex has no finite free energy and was given weight 0",
                             "complexes have no finite free energy and were given weight 0");
        case WarningKind::UnstableSolves:
            return countText(w.count, "Newton solve of a complex did not converge (unstable solution)",
                             "Newton solves of complexes did not converge (unstable solution)");
        case WarningKind::PartialResult:
            if (w.scope == DiagnosticScope::Cell) return partialComplexesMessage(w.count, w.total);
            return "The result is partial: " + std::to_string(w.count) + " of " + std::to_string(w.total) +
                   " rows were computed.";
        case WarningKind::RangeEdge:
            return rangeEdgeText(w);
        case WarningKind::MassBalanceResidual:
            // One text in the log and the summary, with every digit.
            return massBalanceResidualMessage(w.residual);
        case WarningKind::BeyondDebyeHueckel:
            return beyondDebyeHueckelMessage(w.count);
        case WarningKind::CriticalConcentration:
            return w.below
                       ? "The critical concentration lies below a total of 1e-20: more than half of the scarcer chains "
                         "are in complexes at every total"
                       : "The critical concentration lies above a total of 1: fewer than half of the scarcer chains "
                         "are in complexes at every total up to 1";
        case WarningKind::TotalsEdge:
            return totalsEdgeText(w);
        case WarningKind::Coacervate: {
            NeutralLine::EdgeSlope edge;
            edge.mp = w.mp;
            edge.mm = w.mm;
            edge.slope = w.residual;
            edge.coacervateLikely = true;
            return coacervateMessage(edge);
        }
        case WarningKind::FreeChainsUndetermined: {
            MassBalanceSolution s;
            s.productPlus = w.mp;
            s.productMinus = w.mm;
            s.lnProduct = w.lnProduct;
            return undeterminedFreeChainsMessage(s);
        }
        case WarningKind::ImpliedTotals:
            return crowdedComplexesMessage(w.plus, w.minus);
    }
    return {};
}

bool inSummaryOrder(WarningKind kind) {
    switch (kind) {
        case WarningKind::NonFiniteCells:
        case WarningKind::UnstableSolves:
        case WarningKind::PartialResult:
        case WarningKind::BeyondDebyeHueckel:
        case WarningKind::RangeEdge:
        case WarningKind::TotalsEdge:
        case WarningKind::Coacervate:
        case WarningKind::FreeChainsUndetermined:
        case WarningKind::ImpliedTotals:
            return true;
        default:
            return false;
    }
}

bool inSummaryTail(WarningKind kind) {
    return kind == WarningKind::MassBalanceResidual || kind == WarningKind::CriticalConcentration;
}

namespace {
// A warning that counts cells (complexes) of one kind.
RunWarning cellCountWarning(WarningKind kind, std::int64_t count) {
    RunWarning w;
    w.kind = kind;
    w.scope = DiagnosticScope::Cell;
    w.count = count;
    return w;
}
}  // namespace

RunWarning nonFiniteWarning(std::int64_t count) { return cellCountWarning(WarningKind::NonFiniteCells, count); }
RunWarning unstableWarning(std::int64_t count) { return cellCountWarning(WarningKind::UnstableSolves, count); }
RunWarning beyondDebyeHueckelWarning(std::int64_t count) {
    return cellCountWarning(WarningKind::BeyondDebyeHueckel, count);
}

RunWarning partialRowsWarning(std::int64_t done, std::int64_t rows) {
    RunWarning w;
    w.kind = WarningKind::PartialResult;
    w.scope = DiagnosticScope::Row;
    w.count = done;
    w.total = rows;
    return w;
}

RunWarning partialComplexesWarning(std::int64_t done, std::int64_t complexes) {
    RunWarning w;
    w.kind = WarningKind::PartialResult;
    w.scope = DiagnosticScope::Cell;
    w.count = done;
    w.total = complexes;
    return w;
}

RunWarning accuracyWarning(double error, double difference, std::int64_t targetMissed, double missedEstimate) {
    RunWarning w;
    w.kind = WarningKind::Accuracy;
    w.errorEstimate = error;
    w.standardDifference = difference;
    w.count = targetMissed;
    w.missedEstimate = missedEstimate;
    return w;
}

RunWarning criticalWarning(bool below) {
    RunWarning w;
    w.kind = WarningKind::CriticalConcentration;
    w.below = below;
    return w;
}

RunWarning residualWarning(double residual) {
    RunWarning w;
    w.kind = WarningKind::MassBalanceResidual;
    w.residual = residual;
    return w;
}

std::string partialComplexesMessage(std::int64_t done, std::int64_t total) {
    return "The result is partial: " + std::to_string(done) + " of " + std::to_string(total) +
           " complexes were computed.";
}

std::string tieMessage(const std::vector<std::pair<std::int32_t, std::int32_t>>& tied, bool complexesOnly) {
    std::string list;
    for (std::size_t k = 0; k < tied.size(); ++k) {
        if (k) list += k + 1 == tied.size() ? " and " : ", ";
        list += "(" + std::to_string(tied[k].first) + ", " + std::to_string(tied[k].second) + ")";
    }
    return std::string(complexesOnly ? "Most probable complex: a tie of " : "Most probable: a tie of ") + list +
           ", which hold the same weight";
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

namespace {
std::string cellText(const std::pair<std::int32_t, std::int32_t>& c) {
    return "(" + std::to_string(c.first) + ", " + std::to_string(c.second) + ")";
}
}  // namespace

std::string noteText(const RunNote& n) {
    switch (n.kind) {
        case NoteKind::Starting:
            return n.fromTables ? kTablesStart : kSolveStart;
        case NoteKind::ModelNamed:
            return "Complex model: " + n.model + "; Bjerrum length " + formatGeneral(n.bjerrum, '.') +
                   " a; water fraction of the core " + formatGeneral(n.waterFraction, '.');
        case NoteKind::ChainsFinished:
            return "Calculation of the energy of single chains with '+' and '-' charge is finished";
        case NoteKind::RowFinished:
            return "Row " + std::to_string(n.mp) + " is passed...";
        case NoteKind::EveryCellStarted:
            return "Starting calculation of the potential by Debye Huckel approximation";
        case NoteKind::EveryCellFinished:
            return "Finished calculation of the potential by Debye Huckel approximation";
        case NoteKind::AllFinished:
            return "Finished calculation of the spheres free energy";
        case NoteKind::Cancelled:
            return "Cancelled!";
        case NoteKind::FreeChainsFound:
            return massBalanceMessage(n.plus, n.minus, n.steps);
        case NoteKind::Tie:
            return tieMessage(n.cells, n.complexesOnly);
        case NoteKind::StandardComparison: {
            const std::string cell = cellText({n.mp, n.mm});
            if (n.standardCell == std::pair{n.mp, n.mm})
                return "Most probable complex " + cell + ", the same at standard accuracy";
            return "Most probable complex " + cell + "; at standard accuracy it is " +
                   (n.standardCell ? cellText(*n.standardCell) : std::string("none")) +
                   ": the accuracy changes the answer";
        }
    }
    return {};
}

Severity severityOf(const RunNote& n) {
    const bool differs = n.kind == NoteKind::StandardComparison && n.standardCell != std::pair{n.mp, n.mm};
    return differs ? Severity::Warning : Severity::Info;
}

std::string massBalanceMessage(double cPlus, double cMinus, int steps) {
    return "Mass balance: free c+ = " + logNumber(cPlus) + ", c- = " + logNumber(cMinus) + " (" +
           std::to_string(steps) + (steps == 1 ? " Newton step)" : " Newton steps)");
}

}  // namespace marlinq
