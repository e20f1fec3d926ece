#include "pipeline/Structure.h"

#include "physics/Complex.h"
#include "physics/Constants.h"
#include "physics/SphericalComplex.h"
#include "pipeline/Distribution.h"

#include <cmath>

namespace marlinq {

namespace {

using corona::Solvent;

// Share of a chain's mass in its neutral block: segments of equal mass.
double neutralShare(double charged, std::int32_t neutral) { return neutral / (neutral + charged); }

// A species of the distribution: a complex or a free chain, with its number concentration
// relative to the heaviest complex.
struct Species {
    double n = 0.0;
    double molarMass = 0.0;
    bool isComplex = false;
    std::int32_t mp = 0, mm = 0;
    // With sizes:
    double forwardScattering = 0.0;  // F(0)
    double guinierRadiusSquared = 0.0;
    double hydrodynamicRadius = 0.0;
    scattering::Micelle micelle;     // a complex
    double coilBeta = 0.0, coilRg = 0.0;  // a free chain
};

// The species of a record with a weight; empty when no complex has one.
std::vector<Species> speciesOf(const RunResult& record, const StructureInputs& in, bool sizes) {
    std::vector<Species> species;
    if (!record.hasResults()) return species;
    const Grid<double>& a = record.absValue;
    const std::optional<MapCell> heaviest = mostProbableCell(record, CellRange::Complexes);
    if (!heaviest) return species;
    const Parameters& p = record.params();
    const double complexMax = a(heaviest->first - p.mpMin, heaviest->second - p.mmMin);
    if (!(complexMax > 0.0) || !std::isfinite(complexMax)) return species;
    const ChainLengths chains = chainLengthsOf(record);
    for (std::int32_t r = 0; r < a.rows(); ++r) {
        const std::int32_t mp = p.mpMin + r;
        if (mp < 1) continue;
        const double* row = a.row(r);
        for (std::int32_t c = 0; c < a.cols(); ++c) {
            const std::int32_t mm = p.mmMin + c;
            if (mm < 1 || !(row[c] > 0.0)) continue;
            Species s;
            s.n = row[c] / complexMax;
            s.isComplex = true;
            s.mp = mp;
            s.mm = mm;
            s.molarMass = mp * in.molarMassPlus + mm * in.molarMassMinus;
            if (sizes) {
                const ComplexStructure cs = complexStructure(mp, mm, chains, in);
                s.micelle = cs.micelle;
                const double b = cs.micelle.coreBeta + cs.micelle.chainBeta;
                s.forwardScattering = b * b;
                s.guinierRadiusSquared = scattering::micelleGuinierRadiusSquared(cs.micelle);
                s.hydrodynamicRadius = cs.hydrodynamicRadiusNm;
            }
            species.push_back(s);
        }
    }
    // The free chains on the same scale: absolute concentration = weight * 2.71828183^offset.
    const double logScale = std::log(complexMax) + weightShiftOffset(record.max_shift) * std::log(constants::kE);
    for (int chain = 0; chain < 2; ++chain) {
        const double vc = chain == 0 ? record.concentrations.freePlus : record.concentrations.freeMinus;
        if (!(vc > 0.0)) continue;
        Species s;
        s.n = std::exp(std::log(vc) - logScale);
        s.molarMass = chain == 0 ? in.molarMassPlus : in.molarMassMinus;
        if (sizes) {
            const CoilStructure coil = coilStructure(chain, chains, in);
            s.coilBeta = coil.beta;
            s.coilRg = coil.radiusOfGyrationNm;
            s.forwardScattering = coil.beta * coil.beta;
            s.guinierRadiusSquared = coil.radiusOfGyrationNm * coil.radiusOfGyrationNm;
            s.hydrodynamicRadius = coil.hydrodynamicRadiusNm;
        }
        species.push_back(s);
    }
    return species;
}

}  // namespace

ChainLengths chainLengthsOf(const RunResult& record) {
    return {record.request().plusLength, record.request().minusLength, record.params().Np, record.params().Nm};
}

ComplexStructure complexStructure(std::int32_t mp, std::int32_t mm, const ChainLengths& chains, const StructureInputs& in) {
    ComplexStructure s;
    const double a = in.unitNm.value_or(0.0), b = in.neutralSegment();
    const double sharePlus = neutralShare(chains.chargedPlus, chains.neutralPlus);
    const double shareMinus = neutralShare(chains.chargedMinus, chains.neutralMinus);
    s.molarMass = mp * in.molarMassPlus + mm * in.molarMassMinus;
    const double coronaMass = mp * in.molarMassPlus * sharePlus + mm * in.molarMassMinus * shareMinus;
    const double coreMass = s.molarMass - coronaMass;
    // The swollen core: one segment volume a^3 per charged segment, over 1 - phi.
    const SphericalComplex core =
        SphericalComplex::of(mp, mm, ChainBlocks{0.0, 0.0, chains.chargedPlus, chains.chargedMinus},
                             ComplexConditions{0.0, 1.0, in.waterFraction});
    s.coreRadiusNm = core.radius * a;
    const double arms = static_cast<double>(mp) + mm;
    const double armLength = (static_cast<double>(mp) * chains.neutralPlus + static_cast<double>(mm) * chains.neutralMinus) / arms;
    const corona::Profile profile = corona::coronaProfile(s.coreRadiusNm, arms, armLength, b, in.solvent);
    s.coronaThicknessNm = profile.thickness();
    s.hydrodynamicRadiusNm = profile.outerRadius;
    s.radiusOfGyrationNm = corona::complexRadiusOfGyration(profile, coreMass, coronaMass);
    const double betaPlus = in.contrastCorona * in.molarMassPlus * sharePlus;
    const double betaMinus = in.contrastCorona * in.molarMassMinus * shareMinus;
    s.micelle.coreRadius = s.coreRadiusNm;
    s.micelle.coreBeta = in.contrastCore * coreMass;
    s.micelle.chainRg = corona::equivalentChainRg(profile);
    s.micelle.chainBeta = mp * betaPlus + mm * betaMinus;
    s.micelle.chainBetaSquares = mp * betaPlus * betaPlus + mm * betaMinus * betaMinus;
    return s;
}

CoilStructure coilStructure(int chain, const ChainLengths& chains, const StructureInputs& in) {
    CoilStructure c;
    const double charged = chain == 0 ? chains.chargedPlus : chains.chargedMinus;
    const std::int32_t neutral = chain == 0 ? chains.neutralPlus : chains.neutralMinus;
    const double a = in.unitNm.value_or(0.0), b = in.neutralSegment();
    c.molarMass = chain == 0 ? in.molarMassPlus : in.molarMassMinus;
    const double share = neutralShare(charged, neutral);
    c.beta = in.contrastCore * c.molarMass * (1.0 - share) + in.contrastCorona * c.molarMass * share;
    const double segments = charged + neutral;
    const double size = std::sqrt((charged * a * a + neutral * b * b) / segments);
    c.radiusOfGyrationNm = corona::coilRadiusOfGyration(segments, size, in.solvent);
    c.hydrodynamicRadiusNm = corona::coilHydrodynamicRadius(segments, size, in.solvent);
    return c;
}

StructureObservables computeStructureObservables(const RunResult& record, const Observables& observables,
                                                 const StructureInputs& in) {
    StructureObservables o;
    if (!in.hasMolarMasses()) return o;
    const bool sizes = in.hasSizes();
    const std::vector<Species> species = speciesOf(record, in, sizes);
    if (species.empty()) return o;
    double c0 = 0, c1 = 0, c2 = 0, c3 = 0;  // complexes: sum n M^k
    double a0 = 0, a1 = 0, a2 = 0, a3 = 0;  // all species
    double rhN = 0, rhW = 0, f0 = 0, f0OverRh = 0, f0Rg2 = 0;
    for (const Species& s : species) {
        const double n = s.n, m = s.molarMass;
        a0 += n, a1 += n * m, a2 += n * m * m, a3 += n * m * m * m;
        if (s.isComplex) {
            c0 += n, c1 += n * m, c2 += n * m * m, c3 += n * m * m * m;
            rhN += n * s.hydrodynamicRadius;
            rhW += n * m * s.hydrodynamicRadius;
        }
        const double w = n * s.forwardScattering;
        f0 += w;
        f0OverRh += w / s.hydrodynamicRadius;
        f0Rg2 += w * s.guinierRadiusSquared;
    }
    o.mn = c1 / c0, o.mw = c2 / c1, o.mz = c3 / c2;
    o.mnWithFree = a1 / a0, o.mwWithFree = a2 / a1, o.mzWithFree = a3 / a2;
    if (const std::optional<MapCell> best = observables.mostProbableComplex) {
        o.mostProbableMolarMass = best->first * in.molarMassPlus + best->second * in.molarMassMinus;
        if (sizes) {
            const ComplexStructure cs = complexStructure(best->first, best->second, chainLengthsOf(record), in);
            o.mostProbableHydrodynamicRadius = cs.hydrodynamicRadiusNm;
            o.mostProbableCoronaThickness = cs.coronaThicknessNm;
            o.mostProbableRadiusOfGyration = cs.radiusOfGyrationNm;
        }
    }
    if (sizes) {
        o.hydrodynamicRadiusN = rhN / c0;
        o.hydrodynamicRadiusW = rhW / c1;
        o.hydrodynamicRadiusZ = f0 / f0OverRh;
        o.radiusOfGyrationZ = std::sqrt(f0Rg2 / f0);
    }
    return o;
}

ScatteringCurve scatteringCurve(const RunResult& record, const StructureInputs& in, const std::vector<double>& q) {
    ScatteringCurve curve;
    curve.q = q;
    const std::size_t count = q.size();
    curve.intensity.assign(count, NAN);
    curve.core.assign(count, NAN);
    curve.corona.assign(count, NAN);
    curve.free.assign(count, NAN);
    if (!in.hasSizes()) return curve;
    const std::vector<Species> species = speciesOf(record, in, true);
    if (species.empty()) return curve;
    double mass = 0.0;  // sum n M, the polymer's mass concentration on the species' scale
    for (const Species& s : species) mass += s.n * s.molarMass;
    // What the sums need, packed: the complexes, then the free chains.
    struct Coil {
        double n, beta2, rg2;
    };
    std::vector<scattering::Micelle> micelles;
    std::vector<double> weights;
    std::vector<Coil> coils;
    for (const Species& s : species) {
        if (s.isComplex) {
            micelles.push_back(s.micelle);
            weights.push_back(s.n);
        } else {
            coils.push_back({s.n, s.coilBeta * s.coilBeta, s.coilRg * s.coilRg});
        }
    }
    const auto points = static_cast<std::int64_t>(count);
    const std::size_t complexes = micelles.size();
    // Each q sums the species in one order: the curve is the same for any number of threads.
#pragma omp parallel for schedule(dynamic, 4)
    for (std::int64_t k = 0; k < points; ++k) {
        const double qk = q[static_cast<std::size_t>(k)];
        double core = 0.0, corona = 0.0, cross = 0.0, freeChains = 0.0;
        for (std::size_t i = 0; i < complexes; ++i) {
            const scattering::MicelleTerms t = scattering::micelleFormFactor(micelles[i], qk);
            core += weights[i] * t.core;
            corona += weights[i] * t.corona;
            cross += weights[i] * t.cross;
        }
        for (const Coil& c : coils) freeChains += c.n * c.beta2 * scattering::debye(qk * qk * c.rg2);
        const auto at = static_cast<std::size_t>(k);
        curve.core[at] = core / mass;
        curve.corona[at] = corona / mass;
        curve.free[at] = freeChains / mass;
        curve.intensity[at] = (core + corona + cross + freeChains) / mass;
    }
    return curve;
}

std::vector<double> scatteringQ(double qMin, double qMax, std::int64_t count, bool logSpaced) {
    std::vector<double> q(static_cast<std::size_t>(count));
    for (std::int64_t k = 0; k < count; ++k) {
        const double t = count > 1 ? static_cast<double>(k) / static_cast<double>(count - 1) : 0.0;
        q[static_cast<std::size_t>(k)] =
            logSpaced ? std::exp(std::log(qMin) + t * (std::log(qMax) - std::log(qMin))) : qMin + t * (qMax - qMin);
    }
    // The ends as given.
    if (count > 0) q.front() = qMin;
    if (count > 1) q.back() = qMax;
    return q;
}

}  // namespace marlinq
