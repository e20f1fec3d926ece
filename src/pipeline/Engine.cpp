#include "pipeline/Engine.h"

#include "files/NumberFormat.h"
#include "files/ParameterFile.h"

#include <cmath>
#include <limits>

namespace marlinq {

namespace {

// A real as it comes back from a text field that showed it in the general format.
double shownAndReadBack(double v) { return parseLeadingDouble(formatGeneral(v, '.')).value_or(v); }

// The charged length from charge and density, truncated to whole segments; nullopt when
// no 32-bit length results.
std::optional<std::int32_t> truncatedLength(double charge, double density) {
    const double length = std::trunc(charge / density);
    if (!std::isfinite(length) || length < std::numeric_limits<std::int32_t>::min() ||
        length > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(length);
}

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
    Parameters& p = result.set.params;
    std::int32_t pid = kUnknownKeyPid;
    if (!readParameter(p.kip, p.kim, p.ka, p.vc01, p.vc10, p.zp, p.zn, path, p.Np, p.Nm, p.mpMin, p.mpMax, p.mmMin,
                       p.mmMax, pid)) {
        result.status = LoadStatus::CannotOpen;
        result.message = kParameterFileOpenError;
        result.set = base;
        return result;
    }
    if (pid == kUnknownKeyPid || !recoverLengths(result.set)) {
        result.status = LoadStatus::WrongFile;
        result.message = kWrongParameterFile;
        return result;
    }
    return result;
}

bool recoverLengths(ParameterSet& set) {
    Parameters& p = set.params;
    const std::optional<std::int32_t> pl = truncatedLength(p.zp, p.kip);
    const std::optional<std::int32_t> ml = truncatedLength(p.zn, p.kim);
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
