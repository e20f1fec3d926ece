#include "pipeline/ObservablesText.h"

#include "pipeline/MassBalance.h"
#include "pipeline/ObservableRegistry.h"
#include "pipeline/Version.h"

#include <charconv>
#include <cstdio>
#include <cmath>

namespace marlinq {

namespace {

// The shortest text that reads back to the same double.
std::string jsonNumber(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

// "[M+, M-]"
std::string jsonPair(const MapCell& cell) {
    return "[" + std::to_string(cell.first) + ", " + std::to_string(cell.second) + "]";
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (const char ch : s) {
        const auto u = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

}  // namespace

std::string formatReal17(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
    return std::string(buf, res.ptr);
}

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
    const Parameters& p = run.params;
    std::string s = "{\n";
    const auto field = [&s](const std::string& key, const std::string& value, bool last = false) {
        s += "  " + jsonString(key) + ": " + value + (last ? "\n" : ",\n");
    };
    const ObservableInputs in{o, p.ka, run.unitNm, p.bjerrum, run.structure ? &*run.structure : nullptr};
    const auto observable = [&](const ObservableDef& d) {
        if (d.shape == ObservableShape::Number) return field(std::string(d.name), jsonNumber(d.number(in)));
        const std::optional<MapCell> cell = d.cell(o);
        field(std::string(d.name), cell ? jsonPair(*cell) : std::string("null"));
        // A tie is said as one: every cell that holds the largest weight.
        if (d.ties) {
            std::string list = "[";
            const std::vector<MapCell>& tied = d.ties(o);
            for (std::size_t k = 0; k < tied.size(); ++k) list += (k ? ", " : "") + jsonPair(tied[k]);
            field(std::string(d.name) + "_ties", list + "]");
        }
    };
    for (const ObservableDef* d : observablesInOutput(false)) observable(*d);
    field("concentrations", jsonString(o.totalMode ? "total" : "free"));
    if (run.unitNm) {
        field("unit_nm", jsonNumber(*run.unitNm));
        for (const ObservableDef* d : observablesInOutput(true))
            if (d->needsUnitNm) observable(*d);
    }
    if (run.structure)
        for (const ObservableDef* d : observablesOfStructure(run.unitNm.has_value())) observable(*d);
    std::string params = "{";
    const auto param = [&params](const char* key, const std::string& value, bool last = false) {
        params += jsonString(key) + ": " + value + (last ? "" : ", ");
    };
    // Every parameter as the run used it, the charged lengths with them.
    // (The totals of total mode are the summary's own total_plus and total_minus; the
    // model's parameters are named when they are not at their start-up value.)
    const ParameterSet used{p, run.set.plen, run.set.mlen};
    std::vector<const ParameterRow*> rows;
    for (const ParameterRow& r : parameterSchema())
        if (!r.totalModeOnly && !(r.modelParameter && parameterValue(used, r) == r.startup)) rows.push_back(&r);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const double v = parameterValue(used, *rows[k]);
        param(std::string(rows[k]->key).c_str(), rows[k]->integer ? std::to_string(static_cast<std::int32_t>(v)) : jsonNumber(v),
              k + 1 == rows.size());
    }
    field("parameters", params + "}");
    field("method", jsonString(std::string(nameOf(run.options.method))));
    field("chains", jsonString(std::string(nameOf(run.options.chains))));
    field("accuracy", jsonString(std::string(nameOf(run.options.accuracy))));
    if (run.options.accuracy == Accuracy::Converged) {
        field("free_energy_error_estimate", jsonNumber(run.errorEstimate));
        field("largest_standard_difference", jsonNumber(run.standardDifference));
        // The headline answer at standard accuracy, and whether the accuracy changed it.
        field("standard_most_probable", o.standardMostProbable ? jsonPair(*o.standardMostProbable) : "null");
        field("standard_most_probable_differs",
              o.standardMostProbable && o.mostProbable && *o.standardMostProbable != *o.mostProbable ? "true"
                                                                                                     : "false");
    }
    // Said only where it holds: a summary of finite complexes stays as it always was.
    if (o.coacervateLikely) {
        field("coacervate_likely", "true");
        field("edge_free_energy_slope", jsonNumber(o.edgeFreeEnergySlope));
    }
    for (const auto& [key, json] : run.extra) field(key, json);
    field("partial", run.partial ? "true" : "false");
    std::string warnings = "[";
    for (std::size_t k = 0; k < run.warnings.size(); ++k)
        warnings += (k ? ", " : "") + jsonString(run.warnings[k]);
    field("warnings", warnings + "]");
    // Which program wrote the file.
    field("version", jsonString(std::string(programVersion())));
    field("commit", jsonString(std::string(buildCommit())), true);
    return s + "}\n";
}

std::string freeEnergiesCsv(const ResultRecord& resultRecord) {
    std::string s =
        "# f_plus=" + formatReal17(resultRecord.ffc_positive) + " f_minus=" + formatReal17(resultRecord.ffc_minus);
    if (resultRecord.max_shift != 0.0) s += " max_shift=" + formatReal17(resultRecord.max_shift);
    s += "\nmp,mm,F,E,absValue,Value,beyond_dh\n";
    const CellEnergies& e = resultRecord.energies;
    if (e.empty() || !resultRecord.hasResults()) return s;
    for (std::int32_t r = 0; r < e.evaluated.rows(); ++r) {
        const std::uint8_t* ev = e.evaluated.row(r);
        for (std::int32_t c = 0; c < e.evaluated.cols(); ++c) {
            if (!ev[c]) continue;
            s += std::to_string(resultRecord.mpMin + r) + ',' + std::to_string(resultRecord.mmMin + c) + ',' +
                 formatReal17(e.F(r, c)) + ',' + formatReal17(e.E(r, c)) + ',' +
                 formatReal17(resultRecord.absValue(r, c)) + ',' + formatReal17(resultRecord.share(r, c)) + ',' +
                 (e.beyondValidity(r, c) ? '1' : '0') + '\n';
        }
    }
    return s;
}

}  // namespace marlinq
