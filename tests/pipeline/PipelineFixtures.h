#pragma once
// Shared inputs of the pipeline tests: the window's start-up values, records built by hand,
// table files with chosen contents, and a recorder for the job's callbacks.

#include "files/DataPaths.h"
#include "pipeline/CalculationJob.h"
#include "pipeline/CalculationStages.h"
#include "physics/NeutralBlock.h"
#include "pipeline/ParameterSchema.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace marlinq::testing {

using marlinq::startupParameters;

inline RunRequest testRequest(const Parameters& p, double plen, double mlen, bool useTables) {
    RunRequest request;
    request.params = p;
    request.plusLength = plen;
    request.minusLength = mlen;
    request.chains = useTables ? Chains::Tables : Chains::Solved;
    return request;
}

// A job's input; the tables (when used) are read from where the test put them.
inline JobInput jobInput(const Parameters& p, double plen, double mlen, bool dh, bool tables = true) {
    JobInput input;
    RunRequest request = testRequest(p, plen, mlen, tables);
    request.method = dh ? Method::DebyeHueckel : Method::PoissonBoltzmann;
    input.request = std::make_shared<const RunRequest>(request);
    if (tables)
        input.tables =
            loadChainTables(locateDataFile(kCoarseTableFile), locateDataFile(kFineTableFile), input.tablesError);
    return input;
}

// A fresh result record as the job builds it, with chosen single-chain energies.
inline RunResult record(const Parameters& p, double plen, double mlen, double ffcPlus, double ffcMinus) {
    auto sigma = std::make_shared<std::vector<double>>();
    for (std::int32_t k = 0; k <= p.mpMax + p.mmMax; ++k) sigma->push_back(neutral::sigma(k));
    const std::int32_t rows = p.mpMax - p.mpMin + 1, cols = p.mmMax - p.mmMin + 1;
    auto request = std::make_shared<RunRequest>();
    request->params = p;
    request->plusLength = plen;
    request->minusLength = mlen;
    RunResult r(request, CellSelection::NeutralBandByRows);
    r.concentrations.freePlus = p.vc10;
    r.concentrations.freeMinus = p.vc01;
    r.chains.plus = ffcPlus;
    r.chains.minus = ffcMinus;
    r.sigma = sigma;
    r.Value = Grid<double>(rows, cols);
    r.absValue = Grid<double>(rows, cols);
    r.max_shift = 0.0;
    return r;
}

// A folder holding the two table files, each entry given by a function of (row, column).
class TableDir {
public:
    TableDir(const std::string& name, const std::function<double(int, int)>& coarse,
             const std::function<double(int, int)>& fine)
        : dir_(std::filesystem::temp_directory_path() / ("marlinq-" + name + "-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(dir_);
        write(dir_ / "Chains_values.dat", 20, coarse);
        write(dir_ / "Chains_values01.dat", 99, fine);
        setDataDirectoryOverride(dir_.string());
    }
    ~TableDir() {
        setDataDirectoryOverride("");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string path() const { return dir_.string(); }

private:
    static void write(const std::filesystem::path& file, int n, const std::function<double(int, int)>& f) {
        std::ofstream out(file);
        for (int r = 0; r < n; ++r) {
            for (int c = 0; c < n; ++c) {
                char buf[32];
                const auto res = std::to_chars(buf, buf + sizeof buf, f(r, c));
                out << (c ? "\t" : "") << std::string(buf, res.ptr);
            }
            out << '\n';
        }
        out.flush();
    }
    std::filesystem::path dir_;
};

// The tables that come with the program.
struct ShippedTables {
    ShippedTables() { setDataDirectoryOverride(MARLINQ_SOURCE_DATA_DIR); }
    ~ShippedTables() { setDataDirectoryOverride(""); }
};

// Every event as one line in call order: "I: text", "W: text", "E: text" (a message of
// that severity; diagnostics are kept apart), "P" (snapshot), "R: done/total" (progress),
// "F: finished" / "F: cancelled" / "F: failed".
struct Recorder {
    std::vector<std::string> events;
    std::vector<std::string> log;
    std::vector<std::string> diagnostics;
    std::vector<RunWarning> warnings;
    std::vector<RunNote> notes;
    std::vector<std::string> untyped;  // lines of the log that are neither a warning nor a note
    ResultSnapshot record;
    std::function<void(const std::string&)> onText;  // runs after a log line is recorded

    JobEvents callbacks() {
        JobEvents e;
        e.message = [this](const JobMessage& m) {
            if (m.diagnostic) {
                diagnostics.push_back(m.text);
                return;
            }
            const char* tag = m.severity == Severity::Info ? "I: " : m.severity == Severity::Warning ? "W: " : "E: ";
            events.push_back(tag + m.text);
            log.push_back(m.text);
            if (m.warning) warnings.push_back(*m.warning);
            if (m.note) notes.push_back(*m.note);
            if (!m.warning && !m.note) untyped.push_back(m.text);
            if (onText) onText(m.text);
        };
        e.progress = [this](std::int64_t done, std::int64_t total) {
            events.push_back("R: " + std::to_string(done) + "/" + std::to_string(total));
        };
        e.snapshot = [this](const ResultSnapshot& r) {
            events.push_back("P");
            record = r;
        };
        e.finished = [this](JobOutcome o, const JobCounts&) {
            events.push_back(o == JobOutcome::Finished ? "F: finished" : o == JobOutcome::Cancelled ? "F: cancelled" : "F: failed");
        };
        return e;
    }
};

}  // namespace marlinq::testing
