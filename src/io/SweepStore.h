#pragma once
// The sweep store: the files of a sweep, whichever front end runs it (the batch command,
// Python, the window). The CSV grows row by row next to its final name (FILE.partial, held
// under a lock, durable as rows finish, renamed into place when complete); such files are
// read back to resume a sweep; the shards of one sweep are joined (merge); the point files
// of a sweep folder are made durable in batches. Only text and files here: the rows
// themselves are the engine's (pipeline/Sweep.h), the run that fills the store is
// pipeline/StoredSweep.h.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace marlinq {

// The marks of a sweep CSV: its first line starts with the plan ("# marlinq 1.0 (commit
// ...) sweep 0123456789abcdef: 14 points, ..."), a shard's plan line ends with
// "; shard I/N", and a stopped sweep's last line is "# The sweep is partial: N of M points".
inline constexpr std::string_view kSweepPlanLineStart = "# ";
inline constexpr std::string_view kSweepShardEnding = "; shard ";
inline constexpr std::string_view kSweepPartialStart = "# The sweep is partial: ";

// A shard as a plan line names it: the points whose index is `index` modulo `count`.
struct SweepFileShard {
    std::int64_t index = 0, count = 1;
    bool contains(std::int64_t point) const { return point % count == index; }
};

// The file a sweep writing FILE keeps its rows in until it is complete.
std::string partialPathOf(const std::string& output);

// Where a sweep's -o lands: a symbolic link is followed (its target gets the rows, as a
// single run's output does), "" and "-" are standard output.
std::string sweepOutputPlace(const std::string& output);

// Opens a file to read only if it is a regular file (a FIFO or a device could block for
// ever); -1 and "PATH: reason" otherwise.
int openRegularFile(const std::string& path, std::string& error);

// One sweep CSV as read back: its plan line and header, checked row by row.
struct SweepCsvPart {
    std::string path;
    std::string planLine;        // the first line, without its line feed
    std::string sweepLine;       // the plan line without a shard ending
    std::optional<SweepFileShard> shard;  // from the shard ending
    std::int64_t points = 0;     // of the whole sweep, as the plan line says
    std::string header;          // the second line, with its line feed
    std::int64_t rows = 0;
    bool partialMark = false;    // ends with "# The sweep is partial: ..."
    std::string partialText;     // that line, without "# "
    std::uint64_t rowsEnd = 0;   // byte offset after the last row (after the header without rows)
    bool ascending = true;       // the rows' indexes increase
    bool cutLineDropped = false; // a last line without its line end was left out
};

// A row as read: its index, its text with the line feed, its line number.
using SweepRowVisitor = std::function<bool(std::int64_t index, const std::string& line, std::int64_t lineNumber,
                                           std::string& error)>;

// Reads a sweep CSV (a regular file only): plan line, header, rows whose index is a whole
// number below the plan's points (and in its shard) with as many fields as the header, a
// partial mark only as the last line, every line complete (dropCutLastLine: a last line
// without its line end, as a full disk or a killed writer leaves it, is left out and
// said in cutLineDropped). false and "FILE line N: what is wrong" otherwise.
bool readSweepCsv(const std::string& path, SweepCsvPart& part, const SweepRowVisitor& onRow, std::string& error,
                  bool dropCutLastLine = false);

// The first line of a file alone (a regular file only), checked as a sweep's plan line.
bool readSweepPlanLine(const std::string& path, SweepCsvPart& part, std::string& error);

// The fields of a CSV line (without its line feed), quotes removed.
std::vector<std::string> csvFields(const std::string& line);

// Which rows of a sweep CSV carry doubts: a row that ran and has warnings, unconverged
// solves, cells beyond a number or beyond Debye-Hueckel, or its most probable complex on
// the edge of the ranges. Built from the header.
class RowDoubts {
public:
    explicit RowDoubts(const std::string& header);
    bool doubtful(const std::vector<std::string>& fields) const;

private:
    std::size_t warnings_ = 0;
    std::vector<std::size_t> counts_;
};

// "3 of 40 points carry doubts (indexes 2, 5, 9): see their warnings, ... columns", the
// line every sweep and merge ends with when any point does (quiet or not).
std::string doubtsLine(std::int64_t doubtful, std::int64_t points, const std::vector<std::int64_t>& first);

// Where rows go as they finish: standard output, a device or FIFO, or FILE.partial: a
// file of the sweep's own (created, never followed through a link, held under an
// exclusive lock while the sweep runs), each row written at once and synced now and then,
// renamed to FILE only when the sweep is complete. A stopped or failed sweep leaves it in
// place with its partial line. The rows come in index order, except after resuming a file
// with gaps, which finish() puts in order.
class SweepCsvSink {
public:
    SweepCsvSink() = default;
    SweepCsvSink(const SweepCsvSink&) = delete;
    SweepCsvSink& operator=(const SweepCsvSink&) = delete;
    ~SweepCsvSink();

