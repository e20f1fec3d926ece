#pragma once
// The calculation as a service: what the window, the batch command, the tests and every
// other front end do to get from a parameter file to a distribution, written once.
//
//   ParameterSet set = startupParameterSet();            // or loadParameterSet(path, ...)
//   if (auto error = validate(set, params)) ...           // the window's checks, in order
//   auto tables = loadTables(programDataSearch(), why);   // once per process
//   RunOutcome run = runToCompletion(makeJobInput(params, set, options, tables), token);

#include "files/ChainTables.h"
#include "files/DataPaths.h"
#include "pipeline/CalculationJob.h"
#include "pipeline/ParameterSchema.h"

#include <functional>
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
};

// Reads a parameter file over base: every key found replaces its value, the charged
// lengths are recovered from charge and density, and the reals are rounded to the 15
// significant digits the window shows them with (what "Solve" then reads back).
LoadResult loadParameterSet(const std::string& path, const ParameterSet& base);

// Validates a set as "Solve" does; nullopt and the validated parameters (with the charge
// densities formed) when it passes, else the message of the first failure.
std::optional<std::string> validate(const ParameterSet& set, Parameters& validated);

// The chain record of a run.
std::shared_ptr<InfoChainBean> makeChainRecord(const Parameters& p, double plen, double mlen, bool tableChains);

// Both chain tables, read and checked once; nullptr and the reason when they cannot be read.
std::shared_ptr<const ChainTables> loadTables(const DataSearch& search, std::string& error);

struct RunOptions {
    bool dh = true;           // Debye-Hueckel (else Poisson-Boltzmann)
    bool tableChains = true;  // single chains from the tables (else solved)
    bool converged = false;   // free energies converged in the grid, with an error estimate
    bool keepEnergies = false;  // keep F and E of every evaluated cell (InfoSphereBean::energies)
    int threads = 0;            // most threads of the run (0: the machine's; JobInput::threads)
};

// Everything a job needs; tables may be null when the chains are solved.
JobInput makeJobInput(const Parameters& validated, const ParameterSet& set, const RunOptions& options,
                      std::shared_ptr<const ChainTables> tables, const std::string& tablesError = {});

struct RunOutcome {
    JobOutcome outcome = JobOutcome::Failed;
    ResultSnapshot record;             // the final state of the result (null when none was built)
    JobCounts counts;
    std::vector<std::string> log;      // the log lines, in order
    std::vector<std::string> diagnostics;
};

struct RunObserver {
    std::function<void(const std::string&)> log;         // each log line as it comes
    std::function<void(const std::string&)> diagnostic;  // each diagnostic line
    std::function<void(const ResultSnapshot&)> row;      // after every finished row (and the DH matrix)
};

// Runs a job to the end on the calling thread.
RunOutcome runToCompletion(JobInput input, std::stop_token token = {}, const RunObserver& observer = {});

}  // namespace marlinq
