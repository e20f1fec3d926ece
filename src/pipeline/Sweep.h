#pragma once
// Parameter sweeps: one run per value of one or two parameters, on the engine, with the
// tables loaded once. The pure parts (values, grid order, shards, CSV rows) are free
// functions a front end or a binding can use on their own.
//
//   SweepSpec plan;  plan.base = set;  plan.axes = {*parseSweepAxis("ka=0.2:10:100:log", err)};
//   if (auto bad = validate(plan)) ...;                   // the same check in every front end
//   runSweep(plan, engine.tables(plan.options), token, [](const SweepPoint& p, std::int64_t done, std::int64_t total) {...});

#include "io/SweepStore.h"
#include "pipeline/Engine.h"
#include "pipeline/JobRunner.h"
#include "pipeline/Observables.h"
#include "pipeline/Structure.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace marlinq {

inline constexpr const char* kSaltSweepName = "salt_mM";

// The names a sweep may take: every parameter's key (those of the parameter file, the
// charged lengths plen, mlen, the totals total_plus, total_minus), salt_mM (needs a unit),
// total (C+ + C-) and charge_fraction, and the totals in mM: total_plus_mM, total_minus_mM,
// total_mM (need a unit). A total or a charge fraction puts the run in total mode; the one
// not swept keeps the base's value (in free mode: what vc10 and vc01 give as totals).
const std::vector<std::string>& sweepableNames();
bool isSweepableName(std::string_view name);
// "ka, vc10, ..., salt_mM", for messages.
std::string sweepableNameList();
bool isIntegerSweepName(std::string_view name);

struct SweepAxis {
    std::string name;            // a parameter-file key (ka, vc10, ..., mmMax) or salt_mM
    std::vector<double> values;  // in sweep order
    bool log = false;            // given as FROM:TO:COUNT:log
};

// VALUES: "0.2,0.5,1" (a comma list), "FROM:TO:COUNT" (COUNT evenly spaced values, both
// ends included) or "FROM:TO:COUNT:log" (evenly spaced logarithms; FROM, TO > 0). Numbers
// in the classic notation with a point. nullopt and the reason when the text is not one
// of these.
std::optional<std::vector<double>> parseSweepValues(std::string_view text, bool& log, std::string& error);
// NAME=VALUES, with NAME one of sweepableNames(); integer keys take whole values only.
std::optional<SweepAxis> parseSweepAxis(std::string_view text, std::string& error);

// Runs only the points whose index is congruent to index modulo count.
struct Shard {
    std::int64_t index = 0, count = 1;
    bool contains(std::int64_t point) const { return point % count == index; }
};
// "I/N" with 0 <= I < N.
std::optional<Shard> parseShard(std::string_view text, std::string& error);

struct SweepSpec {
    ParameterSet base;             // the set every point starts from
    std::vector<SweepAxis> axes;   // one or two; the first is the outer loop
    RunOptions options;
    std::optional<double> unitNm;  // segment size a in nm (needed by salt_mM)
    Shard shard;
    // The structure of the complexes but the molar masses, which are each point's own.
    StructureInputs structure;
    // The digest of the chain tables the points read (chainTablesDigest), 0 when none are
    // read or none were named: part of the plan's fingerprint, so that rows computed from
    // other tables never join under one plan line.
    std::uint64_t tablesDigest = 0;
};
// The plan's points have molar masses (given in the base or swept): the sweep table also
// holds the molar masses and sizes.
bool sweepHasStructure(const SweepSpec& plan);

// A digest of the numbers of both chain tables.
std::uint64_t chainTablesDigest(const ChainTables& tables);

// Why a plan cannot be swept. The message names the parameters; a front end whose user
// gives the plan in other words (command-line options) may say the problem its own way.
enum class PlanProblem { NoAxis, UnknownName, NoValues, NotFinite, NotWhole, SameParameter, SaltNeedsUnit, BadUnit, BadShard };
struct PlanError {
    PlanProblem problem;
    std::string message;
};
// Checks a plan before any point runs: at least one axis, known names with values (finite,
// whole for the integer keys), no two axes setting the same parameter (ka and salt_mM both
// set ka; total or charge_fraction with total_plus or total_minus), salt_mM and the names in
// mM with a segment size above 0, a shard inside its count.
std::optional<PlanError> validate(const SweepSpec& plan);

