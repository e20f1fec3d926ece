// marlinq-batch: the window's "Load Parameters" + "Solve" + "Save Distribution" as one
// command, for scripted parameter sweeps.

#include "BatchOptions.h"
#include "Sweep.h"
#include "pipeline/StoredSweep.h"

#include "io/Destination.h"
#include "io/FileAccess.h"
#include "io/Json.h"
#include "io/NumberText.h"
#include "kernel/Fatal.h"
#include "pipeline/SolveFor.h"
#include "pipeline/CalculationJob.h"
#include "pipeline/ThreadWaiting.h"
#include "pipeline/ComplexProfile.h"
#include "pipeline/CriticalSalt.h"
#include "pipeline/ObservablesText.h"
#include "pipeline/Units.h"
#include "pipeline/Engine.h"
#include "pipeline/MassBalance.h"
#include "pipeline/ParameterSchema.h"
#include "pipeline/Version.h"

#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <limits>
#include <mutex>
#include <thread>

#include <sys/stat.h>
#include <time.h>


namespace marlinq::batch {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitInvalid = 2;
constexpr int kExitInterrupted = 130;


// What the signal handler touches: the stop flag and the time of the first signal.
std::atomic<bool> g_interrupted{false};
std::atomic<std::int64_t> g_firstSignalNs{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<std::int64_t>::is_always_lock_free);

std::int64_t monotonicNs() {
    timespec t {};
    ::clock_gettime(CLOCK_MONOTONIC, &t);  // async-signal-safe
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The first signal asks the run to stop (what is finished is kept). One signal often comes
// twice (timeout and kill send it to the program, then to its process group; a terminal's
// Ctrl-C reaches the whole group): a second one ends the program at once only when it comes
// a grace interval after the first.
constexpr std::int64_t kSecondSignalGraceNs = 1000000000;

extern "C" void onInterrupt(int signal) {
    const std::int64_t now = monotonicNs();
    std::int64_t first = 0;
    if (g_firstSignalNs.compare_exchange_strong(first, now)) {
        g_interrupted.store(true, std::memory_order_relaxed);
        return;
    }
    if (now - first < kSecondSignalGraceNs) return;
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void installInterruptHandler() {
    // SIGTERM and SIGHUP (a batch system's time limit, a closed terminal) stop the run as
    // Ctrl-C does: what was finished is kept.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // A run started with the signal ignored (in the background of a script) keeps ignoring it.
        struct sigaction previous {};
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        struct sigaction sa {};
        sa.sa_handler = onInterrupt;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(signal, &sa, nullptr);
    }
}

// Ctrl-C becomes a stop request: the handler sets a flag, this watcher passes it on.
class InterruptWatcher {
public:
    explicit InterruptWatcher(std::stop_source source)
        : thread_([source](std::stop_token st) mutable {
              std::mutex mutex;
              std::condition_variable_any wake;
              std::unique_lock lock(mutex);
              while (!st.stop_requested()) {
                  if (g_interrupted.load(std::memory_order_relaxed)) {
                      source.request_stop();
                      return;
                  }
                  wake.wait_for(lock, st, std::chrono::milliseconds(20), [] { return false; });
              }
          }) {}

private:
    std::jthread thread_;
};

// Sends what `write` writes to -o FILE (complete, or not at all) or to standard output;
// false (with a message) if it fails.
bool writeOutput(const BatchOptions& o, const std::function<bool(std::ostream&)>& write) {
    const Destination to = Destination::of(o.output);
    std::string error;
    if (to.write(write, error)) return true;
    if (to.isStandardOutput()) std::cerr << "can not write the result to standard output\n";
    else std::cerr << "can not write file " << o.output << " (" << error << ")\n";
    return false;
}

bool writeText(const BatchOptions& o, const std::string& text) {
    return writeOutput(o, [&](std::ostream& out) {
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        return static_cast<bool>(out);
    });
}

bool writeResult(const BatchOptions& o, const RunResult& resultRecord) {
    const DistributionCells distribution(resultRecord);
    return writeOutput(o, [&](std::ostream& out) {
        return o.longFormat ? writeDistributionLong(out, distribution.view(), nullptr)
                            : writeDistribution(out, distribution.view(), '.');
    });
}

// A wide table of gigabytes is written only in the long format, on request.
std::optional<std::string> oversizedExport(const BatchOptions& o, const Parameters& p) {
    if (o.longFormat || o.profile) return std::nullopt;
    const std::optional<std::uint64_t> bytes = oversizedWideExport(rangesOf(p));
    if (!bytes) return std::nullopt;
    return "the distribution table would be up to " + std::to_string(*bytes / (std::uint64_t{1} << 20)) +
           " MiB (it runs from M = 0 to the largest M); use --long-format to write only the computed cells";
}

// Every place a result will be written, checked before any work: each can take a file,
// none is the parameter file, no two are one file, and the point files of --sweep-dir
// can replace neither. The message, or nullopt.
std::optional<std::string> outputProblem(const BatchOptions& o) {
    struct Output {
        const char* option;
        std::string path;
    };
    std::vector<Output> files;
    if (!o.output.empty() && o.output != "-") files.push_back({"-o", o.output});
    if (!o.summary.empty() && o.summary != "-") files.push_back({"--summary", o.summary});
    if (o.scattering && o.scatteringOutput != "-") files.push_back({"--scattering-output", o.scatteringOutput});
    // In a sweep the landscapes go into the --sweep-dir folder, not to the FILE.
    if (!o.freeEnergies.empty() && o.freeEnergies != "-" && o.sweeps.empty())
        files.push_back({"--free-energies", o.freeEnergies});
    // A sweep's rows first go to FILE.partial: that file may be no input either.
    if (!o.sweeps.empty() && !o.output.empty() && o.output != "-") {
        const std::string partial = partialPathOf(sweepOutputPlace(o.output));
        if (!o.parameterFile.empty() && (sameFile(partial, o.parameterFile) || sameOutputFile(partial, o.parameterFile)))
            return "the sweep would write its rows into " + partial + ", the parameter file; choose another -o";
    }
    for (const Output& f : files) {
        if (const std::optional<std::string> why = outputFileProblem(f.path))
            return std::string("can not write ") + f.option + " " + f.path + " (" + *why + ")";
        if (!o.parameterFile.empty() && sameFile(f.path, o.parameterFile)) {
            if (f.option == std::string("-o"))
                return "the output file " + f.path + " is the parameter file; choose another -o";
            return std::string("the file of ") + f.option + " " + f.path + " is the parameter file; choose another";
        }
    }
    // Two outputs into /dev/null are harmless; into one file, one would replace the other.
    const auto isCharacterDevice = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
    };
    for (std::size_t i = 0; i < files.size(); ++i)
        for (std::size_t j = i + 1; j < files.size(); ++j)
            if (sameOutputFile(files[i].path, files[j].path) && !isCharacterDevice(files[i].path))
                return std::string(files[i].option) + " and " + files[j].option + " name the same file " +
                       files[j].path + "; give each output its own file";
    if (o.sweepDir.empty()) return std::nullopt;
    if (o.sweepDir == "-") return std::string("--sweep-dir needs a folder, not standard output");
    if (const std::optional<std::string> why = outputFolderProblem(o.sweepDir))
        return "can not write into --sweep-dir " + o.sweepDir + " (" + *why + ")";
    // A point file (point-NNNN_....txt or .free-energies.csv in the folder) could replace the
    // parameter file or another output there.
    std::vector<Output> inputs = files;
    if (!o.parameterFile.empty()) inputs.push_back({"the parameter file", o.parameterFile});
    for (const Output& f : inputs) {
        const std::filesystem::path p(f.path);
        const std::string leaf = p.filename().string();
        const bool pointName = leaf.rfind("point-", 0) == 0 &&
                               (leaf.ends_with(".txt") || leaf.ends_with(".free-energies.csv"));
        const std::string folder = p.has_parent_path() ? p.parent_path().string() : std::string(".");
        if (pointName && sameOutputFile(folder, o.sweepDir)) {
            const std::string what = f.option == std::string("the parameter file") ? "the parameter file"
                                                                                   : std::string("the file of ") + f.option;
            return what + " " + f.path + " lies in --sweep-dir " + o.sweepDir +
                   " under a point file's name; move it or choose another folder";
        }
    }
    return std::nullopt;
}

int runProfile(const BatchOptions& o, const Parameters& p, const ParameterSet& set) {
    ComplexProfile profile;
    try {
        profile = computeComplexProfile(o.profileMp, o.profileMm, p, ChainBlocks{p.zp, p.zn, set.plen, set.mlen},
                                        *makeComplexModel(o.options.method, o.options.accuracy, p));
    } catch (const KernelError& e) {
        std::cerr << profileFailureMessage(o.profileMp, o.profileMm, e.what()) << '\n';
        return kExitFailed;
    }
    return writeText(o, formatProfileCsv(profile, static_cast<int>(profile.r.size()))) ? kExitOk : kExitFailed;
}

int runDistribution(const BatchOptions& o, const Parameters& p, const ParameterSet& set, Engine& engine) {
    JobInput input = engine.job(p, set, o.options);

    // Every line of the log and the diagnostics as they come; with --quiet only what casts
    // doubt on the result (the job's warnings) and why a run failed.
    JobEvents events;
    events.message = [&o](const JobMessage& m) {
        if (!o.quiet || m.severity != Severity::Info) std::cerr << m.text << '\n' << std::flush;
    };

    std::stop_source stopSource;
    installInterruptHandler();
    RunOutcome run;
    {
        InterruptWatcher watcher(stopSource);
        run = runToCompletion(std::move(input), stopSource.get_token(), events);
    }
    if (run.outcome == JobOutcome::Failed) return kExitFailed;
    if (run.record && run.record->hasResults() && !writeResult(o, *run.record)) return kExitFailed;
    if (!writeRunExtras(o, run, set, p)) return kExitFailed;
    if (run.outcome == JobOutcome::Cancelled || g_interrupted.load()) return kExitInterrupted;
    return kExitOk;
}

// --critical-salt: the ka (and with --unit-nm the salt in mM) where the larger bound
// fraction falls to 1/2 at the set's totals, as a JSON object.
int runCriticalSalt(const BatchOptions& o, const ParameterSet& set, Engine& engine) {
    const LoadedTables tables = engine.tables(o.options);
    if (tables.failed()) {
        std::cerr << tables.error << '\n';
        return kExitFailed;
    }
    std::stop_source stopSource;
    installInterruptHandler();
    CriticalSaltResult result;
    {
        InterruptWatcher watcher(stopSource);
        result = criticalSalt(set, o.options, tables, stopSource.get_token(), [&o](double ka, double bound) {
            if (!o.quiet)
                std::cerr << "ka " << formatGeneral(ka, '.') << ": larger bound fraction " << formatGeneral(bound, '.')
                          << '\n' << std::flush;
        });
    }
    if (!result.failure.empty()) {
        std::cerr << result.failure << '\n';
        return kExitFailed;
    }
    if (result.stopped) {
        std::cerr << "Interrupted: no critical salt (" << result.runs << " runs done)\n";
        return kExitInterrupted;
    }
    const std::string note = result.note();
    if (!note.empty()) std::cerr << note << '\n';
    return writeText(o, json::document(criticalSaltValue(result, set, o.options, o.unitNm))) ? kExitOk : kExitFailed;
}

// --solve-for: the value of a parameter at which an observable meets a target, as JSON.
int runSolveFor(const BatchOptions& o, const ParameterSet& set, Engine& engine) {
    const LoadedTables tables = engine.tables(o.options);
    if (tables.failed()) {
        std::cerr << tables.error << '\n';
        return kExitFailed;
    }
    SolveForProblem problem;
    problem.base = set;
    problem.name = o.solveForName;
    problem.observable = o.solveForObservable;
    problem.target = *o.solveForTarget;
    problem.options = o.options;
    problem.unitNm = o.unitNm;
    problem.range = o.solveForRange;
    std::stop_source stopSource;
    installInterruptHandler();
    SolveForResult result;
    {
        InterruptWatcher watcher(stopSource);
        result = solveFor(problem, tables, stopSource.get_token(), [&o](double value, double observable) {
            if (!o.quiet)
                std::cerr << o.solveForName << " " << formatGeneral(value, '.') << ": " << o.solveForObservable << " "
                          << formatGeneral(observable, '.') << '\n' << std::flush;
        });
    }
    if (!result.failure.empty()) {
        std::cerr << result.failure << '\n';
        return kExitFailed;
    }
    if (result.stopped) {
        std::cerr << "Interrupted: no value found (" << result.runs << " runs done)\n";
        return kExitInterrupted;
    }
    if (!result.value)
        std::cerr << "The target " << o.solveForObservable << " = " << formatGeneral(problem.target, '.')
                  << " is not reached over the range of " << o.solveForName << ": it lies "
                  << (result.side == "below" ? "below" : result.side == "above" ? "above" : "beyond")
                  << " what the range gives (closest " << formatGeneral(result.achieved, '.') << ")\n";
    if (!writeText(o, solveForJson(problem, result))) return kExitFailed;
    return result.value ? kExitOk : kExitFailed;
}

int run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const std::optional<BatchOptions> parsed = parseOptions(args, error);
    if (!parsed) {
        std::cerr << "marlinq-batch: " << error << "\nTry 'marlinq-batch --help'.\n";
        return kExitInvalid;
    }
    const BatchOptions& o = *parsed;
    if (o.help) {
        std::cout << helpText();
        return kExitOk;
    }
    if (o.version) {
        std::cout << versionLine("marlinq-batch") << '\n';
        return kExitOk;
    }

