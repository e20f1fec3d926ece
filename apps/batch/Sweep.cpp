#include "pipeline/Sensitivity.h"
#include "Sweep.h"

#include "io/Destination.h"
#include "io/NumberText.h"
#include "pipeline/Observables.h"
#include "pipeline/ObservablesText.h"
#include "pipeline/StoredSweep.h"
#include "pipeline/Sweep.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace marlinq::batch {

namespace {

// FILE, or standard output for "-"; false with a message when it fails.
bool deliver(const std::string& target, const std::string& text) {
    const Destination to = Destination::of(target);
    std::string error;
    if (to.write(text, error)) return true;
    std::cerr << (to.isStandardOutput() ? std::string("can not write the result to standard output") : error) << '\n';
    return false;
}

std::string secondsText(double s) {
    if (s < 60.0) return fixedText(s, 1) + " s";
    const int seconds = static_cast<int>(std::fmod(s, 60.0));
    return std::to_string(static_cast<int>(s / 60.0)) + " min " + (seconds < 10 ? "0" : "") + std::to_string(seconds) + " s";
}

}  // namespace

bool writeRunExtras(const BatchOptions& o, const RunOutcome& run, const ParameterSet& set, const Parameters& params) {
    if (!run.record || !run.record->hasResults()) return true;
    bool ok = true;
    if (!o.summary.empty()) {
        const Observables obs = computeObservables(*run.record);
        RunDescription d;
        d.set = set;
        d.params = params;
        d.options = o.options;
        d.unitNm = o.unitNm;
        d.partial = run.outcome == JobOutcome::Cancelled;
        d.warnings = runWarnings(run, obs);
        d.errorEstimate = run.counts.errorEstimate;
        d.standardDifference = run.counts.standardDifference;
        if (const StructureInputs in = structureInputs(o, params); in.hasMolarMasses())
            d.structure = computeStructureObservables(*run.record, obs, in);
        if (o.sensitivity) {
            const RunResult& r = *run.record;
            std::optional<MassBalanceTotals> totals;
            if (r.totalMode()) totals = MassBalanceTotals{r.concentrations.totalPlus, r.concentrations.totalMinus};
            if (const std::optional<Sensitivity> s =
                    sensitivityOf(r, totals, params.vc10, params.vc01, o.options.threads))
                d.extra.emplace_back("sensitivity", sensitivityJson(*s));
        }
        ok = deliver(o.summary, summaryJson(obs, d)) && ok;
    }
    if (!o.freeEnergies.empty()) ok = deliver(o.freeEnergies, freeEnergiesCsv(*run.record)) && ok;
    if (o.scattering) {
        const ScatteringCurve curve = scatteringCurve(*run.record, structureInputs(o, params),
                                                      scatteringQ(o.qMin, o.qMax, o.qCount, o.qLog));
        ok = deliver(o.scatteringOutput,
                     scatteringCsv({curve.q, curve.intensity, curve.core, curve.corona, curve.free})) && ok;
    }
    return ok;
}

int runSweepCommand(const BatchOptions& o, const ParameterSet& base, Engine& engine, std::stop_token stop) {
    StoredSweep sweep;
    sweep.plan = sweepPlan(o, base);
    sweep.output = o.output;
    sweep.resume = o.resume;
    sweep.largeOutput = o.largeOutput;
    sweep.quiet = o.quiet;
    sweep.jobs = o.jobs;
    sweep.pointFolder = o.sweepDir;
    sweep.longFormat = o.longFormat;
    sweep.landscapes = !o.freeEnergies.empty();
    StoredSweepEvents events;
    events.say = [](const std::string& text) { std::cerr << text << std::flush; };
    const auto start = std::chrono::steady_clock::now();
    if (!o.quiet)
        events.point = [&](const SweepPoint& point, std::int64_t done, std::int64_t total) {
            const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const double left = elapsed / static_cast<double>(done) * static_cast<double>(total - done);
            std::string values;
            for (std::size_t k = 0; k < sweep.plan.axes.size(); ++k)
                values += (k ? " " : "") + sweep.plan.axes[k].name + "=" + formatSweepValue(point.values[k]);
            std::cerr << "point " << done << " of " << total << " (index " << point.index << ", " << values
                      << "): " << point.status << ", about " << secondsText(left) << " left\n"
                      << std::flush;
        };
    return runStoredSweep(sweep, [&engine](const RunOptions& options) { return engine.tables(options); }, stop, events);
}

}  // namespace marlinq::batch