// A sweep whose swept names leave the free energies unchanged (the concentrations: vc10,
// vc01, the totals, the charge fraction): one landscape serves every point, and each point
// only forms its distribution (and solves its mass balance) anew. Standard accuracy only.
bool sweepKeepsLandscape(const SweepSpec& plan);

// Number of points of the whole grid (all shards).
std::int64_t sweepPointCount(const SweepSpec& plan);
// The value of every axis at a point: index = i0 * n1 + i1 (first axis outermost).
std::vector<double> sweepPointValues(const SweepSpec& plan, std::int64_t index);
// How many points this plan's shard runs (0 when its index is past the grid: a shard count
// above the number of points leaves the later shards empty). No point is ever repeated.
std::int64_t shardPointCount(const SweepSpec& plan);
// The k-th point of the shard (0 <= k < shardPointCount), in increasing order. The shard's
// points are never stored: a sweep of any size walks them in constant memory.
std::int64_t shardPointIndex(const SweepSpec& plan, std::int64_t k);

// The parameter set of a point: the base with the swept values applied by
// applyParameterValues (the reals with the 15 digits a file shows; a charge keeps the
// charge density and its charged length follows, unless that length is swept too; a
// density or a length keeps the charge; salt_mM sets ka). nullopt and the reason when the
// values cannot be applied ("Some input parameters are wrong, please check it." when no
// charged length follows).
std::optional<ParameterSet> sweepPointSet(const SweepSpec& plan, const std::vector<double>& values,
                                          std::string& error);

struct SweepPoint {
    std::int64_t index = 0;
    std::vector<double> values;  // one per axis
    ParameterSet set;            // as applied
    Parameters params;           // as validated (when the point ran)
    bool ran = false;            // false: refused, status says why
    std::string status = "ok";   // "ok", the validation message, or why the run failed
    RunOutcome run;              // the whole run (record, log, counts, warnings)
    Observables observables;
    std::optional<StructureObservables> structure;  // with molar masses
    double seconds = 0.0;        // time of the run in this process
};

struct SweepResult {
    std::int64_t total = 0;      // points of this shard to compute (without those skipped)
    std::int64_t done = 0;       // points finished
    bool stopped = false;        // the token stopped it before the end
};

// How runSweep computes: workers points at once (each on a thread of its own, every run
// with plan.options.threads threads), and the shard's points to leave out (by their
// position k in the shard: points a resumed sweep already has).
struct SweepRunSettings {
    int workers = 1;
    std::function<bool(std::int64_t k)> skip;
    std::int64_t skipped = -1;  // how many positions skip leaves out, when known (else counted)
};

// Called on the sweeping thread after every point, with the points done so far and the
// shard's total. The point's record is dropped afterwards unless the callback keeps it.
using SweepCallback = std::function<void(const SweepPoint& point, std::int64_t done, std::int64_t total)>;

// The landscape a sweep that keeps it (sweepKeepsLandscape) shares: computed at the first
// point that runs, then each point forms its distribution from it. Safe to share between
// threads.
struct SweepLandscape {
    std::mutex mutex;
    bool tried = false;
    RunOutcome run;  // the run that computed it (keeping its energies)
    CriticalConcentrationCache critical;
};

// Runs the shard's points, each to its end: the token is looked at between points only.
// With one worker on the calling thread; with several on threads of their own, at most a
// few points ahead of the oldest unfinished one. Either way the callback hears the points
// on the calling thread in increasing index order, whatever order they finish in, and a
// stopped sweep has reported a run of points without a gap. A refused point is reported
// with its message and the sweep goes on.
SweepResult runSweep(const SweepSpec& plan, const LoadedTables& tables, std::stop_token token,
                     const SweepCallback& onPoint, const SweepRunSettings& settings = {});
// One point of the sweep (what runSweep does for each index).
// With a shared landscape, a point that passes its checks takes its distribution from it.
SweepPoint runSweepPoint(const SweepSpec& plan, std::int64_t index, const LoadedTables& tables,
                         SweepLandscape* shared = nullptr);

