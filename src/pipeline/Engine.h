#pragma once
// The calculation as a service: what the window, the batch command, the tests and every
// other front end do to get from a parameter file to a distribution, written once.
//
//   ParameterSet set = startupParameterSet();            // or loadParameterSet(path, ...)
//   if (auto error = validate(set, params)) ...           // the window's checks, in order
//   Engine engine;                                        // data search and tables, once per front end
//   RunOutcome run = runToCompletion(engine.job(params, set, options), token, events);

// The formats a front end reads and writes come with the service: front ends include this
// header (and io/), never files/ (the layering tests hold them to it).
#include "files/ChainTables.h"
#include "files/DataPaths.h"
#include "files/DistributionExport.h"
#include "files/ParameterFile.h"
#include "files/ScatteringExport.h"
#include "pipeline/CalculationJob.h"
#include "pipeline/ParameterSchema.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace marlinq {

enum class LoadStatus { Loaded, CannotOpen, WrongFile };

struct LoadResult {
    LoadStatus status = LoadStatus::Loaded;
    ParameterSet set;                 // the base with the file's values applied (when Loaded)
    std::string message;              // "can not open file" / "Some input parameters are wrong, please check it."
    std::vector<std::string> notes;   // lines of the file that could not be fully used
    int errorNumber = 0;              // CannotOpen: the errno naming why (notes[0] says it in words)
};

// Reads a parameter file over base: every key found replaces its value, the charged
// lengths are recovered from charge and density, and the reals are rounded to the 15
// significant digits the window shows them with (what "Solve" then reads back).
LoadResult loadParameterSet(const std::string& path, const ParameterSet& base);

// Validates a set as "Solve" does; nullopt and the validated parameters (with the charge
// densities formed) when it passes, else the message of the first failure.
std::optional<std::string> validate(const ParameterSet& set, Parameters& validated);
// The same for a run with these chains: solved chains take ka down to kLowestSolvedKa.
std::optional<std::string> validate(const ParameterSet& set, Parameters& validated, Chains chains);
// The one check every front end makes: the fields in the window's order (a field that did
// not read as a number is nullopt), then in total mode the totals; the free chains of total
// mode are not checked (the mass balance gives them). lengths receives the charged lengths.
std::optional<std::string> validate(const InputFields& in, const std::optional<MassBalanceTotals>& totals,
                                    Chains chains, Parameters& validated, ParameterSet* lengths = nullptr);

// What a run of validated parameters is asked to do: the set's chain lengths and
// concentrations (total mode when the set says so) and the options' model choices.
RunRequestPointer makeRunRequest(const Parameters& validated, const ParameterSet& set, const RunOptions& options);

// Both chain tables as a run gets them: null when the run does not read them or they
// cannot be read; then error (and the path of the table that failed) says why.
struct LoadedTables {
    LoadedTables() = default;
    LoadedTables(std::shared_ptr<const ChainTables> read) : tables(std::move(read)) {}  // NOLINT: tables that were read
    std::shared_ptr<const ChainTables> tables;
    std::string error;
    std::string path;
    bool failed() const { return !error.empty(); }
};

// Both chain tables, read and checked; nullptr and the reason when they cannot be read.
std::shared_ptr<const ChainTables> loadTables(const DataSearch& search, std::string& error);

// Everything a job needs; tables may be empty when the chains are solved.
JobInput makeJobInput(const Parameters& validated, const ParameterSet& set, const RunOptions& options,
                      const LoadedTables& tables);

// The calculation's context: where run-time files are found and the chain tables, read at
// the first run that needs them and kept for every later run and sweep. Safe to use from
// several threads.
class Engine {
public:
    explicit Engine(DataSearch search = programDataSearch());

    DataSearch dataSearch() const;
    // Looks elsewhere from now on; the tables read before are read again when next needed.
    void setDataSearch(DataSearch search);

    // The tables a run with these options reads (none when it solves its chains). folder,
    // when given, is the one folder looked in instead of the search's.
    LoadedTables tables(const RunOptions& options, const std::string& folder = {});

    // A job for validated parameters, with the tables it needs.
    JobInput job(const Parameters& validated, const ParameterSet& set, const RunOptions& options,
                 const std::string& folder = {});

private:
    mutable std::mutex mutex_;
    DataSearch search_;
    std::map<std::string, std::shared_ptr<const ChainTables>> tables_;  // by folder ("": the search)
};

struct RunOutcome {
    JobOutcome outcome = JobOutcome::Failed;
    ResultSnapshot record;             // the final state of the result (null when none was built)
    JobCounts counts;
    std::vector<std::string> log;      // the log lines, in order (the first is kSolveStart or kTablesStart)
    std::vector<std::string> diagnostics;
    std::vector<RunWarning> warnings;  // as the job said them, in order
    std::vector<JobMessage> messages;  // every line (log and diagnostics) with its stage, in order
    std::string failure;               // a failed run: why
};

// Runs a job to the end on the calling thread; `also` hears every event as it comes.
RunOutcome runToCompletion(JobInput input, std::stop_token token = {}, const JobEvents& also = {});

// The distribution export of a record: its concentrations in row-major order and its
// ranges, as every writer of the table takes them.
class DistributionCells {
public:
    explicit DistributionCells(const RunResult& record);
    DistributionCells(const DistributionCells&) = delete;
    DistributionCells& operator=(const DistributionCells&) = delete;
    const DistributionView& view() const { return view_; }

private:
    std::vector<double> cells_;
    DistributionView view_;
};

// The wide distribution table runs from M = 0 whatever the ranges: a few cells far from 0
// can make a file of many gigabytes. The size bound in bytes when it exceeds 1 GiB (the
// cells of `ranges` are not read).
inline constexpr std::uint64_t kLargestWideExport = std::uint64_t{1} << 30;
std::optional<std::uint64_t> oversizedWideExport(const DistributionView& ranges);
DistributionView rangesOf(const Parameters& p);

}  // namespace marlinq
