#pragma once
// One whole calculation: chain stage, result record, PB rows or the DH matrix, with
// typed events (progress, snapshots, messages, the end) and cancellation through a stop
// token. The job knows nothing of windows: it runs on whatever thread calls it, and
// JobRunner puts it on a thread of its own for a front end that must stay responsive.

#include "files/ChainTables.h"
#include "pipeline/MassBalance.h"
#include "pipeline/ModelFactory.h"
#include "pipeline/Parameters.h"
#include "pipeline/RunResult.h"
#include "pipeline/RunRequest.h"
#include "pipeline/RunDiagnostics.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace marlinq {

// ---------------------------------------------------------------------------------------
// What a run is asked to do.

// The methods, chain choices and accuracies: pipeline/ModelFactory.h.

// ---------------------------------------------------------------------------------------
// What a run says.

// A result as the job had it at one moment; never changed afterwards, so it may be kept
// and read on any thread while the job goes on.
using ResultSnapshot = std::shared_ptr<const RunResult>;

enum class JobOutcome { Finished, Cancelled, Failed };

struct JobMessage {
    Severity severity = Severity::Info;
    std::string text;                   // a line of the log, exactly as shown
    bool diagnostic = false;            // detail besides the log (single-chain energies, unconverged solves)
    std::optional<RunWarning> warning;  // when the line is one of the run's warnings (text: its rendering)
    JobStage stage = JobStage::Setup;   // the stage of the run that said it
    std::optional<RunNote> note;        // when the line is one of the run's notes (text: its rendering)
};

// Counts a front end may report after a run (or, for a sweep, its points).
struct JobCounts {
    std::int64_t unstableSolves = 0;   // complex Newton solves that hit their step limit
    std::int64_t nonFiniteCells = 0;   // complexes without a finite free energy
    std::int64_t beyondDebyeHueckel = 0;  // Debye-Hueckel cells outside the linearisation's validity
    std::int64_t complexesDone = 0;    // a stopped Debye-Hueckel run: complexes evaluated
    std::int64_t complexes = 0;        // and those it had to evaluate (0 when it was not stopped)
    std::int32_t failedChains = 0;     // single chains whose energy could not be computed
    std::int32_t rowsDone = 0;         // Poisson-Boltzmann rows finished (sweeps: points)
    std::int32_t rows = 0;             // rows of the run (sweeps: points)
    bool converged = false;            // free energies converged in the grid
    double errorEstimate = 0.0;        // then: largest estimated remaining error of any free energy (kT)
    double standardDifference = 0.0;   // then: largest |converged - standard| of any free energy (kT)
    std::int64_t targetMissed = 0;     // then: free energies whose refinement ended on its finest grid short of its target
};

struct SweepPoint;

// The events of a job, in the order it has them. Called on the job's thread when a job
// runs directly, on the front end's thread when JobRunner hands them over. All optional.
struct JobEvents {
    std::function<void(std::int64_t done, std::int64_t total)> progress;  // rows (sweeps: points)
    std::function<void(const ResultSnapshot&)> snapshot;                   // the newest state of the result
    std::function<void(const JobMessage&)> message;
    std::function<void(const std::shared_ptr<const SweepPoint>&)> point;   // a sweep's finished point
    std::function<void(JobOutcome, const JobCounts&)> finished;             // the last event of a job
};

// ---------------------------------------------------------------------------------------
// The calculation.

struct JobInput {
    // What the run is asked to do: parameters, concentrations, model choices, chain lengths.
    // Total mode (RunRequest::totals) needs both lone chains in the ranges (mpMin = mmMin = 0).
    RunRequestPointer request;
    // The chain tables, loaded once by the front end; needed when the request's chains come
    // from the tables. When they could not be loaded, tablesError says why and the run fails
    // with it.
    std::shared_ptr<const ChainTables> tables;
    std::string tablesError;
    // Keep F and E of every evaluated cell in the record (RunResult::energies).
    bool keepEnergies = false;
    // The most threads the run's stages may use at once (0: the machine's, omp_get_max_threads(),
    // which follows OMP_NUM_THREADS). A caller running several runs at once shares the
    // machine out with it. The result is the same for any number.
    int threads = 0;
};

// Runs the calculation on the calling thread; every event goes to `events`, `finished` last
// of all. A failure of the numerical kernel (KernelError: a singular Newton Jacobian, ...)
// fails the run with numericFailureMessage of its message, as an error message and the end
// of the job, like every other reason a run cannot finish; nothing is thrown.
JobOutcome runCalculation(const JobInput& input, std::stop_token token, const JobEvents& events,
                              JobCounts* counts = nullptr);

// A finished run's result at other concentrations, from the landscape its record kept
// (JobInput::keepEnergies): the distribution formed again at the free chains c+, c-, or with
// totals at the free chains the mass balance gives, as a run of its own would form it (to
// the bit); events hear the lines such a run adds (mass balance, critical concentration,
// doubts of the totals, the most probable complex on an edge). No free energy is computed.
// keepEnergies: the new record keeps the landscape too.
// The critical concentrations of one landscape by charge fraction (to 12 digits), for
// points that share the landscape. Safe to share between threads.
struct CriticalConcentrationCache {
    std::mutex mutex;
    std::map<long long, CriticalConcentration> byFraction;
};
std::shared_ptr<RunResult> resettle(const RunResult& landscapeRecord, double cPlus, double cMinus,
                                    const std::optional<MassBalanceTotals>& totals, bool keepEnergies, int threads,
                                    const JobEvents& events, CriticalConcentrationCache* cache = nullptr);

// "the most probable complex (M+, M-) lies on the edge of the M+ range; enlarge it" when
// the complex of the largest weight sits on an edge of a range that could be enlarged.
std::optional<RunWarning> rangeEdgeWarning(const RunResult& resultRecord);

}  // namespace marlinq
