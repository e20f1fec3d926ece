#include "pipeline/StoredSweep.h"

#include "files/DistributionExport.h"
#include "io/NumberText.h"
#include "pipeline/ObservablesText.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <sstream>

namespace marlinq {

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

// A point's file in the format asked for.
std::string distributionText(const StoredSweep& s, const RunResult& resultRecord) {
    const DistributionCells cells(resultRecord);
    return s.longFormat ? formatDistributionLong(cells.view(), nullptr) : formatDistribution(cells.view(), '.');
}

// The point files a row of the point folder stands for.
std::vector<std::string> pointFilesOf(const StoredSweep& s, const SweepSpec& plan, std::int64_t index) {
    SweepPoint point;
    point.index = index;
    point.values = sweepPointValues(plan, index);
    const std::string stem = (std::filesystem::path(s.pointFolder) / sweepPointStem(plan, point)).string();
    std::vector<std::string> files{stem + ".txt"};
    if (s.landscapes) files.push_back(stem + ".free-energies.csv");
    return files;
}

// Reads source (FILE.partial, an unfinished run, or FILE); the rows must be this plan's,
// each once. With point files a row whose files are missing (a killed sweep had not renamed
// them into place) is computed again. nullopt (status 2, the reason said) otherwise.
std::optional<ResumeState> readResume(const StoredSweep& s, const SweepSpec& plan, const std::string& source,
                                      bool partialFile, const std::function<void(const std::string&)>& say) {
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
        if (!s.pointFolder.empty() && statusField < fields.size() && fields[statusField] == "ok") {
            std::error_code ec;
            for (const std::string& file : pointFilesOf(s, plan, index))
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
        say(error + "\n");
        return std::nullopt;
    }
    if (head.planLine + '\n' != planLine) {
        say(source + " line 1: the rows belong to another sweep (or another program version, shard or tables);\n"
                     "  the file: " + head.planLine + "\n  this sweep: " + planLine);
        return std::nullopt;
    }
    // An unfinished file may end in a line cut short (a full disk, a killed sweep): it goes.
    if (!readSweepCsv(source, state.part, visit, error, partialFile)) {
        say(error + "\n");
        return std::nullopt;
    }
    if (state.part.header != header) {
        say(source + " line 2: another header than this sweep's\n");
        return std::nullopt;
    }
    if (state.part.cutLineDropped)
        say(source + ": the last line was cut short (a full disk or a killed sweep); its point is computed again\n");
    if (!state.dropped.empty()) {
        for (const std::int64_t index : state.dropped) state.have.erase((index - plan.shard.index) / plan.shard.count);
        say(std::to_string(state.dropped.size()) + " rows of " + source + " have no point file in " + s.pointFolder +
            " (the sweep was killed before writing them); they are computed again\n");
    }
    return state;
}

// The ranges of the largest point file: the largest upper ends and the smallest lower ends
// the sweep can give.
DistributionView widestPointRanges(const SweepSpec& plan) {
    DistributionView ranges = rangesOf(plan.base.params);
    for (const SweepAxis& axis : plan.axes) {
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

// What the point files take on disk: per point its distribution in the format asked for
// (the wide table's bound, or about 60 bytes per computed cell in the long format) and its
// landscape (about 130 bytes per cell), for the widest ranges of the plan.
std::uint64_t pointFolderBytes(const StoredSweep& s, std::int64_t points) {
    if (s.pointFolder.empty()) return 0;
    const DistributionView r = widestPointRanges(s.plan);
    const auto span = [](std::int32_t lo, std::int32_t hi) { return static_cast<std::uint64_t>(std::max(0, hi - lo + 1)); };
    const std::uint64_t cells = span(r.mpMin, r.mpMax) * span(r.mmMin, r.mmMax);
    std::uint64_t perPoint = s.longFormat ? 32 + 60 * cells : distributionExportSizeBound(r);
    if (s.landscapes) perPoint += 200 + 130 * cells;
    const auto n = static_cast<std::uint64_t>(points);
    if (perPoint != 0 && n > std::numeric_limits<std::uint64_t>::max() / perPoint)
        return std::numeric_limits<std::uint64_t>::max();
    return n * perPoint;
}

std::string gibText(std::uint64_t bytes) {
    return fixedText(static_cast<double>(bytes) / static_cast<double>(std::uint64_t{1} << 30), 1) + " GiB";
}

}  // namespace

int runStoredSweep(const StoredSweep& sweep, const std::function<LoadedTables(const RunOptions&)>& readTables,
                   std::stop_token stop, const StoredSweepEvents& events) {
    const auto say = [&events](const std::string& text) {
        if (events.say) events.say(text);
    };
    SweepSpec plan = sweep.plan;
    if (!sweep.pointFolder.empty() && !sweep.longFormat)
        // The table of a point grows with its largest M and its computed cells.
        if (const std::optional<std::uint64_t> bytes = oversizedWideExport(widestPointRanges(plan))) {
            say("each point's distribution table in --sweep-dir would be up to " +
                std::to_string(*bytes / (std::uint64_t{1} << 20)) +
                " MiB (it runs from M = 0 to the largest M); use --long-format to write only the computed cells\n");
            return 2;
        }
    if (!sweep.largeOutput) {
        if (const std::optional<std::string> tooLarge = oversizedSweep(plan)) {
            say(*tooLarge + "; use --large-output to write it anyway, or fewer points or more shards\n");
            return 2;
        }
        if (const std::uint64_t bytes = pointFolderBytes(sweep, shardPointCount(plan)); bytes > kLargestSweepOutput) {
            say("the point files of --sweep-dir would take about " + gibText(bytes) + " (" +
                std::to_string(shardPointCount(plan)) + " points); use --large-output to write them anyway\n");
            return 2;
        }
    }

    // The tables are read once for the whole sweep; what they hold is part of the plan.
    const LoadedTables tables = readTables(plan.options);
    if (tables.failed()) {
        say(tables.error + "\n");
        return 1;
    }
    if (tables.tables) plan.tablesDigest = chainTablesDigest(*tables.tables);
    std::string error;
    if (!sweep.pointFolder.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(sweep.pointFolder, ec);
        if (!std::filesystem::is_directory(sweep.pointFolder, ec)) {
            say("can not create the folder " + sweep.pointFolder + "\n");
            return 1;
        }
        SweepSpec whole = plan;
        whole.shard = Shard{};
        if (!claimSweepFolder(sweep.pointFolder, sweepPlanLine(whole), SweepFileShard{plan.shard.index, plan.shard.count},
                              error)) {
            say(error + "\n");
            return 2;
        }
    }

    // Rows go out as they are finished: to standard output, or to FILE.partial (this
    // sweep's alone while it runs), renamed into place once complete.
    SweepCsvSink sink;
    const std::string preamble = sweepPlanLine(plan) + sweepCsvHeader(plan);
    std::optional<ResumeState> resumed;
    bool opened = false;
    if (sweep.resume) {
        if (!sink.claim(sweep.output, error)) {
            say(error + "\n");
            return 2;
        }
        const std::string source = sink.resumeSource();
        if (!source.empty()) {
            resumed = readResume(sweep, plan, source, source == sink.partialPath(), say);
            if (!resumed) return 2;
        }
        if (!resumed && !sweep.quiet) say("Nothing to resume in " + sweep.output + ": the sweep starts\n");
        static const std::vector<std::int64_t> none;
        opened = sink.resume(resumed ? &resumed->part : nullptr, resumed ? resumed->inOrder : true,
                             resumed ? resumed->dropped : none, preamble, error);
    } else {
        opened = sink.open(sweep.output, preamble, error);
    }
    if (!opened) {
        say(error + "\n");
        return sink.failed() || sweep.resume ? 1 : 2;
    }
    // Points at once and threads per point within the machine's threads.
    SweepRunSettings settings;
    const std::int64_t shardPoints = shardPointCount(plan);
    const std::int64_t keptCount = resumed ? resumed->have.count() : 0;
    const SweepParallelism parallel = sweepParallelism(sweep.jobs, shardPoints - keptCount);
    settings.workers = parallel.workers;
    plan.options.threads = parallel.threadsPerPoint;
    if (resumed) {
        settings.skip = [&have = resumed->have](std::int64_t k) { return have.contains(k); };
        settings.skipped = keptCount;
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
    PointFileBatch pointFiles(sweep.pointFolder);
    const SweepResult result = runSweep(
        plan, tables, halt.get_token(),
        [&](const SweepPoint& point, std::int64_t done, std::int64_t total) {
            const std::string row = sweepCsvRow(plan, point);
            if (!sink.failed()) {
                if (sink.write(row, error)) {
                    ++rowsWritten;
                } else {
                    say(error + "\n");
                    halt.request_stop();
                }
            }
            if (doubts.doubtful(csvFields(row.substr(0, row.size() - 1)))) {
                if (doubtfulFirst.size() < 10) doubtfulFirst.push_back(point.index);
                ++doubtful;
            }
            if (!sweep.pointFolder.empty() && !pointFilesFailed && point.run.record && point.run.record->hasResults()) {
                const std::string stem =
                    (std::filesystem::path(sweep.pointFolder) / sweepPointStem(plan, point)).string();
                std::string why;
                if (!pointFiles.add(stem + ".txt", distributionText(sweep, *point.run.record), why) ||
                    (sweep.landscapes &&
                     !pointFiles.add(stem + ".free-energies.csv", freeEnergiesCsv(*point.run.record), why))) {
                    say(why + "\n");
                    pointFilesFailed = true;
                    halt.request_stop();
                }
            }
            if (events.point) events.point(point, done, total);
        },
        settings);
    if (std::string why; !pointFilesFailed && !pointFiles.flush(why)) {
        say(why + "\n");
        pointFilesFailed = true;
    }
    // A stopped or failed sweep keeps FILE.partial with its last line saying so; only a
    // complete one replaces FILE.
    const bool failed = sink.failed() || pointFilesFailed;
    const std::int64_t rows = keptCount + rowsWritten;
    const bool complete = !failed && !result.stopped;
    const std::string ending = complete ? std::string() : sweepPartialLine(rows, shardPoints);
    if (!sink.finish(complete, ending, error)) {
        say(error + "\n");
        return 1;
    }
    if (doubtful > 0) say(doubtsLine(doubtful, rows, doubtfulFirst) + "\n");
    const bool inPartialFile = !sink.partialPath().empty() && sink.partialPath() != sink.outputPath();
    if (failed) {
        std::string text = "The sweep stopped at the failed write: " + std::to_string(rows) + " of " +
                           std::to_string(shardPoints) + " points are written";
        if (inPartialFile) text += " in " + sink.partialPath() + "; --resume continues the sweep";
        say(text + "\n");
        return 1;
    }
    if (result.stopped) {
        std::string text;
        if (!sweep.quiet)
            text = "Interrupted: " + std::to_string(result.done) + " of " + std::to_string(result.total) +
                   " points were computed\n";
        text += ending.substr(2);
        if (inPartialFile) text += "The rows are kept in " + sink.partialPath() + "; --resume continues the sweep\n";
        say(text);
        return 130;
    }
    return 0;
}

std::optional<ResumableSweep> resumableSweep(const SweepSpec& plan, const std::string& output, bool withRows) {
    ResumableSweep found;
    found.partialPath = partialPathOf(sweepOutputPlace(output));
    found.points = shardPointCount(plan);
    SweepCsvPart head;
    std::string error;
    if (!readSweepPlanLine(found.partialPath, head, error) || head.planLine + '\n' != sweepPlanLine(plan))
        return std::nullopt;
    SweepCsvPart part;
    const auto keep = [&](std::int64_t index, const std::string& row, std::int64_t, std::string&) {
        if (withRows) found.kept.emplace_back(index, row.substr(0, row.size() - 1));
        return true;
    };
    if (!readSweepCsv(found.partialPath, part, keep, error, true) || part.header != sweepCsvHeader(plan))
        return std::nullopt;
    found.rows = part.rows;
    return found;
}

}  // namespace marlinq
