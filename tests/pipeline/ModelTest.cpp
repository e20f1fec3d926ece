// The model seam from outside: the core surface term and the swollen core against hand
// computations, and a term registered by this test alone reaching a run and a sweep.

#include "PipelineFixtures.h"

#include "pipeline/Engine.h"
#include "pipeline/Sweep.h"

#include <gtest/gtest.h>

#include <cmath>

namespace marlinq {
namespace {

using testing::ShippedTables;
using testing::startupParameters;

// The program's rounded pi; a core of volume V has the radius (3 V / 4 pi)^(1/3).
constexpr double kProgramPi = 3.141592387;

double coreRadiusOf(double volume) { return std::cbrt(3.0 * volume / (4.0 * kProgramPi)); }

Parameters small() {
    Parameters p = startupParameters();
    p.mpMax = p.mmMax = 6;
    return p;
}

RunOutcome run(const Parameters& p, Method method, bool total = false, double plen = 72.0, double mlen = 72.0) {
    ParameterSet set = startupParameterSet();
    set.params = p;
    set.plen = plen;
    set.mlen = mlen;
    if (total) {
        set.totalMode = true;
        set.totalPlus = set.totalMinus = 1e-3;
    }
    RunOptions options;
    options.method = method;
    options.keepEnergies = true;
    Engine engine(DataSearch{MARLINQ_SOURCE_DATA_DIR, ""});
    return runToCompletion(engine.job(p, set, options));
}

// Every complex of a landscape with gamma holds gamma 4 pi Rc^2 more free energy than
// without, its weight exp(-that) less; the lone chains are untouched.
TEST(CoreSurfaceTerm, AddsGammaTimesTheCoreAreaToEveryComplex) {
    ShippedTables shipped;
    for (const Method method : {Method::PoissonBoltzmann, Method::DebyeHueckel, Method::DebyeHueckelLinear}) {
        for (const bool total : {false, true}) {
            SCOPED_TRACE(std::string(nameOf(method)) + (total ? " total" : " free"));
            Parameters p = small();
            const RunOutcome plain = run(p, method, total);
            p.gamma = 0.37;
            const RunOutcome surface = run(p, method, total);
            ASSERT_EQ(plain.outcome, JobOutcome::Finished);
            ASSERT_EQ(surface.outcome, JobOutcome::Finished);
            const CellEnergies& a = plain.record->energies;
            const CellEnergies& b = surface.record->energies;
            int compared = 0;
            for (std::int32_t mp = 1; mp <= 6; ++mp)
                for (std::int32_t mm = 1; mm <= 6; ++mm) {
                    ASSERT_EQ(a.evaluated(mp, mm), b.evaluated(mp, mm));
                    if (!a.evaluated(mp, mm)) continue;
                    const double R = coreRadiusOf(72.0 * (mp + mm));
                    const double term = 0.37 * 4.0 * kProgramPi * R * R;
                    EXPECT_NEAR(b.F(mp, mm) - a.F(mp, mm), term, 1e-12 * term) << mp << "," << mm;
                    EXPECT_NEAR(a.E(mp, mm) - b.E(mp, mm), term, 1e-12 * term) << mp << "," << mm;
                    ++compared;
                }
            EXPECT_GT(compared, 20);
            // Complexes cost more: fewer chains are bound.
            EXPECT_GT(surface.record->share(1, 0), plain.record->share(1, 0));
        }
    }
    // The log names the term.
    Parameters p = small();
    p.gamma = 0.5;
    bool named = false;
    for (const std::string& line : run(p, Method::DebyeHueckel).log)
        named = named || line.find("core surface term gamma = 0.5 kT/a^2") != std::string::npos;
    EXPECT_TRUE(named);
}

// Linear Debye-Hueckel theory of a uniformly charged sphere of charge Q and radius R in salt
// ka (lengths in Bjerrum lengths), x = ka R:
//   F = 3 Q^2 / (4 R x^5) [2 x^3 - 3 x^2 + 3 - 3 (1 + x)^2 e^(-2x)].
double linearDebyeHueckel(double Q, double R, double ka) {
    const double x = ka * R;
    return 3.0 * Q * Q / (4.0 * R * std::pow(x, 5)) *
           (2.0 * x * x * x - 3.0 * x * x + 3.0 - 3.0 * (1.0 + x) * (1.0 + x) * std::exp(-2.0 * x));
}

TEST(SwollenCore, IsTheLinearSphereAtTheSwollenRadius) {
    ShippedTables shipped;
    Parameters p = small();
    p.ka = 0.8;
    p.waterFraction = 0.6;
    const RunOutcome swollen = run(p, Method::DebyeHueckelLinear);
    ASSERT_EQ(swollen.outcome, JobOutcome::Finished);
    const CellEnergies& e = swollen.record->energies;
    for (std::int32_t mp = 1; mp <= 6; ++mp)
        for (std::int32_t mm = 1; mm <= 6; ++mm) {
            if (mp == mm) continue;  // a neutral core has no energy at any radius
            const double Q = 18.0 * (mp - mm);
            const double R = coreRadiusOf(72.0 * (mp + mm) / (1.0 - 0.6));
            const double expected = linearDebyeHueckel(Q, R, 0.8);
            EXPECT_NEAR(e.F(mp, mm), expected, 1e-11 * std::fabs(expected)) << mp << "," << mm;
        }
    // A wetter core spreads the same charge thinner: less electrostatic free energy.
    p.waterFraction = 0.0;
    const RunOutcome dry = run(p, Method::DebyeHueckelLinear);
    EXPECT_LT(e.F(5, 1), dry.record->energies.F(5, 1));
}

// A term of the free energy known only to this test: one kT per chain of every complex.
class PerChainTerm final : public ComplexTerm {
public:
    std::string description() const override { return "test term of 1 kT per chain"; }
    double value(const SphericalComplex& c) const override { return c.chains(); }
};

struct RegisteredTerm {
    RegisteredTerm() {
        // Switched on by a water fraction of exactly 0.125 (a run this test alone makes).
        registerComplexTerm("test-per-chain", [](const Parameters& p) -> std::shared_ptr<const ComplexTerm> {
            return p.waterFraction == 0.125 ? std::make_shared<PerChainTerm>() : nullptr;
        });
    }
    ~RegisteredTerm() { registerComplexTerm("test-per-chain", nullptr); }
};

TEST(ModelFactory, ATermRegisteredFromOutsideReachesRunsAndSweeps) {
    ShippedTables shipped;
    RegisteredTerm registered;
    Parameters p = small();
    p.waterFraction = 0.125;
    const RunOutcome withTerm = run(p, Method::DebyeHueckel);
    ASSERT_EQ(withTerm.outcome, JobOutcome::Finished);
    bool named = false;
    for (const std::string& line : withTerm.log) named = named || line.find("test term of 1 kT per chain") != std::string::npos;
    EXPECT_TRUE(named);

    // The same swollen core without the term: every exponent moves by exactly M+ + M-.
    registerComplexTerm("test-per-chain", nullptr);
    const RunOutcome without = run(p, Method::DebyeHueckel);
    for (std::int32_t mp = 1; mp <= 6; ++mp)
        for (std::int32_t mm = 1; mm <= 6; ++mm)
            EXPECT_NEAR(without.record->energies.E(mp, mm) - withTerm.record->energies.E(mp, mm), mp + mm,
                        1e-12 * (mp + mm));
    RegisteredTerm again;

    // A sweep over water_fraction meets the term at its point 0.125 only.
    SweepSpec plan;
    plan.base = startupParameterSet();
    plan.base.params = small();
    plan.axes = {SweepAxis{"water_fraction", {0.0, 0.125}, false}};
    Engine engine(DataSearch{MARLINQ_SOURCE_DATA_DIR, ""});
    std::vector<SweepPoint> points;
    runSweep(plan, engine.tables(plan.options), {}, [&](const SweepPoint& point, std::int64_t, std::int64_t) {
        points.push_back(point);
    });
    ASSERT_EQ(points.size(), 2u);
    bool termInSweep = false;
    for (const std::string& line : points[1].run.log)
        termInSweep = termInSweep || line.find("test term of 1 kT per chain") != std::string::npos;
    EXPECT_TRUE(termInSweep);
    // One kT per chain more: the complexes lose weight against the lone chains.
    EXPECT_LT(points[1].observables.boundFractionPlus, points[0].observables.boundFractionPlus);
}

}  // namespace
}  // namespace marlinq

