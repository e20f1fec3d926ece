// The critical salt: a bracket on a coarse grid, then regula falsi in ln ka.

#include "pipeline/CriticalSalt.h"

#include "pipeline/Observables.h"
#include "pipeline/Units.h"

#include <algorithm>
#include <cmath>

namespace marlinq {

std::string CriticalSaltResult::note() const {
    if (belowRange)
        return "The critical salt lies below ka 0.2: fewer than half of the scarcer chains are in complexes "
               "already at the lowest salt";
    if (aboveRange)
        return "The critical salt lies above ka 10: more than half of the scarcer chains are still in complexes "
               "at the highest salt";
    if (jump())
        return "The larger bound fraction jumps across 1/2 at the critical salt (from " + std::to_string(boundBefore) +
               " to " + std::to_string(boundAfter) + "): the free energies change abruptly there";
    return {};
}

CriticalSaltResult criticalSalt(const ParameterSet& set, const RunOptions& options, const LoadedTables& tables,
                                std::stop_token token, const std::function<void(double, double)>& progress) {
    CriticalSaltResult out;
    Parameters base;
    if (const std::optional<std::string> message = validate(set, base, chainsOf(options))) {
        out.failure = *message;
        return out;
    }
    RunOptions trialOptions = options;
    trialOptions.keepEnergies = false;
    // The larger bound fraction minus 1/2 at ka; nullopt when the run did not finish.
    const auto excess = [&](double ka) -> std::optional<double> {
        if (token.stop_requested()) {
            out.stopped = true;
            return std::nullopt;
        }
        Parameters p = base;
        p.ka = ka;
        const RunOutcome run = runToCompletion(makeJobInput(p, set, trialOptions, tables), token);
        ++out.runs;
        if (run.outcome != JobOutcome::Finished || !run.record) {
            if (run.outcome == JobOutcome::Cancelled) out.stopped = true;
            else out.failure = run.failure.empty() ? std::string("the run at ka ") + std::to_string(ka) + " failed"
                                                   : run.failure;
            return std::nullopt;
        }
        const Observables o = computeObservables(*run.record);
        const double bound = std::max(std::isnan(o.boundFractionPlus) ? 0.0 : o.boundFractionPlus,
                                      std::isnan(o.boundFractionMinus) ? 0.0 : o.boundFractionMinus);
        if (progress) progress(ka, bound);
        return bound - 0.5;
    };

    const double lnLow = std::log(kCriticalSaltKaMin), lnHigh = std::log(kCriticalSaltKaMax);
    std::optional<double> e = excess(kCriticalSaltKaMin);
    if (!e) return out;
    out.boundLow = out.boundHigh = *e + 0.5;
    if (*e <= 0.0) {
        out.belowRange = true;
        return out;
    }
    double lo = lnLow, eLo = *e;
    for (int k = 1; k < kCriticalSaltGrid; ++k) {
        const double lnKa = k + 1 == kCriticalSaltGrid ? lnHigh : lnLow + (lnHigh - lnLow) * k / (kCriticalSaltGrid - 1);
        e = excess(std::exp(lnKa));
        if (!e) return out;
        out.boundHigh = *e + 0.5;
        if (*e > 0.0) {
            lo = lnKa;
            eLo = *e;
            continue;
        }
        // Bracketed: eLo > 0 >= eHi. Illinois: a secant in ln ka that halves the weight of
        // an end kept twice, to the tolerance on the bracket (or an exact zero).
        double hi = lnKa, eHi = *e;
        double lastAbove = eLo + 0.5, lastBelow = eHi + 0.5;
        int kept = 0;
        for (int step = 0; step < 100 && hi - lo > kCriticalSaltTolerance && eHi != 0.0; ++step) {
            double x = hi - eHi * (hi - lo) / (eHi - eLo);
            if (!(x > lo && x < hi)) x = 0.5 * (lo + hi);
            const std::optional<double> ex = excess(std::exp(x));
            if (!ex) return out;
            (*ex > 0.0 ? lastAbove : lastBelow) = *ex + 0.5;
            if (*ex > 0.0) {
                lo = x;
                eLo = *ex;
                if (kept == -1) eHi *= 0.5;
                kept = -1;
            } else {
                hi = x;
                eHi = *ex;
                if (kept == 1) eLo *= 0.5;
                kept = 1;
            }
        }
        out.ka = std::exp(eHi == 0.0 ? hi : hi - eHi * (hi - lo) / (eHi - eLo));
        out.boundBefore = lastAbove;
        out.boundAfter = lastBelow;
        return out;
    }
    out.aboveRange = true;
    return out;
}

json::Value criticalSaltValue(const CriticalSaltResult& r, const ParameterSet& set, const RunOptions& options,
                              const std::optional<double>& unitNm) {
    using json::Value;
    Value v = Value::object();
    v.add("critical_ka", Value::number(r.ka));
    if (unitNm) {
        v.add("unit_nm", Value::number(*unitNm));
        v.add("critical_salt_mM", r.ka ? Value::number(saltMillimolar(*r.ka, *unitNm)) : Value());
    }
    v.add("total_plus", Value::number(set.totalPlus));
    v.add("total_minus", Value::number(set.totalMinus));
    v.add("bound_fraction_at_ka_0.2", Value::number(r.boundLow));
    v.add("method", Value::string(std::string(nameOf(options.method))));
    v.add("runs", Value::integer(r.runs));
    v.add("crossed", Value::boolean(r.ka.has_value()));
    v.add("jump", Value::boolean(r.jump()));
    v.add("side", r.belowRange ? Value::string("below") : r.aboveRange ? Value::string("above") : Value());
    return v;
}

}  // namespace marlinq
