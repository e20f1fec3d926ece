#include "pipeline/ParameterSchema.h"

#include "io/NumberText.h"

#include "pipeline/ConcentrationUnits.h"
#include "pipeline/MassBalance.h"
#include "pipeline/Units.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace marlinq {

namespace {

using R = ParameterRole;
constexpr double kNoLimit = std::numeric_limits<double>::infinity();

// clang-format off
constexpr ParameterRow kRows[] = {
    {.key = "vc01", .alias = "c_minus", .real = &Parameters::vc01, .startup = 1e-3, .check = 11, .lenient = true,
     .lo = 1e-20, .hi = 1.0, .outOfRange = "c- should be between 1e-20  and 1"},
    {.key = "vc10", .alias = "c_plus", .real = &Parameters::vc10, .startup = 1e-3, .check = 10, .lenient = true,
     .lo = 1e-20, .hi = 1.0, .outOfRange = "c+ should be between 1e-20  and 1"},
    {.key = "zp", .alias = "q_plus", .role = R::Charge, .chain = 0, .real = &Parameters::zp, .startup = 18.0,
     .check = 2, .unreadable = "Input error: Charge +", .lo = 0.0, .hi = 200.0,
     .outOfRange = "Charge + should between 0 and 200"},
    {.key = "zn", .alias = "q_minus", .role = R::Charge, .chain = 1, .real = &Parameters::zn, .startup = 18.0,
     .check = 6, .unreadable = "Input error: Charge -", .lo = 0.0, .hi = 200.0,
     .outOfRange = "Charge - should between 0 and 200"},
    {.key = "kiplus", .alias = "xi_plus", .role = R::Density, .chain = 0, .real = &Parameters::kip, .check = 4,
     .lo = 0.2, .hi = 10.0, .outOfRange = "Input error: charge density of + polymer should between 0.2 and 10"},
    {.key = "kiminus", .alias = "xi_minus", .role = R::Density, .chain = 1, .real = &Parameters::kim, .check = 8,
     .lo = 0.2, .hi = 10.0, .outOfRange = "Input error: charge density of - polymer should between 0.2 and 10"},
    {.key = "ka", .alias = "ka", .real = &Parameters::ka, .startup = 0.2, .check = 9, .lenient = true, .lo = 0.2,
     .hi = 10.0, .outOfRange = "Stable solution is only for ka between 0.2 and 10"},
    {.key = "Np", .alias = "n_plus", .integer = true, .whole = &Parameters::Np, .startup = 1, .check = 3,
     .unreadable = "Input error: Neutral block length +", .lo = 1, .hi = kNoLimit,
     // A chain without its neutral block has no corona term (the logarithm of its length).
     .outOfRange = "Neutral block length + should be at least 1"},
    {.key = "Nm", .alias = "n_minus", .integer = true, .whole = &Parameters::Nm, .startup = 200, .check = 7,
     .unreadable = "Input error: Neutral length of charged block -", .lo = 1, .hi = kNoLimit,
     .outOfRange = "Neutral block length - should be at least 1"},
    {.key = "mpMin", .alias = "mp_min", .integer = true, .whole = &Parameters::mpMin, .startup = 0, .check = 12,
     .unreadable = "Error in mpMin", .lo = 0, .hi = kNoLimit, .outOfRange = "mpMin should be above 0"},
    {.key = "mpMax", .alias = "mp_max", .integer = true, .whole = &Parameters::mpMax, .startup = 10, .check = 13,
     .unreadable = "error in mpMax", .outOfRange = "mpMin should be less than mpMax", .above = "mpMin"},
    {.key = "mmMin", .alias = "mm_min", .integer = true, .whole = &Parameters::mmMin, .startup = 0, .check = 14,
     .unreadable = "error in mmMin", .lo = 0, .hi = kNoLimit, .outOfRange = "mmMin should be above 0"},
    {.key = "mmMax", .alias = "mm_max", .integer = true, .whole = &Parameters::mmMax, .startup = 10, .check = 15,
     .unreadable = "error in mmMax", .outOfRange = "mmMin should be less than mmMax", .above = "mmMin"},
    {.key = "plen", .alias = "plen", .inFile = false, .role = R::Length, .chain = 0, .startup = 72.0, .check = 1,
     .unreadable = "Input error: Length of charged block +"},
    {.key = "mlen", .alias = "mlen", .inFile = false, .role = R::Length, .chain = 1, .startup = 72.0, .check = 5,
     .unreadable = "Input error: Length of charged block -"},
    // The model's parameters (physics/ComplexModel.h): the Bjerrum length in segment units,
    // the core's surface free energy and its water fraction.
    {.key = "bjerrum", .alias = "bjerrum", .modelParameter = true, .real = &Parameters::bjerrum, .startup = 1.0,
     .check = 16, .unreadable = "Input error: Bjerrum length", .lo = 0.05, .hi = 20.0,
     .outOfRange = "The Bjerrum length should be between 0.05 and 20 segment sizes"},
    {.key = "gamma", .alias = "gamma", .modelParameter = true, .real = &Parameters::gamma, .startup = 0.0,
     .check = 17, .unreadable = "Input error: surface free energy gamma", .lo = 0.0, .hi = 100.0,
     .outOfRange = "The surface free energy gamma should be between 0 and 100 kT per a^2"},
    {.key = "water_fraction", .alias = "water_fraction", .modelParameter = true,
     .real = &Parameters::waterFraction, .startup = 0.0, .check = 18,
     .unreadable = "Input error: water fraction of the core", .lo = 0.0, .hi = 0.95,
     .outOfRange = "The water fraction of the core should be between 0 and 0.95"},
    // The molar masses of whole chains (g/mol; 0: not given): concentrations in g/L, and the
    // molar masses and sizes of the complexes (Structure.h).
    {.key = "molar_mass_plus", .alias = "molar_mass_plus", .modelParameter = true,
     .real = &Parameters::molarMassPlus, .startup = 0.0, .check = 19,
     .unreadable = "Input error: molar mass of the + chain", .lo = 0.0, .hi = 1e12,
     .outOfRange = "The molar mass of the + chain should be between 0 (not given) and 1e12 g/mol"},
    {.key = "molar_mass_minus", .alias = "molar_mass_minus", .modelParameter = true,
     .real = &Parameters::molarMassMinus, .startup = 0.0, .check = 20,
     .unreadable = "Input error: molar mass of the - chain", .lo = 0.0, .hi = 1e12,
     .outOfRange = "The molar mass of the - chain should be between 0 (not given) and 1e12 g/mol"},
    // Total mode; checked with the ranges they need (checkTotals).
    {.key = "total_plus", .alias = "total_plus", .totalModeOnly = true, .role = R::Total, .chain = 0},
    {.key = "total_minus", .alias = "total_minus", .totalModeOnly = true, .role = R::Total, .chain = 1},
};
// clang-format on
constexpr std::size_t kRowCount = std::size(kRows);

// withTotals: the keys of total mode too.
constexpr std::size_t fileKeyCount(bool withTotals) {
    std::size_t n = 0;
    for (const ParameterRow& r : kRows) n += r.inFile && (withTotals || (!r.totalModeOnly && !r.modelParameter)) ? 1 : 0;
    return n;
}

template <bool withTotals>
constexpr std::array<ParameterKey, fileKeyCount(withTotals)> makeFileKeys() {
    std::array<ParameterKey, fileKeyCount(withTotals)> keys{};
    std::size_t k = 0;
    for (const ParameterRow& r : kRows)
        if (r.inFile && (withTotals || (!r.totalModeOnly && !r.modelParameter))) keys[k++] = ParameterKey{r.key, r.integer};
    return keys;
}
constexpr auto kFileKeys = makeFileKeys<false>();
constexpr auto kAllFileKeys = makeFileKeys<true>();

std::vector<const ParameterRow*> rowsInCheckOrder() {
    std::vector<const ParameterRow*> order;
    for (const ParameterRow& r : kRows)
        if (r.check > 0) order.push_back(&r);
    std::stable_sort(order.begin(), order.end(),
                     [](const ParameterRow* a, const ParameterRow* b) { return a->check < b->check; });
    return order;
}

// A chain's charge and length in a set.
double& chargeOf(ParameterSet& set, int chain) { return chain == 0 ? set.params.zp : set.params.zn; }
double& lengthOf(ParameterSet& set, int chain) { return chain == 0 ? set.plen : set.mlen; }
double chargeOf(const ParameterSet& set, int chain) { return chain == 0 ? set.params.zp : set.params.zn; }
double lengthOf(const ParameterSet& set, int chain) { return chain == 0 ? set.plen : set.mlen; }
double& densityOf(Parameters& p, int chain) { return chain == 0 ? p.kip : p.kim; }

std::string keyOf(ParameterRole role, int chain) {
    for (const ParameterRow& r : kRows)
        if (r.role == role && r.chain == chain) return std::string(r.key);
    return {};
}

bool within(double x, double lo, double hi) { return x >= lo && x <= hi; }

}  // namespace

