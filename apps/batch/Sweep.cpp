#include "pipeline/Sensitivity.h"
#include "Sweep.h"
#include "SweepFiles.h"

#include "io/Destination.h"
#include "io/NumberText.h"
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
    const Destination to = Destination::of(target);
    std::string error;
    if (to.write(text, error)) return true;
    std::cerr << (to.isStandardOutput() ? std::string("can not write the result to standard output") : error) << '\n';
    return false;
}

// A point's file in the format the options ask for.
std::string distributionText(const BatchOptions& o, const ResultRecord& resultRecord) {
    const DistributionCells cells(resultRecord);
    return o.longFormat ? formatDistributionLong(cells.view(), nullptr) : formatDistribution(cells.view(), '.');
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
    DonePoints have;
    bool inOrder = true;  // the rows are the shard's first points in order: new ones follow them
    std::vector<std::int64_t> dropped;  // indexes of rows whose point files are missing: computed again
    std::int64_t doubtful = 0;
    std::vector<std::int64_t> doubtfulFirst;
};

// The point files a row of --sweep-dir stands for.
std::vector<std::string> pointFilesOf(const BatchOptions& o, const SweepSpec& plan, std::int64_t index) {
    SweepPoint point;
    point.index = index;
    point.values = sweepPointValues(plan, index);
    const std::string stem = (std::filesystem::path(o.sweepDir) / sweepPointStem(plan, point)).string();
    std::vector<std::string> files{stem + ".txt"};
    if (!o.freeEnergies.empty()) files.push_back(stem + ".free-energies.csv");
    return files;
}

