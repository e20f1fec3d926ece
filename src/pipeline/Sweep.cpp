#include "pipeline/Sweep.h"

#include "io/NumberText.h"

#include "pipeline/ConcentrationUnits.h"

#include <algorithm>

#include "pipeline/ObservableRegistry.h"
#include "pipeline/ObservablesText.h"
#include "pipeline/CalculationStages.h"
#include "pipeline/Units.h"
#include "pipeline/Version.h"

#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <thread>

namespace marlinq {

namespace {

// A whole token as a number in the classic notation (an optional leading '+').
std::optional<double> wholeNumber(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    if (!t.empty() && t.front() == '+') t.remove_prefix(1);
    if (t.empty()) return std::nullopt;
    double v = 0.0;
    const auto res = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != t.data() + t.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::vector<std::string_view> split(std::string_view text, char sep) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(sep, start);
        parts.push_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos) return parts;
        start = at + 1;
    }
}

std::string csvField(const std::string& s) {
    if (s.find_first_of(",\"\n") == std::string::npos) return s;
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

bool needsUnit(std::string_view name) {
    const DerivedName* d = findDerivedName(name);
    return d != nullptr && d->needsUnit;
}

// What a swept name sets: its own parameter, or the row a derived name sets (ka for
// salt_mM; a total for its name in a unit; "total" for the sum of both).
std::string settles(std::string_view name) {
    if (const DerivedName* d = findDerivedName(name)) return std::string(d->sets);
    return std::string(name);
}

}  // namespace

bool sweepKeepsLandscape(const SweepSpec& plan) {
    // A converged run compares its answer with the standard landscape's at its own
    // concentrations: each point runs on its own.
    if (plan.axes.empty() || plan.options.accuracy != Accuracy::Standard) return false;
    for (const SweepAxis& a : plan.axes) {
        const std::string n = settles(a.name);
        if (n != "vc10" && n != "vc01" && n != "total_plus" && n != "total_minus" && n != "total" &&
            n != "charge_fraction")
            return false;
    }
    return true;
}

const std::vector<std::string>& sweepableNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const ParameterRow& r : parameterSchema()) n.emplace_back(r.key);
        for (const DerivedName& d : derivedNames()) n.emplace_back(d.name);
        return n;
    }();
    return names;
}

bool isIntegerSweepName(std::string_view name) {
    const ParameterRow* row = findParameter(name);
    return row != nullptr && row->key == name && row->integer;
}

std::optional<std::vector<double>> parseSweepValues(std::string_view text, bool& log, std::string& error) {
    log = false;
    if (text.empty()) {
        error = "no values to sweep";
        return std::nullopt;
    }
    if (text.find(':') != std::string_view::npos) {
        const std::vector<std::string_view> f = split(text, ':');
        if (f.size() != 3 && !(f.size() == 4 && f[3] == "log")) {
            error = "a range of values is FROM:TO:COUNT or FROM:TO:COUNT:log, not '" + std::string(text) + "'";
            return std::nullopt;
        }
        const std::optional<double> from = wholeNumber(f[0]), to = wholeNumber(f[1]), count = wholeNumber(f[2]);
        if (!from || !to || !count || *count < 1 || *count != std::trunc(*count) || *count > 1e6) {
            error = "a range of values needs two numbers and a whole COUNT from 1 to 1000000, not '" +
                    std::string(text) + "'";
            return std::nullopt;
        }
        log = f.size() == 4;
        if (log && !(*from > 0.0 && *to > 0.0)) {
            error = "a logarithmic range needs FROM and TO above 0, not '" + std::string(text) + "'";
            return std::nullopt;
        }
        const auto n = static_cast<std::int64_t>(*count);
        std::vector<double> values(static_cast<std::size_t>(n));
        const double lf = log ? std::log(*from) : 0.0, lt = log ? std::log(*to) : 0.0;
        for (std::int64_t k = 0; k < n; ++k) {
            const double t = n == 1 ? 0.0 : static_cast<double>(k) / static_cast<double>(n - 1);
            values[static_cast<std::size_t>(k)] = log ? std::exp(lf + (lt - lf) * t) : *from + (*to - *from) * t;
        }
        values.front() = *from;
        if (n > 1) values.back() = *to;
        return values;
    }
    std::vector<double> values;
    for (const std::string_view item : split(text, ',')) {
        const std::optional<double> v = wholeNumber(item);
        if (!v) {
            error = "'" + std::string(item) + "' in '" + std::string(text) + "' is not a number";
            return std::nullopt;
        }
        values.push_back(*v);
    }
    return values;
}

