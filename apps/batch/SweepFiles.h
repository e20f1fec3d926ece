#pragma once
// The files of a sweep: the CSV growing row by row next to its final name (FILE.partial,
// durable as rows finish, renamed into place when complete), reading such files back to
// resume a sweep, and joining the shards of one sweep (--merge).

#include "pipeline/Sweep.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace marlinq::batch {

// The file a sweep writing FILE keeps its rows in until it is complete.
std::string partialPathOf(const std::string& output);

// One sweep CSV as read back: its plan line and header, checked row by row.
struct SweepCsvPart {
    std::string path;
    std::string planLine;        // the first line, without its line feed
    std::string sweepLine;       // the plan line without a shard ending
    std::optional<Shard> shard;  // from the shard ending
    std::int64_t points = 0;     // of the whole sweep, as the plan line says
    std::string header;          // the second line, with its line feed
    std::int64_t rows = 0;
    bool partialMark = false;    // ends with "# The sweep is partial: ..."
    std::string partialText;     // that line, without "# "
    std::uint64_t rowsEnd = 0;   // byte offset after the last row
    bool ascending = true;       // the rows' indexes increase
};

// A row as read: its index, its text with the line feed, its line number.
using SweepRowVisitor = std::function<bool(std::int64_t index, const std::string& line, std::int64_t lineNumber,
                                           std::string& error)>;

// Reads a sweep CSV: plan line, header, rows whose index is a whole number below the plan's
// points (and in its shard) with as many fields as the header, a partial mark only as the
// last line, every line complete. false and "FILE line N: what is wrong" otherwise.
bool readSweepCsv(const std::string& path, SweepCsvPart& part, const SweepRowVisitor& onRow, std::string& error);

// Where rows go as they finish: standard output, or FILE.partial (each row written at
// once, synced now and then), which finish() renames to FILE. The rows come in index
// order, except after resuming a file with gaps, which finish() puts in order.
class SweepCsvSink {
public:
    // Standard output ("" or "-") or a new FILE.partial holding the plan line and header.
    bool open(const std::string& output, const std::string& preamble, std::string& error);
    // Continues `part` (read from FILE or FILE.partial) in FILE.partial: its rows are kept,
    // a partial mark dropped.
    bool resume(const std::string& output, const SweepCsvPart& part, bool inOrder, std::string& error);
    bool write(const std::string& text, std::string& error);
    // Writes the ending (a partial mark, or nothing), syncs and renames into place.
    bool finish(const std::string& ending, std::string& error);
    ~SweepCsvSink();

private:
    bool sortRows(std::string& error);
    std::string output_, partial_;
    int fd_ = -1;
    bool inOrder_ = true;
    bool direct_ = false;  // a device or FIFO, written without a partial file
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

// marlinq-batch --merge PART... [-o FILE]: the parts' rows in index order under their
// plan line and header, each index of the sweep exactly once. Returns the exit status (2
// with the reason naming the parts when they are not one whole sweep).
int mergeSweepParts(const std::vector<std::string>& parts, const std::string& output, bool quiet);

}  // namespace marlinq::batch
