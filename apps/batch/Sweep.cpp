#include "pipeline/Sensitivity.h"
#include "Sweep.h"
#include "SweepFiles.h"

#include "files/ScatteringExport.h"

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
#include <fstream>
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
std::string distributionText(const BatchOptions& o, const ResultRecord& resultRecord) {
    const DistributionCells cells(resultRecord);
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
        if (const StructureInputs in = structureInputs(o, params); in.hasMolarMasses())
            d.structure = computeStructureObservables(*run.record, obs, in);
        if (o.sensitivity) {
            const ResultRecord& r = *run.record;
            std::optional<MassBalanceTotals> totals;
            if (r.totalMode) totals = MassBalanceTotals{r.totalPlus, r.totalMinus};
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

namespace {

// What --resume found: the rows of the shard already written, by position in the shard.
struct ResumeState {
    SweepCsvPart part;
    std::vector<bool> have;
    std::int64_t rows = 0;
    bool inOrder = true;  // the rows are the shard's first points in order: new ones follow them
};

// Reads FILE.partial (an unfinished run) or else FILE; nullopt when there is neither. The
// rows must be this plan's, each once. exit 2 with the reason otherwise.
std::optional<ResumeState> readResume(const BatchOptions& o, const SweepSpec& plan, int& status) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const std::string partial = partialPathOf(o.output);
    const std::string source = fs::exists(partial, ec) ? partial : fs::exists(o.output, ec) ? o.output : std::string();
    if (source.empty()) return std::nullopt;
    ResumeState state;
    const std::int64_t n = shardPointCount(plan);
    state.have.assign(static_cast<std::size_t>(n), false);
    const std::string planLine = sweepPlanLine(plan), header = sweepCsvHeader(plan);
    std::string error;
    const auto visit = [&](std::int64_t index, const std::string&, std::int64_t line, std::string& why) {
        const std::int64_t k = (index - plan.shard.index) / plan.shard.count;
        if (state.have[static_cast<std::size_t>(k)]) {
            why = source + " line " + std::to_string(line) + ": index " + std::to_string(index) + " a second time";
            return false;
        }
        state.have[static_cast<std::size_t>(k)] = true;
        // In order: the row is the shard's next point.
        if (k != state.rows) state.inOrder = false;
        ++state.rows;
        return true;
    };
    // The plan first, so that rows of another sweep are named as such.
    {
        std::ifstream in(source, std::ios::binary);
        std::string line;
        if (std::getline(in, line) && line + '\n' != planLine) {
            std::cerr << source << " line 1: the rows belong to another sweep (or another program version or shard);\n"
                      << "  the file: " << line << "\n  this sweep: " << planLine;
            status = 2;
            return std::nullopt;
        }
    }
    if (!readSweepCsv(source, state.part, visit, error)) {
        std::cerr << error << "\n";
        status = 2;
        return std::nullopt;
    }
    if (state.part.header != header) {
        std::cerr << source << " line 2: another header than this sweep's\n";
        status = 2;
        return std::nullopt;
    }
    return state;
}

}  // namespace

// The ranges of the largest point file: the largest upper ends and the smallest lower ends
// the sweep can give.
DistributionView widestPointRanges(const BatchOptions& o, const ParameterSet& base) {
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
    return ranges;
}

std::optional<std::uint64_t> oversizedPointTable(const BatchOptions& o, const ParameterSet& base) {
    if (o.sweepDir.empty() || o.longFormat) return std::nullopt;
    // The table of a point grows with its largest M and its computed cells.
    return oversizedWideExport(widestPointRanges(o, base));
}

// What the point files of --sweep-dir take on disk: per point its distribution in the
// format asked for (the wide table's bound, or about 60 bytes per computed cell in the long
// format) and its landscape (about 130 bytes per cell), for the widest ranges of the plan.
std::uint64_t sweepDirBytes(const BatchOptions& o, const ParameterSet& base, std::int64_t points) {
    if (o.sweepDir.empty()) return 0;
    const DistributionView r = widestPointRanges(o, base);
    const auto span = [](std::int32_t lo, std::int32_t hi) { return static_cast<std::uint64_t>(std::max(0, hi - lo + 1)); };
    const std::uint64_t cells = span(r.mpMin, r.mpMax) * span(r.mmMin, r.mmMax);
    std::uint64_t perPoint = o.longFormat ? 32 + 60 * cells : distributionExportSizeBound(r);
    if (!o.freeEnergies.empty()) perPoint += 200 + 130 * cells;
    const auto n = static_cast<std::uint64_t>(points);
    if (perPoint != 0 && n > std::numeric_limits<std::uint64_t>::max() / perPoint) return std::numeric_limits<std::uint64_t>::max();
    return n * perPoint;
}

std::string gibText(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(bytes) / static_cast<double>(std::uint64_t{1} << 30));
    return text;
}

