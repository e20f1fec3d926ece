// marlinq-batch: the window's "Load Parameters" + "Solve" + "Save Distribution" as one
// command, for scripted parameter sweeps.

#include "BatchOptions.h"

#include "files/DataPaths.h"
#include "files/DistributionExport.h"
#include "files/NumberFormat.h"
#include "files/ParameterFile.h"
#include "pipeline/CalculationJob.h"
#include "pipeline/ComplexProfile.h"
#include "pipeline/InputValidation.h"

#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace marlinq::batch {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitInvalid = 2;
constexpr int kExitInterrupted = 130;

constexpr const char* kWrongFile = "Some input parameters are wrong, please check it.";
constexpr const char* kSolveStart = "Solving for linear chains 'minus' and 'plus' in parallel ...... ";

// The only thing the SIGINT handler touches.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onInterrupt(int) { g_interrupted.store(true, std::memory_order_relaxed); }

void installInterruptHandler() {
    // A run started with SIGINT ignored (in the background of a script) keeps ignoring it.
    struct sigaction previous {};
    if (sigaction(SIGINT, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) return;
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the program at once
    sigaction(SIGINT, &sa, nullptr);
}

// The program's data folder next to the executable: <prefix>/bin/.. /share/marlinq.
void setProgramDataFromExecutable() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return;
    setProgramDataDirectory((exe.parent_path().parent_path() / "share" / "marlinq").string());
}