// The sweep as a job for JobRunner: each finished point (keepRecords: with its result
// record) as a `point` event with progress (points done, points of the shard), then
// `finished` (Finished, or Cancelled when stopped; counts.rowsDone / rows are the points).
Job sweepJob(SweepSpec plan, LoadedTables tables, bool keepRecords, int workers = 1);

// Points run at once and threads per point for a budget of threads (0: the machine's,
// which follows OMP_NUM_THREADS): workers (0: one per thread of the budget) never above
// the points, and each point gets its share of the budget, so that points times threads
// stay within it. Without a budget (workers 1, threads 0) a run takes the machine's.
struct SweepParallelism {
    int workers = 1;
    int threadsPerPoint = 0;
};
SweepParallelism sweepParallelism(std::int64_t workersAsked, std::int64_t points, int threadBudget = 0);

// The CSV of a sweep: the plan line (sweepPlanLine), then this header: index, the swept
// names, the columns of the observable registry's sweep table (observableColumns; salt_mM
// is named salt_mM_of_ka when salt_mM is swept, a swept total or charge fraction's own
// column NAME_as_run), status, then what casts doubt on the
// point: warnings (the texts of a single run's summary, joined by " | "), the counts
// unconverged_solves, nonfinite_cells, beyond_dh_cells, range_edge (1 when the most
// probable complex lies on an edge that could move), and for converged accuracy
// error_estimate and standard_difference (kT). A stopped sweep ends with
// sweepPartialLine. Each line ends with a line feed.
std::string sweepCsvHeader(const SweepSpec& plan);
std::string sweepCsvRow(const SweepSpec& plan, const SweepPoint& point);
// What casts doubt on a point that ran (the CSV's columns after status).
struct SweepPointDoubts {
    std::string warnings;                // the summary's warnings, joined by " | "
    std::int64_t unconvergedSolves = 0, nonFiniteCells = 0, beyondDebyeHueckelCells = 0;
    bool rangeEdge = false;              // the most probable complex lies on an edge that could move
    std::optional<double> errorEstimate, standardDifference;  // converged energies (kT)
};
SweepPointDoubts sweepPointDoubts(const SweepPoint& point);

// The observable columns' names, in CSV order (without index, swept names and status).
std::vector<std::string> sweepObservableNames(const SweepSpec& plan);
// The observable values of a point, in the order of sweepObservableNames; NaN where the
// CSV leaves the field empty.
std::vector<double> sweepObservableValues(const SweepSpec& plan, const SweepPoint& point);

// The program and version that write a sweep's files: "marlinq 1.0 (commit 0123456789ab)".
std::string sweepProgramVersion();
// A fingerprint of everything that decides a sweep's rows: the base set, every swept
// value, method, chains, accuracy, the segment size and the tables' digest when set (not
// the shard, not threads).
std::uint64_t sweepPlanFingerprint(const SweepSpec& plan);
// The first line of a sweep's CSV, naming the program and the plan:
// "# marlinq 1.0 (commit 0123456789ab) sweep 0123456789abcdef: 14 points, ka 7 x vc10 2,
// method pb, chains table, accuracy standard", then "; shard 1/3" for one shard of several. The shards of
// one sweep differ only in that ending.
std::string sweepPlanLine(const SweepSpec& plan);
// (Its marks, kSweepPlanLineStart and kSweepShardEnding, are the store's: io/SweepStore.h.)
// "# The sweep is partial: N of M points", the last line of a stopped sweep's CSV.
std::string sweepPartialLine(std::int64_t done, std::int64_t total);

// What this plan's shard writes as CSV, estimated from its points and columns (a typical
// row of a point with a result). Front ends refuse plans above kLargestSweepOutput unless
// asked for, before the first point.
std::uint64_t sweepCsvSizeEstimate(const SweepSpec& plan);
inline constexpr std::uint64_t kLargestSweepOutput = std::uint64_t{1} << 30;
// "the sweep's CSV would be about 1.5 GiB (2000000 points)" when above the bound.
std::optional<std::string> oversizedSweep(const SweepSpec& plan);

// A swept value as names and columns show it (the 15-digit general format).
std::string formatSweepValue(double v);
// "point-0007_ka=0.5" (and "_zp=18" for a second axis): a file stem for the point.
std::string sweepPointStem(const SweepSpec& plan, const SweepPoint& point);

}  // namespace marlinq
