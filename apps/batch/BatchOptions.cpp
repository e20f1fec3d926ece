#include "BatchOptions.h"

#include "pipeline/ConcentrationUnits.h"
#include "pipeline/Units.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace marlinq::batch {

namespace {

std::optional<std::int32_t> wholeInt(const std::string& text) {
    std::int32_t v = 0;
    const char* end = text.data() + text.size();
    const auto res = std::from_chars(text.data(), end, v);
    if (res.ec != std::errc() || res.ptr != end) return std::nullopt;
    return v;
}

// A whole argument as a number, in the classic notation.
std::optional<double> sweepOptionNumber(const std::string& text) {
    bool log = false;
    std::string ignored;
    if (text.find_first_of(",:") != std::string::npos) return std::nullopt;
    const std::optional<std::vector<double>> v = parseSweepValues(text, log, ignored);
    if (!v || v->size() != 1) return std::nullopt;
    return v->front();
}

// Options that only make sense together, or not at all together.
bool checkCombinations(const BatchOptions& o, std::string& error) {
    const bool sweep = !o.sweeps.empty();
    if (o.merge) {
        // Any other option would be ignored: said, not dropped.
        for (const std::string& option : o.given)
            if (option != "--merge" && option != "-o" && option != "--output" && option != "--quiet" && option != "-q") {
                error = "--merge joins the files of a sweep's parts: it takes only the parts, -o FILE and --quiet, not " +
                        option;
                return false;
            }
        if (o.mergeParts.empty()) {
            error = "--merge needs the files of the parts";
            return false;
        }
        return true;
    }
    if (!sweep && (o.jobs != 0 || o.resume || o.largeOutput)) {
        error = "--jobs, --resume and --large-output need --sweep";
        return false;
    }
    if (o.resume && (o.output.empty() || o.output == "-")) {
        error = "--resume continues the sweep in -o FILE: give the file";
        return false;
    }
    if (o.chargeFraction && o.total.size() != 1) {
        error = "--charge-fraction needs the total of both kinds of chains: --total T";
        return false;
    }
    if (o.total.size() == 1 && !o.chargeFraction) {
        error = "--total T needs --charge-fraction f (or give both totals: --total C+,C-)";
        return false;
    }
    if (o.totalMillimolar && !o.unitNm) {
        error = "--total-mM needs the segment size: --unit-nm A";
        return false;
    }
    if (int(o.totalMillimolar) + int(o.totalGramsPerLitre) + int(o.totalMillimolarCharges) > 1) {
        error = "--total-mM, --total-gL and --total-mM-charge each say the unit of --total: give one";
        return false;
    }
    if ((o.totalGramsPerLitre || o.totalMillimolarCharges) && (!o.unitNm || o.total.empty())) {
        error = std::string(o.totalGramsPerLitre ? "--total-gL" : "--total-mM-charge") +
                " says the unit of --total and needs the segment size: give --total and --unit-nm A";
        return false;
    }
    if (o.scattering && (sweep || o.profile || o.criticalSalt || !o.unitNm)) {
        error = "--scattering writes I(q) of one distribution: it needs --unit-nm A (and the molar masses), and "
                "applies to neither --sweep, --profile nor --critical-salt";
        return false;
    }
    if (sweep) {
        if (const std::optional<PlanError> bad = validate(sweepPlan(o, ParameterSet{}))) {
            // In the words of the options that gave the plan.
            error = bad->problem == PlanProblem::SameParameter   ? "the two --sweep options set the same parameter"
                    : bad->problem == PlanProblem::SaltNeedsUnit
                        ? "--sweep " + bad->message.substr(0, bad->message.find(' ')) + "=... needs --unit-nm"
                                                                 : bad->message;
            return false;
        }
        if (o.criticalSalt || !o.solveForName.empty()) {
            error = std::string(o.criticalSalt ? "--critical-salt" : "--solve-for") +
                    " applies to a single set of parameters, not to --sweep";
            return false;
        }
        if (o.profile || !o.summary.empty()) {
            error = "--profile and --summary apply to a single run, not to --sweep";
            return false;
        }
        if (!o.freeEnergies.empty() && o.sweepDir.empty()) {
            error = "in a sweep, --free-energies needs --sweep-dir (one landscape per point)";
            return false;
        }
        return true;
    }
    if (!o.sweepDir.empty() || o.shard.count != 1) {
        error = "--sweep-dir and --shard need --sweep";
        return false;
    }
    if (o.criticalSalt && !o.summary.empty()) {
        error = "--critical-salt writes its JSON object to -o FILE (or standard output); --summary does not apply";
        return false;
    }
    if (!o.solveForName.empty() != o.solveForTarget.has_value() || (o.solveForRange && o.solveForName.empty())) {
        error = "--solve-for NAME goes with --target OBSERVABLE=VALUE (and --range LO:HI)";
        return false;
    }
    if (!o.solveForName.empty() && (o.criticalSalt || o.profile || !o.summary.empty() || !o.freeEnergies.empty() ||
                                    o.longFormat || o.sensitivity)) {
        error = "--solve-for writes the value found, not a critical salt, a profile, a summary or a distribution";
        return false;
    }
    if (o.criticalSalt && (o.profile || !o.freeEnergies.empty() || o.longFormat)) {
        error = "--critical-salt writes the critical salt, not a profile, a landscape or a distribution";
        return false;
    }
    if (o.criticalSalt && o.total.empty()) {
        error = "--critical-salt needs the totals: --total C+,C- or --total T --charge-fraction f";
        return false;
    }

    if (o.totalMillimolar && o.total.empty()) {
        error = "--total-mM says the unit of --total: give --total";
        return false;
    }
    if (o.profile && (!o.total.empty() || o.chargeFraction)) {
        error = "--profile writes a profile of one complex: --total does not apply";
        return false;
    }
    if (o.profile && (!o.summary.empty() || !o.freeEnergies.empty())) {
        error = "--profile writes a profile, not --summary or --free-energies";
        return false;
    }
    int toStdout = 0;
    toStdout += o.scattering && o.scatteringOutput == "-" ? 1 : 0;
    toStdout += (o.output.empty() || o.output == "-") && !o.profile ? 1 : 0;
    toStdout += o.summary == "-" ? 1 : 0;
    toStdout += o.freeEnergies == "-" ? 1 : 0;
    if (o.profile && (o.output.empty() || o.output == "-")) toStdout += 1;
    if (toStdout > 1) {
        error = "only one result can go to standard output: give the others a file (-o FILE)";
        return false;
    }
    return true;
}

}  // namespace