int runSweepCommand(const BatchOptions& o, const ParameterSet& base, Engine& engine, std::stop_token stop) {
    SweepSpec plan = sweepPlan(o, base);
    if (const std::optional<std::uint64_t> bytes = oversizedPointTable(o, base)) {
        std::cerr << "each point's distribution table in --sweep-dir would be up to "
                  << *bytes / (std::uint64_t{1} << 20)
                  << " MiB (it runs from M = 0 to the largest M); use --long-format to write only the computed cells\n";
        return 2;
    }
    if (!o.largeOutput) {
        if (const std::optional<std::string> tooLarge = oversizedSweep(plan)) {
            std::cerr << *tooLarge << "; use --large-output to write it anyway, or fewer points or more shards\n";
            return 2;
        }
        if (const std::uint64_t bytes = sweepDirBytes(o, base, shardPointCount(plan)); bytes > kLargestSweepOutput) {
            std::cerr << "the point files of --sweep-dir would take about " << gibText(bytes) << " ("
                      << shardPointCount(plan) << " points); use --large-output to write them anyway\n";
            return 2;
        }
    }

    // The rows already written, when resuming.
    int status = 0;
    std::optional<ResumeState> resumed;
    if (o.resume) {
        resumed = readResume(o, plan, status);
        if (status != 0) return status;
        if (!resumed && !o.quiet) std::cerr << "Nothing to resume in " << o.output << ": the sweep starts\n";
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

    // Points at once and threads per point within the machine's threads.
    SweepRunSettings settings;
    const std::int64_t shardPoints = shardPointCount(plan);
    const SweepParallelism parallel =
        sweepParallelism(o.jobs, resumed ? shardPoints - resumed->rows : shardPoints);
    settings.workers = parallel.workers;
    plan.options.threads = parallel.threadsPerPoint;
    if (resumed) settings.skip = [&have = resumed->have](std::int64_t k) { return have[static_cast<std::size_t>(k)]; };

    // Rows go out as they are finished: to standard output, or to FILE.partial, renamed
    // into place at the end.
    SweepCsvSink sink;
    std::string error;
    const bool opened = resumed ? sink.resume(o.output, resumed->part, resumed->inOrder, error)
                                : sink.open(o.output, sweepPlanLine(plan) + sweepCsvHeader(plan), error);
    if (!opened) {
        std::cerr << error << '\n';
        return 1;
    }
    bool ok = true;
    PointFileBatch pointFiles(o.sweepDir);
    const auto start = std::chrono::steady_clock::now();
    const SweepResult result = runSweep(
        plan, tables, stop,
        [&](const SweepPoint& point, std::int64_t done, std::int64_t total) {
            if (ok && !sink.write(sweepCsvRow(plan, point), error)) {
                std::cerr << error << '\n';
                ok = false;
            }
            if (!o.sweepDir.empty() && point.run.record && point.run.record->hasResults()) {
                const std::string stem = (std::filesystem::path(o.sweepDir) / sweepPointStem(plan, point)).string();
                std::string why;
                if (!pointFiles.add(stem + ".txt", distributionText(o, *point.run.record), why) ||
                    (!o.freeEnergies.empty() &&
                     !pointFiles.add(stem + ".free-energies.csv", freeEnergiesCsv(*point.run.record), why))) {
                    std::cerr << why << '\n';
                    ok = false;
                }
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
        },
        settings);
    if (std::string why; !pointFiles.flush(why)) {
        std::cerr << why << '\n';
        ok = false;
    }
    // A stopped sweep says so in its last line and on standard error, even when quiet.
    const std::int64_t have = (resumed ? resumed->rows : 0) + result.done;
    const std::string ending = result.stopped ? sweepPartialLine(have, shardPoints) : std::string();
    if (!sink.finish(ending, error)) {
        std::cerr << error << '\n';
        return 1;
    }
    if (!ok) return 1;
    if (result.stopped) {
        if (!o.quiet)
            std::cerr << "Interrupted: " << result.done << " of " << result.total << " points were computed\n";
        std::cerr << ending.substr(2) << std::flush;
        return 130;
    }
    return 0;
}

}  // namespace marlinq::batch