std::optional<SweepAxis> parseSweepAxis(std::string_view text, std::string& error) {
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos) {
        error = "a sweep is NAME=VALUES, not '" + std::string(text) + "'";
        return std::nullopt;
    }
    SweepAxis axis;
    axis.name = std::string(text.substr(0, eq));
    if (!isSweepableName(axis.name)) {
        error = "'" + axis.name + "' can not be swept; use one of " + sweepableNameList();
        return std::nullopt;
    }
    std::optional<std::vector<double>> values = parseSweepValues(text.substr(eq + 1), axis.log, error);
    if (!values) return std::nullopt;
    if (isIntegerSweepName(axis.name)) {
        for (const double v : *values) {
            if (v != std::trunc(v) || v < std::numeric_limits<std::int32_t>::min() ||
                v > std::numeric_limits<std::int32_t>::max()) {
                error = axis.name + " takes whole numbers only, not " + formatGeneral(v, '.');
                return std::nullopt;
            }
        }
    }
    axis.values = std::move(*values);
    return axis;
}

std::optional<Shard> parseShard(std::string_view text, std::string& error) {
    const std::vector<std::string_view> f = split(text, '/');
    Shard s;
    const auto whole = [](std::string_view t, std::int64_t& out) {
        const auto res = std::from_chars(t.data(), t.data() + t.size(), out);
        return res.ec == std::errc() && res.ptr == t.data() + t.size() && !t.empty();
    };
    if (f.size() != 2 || !whole(f[0], s.index) || !whole(f[1], s.count) || s.count < 1 || s.index < 0 ||
        s.index >= s.count) {
        error = "--shard takes I/N with 0 <= I < N, not '" + std::string(text) + "'";
        return std::nullopt;
    }
    return s;
}

std::int64_t sweepPointCount(const SweepSpec& plan) {
    if (plan.axes.empty()) return 0;
    // A grid too large for 64 bits counts as the largest count (no front end runs it).
    std::int64_t n = 1;
    for (const SweepAxis& a : plan.axes) {
        const auto size = static_cast<std::int64_t>(std::min<std::size_t>(
            a.values.size(), static_cast<std::size_t>(std::numeric_limits<std::int64_t>::max())));
        if (__builtin_mul_overflow(n, size, &n)) return std::numeric_limits<std::int64_t>::max();
    }
    return n;
}

std::vector<double> sweepPointValues(const SweepSpec& plan, std::int64_t index) {
    std::vector<double> values(plan.axes.size());
    // The last axis runs fastest.
    for (std::size_t k = plan.axes.size(); k-- > 0;) {
        const auto n = static_cast<std::int64_t>(plan.axes[k].values.size());
        values[k] = plan.axes[k].values[static_cast<std::size_t>(index % n)];
        index /= n;
    }
    return values;
}

std::int64_t shardPointCount(const SweepSpec& plan) {
    const std::int64_t n = sweepPointCount(plan);
    const Shard& s = plan.shard;
    if (s.count < 1 || s.index < 0 || s.index >= n) return 0;
    // The points index, index + count, ... up to n - 1, counted without forming a sum that
    // could pass the largest index.
    return (n - 1 - s.index) / s.count + 1;
}

std::int64_t shardPointIndex(const SweepSpec& plan, std::int64_t k) {
    // k < shardPointCount(plan), so the product stays below the grid's count.
    return plan.shard.index + k * plan.shard.count;
}

