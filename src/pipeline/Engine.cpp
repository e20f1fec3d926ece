#include "pipeline/Engine.h"

#include "files/NumberFormat.h"
#include "files/ParameterFile.h"

#include <cmath>

namespace marlinq {

namespace {

// A real as it comes back from a text field that showed it in the general format.
double shownAndReadBack(double v) { return parseLeadingDouble(formatGeneral(v, '.')).value_or(v); }

}  // namespace

ParameterSet startupParameterSet() {
    ParameterSet set;
    set.params = startupParameters();
    set.plen = 72.0;
    set.mlen = 72.0;
    return set;
}

LoadResult loadParameterSet(const std::string& path, const ParameterSet& base) {
    LoadResult result;
    result.set = base;
    const ParameterFileResult file = readParameterFile(path);
    if (!file.opened) {
        result.status = LoadStatus::CannotOpen;
        result.message = kParameterFileOpenError;
        result.notes.push_back(file.error);
        return result;
    }
    for (const ParameterFileNote& note : file.notes) result.notes.push_back(formatParameterNote(path, note));

    Parameters& p = result.set.params;
    ParameterFileValues v{p.vc01, p.vc10, p.zp, p.zn, p.kip, p.kim, p.ka, p.Np, p.Nm, p.mpMin, p.mpMax, p.mmMin, p.mmMax};
    file.found.applyTo(v);
    p.vc01 = v.vc01;
    p.vc10 = v.vc10;
    p.zp = v.zp;
    p.zn = v.zn;
    p.kip = v.kip;
    p.kim = v.kim;
    p.ka = v.ka;
    p.Np = v.Np;
    p.Nm = v.Nm;
    p.mpMin = v.mpMin;
    p.mpMax = v.mpMax;
    p.mmMin = v.mmMin;
    p.mmMax = v.mmMax;

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
    recoverLengths(result.set);
    return result;
}

bool recoverLengths(ParameterSet& set) {
    Parameters& p = set.params;
    const std::optional<std::int32_t> pl = recoverChargedLength(p.zp, p.kip);
    const std::optional<std::int32_t> ml = recoverChargedLength(p.zn, p.kim);
    if (!pl || !ml) return false;
    set.plen = *pl;
    set.mlen = *ml;
    for (double* v : {&p.zp, &p.zn, &p.ka, &p.vc10, &p.vc01}) *v = shownAndReadBack(*v);
    return true;
}

InputFields inputFieldsOf(const ParameterSet& set) {
    const Parameters& p = set.params;
    InputFields in;
    in.plen = set.plen;
    in.zp = p.zp;
    in.Np = p.Np;
    in.mlen = set.mlen;
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

std::optional<std::string> validate(const ParameterSet& set, Parameters& validated) {
    double plen = 0.0, mlen = 0.0;
    return validateInput(inputFieldsOf(set), validated, plen, mlen);
}

std::shared_ptr<InfoChainBean> makeChainRecord(const Parameters& p, double plen, double mlen, bool tableChains) {
    return std::make_shared<InfoChainBean>(plen, mlen, p.kip, p.kim, p.ka, p.vc01, p.vc10, p.zp, p.zn, p.Np, p.Nm,
                                           p.mpMin, p.mpMax, p.mmMin, p.mmMax, 0.0, 0.0, tableChains);
}

std::shared_ptr<const ChainTables> loadTables(const DataSearch& search, std::string& error) {
    return loadChainTables(search.locate(kCoarseTableFile), search.locate(kFineTableFile), error);
}

JobInput makeJobInput(const Parameters& validated, const ParameterSet& set, const RunOptions& options,
                      const LoadedTables& tables) {
    JobInput input;
    input.params = validated;
    input.icb = makeChainRecord(validated, set.plen, set.mlen, options.chains == Chains::Tables);
    input.icb->converged = options.accuracy == Accuracy::Converged;
    input.method = options.method;
    input.mrange = validated.mmMax - validated.mmMin + 1;
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
        if (also.message) also.message(m);
    };
    events.snapshot = [&](const ResultSnapshot& record) {
        out.record = record;
        if (also.snapshot) also.snapshot(record);
    };
    out.outcome = GenerateFreeEnergy(input, token, events, &out.counts);
    return out;
}

DistributionCells::DistributionCells(const InfoSphereBean& r)
    : cells_(r.absValue.toVector()), view_{r.mpMin, r.mpMax, r.mmMin, r.mmMax, r.vc10, r.vc01, cells_.data()} {}

DistributionView rangesOf(const Parameters& p) {
    return DistributionView{p.mpMin, p.mpMax, p.mmMin, p.mmMax, p.vc10, p.vc01, nullptr};
}

std::optional<std::uint64_t> oversizedWideExport(const DistributionView& ranges) {
    const std::uint64_t bytes = distributionExportSizeBound(ranges);
    if (bytes <= kLargestWideExport) return std::nullopt;
    return bytes;
}

}  // namespace marlinq