// Truncates a quotient to an int the way the window's load does, refusing what no int holds.
std::optional<std::int32_t> truncatedLength(double charge, double density) {
    const double length = std::trunc(charge / density);
    if (!std::isfinite(length) || length < std::numeric_limits<std::int32_t>::min() ||
        length > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(length);
}

// A real as it comes back from a text field that showed it in the general format.
double shownAndReadBack(double v) { return parseLeadingDouble(formatGeneral(v, '.')).value_or(v); }

// The window's start-up fields, or a parameter file loaded over them, as "Solve" would
// then read them back from the fields.
std::optional<InputFields> inputFields(const BatchOptions& o, int& exitCode) {
    Parameters p = startupParameters();
    double plen = 72.0, mlen = 72.0;

    if (!o.parameterFile.empty()) {
        std::int32_t pid = kUnknownKeyPid;
        if (!readParameter(p.kip, p.kim, p.ka, p.vc01, p.vc10, p.zp, p.zn, o.parameterFile, p.Np, p.Nm, p.mpMin,
                           p.mpMax, p.mmMin, p.mmMax, pid)) {
            std::cerr << kParameterFileOpenError << '\n';
            exitCode = kExitInvalid;
            return std::nullopt;
        }
        const std::optional<std::int32_t> pl = truncatedLength(p.zp, p.kip);
        const std::optional<std::int32_t> ml = truncatedLength(p.zn, p.kim);
        if (pid == kUnknownKeyPid || !pl || !ml) {
            std::cerr << kWrongFile << '\n';
            exitCode = kExitInvalid;
            return std::nullopt;
        }
        plen = *pl;
        mlen = *ml;
        // The window shows the loaded reals in its fields with 15 significant digits and
        // "Solve" reads them back from there: a file value with more digits is computed
        // with its 15-digit form.
        for (double* v : {&p.zp, &p.zn, &p.ka, &p.vc10, &p.vc01}) *v = shownAndReadBack(*v);
    }

    InputFields in;
    in.plen = plen;
    in.zp = p.zp;
    in.Np = p.Np;
    in.mlen = mlen;
    in.zn = p.zn;
    in.Nm = p.Nm;
    in.ka = p.ka;
    in.vc10 = p.vc10;
    in.vc01 = p.vc01;
    in.mpMin = p.mpMin;
    in.mpMax = p.mpMax;
    in.mmMin = p.mmMin;
    in.mmMax = p.mmMax;
    return in;
}

// Sends the text to FILE or standard output; false (with a message) if it fails.
bool writeText(const BatchOptions& o, const std::string& text) {
    if (o.output.empty()) {
        std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
        std::cout.flush();
        if (std::cout.fail()) {
            std::cerr << "can not write the result to standard output\n";
            return false;
        }
        return true;
    }
    std::ofstream out(o.output, std::ios::out | std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (out.fail()) {
        std::cerr << "can not write file " << o.output << '\n';
        return false;
    }
    return true;
}

bool writeResult(const BatchOptions& o, const InfoSphereBean& isb) {
    const DistributionView view{isb.mpMin, isb.mpMax, isb.mmMin, isb.mmMax, isb.vc10, isb.vc01, isb.absValue.data()};
    const bool ok = o.output.empty() ? writeDistribution(std::cout, view, '.') : writeDistribution(o.output, view, '.');
    if (!ok) {
        if (o.output.empty()) std::cerr << "can not write the result to standard output\n";
        else std::cerr << "can not write file " << o.output << '\n';
    }
    return ok;
}

// While the job runs, whatever the stages print on standard output (the single-chain
// energies, fatal messages) goes to standard error, or nowhere with --quiet, so that
// standard output carries only the result.
class StdoutDiversion {
public:
    explicit StdoutDiversion(bool quiet) {
        std::cout.flush();
        std::fflush(stdout);
        saved_ = ::dup(STDOUT_FILENO);
        const int target = quiet ? ::open("/dev/null", O_WRONLY | O_CLOEXEC) : ::dup(STDERR_FILENO);
        if (saved_ >= 0 && target >= 0) ::dup2(target, STDOUT_FILENO);
        if (target >= 0) ::close(target);
    }
    ~StdoutDiversion() {
        std::cout.flush();
        std::fflush(stdout);
        if (saved_ >= 0) {
            ::dup2(saved_, STDOUT_FILENO);
            ::close(saved_);
        }
    }
    StdoutDiversion(const StdoutDiversion&) = delete;
    StdoutDiversion& operator=(const StdoutDiversion&) = delete;

private:
    int saved_ = -1;
};

int runProfile(const BatchOptions& o, const Parameters& p) {
    const ComplexProfile profile =
        computeComplexProfile(o.profileMp, o.profileMm, p.zp, p.zn, p.kip, p.kim, p.ka, o.dh);
    return writeText(o, formatProfileCsv(profile, static_cast<int>(profile.r.size()))) ? kExitOk : kExitFailed;
}

int runDistribution(const BatchOptions& o, const Parameters& p, double plen, double mlen) {
    JobInput input;
    input.params = p;
    input.icb = std::make_shared<InfoChainBean>(plen, mlen, p.kip, p.kim, p.ka, p.vc01, p.vc10, p.zp, p.zn, p.Np,
                                                p.Nm, p.mpMin, p.mpMax, p.mmMin, p.mmMax, 0.0, 0.0, o.tableChains);
    input.dh = o.dh;
    input.mrange = p.mmMax - p.mmMin + 1;

    std::string lastLine;
    JobCallbacks callbacks;
    callbacks.UpdateText = [&](const std::string& text) {
        lastLine = text;
        if (!o.quiet) std::cerr << text << '\n' << std::flush;
    };
    std::shared_ptr<InfoSphereBean> record;
    callbacks.PublishRecord = [&](std::shared_ptr<InfoSphereBean> isb) { record = std::move(isb); };

    if (!o.quiet) std::cerr << kSolveStart << '\n' << std::flush;

    // Ctrl-C: the handler sets a flag; this watcher turns it into a stop request.
    std::stop_source stopSource;
    installInterruptHandler();
    JobOutcome outcome;
    {
        std::mutex mutex;
        std::condition_variable_any wake;
        std::jthread watcher([&](std::stop_token st) {
            std::unique_lock lock(mutex);
            while (!st.stop_requested()) {
                if (g_interrupted.load(std::memory_order_relaxed)) {
                    stopSource.request_stop();
                    return;
                }
                wake.wait_for(lock, st, std::chrono::milliseconds(20), [] { return false; });
            }
        });
        StdoutDiversion diversion(o.quiet);
        outcome = GenerateFreeEnergy(input, stopSource.get_token(), callbacks);
    }  // the watcher is stopped and joined here, standard output restored

    if (outcome == JobOutcome::Failed) {
        if (o.quiet && !lastLine.empty()) std::cerr << lastLine << '\n';
        return kExitFailed;
    }
    if (record && record->hasResults() && !writeResult(o, *record)) return kExitFailed;
    if (outcome == JobOutcome::Cancelled || g_interrupted.load()) return kExitInterrupted;
    return kExitOk;
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

    setProgramDataFromExecutable();
    if (!o.dataDir.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(o.dataDir, ec)) {
            std::cerr << "can not read the data folder " << o.dataDir << '\n';
            return kExitFailed;
        }
        setDataDirectoryOverride(o.dataDir);
    }

    int exitCode = kExitOk;
    const std::optional<InputFields> fields = inputFields(o, exitCode);
    if (!fields) return exitCode;
    Parameters p;
    double plen = 0.0, mlen = 0.0;
    if (const std::optional<std::string> message = validateInput(*fields, p, plen, mlen)) {
        std::cerr << *message << '\n';
        return kExitInvalid;
    }

    return o.profile ? runProfile(o, p) : runDistribution(o, p, plen, mlen);
}

}  // namespace
}  // namespace marlinq::batch

int main(int argc, char** argv) {
    // The user's locale, as the window runs under it: nothing written or read may depend on it.
    std::setlocale(LC_ALL, "");
    return marlinq::batch::run(argc, argv);
}
