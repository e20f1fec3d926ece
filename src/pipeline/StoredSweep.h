#pragma once
// A sweep run into the sweep store (io/SweepStore.h): the one way every front end (the
// batch command's --sweep, Python's marlinq.sweep(output=...), the sweep window) writes a
// sweep's CSV, so that the bytes are the same whichever of them wrote it. The rows go to
// FILE.partial as they finish and FILE once complete; a stopped or killed sweep is
// continued (resume) from what FILE.partial holds; the point files of a sweep folder are
// made durable in batches; a plan above 1 GiB is refused unless asked for.
//
//   StoredSweep s;  s.plan = plan;  s.output = "salt.csv";  s.resume = true;
//   StoredSweepEvents e;  e.say = [](const std::string& text) { std::cerr << text; };
//   const int status = runStoredSweep(s, [&](const RunOptions& o) { return engine.tables(o); }, token, e);

#include "io/SweepStore.h"
#include "pipeline/Sweep.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

namespace marlinq {

// What to sweep and where to.
struct StoredSweep {
    SweepSpec plan;             // its tablesDigest is set from the tables read
    std::string output;         // FILE; "" or "-" for standard output
    bool resume = false;        // continue FILE.partial (or FILE); a new sweep when there is nothing
    bool largeOutput = false;   // write a CSV (and point files) above 1 GiB
    bool quiet = false;         // leave out the notes that are not warnings
    std::int64_t jobs = 0;      // points at once (0: one per thread of the machine)
    // The point files (empty: none): each point's distribution, in the long format when
    // asked, and with landscapes its free energies.
    std::string pointFolder;
    bool longFormat = false;
    bool landscapes = false;
};

struct StoredSweepEvents {
    // Text for the user, whole lines with their line feeds (the batch command's standard
    // error): why the sweep can not start, a write that failed, the doubts, the stop.
    std::function<void(const std::string& text)> say;
    // After each point of this run, once its row (and point files) are written: the points
    // done of this run's total.
    std::function<void(const SweepPoint& point, std::int64_t done, std::int64_t total)> point;
};

// Runs the sweep into the store. tables reads the chain tables for the plan's options (once).
// Returns the exit status of the batch command: 0 complete (refused points are rows with
// their status), 1 the tables or a write failed (FILE.partial keeps the rows written), 2 the
// sweep could not start (a plan too large, a file of another plan, a partial file that is
// not this sweep's to take, ...; nothing written), 130 stopped by the token (FILE.partial
// ends with "# The sweep is partial: N of M points").
int runStoredSweep(const StoredSweep& sweep, const std::function<LoadedTables(const RunOptions&)>& tables,
                   std::stop_token stop, const StoredSweepEvents& events);

// What FILE.partial of this output holds when it is an unfinished sweep of this very plan
// (its plan line, tables digest included, is the plan's): its whole rows, which a resumed
// sweep keeps. nullopt when there is none, or it belongs to another plan (or version).
struct ResumableSweep {
    std::string partialPath;
    std::int64_t rows = 0, points = 0;  // rows held, points of the plan's shard
    // Each row kept, in file order: its index and its text without the line feed.
    std::vector<std::pair<std::int64_t, std::string>> kept;
};
std::optional<ResumableSweep> resumableSweep(const SweepSpec& plan, const std::string& output, bool withRows = false);

}  // namespace marlinq