std::optional<ParameterSet> sweepPointSet(const SweepSpec& plan, const std::vector<double>& values,
                                          std::string& error) {
    ParameterSet set = plan.base;
    std::vector<Assignment> given;
    for (std::size_t k = 0; k < plan.axes.size() && k < values.size(); ++k) {
        const std::string& name = plan.axes[k].name;
        const ParameterRow* row = findParameter(name);
        if (!isSweepableName(name) || (row != nullptr && row->key != name)) {
            error = "'" + name + "' can not be swept";
            return std::nullopt;
        }
        given.push_back({name, values[k]});
    }
    const AssignmentContext context{plan.unitNm, chainsOf(plan.options) == Chains::Solved};
    if (const std::optional<AssignmentRefusal> refused = applyAssignments(set, given, context)) {
        // A value the file cannot hold (no charged length from q / xi) makes the point's file wrong.
        error = refused->values && refused->values->kind == ParameterRefusal::Kind::NoLength
                    ? std::string(kWrongParameterFile)
                    : refused->reason;
        return std::nullopt;
    }
    return set;
}

namespace {

// A point's run from the shared landscape: the landscape run's counts and concentration-free
// warnings, the distribution and the lines of the point's own concentrations. nullopt when
// the landscape could not be computed (the point then runs on its own).
std::optional<RunOutcome> fromLandscape(const SweepSpec& plan, const SweepPoint& point, const LoadedTables& tables,
                                        SweepLandscape& shared) {
    {
        // The first point computes it; the others wait for it, then only read it.
        std::lock_guard lock(shared.mutex);
        if (!shared.tried) {
            RunOptions options = plan.options;
            options.keepEnergies = true;
            shared.run = runToCompletion(makeJobInput(point.params, point.set, options, tables));
            shared.tried = true;
        }
    }
    const RunOutcome& base = shared.run;
    if (base.outcome != JobOutcome::Finished || !base.record || base.record->energies.empty()) return std::nullopt;
    RunOutcome out;
    out.outcome = JobOutcome::Finished;
    out.counts = base.counts;
    out.diagnostics = base.diagnostics;
    std::vector<JobMessage> said;
    JobEvents events;
    events.message = [&](const JobMessage& m) { said.push_back(m); };
    std::optional<MassBalanceTotals> totals;
    if (point.set.totalMode) totals = MassBalanceTotals{point.set.totalPlus, point.set.totalMinus};
    out.record = resettle(*base.record, point.params.vc10, point.params.vc01, totals, plan.options.keepEnergies,
                          plan.options.threads, events, &shared.critical);
    // The landscape run's lines and warnings but those of its own concentrations stage, then
    // the point's (before the run's last line).
    for (const JobMessage& m : base.messages)
        if (m.stage != JobStage::Concentrations && !m.diagnostic) out.messages.push_back(m);
    for (const JobMessage& m : out.messages)
        if (m.warning) out.warnings.push_back(*m.warning);
    for (const JobMessage& m : said)
        if (m.warning) out.warnings.push_back(*m.warning);
    out.messages.insert(out.messages.empty() ? out.messages.end() : out.messages.end() - 1, said.begin(), said.end());
    for (const JobMessage& m : out.messages) out.log.push_back(m.text);
    return out;
}

}  // namespace

SweepPoint runSweepPoint(const SweepSpec& plan, std::int64_t index, const LoadedTables& tables,
                         SweepLandscape* shared) {
    SweepPoint point;
    point.index = index;
    point.values = sweepPointValues(plan, index);
    std::string error;
    const std::optional<ParameterSet> set = sweepPointSet(plan, point.values, error);
    if (!set) {
        point.status = error;
        return point;
    }
    point.set = *set;
    if (const std::optional<std::string> message = validate(point.set, point.params, chainsOf(plan.options))) {
        point.status = *message;
        return point;
    }
    const auto start = std::chrono::steady_clock::now();
    std::optional<RunOutcome> reused;
    if (shared != nullptr) reused = fromLandscape(plan, point, tables, *shared);
    point.run = reused ? std::move(*reused) : runToCompletion(makeJobInput(point.params, point.set, plan.options, tables));
    point.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    point.ran = true;
    if (point.run.outcome == JobOutcome::Failed) {
        point.status = point.run.failure.empty() ? std::string("the run failed") : point.run.failure;
        return point;
    }
    if (point.run.record) point.observables = computeObservables(*point.run.record);
    if (point.run.record && point.params.molarMassPlus > 0.0 && point.params.molarMassMinus > 0.0) {
        StructureInputs in = plan.structure;
        in.molarMassPlus = point.params.molarMassPlus;
        in.molarMassMinus = point.params.molarMassMinus;
        in.unitNm = plan.unitNm;
        point.structure = computeStructureObservables(*point.run.record, point.observables, in);
    }
    return point;
}