namespace marlinq {
namespace {

// With neutral blocks of length 1 a neutral complex costs nothing per chain beyond its
// chains (E(n, n) = n E(1, 1)): the complexes would grow without end. Long neutral blocks
// crowd the corona of a large complex, and the free energy per chain rises.
TEST(Coacervate, SaidWhereTheFreeEnergyPerChainDoesNotRise) {
    ShippedTables shipped;
    for (const Method method : {Method::DebyeHueckel, Method::PoissonBoltzmann}) {
        SCOPED_TRACE(std::string(nameOf(method)));
        Parameters p = startupParameters();
        p.Np = p.Nm = 1;
        const RunOutcome flat = run(p, method);
        ASSERT_EQ(flat.outcome, JobOutcome::Finished);
        EXPECT_TRUE(flat.record->neutralEdge.coacervateLikely);
        EXPECT_NEAR(flat.record->neutralEdge.slope, 0.0, 1e-12);
        bool said = false, enlarge = false;
        for (const RunWarning& w : flat.warnings) {
            said = said || (w.kind == WarningKind::Coacervate &&
                            warningText(w) ==
                                "macroscopic phase separation (a coacervate) is likely: the free energy per chain "
                                "does not rise at M = (10, 10); a larger range will not settle it");
            enlarge = enlarge || w.kind == WarningKind::RangeEdge;
        }
        EXPECT_TRUE(said);
        EXPECT_FALSE(enlarge);

        p.Np = p.Nm = 200;
        const RunOutcome micelles = run(p, method);
        ASSERT_EQ(micelles.outcome, JobOutcome::Finished);
        EXPECT_FALSE(micelles.record->neutralEdge.coacervateLikely);
        EXPECT_GT(micelles.record->neutralEdge.slope, 0.0);
    }
}

}  // namespace
}  // namespace marlinq