    // Standard output ("" or "-"), a device or FIFO, or a new FILE.partial holding the
    // plan line and header. An existing FILE.partial is refused (another sweep's, being
    // written or left to be resumed).
    bool open(const std::string& output, const std::string& preamble, std::string& error);
    // For --resume: takes FILE.partial (an existing one, locked, or a new empty one),
    // before it is read. resumeSource() then names what to continue: FILE.partial when it
    // holds more than nothing, else FILE if it exists, else "" (nothing to resume).
    bool claim(const std::string& output, std::string& error);
    std::string resumeSource() const;
    // Continues `part` (read from resumeSource()) in FILE.partial: its rows are kept (all
    // but `dropped`, the positions in the file of rows to compute again), a partial mark
    // and a cut last line dropped. Without a part, starts it with the preamble.
    bool resume(const SweepCsvPart* part, bool inOrder, const std::vector<std::int64_t>& dropped,
                const std::string& preamble, std::string& error);
    // One row, or nothing once a write failed: FILE.partial is then cut back to its last
    // whole row and the error kept.
    bool write(const std::string& text, std::string& error);
    bool failed() const { return failed_; }
    // complete: syncs and renames into place (rows sorted when needed). Otherwise writes
    // the partial line (when it can) and leaves FILE.partial.
    bool finish(bool complete, const std::string& partialLine, std::string& error);
    // The file holding the rows now (FILE.partial, or the output for a device).
    const std::string& partialPath() const { return partial_; }
    const std::string& outputPath() const { return output_; }

private:
    bool create(std::string& error);
    bool sortRows(std::string& error);
    std::string output_, partial_;
    int fd_ = -1;
    bool inOrder_ = true;
    bool direct_ = false;    // a device or FIFO, written without a partial file
    bool existed_ = false;   // claim() found FILE.partial
    bool created_ = false;   // this sweep made FILE.partial (removed when left empty)
    bool failed_ = false;
    std::uint64_t whole_ = 0;  // bytes of FILE.partial up to its last whole row
    double lastSync_ = 0.0;
};

// The point files of --sweep-dir, made durable in batches: each is written to a temporary
// file in the folder at once, and about once a second (or every few hundred files) the
// folder's file system is synced once and the batch renamed into place. A file is thus
// complete or absent, at the cost of one sync per batch instead of one per file.
class PointFileBatch {
public:
    explicit PointFileBatch(std::string folder) : folder_(std::move(folder)) {}
    PointFileBatch(const PointFileBatch&) = delete;
    PointFileBatch& operator=(const PointFileBatch&) = delete;
    bool add(const std::string& path, const std::string& text, std::string& error);
    // Syncs and renames what is waiting (also at the end of a sweep).
    bool flush(std::string& error);
    ~PointFileBatch();  // removes temporary files never renamed

private:
    std::string folder_;
    std::vector<std::pair<std::string, std::string>> waiting_;  // temporary file, final name
    double since_ = -1.0;
    std::uint64_t made_ = 0;
};

// The folder of --sweep-dir claimed for a plan: its manifest (marlinq-sweep.txt, the plan
// line without a shard ending: wholePlanLine, with its line feed) written when new and
// compared otherwise: a folder holding another plan's point files is refused. The
// temporary point files a killed sweep of this shard left are removed. false and the
// reason otherwise.
bool claimSweepFolder(const std::string& folder, const std::string& wholePlanLine, const SweepFileShard& shard,
                      std::string& error);
inline constexpr const char* kSweepFolderManifest = "marlinq-sweep.txt";

// Done positions of a shard as runs [first, end): memory grows with the gaps, not with
// the points (a plan of 10^12 points resumes as well as one of ten).
class DonePoints {
public:
    bool insert(std::int64_t k);  // false when k was already there
    bool contains(std::int64_t k) const;
    void erase(std::int64_t k);
    std::int64_t count() const { return count_; }

private:
    std::map<std::int64_t, std::int64_t> runs_;  // first -> end
    std::int64_t count_ = 0;
};

// Joins the parts of one sweep (marlinq-batch --merge PART... [-o FILE], marlinq.merge):
// the parts' rows in index order under their plan line and header, each index of the sweep
// exactly once, to FILE (atomically) or, for "" and "-", to standardOutput. Returns the
// exit status: 0, 2 with the reason naming the parts when they are not one whole sweep
// (nothing written), 1 when a part can not be read back or the output not written (nothing
// is then left in FILE). What is wrong, the points without a result and the doubts go to
// messages, line by line; "merged N points from M parts" too unless quiet.
int mergeSweepParts(const std::vector<std::string>& parts, const std::string& output, bool quiet,
                    std::ostream& messages, std::ostream& standardOutput);

}  // namespace marlinq