bool sweepHasStructure(const SweepSpec& plan) {
    const Parameters& b = plan.base.params;
    return (b.molarMassPlus > 0.0 && b.molarMassMinus > 0.0) ||
           std::any_of(plan.axes.begin(), plan.axes.end(),
                       [](const SweepAxis& a) { return a.name.starts_with("molar_mass_"); });
}

namespace {

// The points of the shard one after another on the calling thread.
SweepResult runSweepHere(const SweepSpec& plan, const LoadedTables& tables, std::stop_token token,
                         const SweepCallback& onPoint, const SweepRunSettings& settings, SweepResult result,
                         SweepLandscape* shared) {
    const std::int64_t n = shardPointCount(plan);
    for (std::int64_t k = 0; k < n; ++k) {
        if (settings.skip && settings.skip(k)) continue;
        if (token.stop_requested()) {
            result.stopped = true;
            break;
        }
        const SweepPoint point = runSweepPoint(plan, shardPointIndex(plan, k), tables, shared);
        ++result.done;
        if (onPoint) onPoint(point, result.done, result.total);
    }
    return result;
}

// The points on `workers` threads. Each takes the next point not yet taken, but never more
// than a window ahead of the oldest point not yet reported, so that the points waiting for
// an older one stay few; the calling thread reports them in order.
SweepResult runSweepOnWorkers(const SweepSpec& plan, const LoadedTables& tables, std::stop_token token,
                              const SweepCallback& onPoint, const SweepRunSettings& settings, SweepResult result,
                              SweepLandscape* shared) {
    const std::int64_t n = shardPointCount(plan);
    const std::int64_t window = 4 * static_cast<std::int64_t>(settings.workers);
    const auto skipped = [&](std::int64_t k) { return settings.skip && settings.skip(k); };
    std::mutex mutex;
    std::condition_variable changed;
    std::int64_t nextTaken = 0;     // the next position a worker takes
    std::int64_t nextReported = 0;  // the next position to report
    bool stopTaking = false;
    int working = settings.workers;
    std::map<std::int64_t, SweepPoint> finished;  // by position, waiting for an older one

    const auto work = [&] {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return stopTaking || nextTaken - nextReported < window; });
            while (nextTaken < n && skipped(nextTaken)) ++nextTaken;
            if (token.stop_requested()) stopTaking = true;
            if (stopTaking || nextTaken >= n) break;
            const std::int64_t k = nextTaken++;
            lock.unlock();
            SweepPoint point = runSweepPoint(plan, shardPointIndex(plan, k), tables, shared);
            lock.lock();
            finished.emplace(k, std::move(point));
            changed.notify_all();
        }
        --working;
        changed.notify_all();
    };
    std::vector<std::jthread> threads;
    threads.reserve(static_cast<std::size_t>(settings.workers));
    for (int w = 0; w < settings.workers; ++w) threads.emplace_back(work);

    std::unique_lock lock(mutex);
    for (;;) {
        while (nextReported < n && skipped(nextReported)) ++nextReported;
        const auto ready = finished.find(nextReported);
        if (ready != finished.end()) {
            SweepPoint point = std::move(ready->second);
            finished.erase(ready);
            ++nextReported;
            ++result.done;
            changed.notify_all();
            lock.unlock();
            if (onPoint) onPoint(point, result.done, result.total);
            lock.lock();
            continue;
        }
        // Every point taken has been reported once the workers have all ended.
        if (working == 0) break;
        changed.wait(lock);
    }
    lock.unlock();
    threads.clear();
    result.stopped = result.done < result.total;
    return result;
}

}  // namespace

