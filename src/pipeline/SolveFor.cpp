// Solving for a measured value: a grid to bracket the target, then regula falsi.

#include "pipeline/SolveFor.h"

#include "pipeline/ObservableRegistry.h"
#include "pipeline/Observables.h"
#include "pipeline/ObservablesText.h"
#include "pipeline/Sweep.h"
#include "pipeline/Units.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace marlinq {

std::optional<std::pair<double, double>> solveForRange(const std::string& name, const std::optional<double>& unitNm) {
    if (name == "salt_mM") {
        if (!unitNm) return std::nullopt;
        return std::make_pair(saltMillimolar(0.2, *unitNm), saltMillimolar(10.0, *unitNm));
    }
    if (name == "total" || name == "total_plus" || name == "total_minus") return std::make_pair(1e-12, 1.0);
    if (name == "charge_fraction") return std::make_pair(0.0, 1.0);
    const ParameterRow* row = findParameter(name);
    if (row && std::isfinite(row->lo) && std::isfinite(row->hi) && row->lo < row->hi && !row->integer)
        return std::make_pair(row->lo, row->hi);
    return std::nullopt;
}

namespace {

// The grid of trial values over [lo, hi]: logarithmic over two decades or more, 0 and then
// decades up to hi from 0, else even.
std::vector<double> trialGrid(double lo, double hi, bool& logarithmic) {
    std::vector<double> grid;
    logarithmic = lo > 0.0 && hi / lo >= 100.0;
    if (logarithmic) {
        for (int k = 0; k < kSolveForGrid; ++k)
            grid.push_back(k + 1 == kSolveForGrid ? hi : std::exp(std::log(lo) + (std::log(hi) - std::log(lo)) * k /
                                                                                   (kSolveForGrid - 1)));
    } else if (lo == 0.0 && hi > 0.0) {
        grid.push_back(0.0);
        const double bottom = hi * 1e-3;
        for (int k = 0; k < kSolveForGrid - 1; ++k)
            grid.push_back(k + 2 == kSolveForGrid ? hi
                                                  : std::exp(std::log(bottom) + (std::log(hi) - std::log(bottom)) * k /
                                                                                    (kSolveForGrid - 2)));
    } else {
        for (int k = 0; k < kSolveForGrid; ++k)
            grid.push_back(k + 1 == kSolveForGrid ? hi : lo + (hi - lo) * k / (kSolveForGrid - 1));
    }
    return grid;
}

}  // namespace