std::optional<BatchOptions> parseOptions(const std::vector<std::string>& args, std::string& error) {
    BatchOptions o;
    bool positionalOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inlineValue;
        if (!positionalOnly && arg.rfind("--", 0) == 0 && arg.size() > 2) {
            const std::size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                arg.resize(eq);
            }
        }
        // The value of an option: "--opt=value" or the next argument.
        const auto value = [&](std::string& out) {
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = "option " + arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };

        if (!positionalOnly && arg.size() > 1 && arg[0] == '-' && arg != "--") o.given.push_back(arg);
        if (o.merge && (positionalOnly || arg.empty() || arg[0] != '-')) {
            o.mergeParts.push_back(arg);
        } else if (positionalOnly || arg.empty() || arg[0] != '-' || arg == "-") {
            if (!o.parameterFile.empty()) {
                error = "only one parameter file can be given";
                return std::nullopt;
            }
            o.parameterFile = arg;
        } else if (arg == "--") {
            positionalOnly = true;
        } else if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--version") {
            o.version = true;
        } else if (arg == "--quiet" || arg == "-q") {
            o.quiet = true;
        } else if (arg == "--total-mM") {
            o.totalMillimolar = true;
        } else if (arg == "--total-gL") {
            o.totalGramsPerLitre = true;
        } else if (arg == "--total-mM-charge") {
            o.totalMillimolarCharges = true;
        } else if (arg == "--neutral-segment-nm") {
            std::string v;
            if (!value(v)) return std::nullopt;
            const std::optional<double> b = sweepOptionNumber(v);
            if (!b || !unitNmAllowed(*b)) {
                error = "--neutral-segment-nm takes the neutral segments' size in nm, from 0.01 to 100, not '" + v + "'";
                return std::nullopt;
            }
            o.neutralSegmentNm = *b;
        } else if (arg == "--solvent") {
            std::string v;
            if (!value(v)) return std::nullopt;
            if (v != "good" && v != "theta") {
                error = "--solvent takes good or theta, not '" + v + "'";
                return std::nullopt;
            }
            o.solvent = v == "good" ? corona::Solvent::Good : corona::Solvent::Theta;
        } else if (arg == "--contrast") {
            std::string v;
            if (!value(v)) return std::nullopt;
            const std::size_t comma = v.find(',');
            const std::optional<double> core = comma == std::string::npos ? std::nullopt : sweepOptionNumber(v.substr(0, comma));
            const std::optional<double> shell = comma == std::string::npos ? std::nullopt : sweepOptionNumber(v.substr(comma + 1));
            if (!core || !shell || (*core == 0.0 && *shell == 0.0)) {
                error = "--contrast takes CORE,CORONA (the contrasts of core and corona against the solvent, per "
                        "mass, not both 0), not '" + v + "'";
                return std::nullopt;
            }
            o.contrastCore = *core;
            o.contrastCorona = *shell;
        } else if (arg == "--scattering") {
            std::string v;
            if (!value(v)) return std::nullopt;
            bool log = false;
            std::string ignored;
            const std::optional<std::vector<double>> parts = parseSweepValues(v, log, ignored);
            const std::size_t colons = static_cast<std::size_t>(std::count(v.begin(), v.end(), ':'));
            if (!parts || colons < 2 || parts->size() < 1 || parts->size() > 100000 || !(parts->front() > 0.0) ||
                !(parts->back() >= parts->front())) {
                error = "--scattering takes QMIN:QMAX:COUNT[:log] (q in 1/nm, 0 < QMIN <= QMAX, COUNT from 1 to "
                        "100000), not '" + v + "'";
                return std::nullopt;
            }
            o.scattering = true;
            o.qMin = parts->front();
            o.qMax = parts->back();
            o.qCount = static_cast<std::int64_t>(parts->size());
            o.qLog = log;
        } else if (arg == "--scattering-output") {
            if (!value(o.scatteringOutput)) return std::nullopt;
            if (o.scatteringOutput.empty()) {
                error = "--scattering-output needs a file name";
                return std::nullopt;
            }
        } else if (arg == "--molar-mass") {
            std::string v;
            if (!value(v)) return std::nullopt;
            const std::size_t comma = v.find(',');
            const std::optional<double> plus = comma == std::string::npos ? std::nullopt : sweepOptionNumber(v.substr(0, comma));
            const std::optional<double> minus = comma == std::string::npos ? std::nullopt : sweepOptionNumber(v.substr(comma + 1));
            if (!plus || !minus || !(*plus > 0.0 && *plus <= 1e12) || !(*minus > 0.0 && *minus <= 1e12)) {
                error = "--molar-mass takes M+,M- (g/mol of a whole '+' and '-' chain, above 0), not '" + v + "'";
                return std::nullopt;
            }
            o.molarMass = {*plus, *minus};
        } else if (arg == "--critical-salt") {
            o.criticalSalt = true;
        } else if (arg == "--long-format") {
            o.longFormat = true;
        } else if (arg == "--method") {
            std::string v;
            if (!value(v)) return std::nullopt;
            const std::optional<Method> method = methodNamed(v);
            if (!method) {
                error = "--method takes dh, dh-linear or pb, not '" + v + "'";
                return std::nullopt;
            }
            o.options.method = *method;
        } else if (arg == "--chains") {
            std::string v;
            if (!value(v)) return std::nullopt;
            const std::optional<Chains> chains = chainsNamed(v);
            if (!chains) {
                error = "--chains takes table or solve, not '" + v + "'";
                return std::nullopt;
            }
            o.options.chains = *chains;
        } else if (arg == "--accuracy") {
            std::string v;
            if (!value(v)) return std::nullopt;
            const std::optional<Accuracy> accuracy = accuracyNamed(v);
            if (!accuracy) {
                error = "--accuracy takes standard or converged, not '" + v + "'";
                return std::nullopt;
            }
            o.options.accuracy = *accuracy;
        } else if (arg == "-o" || arg == "--output") {
            if (!value(o.output)) return std::nullopt;
            if (o.output.empty()) {
                error = "the output file name is empty";
                return std::nullopt;
            }
        } else if (arg == "--data") {
            if (!value(o.dataDir)) return std::nullopt;
            if (o.dataDir.empty()) {
                error = "the data folder name is empty";
                return std::nullopt;
            }
        } else if (arg == "--profile") {
            if (inlineValue || i + 2 >= args.size()) {
                error = "--profile needs two numbers, MP and MM";
                return std::nullopt;
            }
            const std::optional<std::int32_t> mp = wholeInt(args[i + 1]);
            const std::optional<std::int32_t> mm = wholeInt(args[i + 2]);
            if (!mp || !mm || *mp < 1 || *mm < 1) {
                error = "--profile needs two whole numbers of at least 1, not '" + args[i + 1] + "' '" + args[i + 2] + "'";
                return std::nullopt;
            }
            o.profile = true;
            o.profileMp = *mp;
            o.profileMm = *mm;
            i += 2;
        } else if (arg == "--summary" || arg == "--free-energies" || arg == "--sweep-dir") {
            std::string& target = arg == "--summary" ? o.summary : arg == "--free-energies" ? o.freeEnergies : o.sweepDir;
            if (!value(target)) return std::nullopt;
            if (target.empty()) {
                error = arg + " needs a file or folder name";
                return std::nullopt;
            }
        } else if (arg == "--unit-nm") {
            std::string v;
            if (!value(v)) return std::nullopt;
            const std::optional<double> a = sweepOptionNumber(v);
            if (!a || !unitNmAllowed(*a)) {
                error = "--unit-nm takes " + unitNmRange() + ", not '" + v + "'";
                return std::nullopt;
            }
            o.unitNm = *a;
        } else if (arg == "--bjerrum" || arg == "--bjerrum-nm" || arg == "--temperature-K" || arg == "--permittivity" ||
                   arg == "--gamma" || arg == "--gamma-mN-m" || arg == "--water-fraction") {
            std::string v;
            if (!value(v)) return std::nullopt;
            const std::optional<double> x = sweepOptionNumber(v);
            if (!x || !(*x >= 0.0)) {
                error = arg + " takes a number of at least 0, not '" + v + "'";
                return std::nullopt;
            }
            std::optional<double>& target = arg == "--bjerrum"         ? o.bjerrum
                                            : arg == "--bjerrum-nm"    ? o.bjerrumNm
                                            : arg == "--temperature-K" ? o.temperatureK
                                            : arg == "--permittivity"  ? o.permittivity
                                            : arg == "--gamma"         ? o.gamma
                                            : arg == "--gamma-mN-m"    ? o.gammaMilliNewton
                                                                       : o.waterFraction;
            target = *x;
        } else if (arg == "--total") {
            std::string v;
            if (!value(v)) return std::nullopt;
            const std::size_t comma = v.find(',');
            const std::vector<std::string> parts =
                comma == std::string::npos ? std::vector<std::string>{v}
                                           : std::vector<std::string>{v.substr(0, comma), v.substr(comma + 1)};
            o.total.clear();
            for (const std::string& part : parts) {
                const std::optional<double> c = sweepOptionNumber(part);
                if (!c) {
                    error = "--total takes C+,C- (two totals) or T (with --charge-fraction), not '" + v + "'";
                    return std::nullopt;
                }
                o.total.push_back(*c);
            }
        } else if (arg == "--charge-fraction") {
            std::string v;
            if (!value(v)) return std::nullopt;
            const std::optional<double> f = sweepOptionNumber(v);
            if (!f) {
                error = "--charge-fraction takes a number between 0 and 1, not '" + v + "'";
                return std::nullopt;
            }
            o.chargeFraction = *f;
        } else if (arg == "--sweep") {
            std::string v;
            if (!value(v)) return std::nullopt;
            std::optional<SweepAxis> axis = parseSweepAxis(v, error);
            if (!axis) return std::nullopt;
            if (o.sweeps.size() == 2) {
                error = "at most two --sweep options can be given";
                return std::nullopt;
            }
            o.sweeps.push_back(std::move(*axis));
        } else if (arg == "--jobs" || arg == "-j") {
            std::string v;
            if (!value(v)) return std::nullopt;
            const std::optional<std::int32_t> jobs = wholeInt(v);
            if (!jobs || *jobs < 1 || *jobs > 4096) {
                error = "--jobs takes a whole number from 1 to 4096, not '" + v + "'";
                return std::nullopt;
            }
            o.jobs = *jobs;
        } else if (arg == "--resume") {
            o.resume = true;
        } else if (arg == "--solve-for") {
            if (!value(o.solveForName)) return std::nullopt;
            if (!isSweepableName(o.solveForName)) {
                error = "--solve-for takes a parameter to solve for, one of " + sweepableNameList() + "; not '" +
                        o.solveForName + "'";
                return std::nullopt;
            }
        } else if (arg == "--target") {
            std::string v;
            if (!value(v)) return std::nullopt;
            const std::size_t eq = v.find('=');
            const std::optional<double> t = eq == std::string::npos ? std::nullopt : sweepOptionNumber(v.substr(eq + 1));
            if (!t) {
                error = "--target takes OBSERVABLE=VALUE (e.g. mass_average_aggregation=15), not '" + v + "'";
                return std::nullopt;
            }
            o.solveForObservable = v.substr(0, eq);
            o.solveForTarget = *t;
        } else if (arg == "--range") {
            std::string v;
            if (!value(v)) return std::nullopt;
            const std::size_t colon = v.find(':');
            const std::optional<double> lo = colon == std::string::npos ? std::nullopt : sweepOptionNumber(v.substr(0, colon));
            const std::optional<double> hi = colon == std::string::npos ? std::nullopt : sweepOptionNumber(v.substr(colon + 1));
            if (!lo || !hi || !(*lo < *hi)) {
                error = "--range takes LO:HI with LO below HI, not '" + v + "'";
                return std::nullopt;
            }
            o.solveForRange = std::make_pair(*lo, *hi);
        } else if (arg == "--sensitivity") {
            o.sensitivity = true;
        } else if (arg == "--large-output") {
            o.largeOutput = true;
        } else if (arg == "--merge") {
            if (!o.parameterFile.empty()) {
                o.mergeParts.push_back(o.parameterFile);
                o.parameterFile.clear();
            }
            o.merge = true;
        } else if (arg == "--shard") {
            std::string v;
            if (!value(v)) return std::nullopt;
            const std::optional<Shard> shard = parseShard(v, error);
            if (!shard) return std::nullopt;
            o.shard = *shard;
        } else {
            error = "unknown option '" + args[i] + "'";
            return std::nullopt;
        }
    }
    o.options.keepEnergies = !o.freeEnergies.empty() || o.sensitivity;
    if (o.sensitivity && (o.summary.empty() || !o.sweeps.empty() || o.criticalSalt || o.merge)) {
        error = "--sensitivity goes into the summary of a single run: give --summary FILE (no sweep, "
                "--critical-salt or --merge)";
        return std::nullopt;
    }
    return checkCombinations(o, error) ? std::optional<BatchOptions>(o) : std::nullopt;
}