SweepResult runSweep(const SweepSpec& plan, const LoadedTables& tables, std::stop_token token,
                     const SweepCallback& onPoint, const SweepRunSettings& settings) {
    SweepResult result;
    result.total = shardPointCount(plan);
    if (settings.skip && settings.skipped >= 0)
        result.total -= std::min(settings.skipped, result.total);
    else if (settings.skip)
        for (std::int64_t k = 0, n = result.total; k < n; ++k)
            if (settings.skip(k)) --result.total;
    // A sweep of concentrations alone shares one landscape among its points.
    SweepLandscape landscape;
    SweepLandscape* shared = sweepKeepsLandscape(plan) ? &landscape : nullptr;
    if (settings.workers <= 1 || result.total <= 1)
        return runSweepHere(plan, tables, token, onPoint, settings, result, shared);
    return runSweepOnWorkers(plan, tables, token, onPoint, settings, result, shared);
}

SweepParallelism sweepParallelism(std::int64_t workersAsked, std::int64_t points, int threadBudget) {
    const int budget = std::max(1, threadBudget > 0 ? threadBudget : machineThreads());
    std::int64_t workers = workersAsked > 0 ? workersAsked : budget;
    workers = std::clamp<std::int64_t>(workers, 1, std::max<std::int64_t>(1, std::min<std::int64_t>(points, 4096)));
    SweepParallelism p;
    p.workers = static_cast<int>(workers);
    // One worker keeps the run's own default; several share the budget out.
    p.threadsPerPoint = p.workers == 1 && threadBudget <= 0 ? 0 : std::max(1, budget / p.workers);
    return p;
}

bool isSweepableName(std::string_view name) {
    return std::find(sweepableNames().begin(), sweepableNames().end(), name) != sweepableNames().end();
}

std::string sweepableNameList() {
    std::string list;
    for (const std::string& n : sweepableNames()) list += (list.empty() ? "" : ", ") + n;
    return list;
}

Job sweepJob(SweepSpec plan, LoadedTables tables, bool keepRecords, int workers) {
    return [plan = std::move(plan), tables = std::move(tables), keepRecords, workers](std::stop_token token,
                                                                                        const JobEvents& events) {
        SweepRunSettings settings;
        settings.workers = workers;
        const SweepResult result =
            runSweep(plan, tables, token, [&](const SweepPoint& p, std::int64_t done, std::int64_t total) {
                auto kept = std::make_shared<SweepPoint>(p);
                if (!keepRecords) {
                    kept->run.record.reset();
                    kept->run.log.clear();
                    kept->run.diagnostics.clear();
                }
                if (events.point) events.point(std::move(kept));
                if (events.progress) events.progress(done, total);
            },
                     settings);
        JobCounts counts;
        counts.rowsDone = static_cast<std::int32_t>(result.done);
        counts.rows = static_cast<std::int32_t>(result.total);
        if (events.finished) events.finished(result.stopped ? JobOutcome::Cancelled : JobOutcome::Finished, counts);
    };
}