// Reads source (FILE.partial, an unfinished run, or FILE); the rows must be this plan's,
// each once. With --sweep-dir a row whose point files are missing (a killed sweep had not
// renamed them into place) is computed again. exit 2 with the reason otherwise.
std::optional<ResumeState> readResume(const BatchOptions& o, const SweepSpec& plan, const std::string& source,
                                      bool partialFile, int& status) {
    ResumeState state;
    const std::string planLine = sweepPlanLine(plan), header = sweepCsvHeader(plan);
    const std::vector<std::string> columns = csvFields(header.substr(0, header.size() - 1));
    const std::size_t statusField =
        static_cast<std::size_t>(std::find(columns.begin(), columns.end(), "status") - columns.begin());
    const RowDoubts doubts(header);
    std::string error;
    std::int64_t rows = 0;
    const auto visit = [&](std::int64_t index, const std::string& line, std::int64_t number, std::string& why) {
        const std::int64_t k = (index - plan.shard.index) / plan.shard.count;
        if (!state.have.insert(k)) {
            why = source + " line " + std::to_string(number) + ": index " + std::to_string(index) + " a second time";
            return false;
        }
        // In order: the row is the shard's next point.
        if (k != rows) state.inOrder = false;
        ++rows;
        const std::vector<std::string> fields = csvFields(line.substr(0, line.size() - 1));
        if (!o.sweepDir.empty() && statusField < fields.size() && fields[statusField] == "ok") {
            std::error_code ec;
            for (const std::string& file : pointFilesOf(o, plan, index))
                if (!std::filesystem::exists(file, ec)) {
                    state.dropped.push_back(index);
                    return true;
                }
        }
        if (doubts.doubtful(fields)) {
            if (state.doubtfulFirst.size() < 10) state.doubtfulFirst.push_back(index);
            ++state.doubtful;
        }
        return true;
    };
    // The plan first, so that rows of another sweep are named as such.
    SweepCsvPart head;
    if (!readSweepPlanLine(source, head, error)) {
        std::cerr << error << "\n";
        status = 2;
        return std::nullopt;
    }
    if (head.planLine + '\n' != planLine) {
        std::cerr << source << " line 1: the rows belong to another sweep (or another program version, shard or "
                  << "tables);\n  the file: " << head.planLine << "\n  this sweep: " << planLine;
        status = 2;
        return std::nullopt;
    }
    // An unfinished file may end in a line cut short (a full disk, a killed sweep): it goes.
    if (!readSweepCsv(source, state.part, visit, error, partialFile)) {
        std::cerr << error << "\n";
        status = 2;
        return std::nullopt;
    }
    if (state.part.header != header) {
        std::cerr << source << " line 2: another header than this sweep's\n";
        status = 2;
        return std::nullopt;
    }
    if (state.part.cutLineDropped)
        std::cerr << source << ": the last line was cut short (a full disk or a killed sweep); its point is computed again\n";
    if (!state.dropped.empty()) {
        for (const std::int64_t index : state.dropped) state.have.erase((index - plan.shard.index) / plan.shard.count);
        std::cerr << state.dropped.size() << " rows of " << source << " have no point file in " << o.sweepDir
                  << " (the sweep was killed before writing them); they are computed again\n";
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
    return fixedText(static_cast<double>(bytes) / static_cast<double>(std::uint64_t{1} << 30), 1) + " GiB";
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

    // The tables are read once for the whole sweep; what they hold is part of the plan.
    const LoadedTables tables = engine.tables(plan.options);
    if (tables.failed()) {
        std::cerr << tables.error << '\n';
        return 1;
    }
    if (tables.tables) plan.tablesDigest = chainTablesDigest(*tables.tables);
    std::string error;
    if (!o.sweepDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(o.sweepDir, ec);
        if (!std::filesystem::is_directory(o.sweepDir, ec)) {
            std::cerr << "can not create the folder " << o.sweepDir << '\n';
            return 1;
        }
        if (!claimSweepFolder(o.sweepDir, plan, error)) {
            std::cerr << error << '\n';
            return 2;
        }
    }

    // Rows go out as they are finished: to standard output, or to FILE.partial (this
    // sweep's alone while it runs), renamed into place once complete.
    SweepCsvSink sink;
    const std::string preamble = sweepPlanLine(plan) + sweepCsvHeader(plan);
    std::optional<ResumeState> resumed;
    bool opened = false;
    if (o.resume) {
        if (!sink.claim(o.output, error)) {
            std::cerr << error << '\n';
            return 2;
        }
        const std::string source = sink.resumeSource();
        int status = 0;
        if (!source.empty()) resumed = readResume(o, plan, source, source == sink.partialPath(), status);
        if (status != 0) return status;
        if (!resumed && !o.quiet) std::cerr << "Nothing to resume in " << o.output << ": the sweep starts\n";
        static const std::vector<std::int64_t> none;
        opened = sink.resume(resumed ? &resumed->part : nullptr, resumed ? resumed->inOrder : true,
                             resumed ? resumed->dropped : none, preamble, error);
    } else {
        opened = sink.open(o.output, preamble, error);
    }
    if (!opened) {
        std::cerr << error << '\n';
        return sink.failed() || o.resume ? 1 : 2;
    }

    // Points at once and threads per point within the machine's threads.
    SweepRunSettings settings;
    const std::int64_t shardPoints = shardPointCount(plan);
    const std::int64_t kept = resumed ? resumed->have.count() : 0;
    const SweepParallelism parallel = sweepParallelism(o.jobs, shardPoints - kept);
    settings.workers = parallel.workers;
    plan.options.threads = parallel.threadsPerPoint;
    if (resumed) {
        settings.skip = [&have = resumed->have](std::int64_t k) { return have.contains(k); };
        settings.skipped = kept;
    }

    // The sweep ends at the user's stop, or at the first row or point file that can not be
    // written: computing on would only lose more.
    std::stop_source halt;
    const std::stop_callback relay(stop, [&halt] { halt.request_stop(); });
    bool pointFilesFailed = false;
    std::int64_t rowsWritten = 0;
    const RowDoubts doubts(sweepCsvHeader(plan));
    std::int64_t doubtful = resumed ? resumed->doubtful : 0;
    std::vector<std::int64_t> doubtfulFirst = resumed ? resumed->doubtfulFirst : std::vector<std::int64_t>{};
    PointFileBatch pointFiles(o.sweepDir);
    const auto start = std::chrono::steady_clock::now();
    const SweepResult result = runSweep(
        plan, tables, halt.get_token(),
        [&](const SweepPoint& point, std::int64_t done, std::int64_t total) {
            const std::string row = sweepCsvRow(plan, point);
            if (!sink.failed()) {
                if (sink.write(row, error)) {
                    ++rowsWritten;
                } else {
                    std::cerr << error << '\n';
                    halt.request_stop();
                }
            }
            if (doubts.doubtful(csvFields(row.substr(0, row.size() - 1)))) {
                if (doubtfulFirst.size() < 10) doubtfulFirst.push_back(point.index);
                ++doubtful;
            }
            if (!o.sweepDir.empty() && !pointFilesFailed && point.run.record && point.run.record->hasResults()) {
                const std::string stem = (std::filesystem::path(o.sweepDir) / sweepPointStem(plan, point)).string();
                std::string why;
                if (!pointFiles.add(stem + ".txt", distributionText(o, *point.run.record), why) ||
                    (!o.freeEnergies.empty() &&
                     !pointFiles.add(stem + ".free-energies.csv", freeEnergiesCsv(*point.run.record), why))) {
                    std::cerr << why << '\n';
                    pointFilesFailed = true;
                    halt.request_stop();
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
    if (std::string why; !pointFilesFailed && !pointFiles.flush(why)) {
        std::cerr << why << '\n';
        pointFilesFailed = true;
    }
    // A stopped or failed sweep keeps FILE.partial with its last line saying so; only a
    // complete one replaces FILE.
    const bool failed = sink.failed() || pointFilesFailed;
    const std::int64_t rows = kept + rowsWritten;
    const bool complete = !failed && !result.stopped;
    const std::string ending = complete ? std::string() : sweepPartialLine(rows, shardPoints);
    if (!sink.finish(complete, ending, error)) {
        std::cerr << error << '\n';
        return 1;
    }
    if (doubtful > 0) std::cerr << doubtsLine(doubtful, rows, doubtfulFirst) << '\n';
    const bool inPartialFile = !sink.partialPath().empty() && sink.partialPath() != sink.outputPath();
    if (failed) {
        std::cerr << "The sweep stopped at the failed write: " << rows << " of " << shardPoints << " points are written";
        if (inPartialFile) std::cerr << " in " << sink.partialPath() << "; --resume continues the sweep";
        std::cerr << '\n';
        return 1;
    }
    if (result.stopped) {
        if (!o.quiet)
            std::cerr << "Interrupted: " << result.done << " of " << result.total << " points were computed\n";
        std::cerr << ending.substr(2);
        if (inPartialFile) std::cerr << "The rows are kept in " << sink.partialPath() << "; --resume continues the sweep\n";
        std::cerr << std::flush;
        return 130;
    }
    return 0;
}

}  // namespace marlinq::batch