namespace {

// Named values of the command line, applied as a sweep's point and Python's keywords are.
std::optional<ParameterSet> applyNamed(const BatchOptions& o, ParameterSet set,
                                       const std::vector<std::pair<std::string, double>>& named, std::string& error) {
    std::vector<Assignment> values;
    for (const auto& [name, v] : named) values.push_back({name, v});
    const AssignmentContext context{o.unitNm, chainsOf(o.options) == Chains::Solved};
    if (const std::optional<AssignmentRefusal> refused = applyAssignments(set, values, context)) {
        error = refused->reason;
        return std::nullopt;
    }
    return set;
}

}  // namespace

std::optional<ParameterSet> applyTotals(const BatchOptions& o, ParameterSet set, std::string& error) {
    std::vector<std::pair<std::string, double>> named;
    if (o.molarMass.size() == 2) {
        named.emplace_back("molar_mass_plus", o.molarMass[0]);
        named.emplace_back("molar_mass_minus", o.molarMass[1]);
    }
    if (!o.total.empty()) {
        // The unit of --total names the totals: total_plus_gL, total_mM, ...
        std::string unit;
        if (o.totalGramsPerLitre || o.totalMillimolarCharges) {
            const TotalUnit u = o.totalGramsPerLitre ? TotalUnit::GramsPerLitre : TotalUnit::MillimolarCharges;
            ParameterSet withMasses = set;
            if (o.molarMass.size() == 2) {
                withMasses.params.molarMassPlus = o.molarMass[0];
                withMasses.params.molarMassMinus = o.molarMass[1];
            }
            if (const std::optional<std::string> bad = totalUnitProblem(
                    u, withMasses.params, o.unitNm, o.totalGramsPerLitre ? "--total-gL" : "--total-mM-charge")) {
                error = *bad;
                return std::nullopt;
            }
            unit = o.totalGramsPerLitre ? "_gL" : "_mM_charge";
        } else if (o.totalMillimolar && o.unitNm) {
            unit = "_mM";
        }
        if (o.total.size() == 2) {
            named.emplace_back("total_plus" + unit, o.total[0]);
            named.emplace_back("total_minus" + unit, o.total[1]);
        } else {
            named.emplace_back("total" + unit, o.total[0]);
            named.emplace_back("charge_fraction", o.chargeFraction.value_or(NAN));
        }
    }
    return applyNamed(o, std::move(set), named, error);
}

