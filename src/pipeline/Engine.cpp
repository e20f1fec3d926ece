#include "pipeline/Engine.h"

#include "files/ParameterFile.h"

#include <cmath>

namespace marlinq {

LoadResult loadParameterSet(const std::string& path, const ParameterSet& base) {
    LoadResult result;
    result.set = base;
    const ParameterFileResult file = readParameterFile(path, parameterFileKeys());
    if (!file.opened) {
        result.status = LoadStatus::CannotOpen;
        result.message = kParameterFileOpenError;
        result.notes.push_back(file.error);
        return result;
    }
    for (const ParameterFileNote& note : file.notes) result.notes.push_back(formatParameterNote(path, note));

    // Each value found replaces its member; the lengths then follow from charge and density.
    Parameters& p = result.set.params;
    std::size_t line = 0;
    for (const ParameterRow& r : parameterSchema())
        if (r.inFile)
            if (const std::optional<double> v = file.found[line++]) setParameterMember(result.set, r, *v);

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
    return validateInput(inputFieldsOf(set), validated);
}

std::shared_ptr<InfoChainBean> makeChainRecord(const Parameters& p, double plen, double mlen, bool tableChains) {
    return std::make_shared<InfoChainBean>(plen, mlen, p.kip, p.kim, p.ka, p.vc01, p.vc10, p.zp, p.zn, p.Np, p.Nm,
                                           p.mpMin, p.mpMax, p.mmMin, p.mmMax, 0.0, 0.0, tableChains);
}

std::shared_ptr<const ChainTables> loadTables(const DataSearch& search, std::string& error) {
    return loadChainTables(search.locate(kCoarseTableFile), search.locate(kFineTableFile), error);
}

JobInput makeJobInput(const Parameters& validated, const ParameterSet& set, const RunOptions& options,
                      std::shared_ptr<const ChainTables> tables, const std::string& tablesError) {
    JobInput input;
    input.params = validated;
    input.icb = makeChainRecord(validated, set.plen, set.mlen, options.tableChains);
    input.icb->converged = options.converged;
    input.dh = options.dh;
    input.mrange = validated.mmMax - validated.mmMin + 1;
    input.tables = std::move(tables);
    input.tablesError = tablesError;
    input.keepEnergies = options.keepEnergies;
    input.threads = options.threads;
    return input;
}

RunOutcome runToCompletion(JobInput input, std::stop_token token, const RunObserver& observer) {
    RunOutcome out;
    input.diagnostics = [&](const std::string& line) {
        out.diagnostics.push_back(line);
        if (observer.diagnostic) observer.diagnostic(line);
    };
    JobCallbacks cb;
    cb.UpdateText = [&](const std::string& line) {
        out.log.push_back(line);
        if (observer.log) observer.log(line);
    };
    cb.PublishRecord = [&](ResultSnapshot record) { out.record = std::move(record); };
    cb.UpdateMatrix = [&](const std::string&) {
        if (observer.row) observer.row(out.record);
    };
    out.outcome = GenerateFreeEnergy(input, token, cb, &out.counts);
    return out;
}

}  // namespace marlinq