SolveForResult solveFor(const SolveForProblem& problem, const LoadedTables& tables, std::stop_token token,
                        const std::function<void(double, double)>& progress) {
    SolveForResult out;
    const ObservableDef* def = findObservable(problem.observable);
    if (def == nullptr || def->shape != ObservableShape::Number) {
        out.failure = "no numeric observable named '" + problem.observable + "'";
        return out;
    }
    if (def->needsUnitNm && !problem.unitNm) {
        out.failure = problem.observable + " needs the segment size (--unit-nm)";
        return out;
    }
    if (!isSweepableName(problem.name)) {
        out.failure = "'" + problem.name + "' is not a parameter to solve for; one of " + sweepableNameList();
        return out;
    }
    const std::optional<std::pair<double, double>> range = problem.range ? problem.range : solveForRange(problem.name, problem.unitNm);
    if (!range || !(range->first < range->second)) {
        out.failure = "no range to search " + problem.name + " in: give one (--range LO:HI)";
        return out;
    }
    SweepSpec plan;
    plan.base = problem.base;
    plan.axes = {SweepAxis{problem.name, {range->first}, false}};
    plan.options = problem.options;
    plan.options.keepEnergies = false;
    plan.unitNm = problem.unitNm;
    if (const std::optional<PlanError> refused = validate(plan)) {
        out.failure = refused->message;
        return out;
    }

    double closest = INFINITY;
    // The observable minus the target at a value; nullopt when the run could not be made.
    const auto excess = [&](double x) -> std::optional<double> {
        if (token.stop_requested()) {
            out.stopped = true;
            return std::nullopt;
        }
        std::string error;
        const std::optional<ParameterSet> set = sweepPointSet(plan, {x}, error);
        Parameters p;
        if (!set || (error = validate(*set, p, chainsOf(plan.options)).value_or("")) != "") {
            out.failure = problem.name + " " + formatReal17(x) + ": " + error;
            return std::nullopt;
        }
        const RunOutcome run = runToCompletion(makeJobInput(p, *set, plan.options, tables), token);
        ++out.runs;
        if (run.outcome != JobOutcome::Finished || !run.record) {
            if (run.outcome == JobOutcome::Cancelled) out.stopped = true;
            else out.failure = run.failure.empty() ? problem.name + " " + formatReal17(x) + ": the run failed" : run.failure;
            return std::nullopt;
        }
        const Observables o = computeObservables(*run.record);
        const double v = def->number(ObservableInputs{o, p.ka, problem.unitNm, p.bjerrum});
        if (progress) progress(x, v);
        if (std::isfinite(v) && std::fabs(v - problem.target) < closest) {
            closest = std::fabs(v - problem.target);
            out.closestValue = x;
            out.achieved = v;
        }
        return v - problem.target;
    };

    bool logarithmic = false;
    const std::vector<double> grid = trialGrid(range->first, range->second, logarithmic);
    const auto coordinate = [&](double x) { return logarithmic ? std::log(x) : x; };
    const auto valueAt = [&](double u) { return logarithmic ? std::exp(u) : u; };
    const double tolerance = kSolveForTolerance * std::max(std::fabs(problem.target), 1e-300);
    std::optional<double> previousX, previousE;
    bool anyAbove = false, anyBelow = false;
    for (const double x : grid) {
        const std::optional<double> e = excess(x);
        if (!e) return out;
        if (std::isnan(*e)) continue;  // no complex there: nothing to compare
        if (std::fabs(*e) <= tolerance) {
            out.value = x;
            return out;
        }
        (*e > 0.0 ? anyAbove : anyBelow) = true;
        if (previousE && (*previousE > 0.0) != (*e > 0.0)) {
            // Bracketed between the last two trials. Illinois: a secant that halves the
            // weight of an end kept twice.
            double lo = coordinate(*previousX), eLo = *previousE, hi = coordinate(x), eHi = *e;
            double best = std::fabs(eLo) < std::fabs(eHi) ? lo : hi;
            double bestE = std::min(std::fabs(eLo), std::fabs(eHi));
            int kept = 0;
            for (int step = 0; step < 100; ++step) {
                double u = hi - eHi * (hi - lo) / (eHi - eLo);
                if (!(u > std::min(lo, hi) && u < std::max(lo, hi))) u = 0.5 * (lo + hi);
                const std::optional<double> eu = excess(valueAt(u));
                if (!eu) return out;
                if (std::isnan(*eu)) break;
                if (std::fabs(*eu) < bestE) {
                    bestE = std::fabs(*eu);
                    best = u;
                }
                if (std::fabs(*eu) <= tolerance) break;
                if ((*eu > 0.0) == (eLo > 0.0)) {
                    lo = u;
                    eLo = *eu;
                    if (kept == -1) eHi *= 0.5;
                    kept = -1;
                } else {
                    hi = u;
                    eHi = *eu;
                    if (kept == 1) eLo *= 0.5;
                    kept = 1;
                }
                if (std::fabs(hi - lo) <= 1e-12 * std::max(std::fabs(hi), std::fabs(lo))) break;
            }
            out.value = valueAt(best);
            // What the run at that value gives (the closest trial is that one).
            if (out.closestValue != out.value) out.value = out.closestValue;
            return out;
        }
        previousX = x;
        previousE = e;
    }
    // Not crossed: the observable stays on one side of the target over the whole range.
    out.side = anyAbove && !anyBelow ? "below" : anyBelow && !anyAbove ? "above" : "";
    return out;
}

json::Value solveForValue(const SolveForProblem& problem, const SolveForResult& r) {
    using json::Value;
    // 17 digits, as the answer has always been written.
    const auto number = [](const std::optional<double>& v) { return Value::number(v, json::Digits::Seventeen); };
    return Value::object({{"name", Value::string(problem.name)},
                          {"value", number(r.value)},
                          {"observable", Value::string(problem.observable)},
                          {"target", number(problem.target)},
                          {"achieved", number(r.achieved)},
                          {"runs", Value::integer(r.runs)},
                          {"side", r.side.empty() ? Value() : Value::string(r.side)}});
}

std::string solveForJson(const SolveForProblem& problem, const SolveForResult& result) {
    return json::document(solveForValue(problem, result));
}

}  // namespace marlinq
