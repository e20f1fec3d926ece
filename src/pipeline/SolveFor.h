#pragma once
// Solving for a measured value: the value of one sweepable parameter (gamma, ka, salt_mM, a
// total, the water fraction ...) at which an observable of the run (the mass-average
// aggregation number, a bound fraction, ...) equals a target. Every trial is a run of its
// own. The parameter's range is scanned on a grid (logarithmic over a range of decades;
// from 0 on, 0 and then decades up to the top), the first crossing of the target is
// bracketed and refined by regula falsi (Illinois) until the observable meets the target to
// 1e-6 relative (or the bracket closes to 1e-12 of its value). The critical salt is the case
// ka with the larger bound fraction at 1/2 (pipeline/CriticalSalt.h).

#include "io/Json.h"
#include "pipeline/Engine.h"

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>

namespace marlinq {

inline constexpr double kSolveForTolerance = 1e-6;
inline constexpr int kSolveForGrid = 11;

struct SolveForProblem {
    ParameterSet base;               // a set that passes validate() (total mode or free)
    std::string name;                // a sweepable name (sweepableNames())
    std::string observable;          // a numeric observable of the registry
    double target = 0.0;
    RunOptions options;
    std::optional<double> unitNm;    // needed by salt_mM, the names in mM, observables in nm
    std::optional<std::pair<double, double>> range;  // where to look; else the parameter's own
};

struct SolveForResult {
    std::optional<double> value;     // where the observable meets the target; nullopt when not reached
    double achieved = NAN;           // the observable at value (or at the closest trial)
    double closestValue = NAN;       // the trial whose observable came closest
    int runs = 0;
    // Not reached: "below" when the observable stays above the target over the whole range
    // (the target lies below what the range reaches), "above" when it stays below.
    std::string side;
    bool stopped = false;
    std::string failure;             // a refused plan or a failed run: why (then nothing else holds)
};

// The range a parameter is searched over without one given; nullopt when it has none.
std::optional<std::pair<double, double>> solveForRange(const std::string& name, const std::optional<double>& unitNm);

// progress (optional) hears every trial: its value and the observable there.
SolveForResult solveFor(const SolveForProblem& problem, const LoadedTables& tables, std::stop_token token = {},
                        const std::function<void(double value, double observable)>& progress = {});

// {"name": ..., "value": ..., "observable": ..., "target": ..., "achieved": ..., "runs": ..., "side": ...}:
// the batch command's JSON and the Python module's dict.
json::Value solveForValue(const SolveForProblem& problem, const SolveForResult& result);
std::string solveForJson(const SolveForProblem& problem, const SolveForResult& result);

}  // namespace marlinq