std::span<const ParameterRow> parameterSchema() { return kRows; }

std::span<const ParameterRow* const> parameterRowsInCheckOrder() {
    static const std::vector<const ParameterRow*> order = rowsInCheckOrder();
    return order;
}

const ParameterRow* findParameter(std::string_view name) {
    for (const ParameterRow& r : kRows)
        if (name == r.key || name == r.alias) return &r;
    return nullptr;
}

std::size_t parameterIndex(std::string_view key) {
    for (std::size_t k = 0; k < kRowCount; ++k)
        if (kRows[k].key == key) return k;
    return kRowCount;
}

std::span<const ParameterKey> parameterFileKeys() { return kFileKeys; }
std::span<const ParameterKey> parameterFileKeysWithTotals() { return kAllFileKeys; }

std::optional<std::int32_t> recoverChargedLength(double charge, double density) {
    const double quotient = charge / density;
    if (!std::isfinite(quotient)) return std::nullopt;
    const double nearest = std::round(quotient);
    const double length = std::fabs(quotient - nearest) <= 1e-9 * std::fabs(nearest) ? nearest : std::trunc(quotient);
    if (length < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
        length > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return static_cast<std::int32_t>(length);
}

double asShown(double v) { return parseLeadingDouble(formatGeneral(v, '.')).value_or(v); }

ParameterSet startupParameterSet() {
    ParameterSet set;
    for (const ParameterRow& r : kRows)
        if (r.role != R::Density) setParameterMember(set, r, r.startup);
    set.params.kip = chargeDensity(set.params.zp, set.plen);
    set.params.kim = chargeDensity(set.params.zn, set.mlen);
    return set;
}

Parameters startupParameters() { return startupParameterSet().params; }

double parameterValue(const ParameterSet& set, const ParameterRow& row) {
    switch (row.role) {
    case R::Length: return lengthOf(set, row.chain);
    case R::Density: return chargeDensity(chargeOf(set, row.chain), lengthOf(set, row.chain));
    case R::Total: return row.chain == 0 ? set.totalPlus : set.totalMinus;
    default: return row.whole ? set.params.*row.whole : set.params.*row.real;
    }
}

void setParameterMember(ParameterSet& set, const ParameterRow& row, double value) {
    if (row.role == R::Length) lengthOf(set, row.chain) = value;
    else if (row.role == R::Total) (row.chain == 0 ? set.totalPlus : set.totalMinus) = value;
    else if (row.whole) set.params.*row.whole = static_cast<std::int32_t>(value);
    else set.params.*row.real = value;
}

std::vector<double> parameterFileValues(const ParameterSet& set) {
    std::vector<double> values;
    for (const ParameterRow& r : kRows)
        if (r.inFile && !r.totalModeOnly && !r.modelParameter) values.push_back(parameterValue(set, r));
    return values;
}

ParameterFileLines parameterFileLines(const ParameterSet& set) {
    ParameterFileLines lines;
    for (const ParameterRow& r : kRows) {
        if (!r.inFile || r.totalModeOnly || r.modelParameter) continue;
        lines.keys.push_back(ParameterKey{r.key, r.integer});
        lines.values.push_back(parameterValue(set, r));
    }
    const auto extra = [&](const ParameterRow& r) {
        return (r.totalModeOnly && set.totalMode) || (r.modelParameter && parameterValue(set, r) != r.startup);
    };
    bool anyExtra = false;
    for (const ParameterRow& r : kRows) anyExtra = anyExtra || extra(r);
    if (anyExtra && !lines.keys.empty()) {
        // Before the last line, which stays a key every reader knows.
        const ParameterKey lastKey = lines.keys.back();
        const double lastValue = lines.values.back();
        lines.keys.pop_back();
        lines.values.pop_back();
        for (const ParameterRow& r : kRows) {
            if (!extra(r)) continue;
            lines.keys.push_back(ParameterKey{r.key, r.integer});
            lines.values.push_back(parameterValue(set, r));
        }
        lines.keys.push_back(lastKey);
        lines.values.push_back(lastValue);
    }
    return lines;
}

std::string formatParameterSet(const ParameterSet& set) {
    const ParameterFileLines lines = parameterFileLines(set);
    return formatParameterFile(lines.keys, lines.values);
}

bool writeParameterSet(const std::string& path, const ParameterSet& set, std::string& error) {
    const ParameterFileLines lines = parameterFileLines(set);
    return writeParameterFile(path, lines.keys, lines.values, error);
}

std::optional<ParameterRefusal> applyParameterValues(ParameterSet& set, std::span<const ParameterValue> values) {
    ParameterSet out = set;
    struct Given {
        std::optional<double> charge, length, density;
        const ParameterRow *lengthRow = nullptr, *densityRow = nullptr;
    } given[2];
    for (const ParameterValue& v : values) {
        const ParameterRow& r = *v.row;
        switch (r.role) {
        case R::Total:
            if (!out.totalMode) {
                // Entering total mode: the other kind's total is its free concentration.
                out.totalMode = true;
                out.totalPlus = set.params.vc10;
                out.totalMinus = set.params.vc01;
            }
            setParameterMember(out, r, asShown(v.value));
            break;
        case R::Charge: given[r.chain].charge = asShown(v.value); break;
        case R::Length: given[r.chain].length = v.value, given[r.chain].lengthRow = &r; break;
        case R::Density: given[r.chain].density = v.value, given[r.chain].densityRow = &r; break;
        case R::Plain:
            if (r.whole) {
                if (v.value != std::trunc(v.value) || !(v.value >= std::numeric_limits<std::int32_t>::min()) ||
                    !(v.value <= std::numeric_limits<std::int32_t>::max()))
                    return ParameterRefusal{ParameterRefusal::Kind::NotWhole,
                                            std::string(r.key) + " takes whole numbers only, not " +
                                                formatGeneral(v.value, '.')};
                out.params.*r.whole = static_cast<std::int32_t>(v.value);
            } else {
                out.params.*r.real = asShown(v.value);
            }
            break;
        }
    }
    for (int chain = 0; chain < 2; ++chain) {
        const Given& g = given[chain];
        if (!g.charge && !g.length && !g.density) continue;
        if (g.length && g.density)
            return ParameterRefusal{ParameterRefusal::Kind::LengthAndDensity,
                                    "give either " + std::string(g.densityRow->key) + " or " +
                                        std::string(g.lengthRow->key) + ", not both (" +
                                        std::string(g.densityRow->key) + " = charge / " +
                                        std::string(g.lengthRow->key) + ")"};
        const double oldCharge = chargeOf(out, chain), oldLength = lengthOf(out, chain);
        const double charge = g.charge.value_or(oldCharge);
        double length = oldLength;
        if (g.length) {
            length = *g.length;
        } else if (g.density || g.charge) {
            // A density keeps the charge; a charge alone keeps the density.
            const double density = g.density ? *g.density : chargeDensity(oldCharge, oldLength);
            const std::optional<std::int32_t> recovered = recoverChargedLength(charge, density);
            if (!recovered)
                return ParameterRefusal{ParameterRefusal::Kind::NoLength,
                                        std::string("no charged length of the '") + (chain == 0 ? '+' : '-') +
                                            "' chain follows from " + keyOf(R::Charge, chain) + " / " +
                                            keyOf(R::Density, chain) + " (" + formatGeneral(charge, '.') + " / " +
                                            formatGeneral(density, '.') + ")"};
            length = *recovered;
        }
        chargeOf(out, chain) = charge;
        lengthOf(out, chain) = length;
        densityOf(out.params, chain) = chargeDensity(charge, length);
    }
    set = out;
    return std::nullopt;
}

namespace {

// How a derived name is applied.
enum class Derived { Salt, BjerrumNm, RowInUnit, Sum, Fraction };
struct DerivedRule {
    Derived how;
    TotalUnit unit = TotalUnit::ChainsPerSegmentVolume;
};

// clang-format off
constexpr DerivedName kDerived[] = {
    {"salt_mM", "ka", true, "the 1:1 salt in mM that ka stands for"},
    {"total", "total", false, "the total C+ + C- of both kinds (with charge_fraction)"},
    {"charge_fraction", "charge_fraction", false, "f = q+ C+ / (q+ C+ + q- C-) (with total)"},
    {"total_plus_mM", "total_plus", true, "total_plus in mM of chains"},
    {"total_minus_mM", "total_minus", true, "total_minus in mM of chains"},
    {"total_mM", "total", true, "total in mM of chains"},
    {"total_gL", "total", true, "total in g/L (with the molar masses)"},
    {"total_plus_gL", "total_plus", true, "total_plus in g/L (with the molar masses)"},
    {"total_minus_gL", "total_minus", true, "total_minus in g/L (with the molar masses)"},
    {"total_mM_charge", "total", true, "total in mM of the chains' charges"},
    {"total_plus_mM_charge", "total_plus", true, "total_plus in mM of the chains' charges"},
    {"total_minus_mM_charge", "total_minus", true, "total_minus in mM of the chains' charges"},
    {"bjerrum_nm", "bjerrum", true, "the Bjerrum length in nm (bjerrum = bjerrum_nm / the segment size)"},
};
constexpr DerivedRule kDerivedRules[] = {
    {Derived::Salt},
    {Derived::Sum},
    {Derived::Fraction},
    {Derived::RowInUnit, TotalUnit::MillimolarChains},
    {Derived::RowInUnit, TotalUnit::MillimolarChains},
    {Derived::Sum, TotalUnit::MillimolarChains},
    {Derived::Sum, TotalUnit::GramsPerLitre},
    {Derived::RowInUnit, TotalUnit::GramsPerLitre},
    {Derived::RowInUnit, TotalUnit::GramsPerLitre},
    {Derived::Sum, TotalUnit::MillimolarCharges},
    {Derived::RowInUnit, TotalUnit::MillimolarCharges},
    {Derived::RowInUnit, TotalUnit::MillimolarCharges},
    {Derived::BjerrumNm},
};
// clang-format on
static_assert(std::size(kDerived) == std::size(kDerivedRules));

const DerivedRule& ruleOf(const DerivedName& d) { return kDerivedRules[&d - kDerived]; }

// A salt bound in mM with the fewest digits whose value, applied as salt_mM is applied, is
// itself allowed: the bound rounded inwards, so that the printed number can be typed back.
std::string saltBoundText(double saltMM, double unitNm, double bjerrum, double kaLo, double kaHi) {
    for (int digits = 6; digits <= 17; ++digits) {
        const std::string text = significantText(saltMM, digits);
        double back = 0.0;
        std::from_chars(text.data(), text.data() + text.size(), back);
        if (within(asShown(kaOfSaltMillimolar(back, unitNm, bjerrum)), kaLo, kaHi)) return text;
    }
    return formatGeneral(saltMM, '.');
}

}  // namespace

std::span<const DerivedName> derivedNames() { return kDerived; }

const DerivedName* findDerivedName(std::string_view name) {
    for (const DerivedName& d : kDerived)
        if (d.name == name) return &d;
    return nullptr;
}

std::optional<AssignmentRefusal> applyAssignments(ParameterSet& set, std::span<const Assignment> values,
                                                  const AssignmentContext& context) {
    using K = AssignmentRefusal::Kind;
    const ParameterSet base = set;
    ParameterSet out = set;
    std::vector<ParameterValue> rows;
    std::optional<double> salt, total, fraction;
    std::string saltName;
    // Totals in g/L or mM of charges: converted once the chains are known. 0 the sum, 1 '+', 2 '-'.
    std::optional<double> inUnit[3];
    TotalUnit unitOf[3] = {};
    std::string_view nameOf[3];
    for (const Assignment& a : values) {
        if (const ParameterRow* row = findParameter(a.name)) {
            rows.push_back({row, a.value});
            continue;
        }
        const DerivedName* d = findDerivedName(a.name);
        if (d == nullptr) return AssignmentRefusal{K::UnknownName, "'" + std::string(a.name) + "' is no parameter"};
        const DerivedRule& rule = ruleOf(*d);
        const bool unitLater = rule.unit == TotalUnit::GramsPerLitre || rule.unit == TotalUnit::MillimolarCharges;
        if (d->needsUnit && !unitLater && (!context.unitNm || !unitNmAllowed(*context.unitNm)))
            return AssignmentRefusal{K::NeedsUnit, std::string(a.name) + " needs " + unitNmRange() + " (--unit-nm)"};
        double v = a.value;
        if (rule.unit == TotalUnit::MillimolarChains) v = chainsPerSegmentVolume(v, *context.unitNm);
        if (unitLater) {
            const int slot = d->sets == "total" ? 0 : d->sets == "total_plus" ? 1 : 2;
            inUnit[slot] = v;
            unitOf[slot] = rule.unit;
            nameOf[slot] = d->name;
            continue;
        }
        switch (rule.how) {
        case Derived::Salt: salt = v, saltName = d->name; break;
        case Derived::BjerrumNm: rows.push_back({findParameter(d->sets), v / *context.unitNm}); break;
        case Derived::RowInUnit: rows.push_back({findParameter(d->sets), v}); break;
        case Derived::Sum: total = v; break;
        case Derived::Fraction: fraction = v; break;
        }
    }
    if (const std::optional<ParameterRefusal> refused = applyParameterValues(out, rows))
        return AssignmentRefusal{K::Values, refused->reason, refused};
    if (salt) {
        // The salt at the set's own Bjerrum length, inside the range of ka.
        const ParameterRow& ka = *findParameter("ka");
        const double lo = context.solvedChains ? kLowestSolvedKa : ka.lo, hi = ka.hi;
        const double unitNm = *context.unitNm, bjerrum = out.params.bjerrum;
        const double shown = asShown(kaOfSaltMillimolar(*salt, unitNm, bjerrum));
        if (!within(shown, lo, hi))
            // The salt asked for is what the user knows: name its range, not ka's.
            return AssignmentRefusal{
                K::SaltOutOfRange,
                saltName + " " + formatGeneral(*salt, '.') + " is ka " + formatGeneral(shown, '.') + "; at a = " +
                    formatGeneral(unitNm, '.') + " nm the salt must be between " +
                    saltBoundText(saltMillimolar(lo, unitNm, bjerrum), unitNm, bjerrum, lo, hi) + " and " +
                    saltBoundText(saltMillimolar(hi, unitNm, bjerrum), unitNm, bjerrum, lo, hi) + " mM (ka from " +
                    formatGeneral(lo, '.') + " to " + formatGeneral(hi, '.') + ")"};
        out.params.ka = shown;
    }
    for (int slot = 0; slot < 3; ++slot) {
        if (!inUnit[slot]) continue;
        if (const std::optional<std::string> bad = totalUnitProblem(unitOf[slot], out.params, context.unitNm, nameOf[slot]))
            return AssignmentRefusal{K::NeedsUnit, *bad};
    }
    const Parameters& p = out.params;
    if (inUnit[1] || inUnit[2]) {
        // A total of one kind in g/L or mM of charges; the other keeps the set's.
        if (!out.totalMode) {
            out.totalMode = true;
            out.totalPlus = base.params.vc10;
            out.totalMinus = base.params.vc01;
        }
        if (inUnit[1])
            out.totalPlus = asShown(chainsOfTotal(*inUnit[1], unitOf[1], *context.unitNm, p.molarMassPlus, p.zp));
        if (inUnit[2])
            out.totalMinus = asShown(chainsOfTotal(*inUnit[2], unitOf[2], *context.unitNm, p.molarMassMinus, p.zn));
    }
    if (total || fraction || inUnit[0]) {
        // The one not given keeps the set's value (its totals, or its free chains as totals).
        const Parameters& b = base.params;
        const double basePlus = base.totalMode ? base.totalPlus : b.vc10;
        const double baseMinus = base.totalMode ? base.totalMinus : b.vc01;
        const double T = inUnit[0] ? *inUnit[0] : total.value_or(basePlus + baseMinus);
        const double f = fraction.value_or(chargeFraction(b.zp, b.zn, basePlus, baseMinus));
        if (const std::optional<std::string> bad = checkChargeFraction(T, f)) return AssignmentRefusal{K::Totals, *bad};
        const MassBalanceTotals t = inUnit[0] ? totalsFromSumInUnit(T, f, unitOf[0], *context.unitNm, p)
                                              : totalsFromChargeFraction(T, f, p.zp, p.zn);
        out.totalMode = true;
        out.totalPlus = asShown(t.plus);
        out.totalMinus = asShown(t.minus);
    }
    set = out;
    return std::nullopt;
}

InputFields inputFieldsOf(const ParameterSet& set) {
    InputFields in(kRowCount);
    for (std::size_t k = 0; k < kRowCount; ++k) in[k] = parameterValue(set, kRows[k]);
    return in;
}

std::optional<std::string> validateInput(const InputFields& in, Parameters& params, ParameterSet* lengths,
                                         bool solvedChains, bool totalMode) {
    ParameterSet read;  // what has been read so far
    for (const ParameterRow* r : parameterRowsInCheckOrder()) {
        const std::size_t index = static_cast<std::size_t>(r - kRows);
        double value = 0.0;
        if (r->role == R::Density) {
            value = chargeDensity(chargeOf(read, r->chain), lengthOf(read, r->chain));
        } else {
            const std::optional<double> field = index < in.size() ? in[index] : std::nullopt;
            if (!field && !r->lenient && !r->modelParameter) return r->unreadable;
            value = field.value_or(r->modelParameter ? r->startup : 0.0);
        }
        setParameterMember(read, *r, value);
        if (r->role == R::Length) {
            if (lengths != nullptr) setParameterMember(*lengths, *r, value);
        } else if (r->whole) {
            params.*r->whole = static_cast<std::int32_t>(value);
        } else {
            params.*r->real = value;
        }
        if (r->outOfRange == nullptr) continue;
        // In total mode the free chains are what the mass balance gives, not an input.
        if (totalMode && (r->real == &Parameters::vc10 || r->real == &Parameters::vc01)) continue;
        if (solvedChains && r->real == &Parameters::ka) {
            if (!within(value, kLowestSolvedKa, r->hi)) return kSolvedKaRange;
            continue;
        }
        const bool fails = r->above.empty() ? !within(value, r->lo, r->hi)
                                            : !(value > parameterValue(read, *findParameter(r->above)));
        if (fails) return r->outOfRange;
    }
    // The matrices (three of them, plus the export from M = 0) must fit in memory.
    const std::int64_t cells = (static_cast<std::int64_t>(params.mpMax) - params.mpMin + 1) *
                               (static_cast<std::int64_t>(params.mmMax) - params.mmMin + 1);
    if (params.mpMax > kMaxAggregation || params.mmMax > kMaxAggregation || cells > kMaxCells)
        return "Ranges of aggregation numbers are too large (at most 4000000 complexes)";
    return std::nullopt;
}

}  // namespace marlinq