StructureInputs structureInputs(const BatchOptions& o, const Parameters& p) {
    StructureInputs in;
    in.molarMassPlus = p.molarMassPlus;
    in.molarMassMinus = p.molarMassMinus;
    in.unitNm = o.unitNm;
    in.neutralSegmentNm = o.neutralSegmentNm;
    in.solvent = o.solvent;
    in.contrastCore = o.contrastCore;
    in.contrastCorona = o.contrastCorona;
    in.waterFraction = p.waterFraction;
    return in;
}

std::optional<ParameterSet> applyModelParameters(const BatchOptions& o, ParameterSet set, std::string& error) {
    const int bjerrumWays = (o.bjerrum ? 1 : 0) + (o.bjerrumNm ? 1 : 0) + (o.permittivity ? 1 : 0);
    if (bjerrumWays > 1) {
        error = "give the Bjerrum length one way: --bjerrum, --bjerrum-nm or --temperature-K with --permittivity";
        return std::nullopt;
    }
    if (o.gamma && o.gammaMilliNewton) {
        error = "give either --gamma or --gamma-mN-m, not both";
        return std::nullopt;
    }
    const bool needsUnit = o.bjerrumNm || o.permittivity || o.gammaMilliNewton;
    if (needsUnit && !o.unitNm) {
        error = std::string(o.bjerrumNm ? "--bjerrum-nm" : o.permittivity ? "--permittivity" : "--gamma-mN-m") +
                " needs the segment size: --unit-nm A";
        return std::nullopt;
    }
    if (o.temperatureK && !(*o.temperatureK > 0.0)) {
        error = "--temperature-K takes a temperature above 0 K";
        return std::nullopt;
    }
    if (o.temperatureK && !o.permittivity && !o.gammaMilliNewton) {
        error = "--temperature-K goes with --permittivity (the Bjerrum length) or --gamma-mN-m";
        return std::nullopt;
    }
    const double temperature = o.temperatureK.value_or(kRoomTemperatureK);
    std::vector<std::pair<std::string, double>> named;
    if (o.bjerrum) named.emplace_back("bjerrum", *o.bjerrum);
    if (o.bjerrumNm) named.emplace_back("bjerrum_nm", *o.bjerrumNm);
    if (o.permittivity) named.emplace_back("bjerrum_nm", bjerrumLengthNm(temperature, *o.permittivity));
    if (o.gamma) named.emplace_back("gamma", *o.gamma);
    if (o.gammaMilliNewton) named.emplace_back("gamma", surfaceTensionPerSegmentArea(*o.gammaMilliNewton, *o.unitNm, temperature));
    if (o.waterFraction) named.emplace_back("water_fraction", *o.waterFraction);
    std::optional<ParameterSet> applied = applyNamed(o, std::move(set), named, error);
    if (!applied) return std::nullopt;
    // Checked as a run checks them, with the run's own messages.
    for (const auto& [name, v] : named) {
        const DerivedName* d = findDerivedName(name);
        const ParameterRow& row = *findParameter(d != nullptr ? d->sets : std::string_view(name));
        const double x = parameterValue(*applied, row);
        if (!(x >= row.lo && x <= row.hi)) {
            error = row.outOfRange;
            return std::nullopt;
        }
    }
    return applied;
}

