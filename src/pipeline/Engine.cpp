#include "pipeline/Engine.h"

#include "files/ParameterFile.h"

#include <cmath>

namespace marlinq {

LoadResult loadParameterSet(const std::string& path, const ParameterSet& base) {
    LoadResult result;
    result.set = base;
    const ParameterFileResult file = readParameterFile(path, parameterFileKeysWithTotals());
    if (!file.opened) {
        result.status = LoadStatus::CannotOpen;
        result.message = kParameterFileOpenError;
        result.notes.push_back(file.error);
        result.errorNumber = file.errorNumber;
        return result;
    }
    for (const ParameterFileNote& note : file.notes) result.notes.push_back(formatParameterNote(path, note));

    // Each value found replaces its member; the lengths then follow from charge and density.
    Parameters& p = result.set.params;
    std::size_t line = 0;
    int totalsFound = 0;
    const ParameterRow* lonelyTotal = nullptr;
    for (const ParameterRow& r : parameterSchema()) {
        if (!r.inFile) continue;
        const std::optional<double> v = file.found[line++];
        if (!v) continue;
        setParameterMember(result.set, r, *v);
        if (r.totalModeOnly) {
            ++totalsFound;
            lonelyTotal = &r;
        }
    }
    // Both totals put the set in total mode; one of them alone is a file cut short.
    if (totalsFound == 2) {
        result.set.totalMode = true;
        result.set.totalPlus = asShown(result.set.totalPlus);
        result.set.totalMinus = asShown(result.set.totalMinus);
    } else if (totalsFound == 1) {
        result.status = LoadStatus::WrongFile;
        result.message = kWrongParameterFile;
        const std::string other = lonelyTotal->chain == 0 ? "total_minus" : "total_plus";
        result.notes.push_back(path + ": " + std::string(lonelyTotal->key) + " without " + other +
                               " (total mode needs both totals)");
        result.set = base;
        return result;
    }

    // A charged length is recovered from charge and density; a density of 0 (or a length
    // beyond the integer range) gives none, and the file is taken as wrong.
    const std::optional<std::int32_t> pl = recoverChargedLength(p.zp, p.kip);
    const std::optional<std::int32_t> ml = recoverChargedLength(p.zn, p.kim);
    if (!file.lastLineHasKnownKey() || !pl || !ml) {
        result.status = LoadStatus::WrongFile;
        result.message = kWrongParameterFile;
        std::string why = path + ": ";
        if (!file.lastLineHasKnownKey())
            why += file.recordCount == 0 ? "the file holds no parameter"
                                         : "the last line holds no known key (line " + std::to_string(file.lineCount) + ")";
        else if (!pl)
            why += "no charged length of the '+' chain follows from zp / kiplus";
        else
            why += "no charged length of the '-' chain follows from zn / kiminus";
        result.notes.push_back(why);
        return result;
    }
    result.set.plen = *pl;
    result.set.mlen = *ml;
    // The reals as the window shows them, which "Solve" then reads back.
    for (const ParameterRow& r : parameterSchema())
        if (r.real && (r.role == ParameterRole::Plain || r.role == ParameterRole::Charge)) p.*r.real = asShown(p.*r.real);
    return result;
}

std::optional<std::string> validate(const ParameterSet& set, Parameters& validated) {
    return validate(set, validated, Chains::Tables);
}

std::optional<std::string> validate(const ParameterSet& set, Parameters& validated, Chains chains) {
    std::optional<MassBalanceTotals> totals;
    if (set.totalMode) totals = MassBalanceTotals{set.totalPlus, set.totalMinus};
    return validate(inputFieldsOf(set), totals, chains, validated);
}

std::optional<std::string> validate(const InputFields& in, const std::optional<MassBalanceTotals>& totals,
                                    Chains chains, Parameters& validated, ParameterSet* lengths) {
    if (std::optional<std::string> message =
            validateInput(in, validated, lengths, chains == Chains::Solved, totals.has_value()))
        return message;
    if (totals) return checkTotals(*totals, validated);
    return std::nullopt;
}

RunRequestPointer makeRunRequest(const Parameters& validated, const ParameterSet& set, const RunOptions& options) {
    auto request = std::make_shared<RunRequest>();
    request->params = validated;
    request->plusLength = set.plen;
    request->minusLength = set.mlen;
    if (set.totalMode) request->totals = MassBalanceTotals{set.totalPlus, set.totalMinus};
    request->method = options.method;
    request->chains = options.chains;
    request->accuracy = options.accuracy;
    return request;
}

std::shared_ptr<const ChainTables> loadTables(const DataSearch& search, std::string& error) {
    return loadChainTables(search.locate(kCoarseTableFile), search.locate(kFineTableFile), error);
}

JobInput makeJobInput(const Parameters& validated, const ParameterSet& set, const RunOptions& options,
                      const LoadedTables& tables) {
    JobInput input;
    input.request = makeRunRequest(validated, set, options);
    input.tables = tables.tables;
    input.tablesError = tables.error;
    input.keepEnergies = options.keepEnergies;
    input.threads = options.threads;
    return input;
}

Engine::Engine(DataSearch search) : search_(std::move(search)) {}

DataSearch Engine::dataSearch() const {
    std::lock_guard lock(mutex_);
    return search_;
}

void Engine::setDataSearch(DataSearch search) {
    std::lock_guard lock(mutex_);
    search_ = std::move(search);
    tables_.clear();
}

LoadedTables Engine::tables(const RunOptions& options, const std::string& folder) {
    LoadedTables out;
    if (!needsTables(options)) return out;
    std::lock_guard lock(mutex_);
    if (const auto it = tables_.find(folder); it != tables_.end()) {
        out.tables = it->second;
        return out;
    }
    DataSearch search = search_;
    if (!folder.empty()) search.only = folder;
    out.tables = loadTables(search, out.error);
    if (out.tables) tables_.emplace(folder, out.tables);
    else out.path = search.locate(out.error.rfind(kCoarseTableOpenError, 0) == 0 ? kCoarseTableFile : kFineTableFile);
    return out;
}

JobInput Engine::job(const Parameters& validated, const ParameterSet& set, const RunOptions& options,
                     const std::string& folder) {
    return makeJobInput(validated, set, options, tables(options, folder));
}

RunOutcome runToCompletion(JobInput input, std::stop_token token, const JobEvents& also) {
    RunOutcome out;
    JobEvents events = also;
    events.message = [&](const JobMessage& m) {
        if (m.diagnostic) out.diagnostics.push_back(m.text);
        else out.log.push_back(m.text);
        if (m.warning) out.warnings.push_back(*m.warning);
        if (m.severity == Severity::Error) out.failure = m.text;
        out.messages.push_back(m);
        if (also.message) also.message(m);
    };
    events.snapshot = [&](const ResultSnapshot& record) {
        out.record = record;
        if (also.snapshot) also.snapshot(record);
    };
    out.outcome = runCalculation(input, token, events, &out.counts);
    return out;
}

DistributionCells::DistributionCells(const RunResult& r)
    : cells_(r.absValue.toVector()), view_{r.params().mpMin, r.params().mpMax,          r.params().mmMin,
                                           r.params().mmMax, r.concentrations.freePlus, r.concentrations.freeMinus,
                                           cells_.data()} {}

DistributionView rangesOf(const Parameters& p) {
    return DistributionView{p.mpMin, p.mpMax, p.mmMin, p.mmMax, p.vc10, p.vc01, nullptr};
}

std::optional<std::uint64_t> oversizedWideExport(const DistributionView& ranges) {
    const std::uint64_t bytes = distributionExportSizeBound(ranges);
    if (bytes <= kLargestWideExport) return std::nullopt;
    return bytes;
}

}  // namespace marlinq
