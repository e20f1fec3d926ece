#pragma once
// One whole calculation: chain stage, result record, PB rows or the DH matrix, with
// progress reported through callbacks and cancellation through a stop token. The job
// knows nothing of windows: it runs on whatever thread calls it, and JobRunner puts it
// on a thread of its own for a front end that must stay responsive.

#include "files/ChainTables.h"
#include "pipeline/MassBalance.h"
#include "pipeline/Parameters.h"
#include "pipeline/Records.h"

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

namespace marlinq {

// A result as the job had it at one moment; never changed afterwards, so it may be kept
// and read on any thread while the job goes on.
using ResultSnapshot = std::shared_ptr<const InfoSphereBean>;

// Called on the job's thread. Every callback is optional.
struct JobCallbacks {
    std::function<void(const std::string&)> UpdateText;    // a line for the log
    std::function<void(const std::string&)> UpdateMatrix;  // the last published snapshot is complete up to a row
    std::function<void(const std::string&)> UpdateButton;  // the job ends
    std::function<void(ResultSnapshot)> PublishRecord;     // the newest state of the result
};

enum class JobOutcome { Finished, Cancelled, Failed };

struct JobInput {
    Parameters params;                   // the run's own copy
    std::shared_ptr<InfoChainBean> icb;  // chain record (lengths, table choice)
    bool dh = true;                      // Debye-Hueckel instead of Poisson-Boltzmann
    std::int32_t mrange = 0;             // mmMax - mmMin + 1
    // The chain tables, loaded once by the front end; needed when icb->checked. When they
    // could not be loaded, tablesError says why and the run fails with it.
    std::shared_ptr<const ChainTables> tables;
    std::string tablesError;
    // Lines that are not progress (the single-chain energies, unconverged solves); called
    // on the job's thread. Nothing is written anywhere else.
    std::function<void(const std::string&)> diagnostics;
    // Keep F and E of every evaluated cell in the record (InfoSphereBean::energies).
    bool keepEnergies = false;
    // Concentrations as an experiment sets them: the totals C+ and C- of '+' and '-' chains.
    // The free chains then follow from the mass balance on the finished landscape, and the
    // distribution is formed at them; params.vc10 and vc01 only weigh the map while the
    // rows come. Needs both lone chains in the ranges (mpMin = mmMin = 0).
    std::optional<MassBalanceTotals> totals;
    // The most threads the run's stages may use at once (0: the machine's, omp_get_max_threads(),
    // which follows OMP_NUM_THREADS). A caller running several runs at once shares the
    // machine out with it. The result is the same for any number.
    int threads = 0;
};

// Counts a front end may report after a run.
struct JobCounts {
    std::int64_t unstableSolves = 0;   // complex Newton solves that hit their step limit
    std::int64_t nonFiniteCells = 0;   // complexes without a finite free energy
    std::int32_t failedChains = 0;     // single chains whose energy could not be computed
    std::int32_t rowsDone = 0;         // Poisson-Boltzmann rows finished
    std::int32_t rows = 0;             // rows of the run
    bool converged = false;            // free energies converged in the grid
    double errorEstimate = 0.0;        // then: largest estimated remaining error of any free energy (kT)
    double standardDifference = 0.0;   // then: largest |converged - standard| of any free energy (kT)
};

// Runs the job on the calling thread. A failure of the numerical kernel (KernelError: a
// singular Newton Jacobian, ...) fails the run with numericFailureMessage of its message,
// as a log line and the end of the job, like every other reason a run cannot finish;
// nothing is thrown.
JobOutcome GenerateFreeEnergy(const JobInput& input, std::stop_token token, const JobCallbacks& callbacks,
                              JobCounts* counts = nullptr);

// "The calculation stopped on a numerical error (MESSAGE); no distribution was calculated."
std::string numericFailureMessage(const std::string& kernelMessage);

// "the most probable complex (M+, M-) lies on the edge of the M+ range; enlarge it" when
// the complex of the largest weight sits on an edge of a range that could be enlarged.
std::optional<std::string> rangeEdgeWarning(const InfoSphereBean& isb);

// The log line of unconverged Newton solves.
inline constexpr const char* kUnstableSolution = " unstable solution occured !! ";

}  // namespace marlinq