SweepSpec sweepPlan(const BatchOptions& o, const ParameterSet& base) {
    SweepSpec plan;
    plan.base = base;
    plan.axes = o.sweeps;
    plan.options = o.options;
    plan.unitNm = o.unitNm;
    plan.shard = o.shard;
    plan.structure = structureInputs(o, base.params);
    return plan;
}

namespace {

// The names --sweep takes, from the parameter table, wrapped under the option's text.
std::string sweepNamesHelp() {
    std::string keys, derived;
    for (const ParameterRow& r : parameterSchema())
        if (r.role != ParameterRole::Total) keys += (keys.empty() ? "" : ", ") + std::string(r.key);
    for (const DerivedName& d : derivedNames()) derived += (derived.empty() ? "" : ", ") + std::string(d.name);
    const std::string text =
        "run once per value of NAME: a parameter (" + keys +
        "; plen and mlen are the charged-block lengths), in total mode total_plus, total_minus, or a name beside "
        "them (" + derived +
        "; those in mM, g/L or nm need --unit-nm, those in g/L the molar masses too); salt_mM is ka, bjerrum_nm "
        "the Bjerrum length in nm, total is C+ + C-; a total or charge_fraction puts the run in total mode, the "
        "one not swept keeps the base's value (--total, the file's totals, or vc10 and vc01 as totals).";
    // Lines of at most 88 columns, every one after the first indented by 24.
    std::string out, line;
    std::size_t width = 88 - 24;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(at, end - at);
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            out += line + "\n" + std::string(24, ' ');
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        at = end + 1;
    }
    return out + line;
}

}  // namespace

