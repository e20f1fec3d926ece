#include "Sweep.h"

#include "files/DistributionExport.h"
#include "pipeline/AtomicFile.h"
#include "pipeline/Observables.h"
#include "pipeline/ObservablesText.h"
#include "pipeline/Sweep.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>

namespace marlinq::batch {

namespace {

// FILE, or standard output for "-"; false with a message when it fails.
bool deliver(const std::string& target, const std::string& text) {
    if (target == "-") {
        std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
        std::cout.flush();
        if (std::cout.fail()) {
            std::cerr << "can not write the result to standard output\n";
            return false;
        }
        return true;
    }
    std::string error;
    if (!writeTextFileAtomically(target, text, error)) {
        std::cerr << error << '\n';
        return false;
    }
    return true;
}

// A point's file in the format the options ask for.
std::string distributionText(const BatchOptions& o, const InfoSphereBean& isb) {
    const DistributionCells cells(isb);
    return o.longFormat ? formatDistributionLong(cells.view(), nullptr) : formatDistribution(cells.view(), '.');
}

std::string secondsText(double s) {
    char buf[32];
    if (s < 60.0) std::snprintf(buf, sizeof buf, "%.1f s", s);
    else std::snprintf(buf, sizeof buf, "%d min %02d s", static_cast<int>(s / 60.0), static_cast<int>(std::fmod(s, 60.0)));
    return buf;
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
        ok = deliver(o.summary, summaryJson(obs, d)) && ok;
    }
    if (!o.freeEnergies.empty()) ok = deliver(o.freeEnergies, freeEnergiesCsv(*run.record)) && ok;
    return ok;
}

std::optional<std::uint64_t> oversizedPointTable(const BatchOptions& o, const ParameterSet& base) {
    if (o.sweepDir.empty() || o.longFormat) return std::nullopt;
    // The table of a point grows with its largest M and its computed cells: the bound of
    // the largest upper ends and the smallest lower ends the sweep can give.
    DistributionView ranges = rangesOf(base.params);
    for (const SweepAxis& axis : o.sweeps) {
        if (axis.values.empty()) continue;
        const auto [lo, hi] = std::minmax_element(axis.values.begin(), axis.values.end());
        const auto whole = [](double v) {
            return static_cast<std::int32_t>(std::clamp(v, 0.0, static_cast<double>(kMaxAggregation)));
        };
        if (axis.name == "mpMax") ranges.mpMax = whole(*hi);
        if (axis.name == "mmMax") ranges.mmMax = whole(*hi);
        if (axis.name == "mpMin") ranges.mpMin = whole(*lo);
        if (axis.name == "mmMin") ranges.mmMin = whole(*lo);
    }
    ranges.mpMin = std::min(ranges.mpMin, ranges.mpMax);
    ranges.mmMin = std::min(ranges.mmMin, ranges.mmMax);
    return oversizedWideExport(ranges);
}

int runSweepCommand(const BatchOptions& o, const ParameterSet& base, Engine& engine, std::stop_token stop) {
    const SweepSpec plan = sweepPlan(o, base);
    if (const std::optional<std::uint64_t> bytes = oversizedPointTable(o, base)) {
        std::cerr << "each point's distribution table in --sweep-dir would be up to "
                  << *bytes / (std::uint64_t{1} << 20)
                  << " MiB (it runs from M = 0 to the largest M); use --long-format to write only the computed cells\n";
        return 2;
    }

    // The tables are read once for the whole sweep.
    const LoadedTables tables = engine.tables(plan.options);
    if (tables.failed()) {
        std::cerr << tables.error << '\n';
        return 1;
    }
    if (!o.sweepDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(o.sweepDir, ec);
        if (!std::filesystem::is_directory(o.sweepDir, ec)) {
            std::cerr << "can not create the folder " << o.sweepDir << '\n';
            return 1;
        }
    }

    // Rows go out as they are finished on standard output; a file is written once, whole.
    const bool toStdout = o.output.empty() || o.output == "-";
    std::string csv = sweepCsvHeader(plan);
    if (toStdout && !deliver("-", csv)) return 1;
    bool ok = true;
    const auto start = std::chrono::steady_clock::now();
    const SweepResult result =
        runSweep(plan, tables, stop, [&](const SweepPoint& point, std::int64_t done, std::int64_t total) {
            const std::string row = sweepCsvRow(plan, point);
            if (toStdout) ok = deliver("-", row) && ok;
            else csv += row;
            if (!o.sweepDir.empty() && point.run.record && point.run.record->hasResults()) {
                const std::string stem = (std::filesystem::path(o.sweepDir) / sweepPointStem(plan, point)).string();
                ok = deliver(stem + ".txt", distributionText(o, *point.run.record)) && ok;
                if (!o.freeEnergies.empty())
                    ok = deliver(stem + ".free-energies.csv", freeEnergiesCsv(*point.run.record)) && ok;
            }
            if (!o.quiet) {
                const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                const double left = elapsed / static_cast<double>(done) * static_cast<double>(total - done);
                std::string values;
                for (std::size_t k = 0; k < plan.axes.size(); ++k)
                    values += (k ? " " : "") + plan.axes[k].name + "=" + formatSweepValue(point.values[k]);
                std::cerr << "point " << done << " of " << total << " (index " << point.index << ", " << values
                          << "): " << point.status << ", about " << secondsText(left) << " left\n"
                          << std::flush;
            }
        });
    if (!toStdout) ok = deliver(o.output, csv) && ok;
    if (!ok) return 1;
    if (result.stopped) {
        if (!o.quiet)
            std::cerr << "Interrupted: " << result.done << " of " << result.total << " points were computed\n";
        return 130;
    }
    return 0;
}

}  // namespace marlinq::batch
