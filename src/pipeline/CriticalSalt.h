#pragma once
// The critical salt: at fixed totals of '+' and '-' chains, the ka at which the larger of
// the two bound fractions falls to 1/2 as salt screens the complexes apart. Every trial ka
// is a run of its own (a new landscape); the first crossing is bracketed on a coarse
// logarithmic grid from low salt up, then refined by regula falsi (Illinois) in ln ka to
// 1e-6 relative.

#include "io/Json.h"
#include "pipeline/Engine.h"

#include <cmath>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

namespace marlinq {

inline constexpr double kCriticalSaltKaMin = 0.2, kCriticalSaltKaMax = 10.0;
// Points of the coarse grid from 0.2 to 10 (a step of about 1.48 in ka).
inline constexpr int kCriticalSaltGrid = 11;
inline constexpr double kCriticalSaltTolerance = 1e-6;

struct CriticalSaltResult {
    std::optional<double> ka;        // where the larger bound fraction is 1/2
    bool belowRange = false;         // at ka 0.2 already at most half bound: the crossing lies at lower salt
    bool aboveRange = false;         // at ka 10 still more than half bound: it lies at higher salt
    double boundLow = NAN;           // the larger bound fraction at ka 0.2
    double boundHigh = NAN;          // at the last grid point evaluated
    // The larger bound fraction on both sides of the crossing as refined; when they lie
    // apart (by more than 1e-3), it jumps across 1/2 there rather than passing through it.
    double boundBefore = NAN, boundAfter = NAN;
    bool jump() const { return ka && boundBefore - boundAfter > 1e-3; }
    int runs = 0;                    // landscapes computed
    bool stopped = false;            // the token stopped it
    std::string failure;             // a run that failed: why (then nothing else holds)
    // "The critical salt lies below ka 0.2 ..." when not crossed, what a jump is when it
    // jumps; empty otherwise.
    std::string note() const;
};

// set must be in total mode and pass validate(); its ka is replaced by every trial's.
// progress (optional) hears every trial: its ka and the larger bound fraction there.
CriticalSaltResult criticalSalt(const ParameterSet& set, const RunOptions& options, const LoadedTables& tables,
                                std::stop_token token = {},
                                const std::function<void(double ka, double bound)>& progress = {});

// The answer as the batch command writes it and the Python module returns it: critical_ka
// (null when not crossed), with a segment size unit_nm and critical_salt_mM, total_plus,
// total_minus, bound_fraction_at_ka_0.2, method, runs, crossed, jump and side ("below",
// "above" or null). Numbers in their shortest exact form.
json::Value criticalSaltValue(const CriticalSaltResult& result, const ParameterSet& set, const RunOptions& options,
                              const std::optional<double>& unitNm);

}  // namespace marlinq