std::optional<PlanError> validate(const SweepSpec& plan) {
    const auto fail = [](PlanProblem problem, std::string message) { return PlanError{problem, std::move(message)}; };
    if (plan.axes.empty()) return fail(PlanProblem::NoAxis, "a sweep needs at least one parameter");
    for (std::size_t k = 0; k < plan.axes.size(); ++k) {
        const SweepAxis& axis = plan.axes[k];
        if (!isSweepableName(axis.name))
            return fail(PlanProblem::UnknownName,
                        "'" + axis.name + "' is not a parameter that can be swept; use one of " + sweepableNameList());
        if (axis.values.empty()) return fail(PlanProblem::NoValues, "no values for " + axis.name);
        for (const double v : axis.values) {
            if (!std::isfinite(v)) return fail(PlanProblem::NotFinite, axis.name + " takes finite numbers only");
            if (isIntegerSweepName(axis.name) &&
                (v != std::trunc(v) || v < std::numeric_limits<std::int32_t>::min() ||
                 v > std::numeric_limits<std::int32_t>::max()))
                return fail(PlanProblem::NotWhole, axis.name + " takes whole numbers only, not " + formatGeneral(v, '.'));
        }
    }
    // ka and salt_mM both set ka; a total and the charge fraction set both totals.
    const auto pairOfTotals = [](const std::string& n) { return n == "total_plus" || n == "total_minus"; };
    const auto sumAndFraction = [](const std::string& n) { return n == "total" || n == "charge_fraction"; };
    for (std::size_t k = 0; k < plan.axes.size(); ++k)
        for (std::size_t j = 0; j < k; ++j) {
            const std::string a = settles(plan.axes[j].name), b = settles(plan.axes[k].name);
            if (a == b || (pairOfTotals(a) && sumAndFraction(b)) || (sumAndFraction(a) && pairOfTotals(b)))
                return fail(PlanProblem::SameParameter, "two swept names set the same parameter (" +
                                                            plan.axes[j].name + ", " + plan.axes[k].name + ")");
        }
    for (const SweepAxis& axis : plan.axes)
        if (needsUnit(axis.name) && !plan.unitNm)
            return fail(PlanProblem::SaltNeedsUnit, axis.name + " needs the segment size in nm (unit_nm)");
    if (plan.unitNm && !unitNmAllowed(*plan.unitNm))
        return fail(PlanProblem::BadUnit, "unit_nm must be " + unitNmRange());
    if (plan.shard.count < 1 || plan.shard.index < 0 || plan.shard.index >= plan.shard.count)
        return fail(PlanProblem::BadShard, "the shard must satisfy 0 <= index < count");
    return std::nullopt;
}

std::vector<std::string> sweepObservableNames(const SweepSpec& plan) {
    // When salt_mM is itself swept, its column holds the value asked for; the observable's
    // the salt that the ka applied stands for (the same but for rounding).
    const bool saltSwept =
        std::any_of(plan.axes.begin(), plan.axes.end(), [](const SweepAxis& a) { return a.name == "salt_mM"; });
    // A swept total or charge fraction has its column; the observable's, the value the run
    // used (the 15 digits a file keeps), is named apart.
    const auto swept = [&plan](const std::string& n) {
        return std::any_of(plan.axes.begin(), plan.axes.end(), [&n](const SweepAxis& a) { return a.name == n; });
    };
    std::vector<std::string> names;
    for (const ObservableColumn& c : observableColumns(plan.unitNm.has_value(), sweepHasStructure(plan)))
        names.push_back(saltSwept && c.name == "salt_mM" ? "salt_mM_of_ka" : swept(c.name) ? c.name + "_as_run" : c.name);
    return names;
}

std::vector<double> sweepObservableValues(const SweepSpec& plan, const SweepPoint& point) {
    const bool ok = point.ran && point.status == "ok";
    const ObservableInputs in{point.observables, point.params.ka, plan.unitNm, point.params.bjerrum,
                              point.structure ? &*point.structure : nullptr};
    std::vector<double> v;
    for (const ObservableColumn& c : observableColumns(plan.unitNm.has_value(), sweepHasStructure(plan)))
        v.push_back(ok ? c.value(in) : NAN);
    return v;
}

std::string formatSweepValue(double v) { return formatGeneral(v, '.'); }

namespace {

bool convergedPlan(const SweepSpec& plan) { return plan.options.accuracy == Accuracy::Converged; }

}  // namespace

std::string sweepCsvHeader(const SweepSpec& plan) {
    std::string s = "index";
    for (const SweepAxis& a : plan.axes) (s += ',') += a.name;
    for (const std::string& n : sweepObservableNames(plan)) (s += ',') += n;
    s += ",status,warnings,unconverged_solves,nonfinite_cells,beyond_dh_cells,range_edge";
    if (convergedPlan(plan)) s += ",error_estimate,standard_difference";
    return s + "\n";
}

