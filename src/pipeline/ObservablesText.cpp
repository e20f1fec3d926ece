#include "pipeline/ObservablesText.h"

#include "pipeline/MassBalance.h"
#include "pipeline/ObservableRegistry.h"
#include "pipeline/Version.h"

#include <cmath>

namespace marlinq {

namespace {

// [M+, M-]
json::Value cellValue(const MapCell& cell) {
    return json::Value::array({json::Value::integer(cell.first), json::Value::integer(cell.second)});
}

json::Value cellOrNull(const std::optional<MapCell>& cell) { return cell ? cellValue(*cell) : json::Value(); }

}  // namespace

std::vector<std::string> runWarnings(const RunOutcome& run, const Observables& observables) {
    std::vector<std::string> w;
    // The job's warnings about the numbers of the summary, as it said them; then why it
    // failed and what the summary itself finds; then the job's warnings on the totals.
    for (const RunWarning& warning : run.warnings)
        if (inSummaryOrder(warning.kind)) w.push_back(warningText(warning, WarningForm::Summary));
    if (run.outcome == JobOutcome::Failed) w.push_back(run.failure.empty() ? std::string("The run failed.") : run.failure);
    if (run.record && run.record->hasResults() && !observables.anyComplex)
        w.push_back("No complex has a positive weight; the averages are null.");
    for (const RunWarning& warning : run.warnings)
        if (inSummaryTail(warning.kind)) w.push_back(warningText(warning, WarningForm::Summary));
    if (run.record && run.record->max_shift != 0.0)
        w.push_back("The weights carry a common shift (max_shift=" + formatReal17(run.record->max_shift) +
                    "); absValue is every concentration times 2.71828183^-(max_shift-10).");
    return w;
}

std::string summaryJson(const Observables& o, const RunDescription& run) {
    using json::Value;
    const Parameters& p = run.params;
    Value s = Value::object();
    const ObservableInputs in{o, p.ka, run.unitNm, p.bjerrum, run.structure ? &*run.structure : nullptr};
    const auto observable = [&](const ObservableDef& d) {
        if (d.shape == ObservableShape::Number) {
            s.add(std::string(d.name), Value::number(d.number(in)));
            return;
        }
        s.add(std::string(d.name), cellOrNull(d.cell(o)));
        // A tie is said as one: every cell that holds the largest weight.
        if (d.ties) {
            Value tied = Value::array();
            for (const MapCell& cell : d.ties(o)) tied.push(cellValue(cell));
            s.add(std::string(d.name) + "_ties", std::move(tied));
        }
    };
    for (const ObservableDef* d : observablesInOutput(false)) observable(*d);
    s.add("concentrations", Value::string(o.totalMode ? "total" : "free"));
    if (run.unitNm) {
        s.add("unit_nm", Value::number(*run.unitNm));
        for (const ObservableDef* d : observablesInOutput(true))
            if (d->needsUnitNm) observable(*d);
    }
    if (run.structure)
        for (const ObservableDef* d : observablesOfStructure(run.unitNm.has_value())) observable(*d);
    // Every parameter as the run used it, the charged lengths with them.
    // (The totals of total mode are the summary's own total_plus and total_minus; the
    // model's parameters are named when they are not at their start-up value.)
    const ParameterSet used{p, run.set.plen, run.set.mlen};
    Value params = Value::object();
    for (const ParameterRow& r : parameterSchema()) {
        if (r.totalModeOnly || (r.modelParameter && parameterValue(used, r) == r.startup)) continue;
        const double v = parameterValue(used, r);
        params.add(std::string(r.key), r.integer ? Value::integer(static_cast<std::int32_t>(v)) : Value::number(v));
    }
    s.add("parameters", std::move(params));
    s.add("method", Value::string(std::string(nameOf(run.options.method))));
    s.add("chains", Value::string(std::string(nameOf(run.options.chains))));
    s.add("accuracy", Value::string(std::string(nameOf(run.options.accuracy))));
    if (run.options.accuracy == Accuracy::Converged) {
        s.add("free_energy_error_estimate", Value::number(run.errorEstimate));
        s.add("largest_standard_difference", Value::number(run.standardDifference));
        // The headline answer at standard accuracy, and whether the accuracy changed it.
        s.add("standard_most_probable", cellOrNull(o.standardMostProbable));
        s.add("standard_most_probable_differs",
              Value::boolean(o.standardMostProbable && o.mostProbable && *o.standardMostProbable != *o.mostProbable));
    }
    // Said only where it holds: a summary of finite complexes stays as it always was.
    if (o.coacervateLikely) {
        s.add("coacervate_likely", Value::boolean(true));
        s.add("edge_free_energy_slope", Value::number(o.edgeFreeEnergySlope));
    }
    for (const auto& [key, value] : run.extra) s.add(key, value);
    s.add("partial", Value::boolean(run.partial));
    Value warnings = Value::array();
    for (const std::string& w : run.warnings) warnings.push(Value::string(w));
    s.add("warnings", std::move(warnings));
    // Which program wrote the file.
    s.add("version", Value::string(std::string(programVersion())));
    s.add("commit", Value::string(std::string(buildCommit())));
    return json::document(s);
}

std::string freeEnergiesCsv(const RunResult& resultRecord) {
    std::string s =
        "# f_plus=" + formatReal17(resultRecord.chains.plus) + " f_minus=" + formatReal17(resultRecord.chains.minus);
    if (resultRecord.max_shift != 0.0) s += " max_shift=" + formatReal17(resultRecord.max_shift);
    s += "\nmp,mm,F,E,absValue,Value,beyond_dh\n";
    const CellEnergies& e = resultRecord.energies;
    if (e.empty() || !resultRecord.hasResults()) return s;
    for (std::int32_t r = 0; r < e.evaluated.rows(); ++r) {
        const std::uint8_t* ev = e.evaluated.row(r);
        for (std::int32_t c = 0; c < e.evaluated.cols(); ++c) {
            if (!ev[c]) continue;
            s += std::to_string(resultRecord.params().mpMin + r) + ',' +
                 std::to_string(resultRecord.params().mmMin + c) + ',' + formatReal17(e.F(r, c)) + ',' +
                 formatReal17(e.E(r, c)) + ',' + formatReal17(resultRecord.absValue(r, c)) + ',' +
                 formatReal17(resultRecord.share(r, c)) + ',' + (e.beyondValidity(r, c) ? '1' : '0') + '\n';
        }
    }
    return s;
}

}  // namespace marlinq