    if (o.merge) return mergeSweepParts(o.mergeParts, o.output, o.quiet, std::cerr, std::cout);

    if (!o.dataDir.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(o.dataDir, ec)) {
            std::cerr << "can not read the data folder " << o.dataDir << '\n';
            return kExitFailed;
        }
    }

    ParameterSet set = startupParameterSet();
    if (!o.parameterFile.empty()) {
        const LoadResult loaded = loadParameterSet(o.parameterFile, set);
        // Every line that could not be fully used, with its number and text.
        for (const std::string& note : loaded.notes) std::cerr << note << '\n';
        if (loaded.status != LoadStatus::Loaded) {
            std::cerr << loaded.message << '\n';
            return kExitInvalid;
        }
        set = loaded.set;
    }
    // A result never replaces its own input or another result, and a place that can not
    // take it is found before the work.
    if (const std::optional<std::string> problem = outputProblem(o)) {
        std::cerr << *problem << '\n';
        return kExitInvalid;
    }
    // The model's parameters given on the command line, over the file's.
    if (const std::optional<ParameterSet> withModel = applyModelParameters(o, set, error)) {
        set = *withModel;
    } else {
        std::cerr << error << '\n';
        return kExitInvalid;
    }
    // Total mode: both totals, or the total and the charge fraction, over the file's values.
    if (const std::optional<ParameterSet> withTotals = applyTotals(o, set, error)) {
        set = *withTotals;
    } else {
        std::cerr << error << '\n';
        return kExitInvalid;
    }
    // The tables are looked for where --data says, else in the usual places.
    DataSearch search = programDataSearch();
    search.only = o.dataDir;
    Engine engine(search);
    if (!o.sweeps.empty()) {
        std::stop_source stopSource;
        installInterruptHandler();
        InterruptWatcher watcher(stopSource);
        return runSweepCommand(o, set, engine, stopSource.get_token());
    }
    Parameters p;
    if (const std::optional<std::string> message = validate(set, p, chainsOf(o.options))) {
        std::cerr << *message << '\n';
        return kExitInvalid;
    }
    if (o.profile && (o.profileMp < 0 || o.profileMm < 0 || o.profileMp > kMaxAggregation ||
                      o.profileMm > kMaxAggregation || o.profileMp + o.profileMm < 1)) {
        std::cerr << "--profile: MP and MM must lie between 0 and " << kMaxAggregation
                  << ", and the complex must hold at least one chain\n";
        return kExitInvalid;
    }
    if (o.scattering && !(p.molarMassPlus > 0.0 && p.molarMassMinus > 0.0)) {
        std::cerr << "--scattering needs the molar masses of both chains (--molar-mass M+,M- or the file's "
                     "molar_mass_plus and molar_mass_minus)\n";
        return kExitInvalid;
    }
    if (o.criticalSalt) return runCriticalSalt(o, set, engine);
    if (!o.solveForName.empty()) return runSolveFor(o, set, engine);
    if (const std::optional<std::string> tooLarge = oversizedExport(o, p)) {
        std::cerr << *tooLarge << '\n';
        return kExitInvalid;
    }
    return o.profile ? runProfile(o, p, set) : runDistribution(o, p, set, engine);
}
}  // namespace
}  // namespace marlinq::batch

int main(int argc, char** argv) {
    // OpenMP threads sleep while they wait, unless the user chose otherwise.
    marlinq::waitPassivelyInOpenMp(argv);
    // The user's locale, as the window runs under it: nothing written or read may depend on it.
    std::setlocale(LC_ALL, "");
    return marlinq::batch::run(argc, argv);
}