std::string sweepCsvRow(const SweepSpec& plan, const SweepPoint& point) {
    std::string s = std::to_string(point.index);
    for (const double v : point.values) {
        s += ',';
        s += formatSweepValue(v);
    }
    const std::vector<ObservableColumn> columns = observableColumns(plan.unitNm.has_value(), sweepHasStructure(plan));
    const std::vector<double> values = sweepObservableValues(plan, point);
    for (std::size_t k = 0; k < values.size(); ++k) {
        s += ',';
        // Empty where there is no value; aggregation numbers as whole numbers.
        if (std::isnan(values[k])) continue;
        s += columns[k].whole ? std::to_string(static_cast<std::int64_t>(values[k])) : formatReal17(values[k]);
    }
    s += ',';
    s += csvField(point.status);
    // What casts doubt on the point, as a single run's summary says it; empty for a point
    // that did not run.
    if (!point.ran) return s + (convergedPlan(plan) ? ",,,,,,,\n" : ",,,,,\n");
    const SweepPointDoubts d = sweepPointDoubts(point);
    s += ',' + csvField(d.warnings) + ',' + std::to_string(d.unconvergedSolves) + ',' + std::to_string(d.nonFiniteCells) +
         ',' + std::to_string(d.beyondDebyeHueckelCells) + ',' + (d.rangeEdge ? '1' : '0');
    if (convergedPlan(plan)) {
        s += ',';
        if (d.errorEstimate) s += formatReal17(*d.errorEstimate);
        s += ',';
        if (d.standardDifference) s += formatReal17(*d.standardDifference);
    }
    return s + '\n';
}

SweepPointDoubts sweepPointDoubts(const SweepPoint& point) {
    SweepPointDoubts d;
    for (const std::string& w : runWarnings(point.run, point.observables)) {
        if (!d.warnings.empty()) d.warnings += " | ";
        d.warnings += w;
    }
    const JobCounts& c = point.run.counts;
    d.unconvergedSolves = c.unstableSolves;
    d.nonFiniteCells = c.nonFiniteCells;
    d.beyondDebyeHueckelCells = c.beyondDebyeHueckel;
    d.rangeEdge = std::any_of(point.run.warnings.begin(), point.run.warnings.end(),
                              [](const RunWarning& w) { return w.kind == WarningKind::RangeEdge; });
    if (c.converged) {
        d.errorEstimate = c.errorEstimate;
        d.standardDifference = c.standardDifference;
    }
    return d;
}

std::string sweepProgramVersion() { return "marlinq " + provenance(); }

std::uint64_t sweepPlanFingerprint(const SweepSpec& plan) {
    // FNV-1a over the bits of every number that decides a row, in a fixed order.
    std::uint64_t h = 0xcbf29ce484222325ULL;
    const auto bytes = [&h](const void* data, std::size_t size) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            h ^= p[i];
            h *= 0x100000001b3ULL;
        }
    };
    const auto number = [&](double v) {
        if (v == 0.0) v = 0.0;  // -0 and 0 apply alike
        bytes(&v, sizeof v);
    };
    const auto text = [&](std::string_view t) {
        bytes(t.data(), t.size());
        bytes("", 1);
    };
    for (const ParameterRow& row : parameterSchema()) {
        // A model parameter at its start-up value is the model of plans made before it existed.
        if (row.modelParameter && parameterValue(plan.base, row) == row.startup) continue;
        text(row.key);
        number(parameterValue(plan.base, row));
    }
    for (const SweepAxis& axis : plan.axes) {
        text(axis.name);
        const auto count = static_cast<std::uint64_t>(axis.values.size());
        bytes(&count, sizeof count);
        for (const double v : axis.values) number(v);
    }
    text(nameOf(plan.options.method));
    text(nameOf(plan.options.chains));
    text(nameOf(plan.options.accuracy));
    if (plan.unitNm) number(*plan.unitNm);
    else text("no unit");
    if (plan.tablesDigest != 0) {
        text("tables");
        bytes(&plan.tablesDigest, sizeof plan.tablesDigest);
    }
    return h;
}