std::string helpText() {
    return R"(Usage: marlinq-batch [--method dh|dh-linear|pb] [--chains table|solve] [--accuracy standard|converged]
                     [-o FILE] [--data DIR] [--quiet] [--long-format] [--profile MP MM]
                     [--summary FILE] [--free-energies FILE] [--unit-nm A]
                     [--total C+,C- | --total T --charge-fraction f]
                     [--total-mM | --total-gL | --total-mM-charge] [--molar-mass M+,M-]
                     [--bjerrum L | --bjerrum-nm B | --temperature-K T --permittivity E]
                     [--gamma G | --gamma-mN-m G] [--water-fraction F]
                     [--neutral-segment-nm B] [--solvent good|theta] [--contrast CORE,CORONA]
                     [--scattering QMIN:QMAX:COUNT[:log] [--scattering-output FILE]]
                     [--critical-salt] [PARAMETER_FILE]
       marlinq-batch --sweep NAME=VALUES [--sweep NAME=VALUES] [--shard I/N] [--jobs N]
                     [-o FILE [--resume]] [--large-output]
                     [--sweep-dir DIR [--free-energies on]] [other options] [PARAMETER_FILE]
       marlinq-batch --merge PART... [-o FILE]

Computes the size distribution of complexes of oppositely charged diblock copolymers,
exactly as the Marlinq Solver window does after "Load Parameters" and "Solve".

Input
  PARAMETER_FILE        a parameter file as "Save Parameters" writes it (key, value per
                        line). Without it the window's start-up values are used: charges
                        18 on charged blocks of length 72, neutral blocks 1 and 200,
                        ka 0.2, both concentrations 1e-3, M+ and M- from 0 to 10.
                        The charged-block lengths are recovered as the window's load does
                        (zp / kiplus and zn / kiminus: the whole number within 1e-9 of
                        the quotient, else truncated); then the input is checked as
                        "Solve" checks it. Lines that could not be fully used are listed
                        on standard error with their line numbers.

Options
  --method dh|dh-linear|pb
                        free energy of the complexes: dh (default), the program's
                        Debye-Hueckel approximation, the linearised potential put into
                        the full nonlinear free energy (fast; far above both other
                        methods for strongly charged complexes); dh-linear, the
                        closed-form free energy of linear Debye-Hueckel theory of a
                        uniformly charged core (fastest; exact for weak charges);
                        pb, the full Poisson-Boltzmann solution
  --chains table|solve  single-chain energies interpolated from the tables (table,
                        default) or solved directly (solve)
  --accuracy standard|converged
                        free energies of the program's standard grids (standard,
                        default), or converged in the grid to 1e-4 relative (converged:
                        slower; the chains are then always solved, and standard error
                        gives the largest estimated error and the largest difference from
                        the standard free energies, in kT)
  -o, --output FILE     write the result to FILE instead of standard output ("-":
                        standard output). A regular file is replaced only once the new
                        one is complete (a temporary file renamed over it); a character
                        device (/dev/null, /dev/stdout) or a FIFO is written directly.
                        Every output (-o, --summary, --free-energies, --sweep-dir) is
                        checked before the run: it must be writable, and it may be
                        neither the parameter file nor another output
  --data DIR            look for Chains_values.dat and Chains_values01.dat in DIR only;
                        without it: the working directory, then the program's data folder
  -q, --quiet           no progress lines on standard error (what casts doubt on the
                        result is still said: unconverged solves, a most probable complex
                        on the edge of a range, the notes on the parameter file)
  --long-format         write only the computed cells, one per line: a header
                        "M+ M- absValue Value" (tab-separated), then M+, M-, the
                        concentration and the share of the distribution; the table
                        format runs from M = 0 and is refused above 1 GiB (also
                        for each point file of --sweep-dir, checked before the first
                        point)
  --profile MP MM       instead of a distribution, write the radial profiles of the
                        complex with MP '+' and MM '-' chains as CSV (401 points; header
                        r/Rc,u[,u_DH],cation_density,anion_density,charge_density; the
                        u_DH column with --method dh; cations (kRc)^2 exp(-u), anions
                        (kRc)^2 exp(+u))
  --summary FILE        also write the observables of the run as one JSON object to FILE
                        ("-": standard output, then the distribution needs -o): the most
                        probable complex, mean M+ and M-, mass-average aggregation number,
                        bound fractions, mean net charge and core radius, the share of the
                        most probable complex, the parameters as used, method, chains,
                        partial and warnings
  --free-energies FILE  also write the free-energy landscape as CSV: mp,mm,F,E,absValue,
                        Value for every evaluated complex (kT), the single-chain energies
                        in a first comment line
  --total C+,C-         total mode: the totals of '+' and '-' chains (free and in
                        complexes, chains per segment volume a^3, each from 1e-20 to 1)
                        instead of the free chains vc10 and vc01; the free chains follow
                        from the mass balance on the landscape, and the distribution is
                        formed at them ("Mass balance: free c+ = ..., c- = ..." on
                        standard error). Needs mpMin and mmMin 0 (the lone chains)
  --total T --charge-fraction f
                        the same from the total T = C+ + C- and the charge fraction
                        f = q+ C+ / (q+ C+ + q- C-) (0 < f < 1; 1/2 at stoichiometry).
                        A parameter file saved in total mode holds total_plus and
                        total_minus; --total replaces them. The totals assume no complex
                        beyond the ranges: when the complexes on an edge M+ = mpMax or
                        M- = mmMax (or next to cells a Poisson-Boltzmann run left out)
                        hold more than 1e-6 of a total, standard error says so
  --total-mM            the values of --total are mM of chains (needs --unit-nm)
  --total-gL            the values of --total are grams per litre of each polymer
                        (needs --unit-nm and --molar-mass): C = 1000 g/L / M mM of chains
  --total-mM-charge     the values of --total are mM of the chains' charges (needs
                        --unit-nm): C = mM / q mM of chains; with --charge-fraction f
                        the total T splits as q+ C+ = f T, q- C- = (1 - f) T
  --molar-mass M+,M-    the molar masses of a whole '+' and '-' chain in g/mol (file
                        keys molar_mass_plus, molar_mass_minus; sweep names too): the
                        summary then also gives the molar masses of the complexes
                        (molar_mass_mn, molar_mass_mw, molar_mass_mz, and with the free
                        chains molar_mass_*_with_free), and with --unit-nm their sizes
                        (see README: corona, R_h, R_g) and --scattering
  --critical-salt       instead of a distribution, the ka from 0.2 to 10 at which the
                        larger bound fraction falls to 1/2 at the totals of --total (a
                        landscape per trial ka: a coarse grid from low salt, then
                        refined to 1e-6 relative), as a JSON object: critical_ka (null
                        when not crossed; standard error says on which side it lies),
                        with --unit-nm critical_salt_mM, runs, crossed, side
  --bjerrum L           the Bjerrum length in segment units, l_B / a (default 1: l_B = a);
                        it sets the electrostatics of chains and complexes and the salt
                        a ka stands for, (ka)^2 = 8 pi (l_B / a) c_s a^3
  --bjerrum-nm B        the Bjerrum length in nm (needs --unit-nm)
  --temperature-K T --permittivity E
                        the Bjerrum length of a solvent of relative permittivity E at T
                        (needs --unit-nm; water at 298.15 K: 78.54, l_B = 0.7136 nm)
  --gamma G             surface free energy of a complex's core, G kT per a^2, adding
                        G 4 pi Rc^2 to every complex (default 0)
  --gamma-mN-m G        the same in mN/m (needs --unit-nm; at --temperature-K or 298.15 K)
  --water-fraction F    volume fraction of water in the cores, 0 to 0.95 (default 0): the
                        core volume is the charged segments' / (1 - F)
  --neutral-segment-nm B
                        the size of the neutral blocks' segments in nm (default: the
                        segment size a of --unit-nm)
  --solvent good|theta  the neutral blocks' solvent: good (default; the corona is a
                        Daoud-Cotton star) or theta (Gaussian blobs)
  --contrast CORE,CORONA
                        contrasts of the core and of the corona against the solvent per
                        mass (default 1,1: the polymer against the solvent)
  --scattering QMIN:QMAX:COUNT[:log]
                        also write the scattered intensity per concentration I(q) of the
                        distribution (q in 1/nm; needs --molar-mass and --unit-nm) as CSV
                        q,I,I_core,I_corona,I_free (g/mol times contrast squared, I(0)
                        the contrast-weighted Mw) to --scattering-output FILE ("-",
                        the default: standard output)
  --solve-for NAME --target OBSERVABLE=VALUE [--range LO:HI]
                        the value of NAME (any --sweep name: gamma, ka, salt_mM, total,
                        water_fraction, ...) at which the observable (a summary key:
                        mass_average_aggregation, bound_fraction_plus, ...) equals VALUE:
                        a grid over the range (the parameter's own without --range) to
                        bracket it, then regula falsi to 1e-6 relative; writes a JSON
                        object: name, value (null when not reached), observable, target,
                        achieved, runs, side ("below" or "above": where the target lies
                        beyond what the range reaches; then exit status 1)
  --sensitivity         the summary also says how far the most probable complex, the
                        mass-average aggregation number and the critical concentration
                        move when every complex free energy moves by -1 and +1 kT per
                        chain ("sensitivity": lower, higher; needs --summary)
  --unit-nm A           the segment size a in nm (the Bjerrum length is a): the summary
                        and sweeps also give the 1:1 salt that ka stands for (salt_mM,
                        from kappa^2 = 8 pi l_B N_A c_s) and core radii in nm; 0.714 is
                        water at 25 C; free and total chains are then also given in mM
                        of chains, c / (a^3 N_A) (free_plus_mM, total_plus_mM, ...)
  --sweep NAME=VALUES   )" + sweepNamesHelp() + R"( A
                        sweep of concentrations alone computes the landscape once.
                        VALUES: 0.2,0.5,1 or FROM:TO:COUNT (evenly spaced,
                        ends included) or FROM:TO:COUNT:log. Twice: the grid of both, the
                        first outermost. Writes one CSV to -o FILE or standard output:
                        index, the swept values, the observables and status ("ok" or why
                        the point was refused). A charge (zp, zn) keeps the charge
                        density and its charged length follows (same density, longer
                        chain), unless that length is swept too (--sweep zp=24 --sweep
                        plen=72: same chain, more charge); kiplus, kiminus, plen and mlen
                        keep the charge.
                        The CSV's first line names the program and the plan; after
                        status come warnings (the summary's texts, joined by " | "),
                        unconverged_solves, nonfinite_cells, beyond_dh_cells,
                        range_edge, and with converged accuracy error_estimate and
                        standard_difference. With -o FILE the rows go to FILE.partial
                        (the sweep's own: created new, never through a link, locked
                        while it runs; a second sweep on it is refused) as they finish,
                        renamed to FILE only when complete. A stopped sweep leaves
                        FILE.partial ending with "# The sweep is partial: N of M
                        points"; a failed write stops the sweep (exit 1), the rows up to
                        the last whole one kept. Standard error ends with how many
                        points carry doubts. A plan whose CSV would pass 1 GiB is
                        refused unless --large-output
  --sweep-dir DIR       also write each point's distribution into DIR (point-NNNN_NAME=
                        VALUE.txt), and with --free-energies its landscape (.csv; the
                        FILE of --free-energies is not used in a sweep); synced in
                        batches, refused above 1 GiB of files unless --large-output.
                        DIR/marlinq-sweep.txt names its plan: a folder of another plan
                        is refused
  --jobs N              compute N points at once (default: one per thread OpenMP
                        offers, the cores or OMP_NUM_THREADS), each with its share of
                        the threads; the CSV is the same for every N
  --resume              continue the sweep of -o FILE: keep the rows of FILE.partial
                        (or FILE) if they belong to this plan and tables, compute the
                        others (and the rows whose point files are missing); a cut last
                        line of FILE.partial is dropped; regular files only
  --large-output        run a sweep whose CSV (or point files of --sweep-dir) would
                        pass 1 GiB
  --shard I/N           run only the points whose index is I modulo N (a Slurm array);
                        --merge joins the shards' files into the whole sweep's CSV
  --merge PART...       join the CSV files of a sweep's shards into the single-process
                        CSV (-o FILE or standard output); refused when an index is
                        missing or repeated, a part belongs to another sweep, is not a
                        regular file, or a line is cut or damaged; takes no other option
  -h, --help            show this text
  --version             show the version and the commit the program was built from

Output
  The distribution is the export of "Save Distribution": one line per M+ from 0 to
  mpMax, each with the concentrations of M- = 0 .. mmMax, every value followed by a tab,
  a point as decimal separator. Progress lines (the window's log) and the single-chain
  energies go to standard error.

Exit status
  0    finished
  1    a table could not be read, a single-chain energy could not be computed, or the
       output could not be written (the reason is on standard error)
  2    invalid input or command line: the message of the check that failed, "can not open
       file" for an unreadable parameter file, "Some input parameters are wrong, please
       check it." for a file whose last line has no known key, totals of --total
       outside 1e-20..1 or total mode with mpMin or mmMin above 0 (each with the file and the
       reason on the line before), an output that can not be written (a missing
       folder, a folder, no permission; found before the run), an output that is the
       parameter file or another output, a distribution table above 1 GiB without
       --long-format, a sweep's CSV above 1 GiB without --large-output, files that
       --merge or --resume refuse
  130  interrupted by Ctrl-C, SIGTERM or SIGHUP (a sweep ends after the points under way,
       writes the rows it finished and says "The sweep is partial: N of M points"):
       a Poisson-Boltzmann run stops before its next row, a Debye-Hueckel run within
       a complex, and what was computed so far is still written; the single-chain
       stage stops between the steps of its solves (nothing to write); a second
       signal a second or more after the first ends the program at once
)";
}

}  // namespace marlinq::batch