std::uint64_t chainTablesDigest(const ChainTables& tables) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    const auto add = [&h](const auto& table) {
        for (const auto& row : table)
            for (double v : row) {
                if (v == 0.0) v = 0.0;
                const auto* p = reinterpret_cast<const unsigned char*>(&v);
                for (std::size_t i = 0; i < sizeof v; ++i) {
                    h ^= p[i];
                    h *= 0x100000001b3ULL;
                }
            }
    };
    add(tables.coarse);
    add(tables.fine);
    return h == 0 ? 1 : h;
}

std::string sweepPlanLine(const SweepSpec& plan) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(sweepPlanFingerprint(plan)));
    std::string s = std::string(kSweepPlanLineStart) + sweepProgramVersion() + " sweep " + hex + ": " +
                    std::to_string(sweepPointCount(plan)) + " points, ";
    for (std::size_t k = 0; k < plan.axes.size(); ++k)
        s += (k ? " x " : "") + plan.axes[k].name + " " + std::to_string(plan.axes[k].values.size());
    s += ", method " + std::string(nameOf(plan.options.method)) + ", chains " + std::string(nameOf(plan.options.chains)) +
         ", accuracy " + std::string(nameOf(plan.options.accuracy));
    if (plan.unitNm) s += ", unit_nm " + formatSweepValue(*plan.unitNm);
    if (plan.shard.count > 1)
        s += std::string(kSweepShardEnding) + std::to_string(plan.shard.index) + "/" + std::to_string(plan.shard.count);
    return s + "\n";
}

std::string sweepPartialLine(std::int64_t done, std::int64_t total) {
    return std::string(kSweepPartialStart) + std::to_string(done) + " of " + std::to_string(total) + " points\n";
}

std::uint64_t sweepCsvSizeEstimate(const SweepSpec& plan) {
    // A row with a result: the index, the values as written, about 23 characters per
    // observable and count, "ok".
    std::uint64_t row = 20 + 8 * 6 + 3;
    for (const SweepAxis& axis : plan.axes) {
        std::size_t widest = 0;
        const std::size_t step = std::max<std::size_t>(1, axis.values.size() / 4096);
        for (std::size_t i = 0; i < axis.values.size(); i += step)
            widest = std::max(widest, formatSweepValue(axis.values[i]).size());
        row += widest + 1;
    }
    row += 23 * static_cast<std::uint64_t>(sweepObservableNames(plan).size());
    if (convergedPlan(plan)) row += 2 * 24;
    const auto points = static_cast<std::uint64_t>(shardPointCount(plan));
    if (points > (std::numeric_limits<std::uint64_t>::max() - 4096) / row) return std::numeric_limits<std::uint64_t>::max();
    return points * row + sweepCsvHeader(plan).size() + 256;
}

std::optional<std::string> oversizedSweep(const SweepSpec& plan) {
    const std::uint64_t bytes = sweepCsvSizeEstimate(plan);
    if (bytes <= kLargestSweepOutput) return std::nullopt;
    const double gib = static_cast<double>(bytes) / static_cast<double>(std::uint64_t{1} << 30);
    // A point whatever the locale (the window sets the user's).
    const std::string size = gib < 1024.0 ? fixedText(gib, 1) + " GiB" : significantText(gib / 1024.0, 3) + " TiB";
    return "the sweep's CSV would be about " + size + " (" + std::to_string(shardPointCount(plan)) + " points)";
}

std::string sweepPointStem(const SweepSpec& plan, const SweepPoint& point) {
    char index[32];
    std::snprintf(index, sizeof index, "point-%04lld", static_cast<long long>(point.index));
    std::string s = index;
    for (std::size_t k = 0; k < plan.axes.size() && k < point.values.size(); ++k)
        s += "_" + plan.axes[k].name + "=" + formatSweepValue(point.values[k]);
    return s;
}

}  // namespace marlinq
