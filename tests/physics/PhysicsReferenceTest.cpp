// Free energies against values that do not come from the code: the closed-form energy of a
// uniformly charged sphere in the linearised theory, an independent quadrature of the
// free-energy functional, the linear limit of the cylinder, and the orders of convergence
// of the discretisations.
//
// Units: lengths in the user's length unit, Bjerrum length 1, potential u in kT/e. A core of
// charge Z and radius R in salt of inverse screening length kappa (a = kappa R) obeys
//     u'' + (2/r) u' = kappa^2 sinh(u) - 4 pi rho,   rho = 3 Z / (4 pi R^3) inside the core.
// Linearised, the regular solution that vanishes far away is
//     inside:  u = (4 pi rho / kappa^2) [1 - (1 + a) e^-a sinh(kappa r) / (kappa r)]
//     outside: u = (4 pi rho / kappa^2) (a cosh a - sinh a) e^-(kappa r) / (kappa r)
// and the free energy of the linear theory is half the core charge times the potential,
//     F = 1/2 int rho u dV = (3 Z^2 / (5 R)) g(a),
//     g(a) = 5 / (4 a^5) [2 a^3 - 3 a^2 + 3 - 3 (1 + a)^2 e^(-2a)],
// with g -> 1 - 5a/6 for a -> 0 (the Coulomb energy 3 Z^2 / 5R of the bare sphere) and
// g -> 5 / (2 a^2) for a -> infinity (local neutrality, F = 2 pi rho^2 V / kappa^2).

#include "physics/FreeEnergy.h"
#include "physics/PotentialProfile.h"
#include "physics/SphereNewton.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace marlinq {
namespace {

using LD = long double;
constexpr LD kPiL = std::numbers::pi_v<long double>;

struct Sphere {
    LD Z, R, a;
    LD kappa() const { return a / R; }
    LD amplitude() const { return 3.0L * Z / (R * a * a); }  // 4 pi rho / kappa^2
    LD rho() const { return 3.0L * Z / (4.0L * kPiL * R * R * R); }
    LD potential(LD r) const {
        const LD k = kappa();
        if (r < R) {
            if (r == 0.0L) return amplitude() * (1.0L - (1.0L + a) * std::exp(-a));
            return amplitude() * (1.0L - (1.0L + a) * std::exp(-a) * std::sinh(k * r) / (k * r));
        }
        return amplitude() * (a * std::cosh(a) - std::sinh(a)) * std::exp(-k * r) / (k * r);
    }
};

// The sphere as the program sees it: charges qp, qn (net Z = qp - qn), core volume vcore.
Sphere sphereOf(double ka, double Z, double vcore) {
    const LD R = std::cbrt(3.0L * vcore / (4.0L * kPiL));
    return {Z, R, ka * R};
}

LD g(LD a) { return 5.0L / (4.0L * std::pow(a, 5)) * (2 * a * a * a - 3 * a * a + 3 - 3 * (1 + a) * (1 + a) * std::exp(-2 * a)); }
LD linearEnergy(const Sphere& s) { return 3.0L * s.Z * s.Z / (5.0L * s.R) * g(s.a); }

// Composite Simpson rule of f over [lo, hi] with m (even) intervals.
template <class F>
LD simpson(F f, LD lo, LD hi, int m) {
    const LD h = (hi - lo) / m;
    LD sum = f(lo) + f(hi);
    for (int i = 1; i < m; ++i) sum += f(lo + i * h) * (i % 2 ? 4.0L : 2.0L);
    return sum * h / 3.0L;
}

// The free-energy functional of a given potential over the program's domain 0 .. 8 R:
// half of (core charge + ion charge) times the potential, plus the ideal-gas free energy
// n ln(n / c) - n + c of each ion species n = c exp(-+u) against the bulk density c.
LD functional(const Sphere& s) {
    const LD c = s.kappa() * s.kappa() / (8.0L * kPiL);
    auto density = [&](LD r, bool core) {
        const LD u = s.potential(r);
        const LD np = c * std::exp(-u), nm = c * std::exp(u);
        const LD charge = (core ? s.rho() : 0.0L) + np - nm;
        const LD ideal = np * (-u) - np + c + nm * u - nm + c;
        return (0.5L * charge * u + ideal) * 4.0L * kPiL * r * r;
    };
    return simpson([&](LD r) { return density(r, r < s.R || r == 0.0L); }, 0.0L, s.R * (1.0L - 1e-18L), 4000) +
           simpson([&](LD r) { return density(r, false); }, s.R, 8.0L * s.R, 20000);
}

// The grid leaves out half a cell of core charge at r = R (the point there counts as
// outside): to first order in the step h (in core radii) that lowers F by 3/4 h Z u(R).
LD surfaceDefect(const Sphere& s, LD h) { return 0.75L * h * s.Z * s.potential(s.R); }

double rel(LD value, LD reference) { return static_cast<double>((value - reference) / reference); }

TEST(ClosedFormSphere, LimitsOfTheLinearEnergy) {
    // Bare Coulomb sphere for a -> 0, with the first screening correction -5a/6.
    for (LD a : {1e-2L, 2e-2L}) EXPECT_NEAR(static_cast<double>(g(a)), static_cast<double>(1.0L - 5.0L * a / 6.0L), 2.0 * double(a * a));
    // Local neutrality for a -> infinity.
    for (LD a : {200.0L, 400.0L}) EXPECT_NEAR(static_cast<double>(g(a) * a * a / 2.5L), 1.0, 2.0 / double(a));
    // The energy is half the charge times the potential: a quadrature of 1/2 rho u over the core.
    const Sphere s = sphereOf(1.0, 1.0, 720.0);
    const LD quad = simpson([&](LD r) { return 0.5L * s.rho() * s.potential(r) * 4.0L * kPiL * r * r; }, 0.0L,
                            s.R * (1.0L - 1e-18L), 2000);
    EXPECT_NEAR(rel(quad, linearEnergy(s)), 0.0, 1e-12);
}

struct Case {
    double ka, Z, vcore;
};

// Weak charges (linear regime) and strong ones (the program's DH energy evaluates the full
// ion free energy with the linearised potential, far above the linear energy).
const Case kDhCases[] = {{0.2, 0.1, 720.0}, {1.0, 0.1, 720.0},  {5.0, 0.1, 720.0},  {0.2, 18.0, 720.0},
                         {1.0, 72.0, 720.0}, {0.2, 72.0, 720.0}, {2.0, 200.0, 2.0e4}, {0.5, 30.0, 50.0}};

TEST(DebyeHueckelSphere, StandardGridIsTheFunctionalLessHalfACellOfCoreCharge) {
    for (const Case& c : kDhCases) {
        SCOPED_TRACE(testing::Message() << "ka " << c.ka << " Z " << c.Z << " vcore " << c.vcore);
        const Sphere s = sphereOf(c.ka, c.Z, c.vcore);
        const LD exact = functional(s);
        const double F = FreeEnergy::freeEnergy_SphereDH(c.ka, 100.0 + c.Z, 100.0, c.vcore);
        // The dropped half cell: 1.5 to 3 % of a weakly charged complex's energy.
        const double defect = rel(exact - surfaceDefect(s, 0.02L), exact);
        if (c.Z < 1.0) EXPECT_LT(defect, -0.015);
        // What is left is second order in the step, below 0.2 % on these cores.
        EXPECT_NEAR(rel(F, exact - surfaceDefect(s, 0.02L)), 0.0, 2e-3) << "defect " << defect;
        if (c.Z < 1.0) EXPECT_NEAR(rel(exact, linearEnergy(s)), 0.0, 1e-5);  // weak: linear theory
    }
}

TEST(DebyeHueckelSphere, FirstOrderInTheStepSecondOrderOnceTheSurfaceIsAccountedFor) {
    for (const Case& c : {Case{1.0, 1.0, 720.0}, Case{5.0, 18.0, 720.0}, Case{0.2, 18.0, 720.0}}) {
        SCOPED_TRACE(testing::Message() << "ka " << c.ka << " Z " << c.Z);
        const Sphere s = sphereOf(c.ka, c.Z, c.vcore);
        const LD exact = functional(s);
        LD previous = 0.0L, previousRest = 0.0L;
        for (std::int32_t n : {401, 801, 1601, 3201}) {
            ASSERT_EQ(sphere::grid(n)[(n - 1) / 8], 1.0);
            const LD F = sphere::debyeHueckelEnergy(c.ka, 100.0 + c.Z, 100.0, c.vcore, n);
            if (n == 401)
                EXPECT_NEAR(rel(FreeEnergy::freeEnergy_SphereDH(c.ka, 100.0 + c.Z, 100.0, c.vcore), F), 0.0, 1e-12);
            const LD error = F - exact;
            const LD rest = error + surfaceDefect(s, 8.0L / (n - 1));
            if (n > 401) {
                EXPECT_NEAR(static_cast<double>(previous / error), 2.0, 0.1) << n;       // first order
                if (std::fabs(rest) > 1e-6L * exact)
                    EXPECT_NEAR(static_cast<double>(previousRest / rest), 4.0, 0.6) << n;  // then second
            }
            previous = error;
            previousRest = rest;
        }
    }
}

TEST(PoissonBoltzmannSphere, WeakChargeConvergesToTheLinearEnergyAtFirstOrder) {
    for (const Case& c : {Case{0.2, 0.5, 720.0}, Case{1.0, 0.5, 720.0}, Case{5.0, 0.5, 720.0}}) {
        SCOPED_TRACE(testing::Message() << "ka " << c.ka);
        const LD exact = linearEnergy(sphereOf(c.ka, c.Z, c.vcore));
        std::int32_t counter = 0;
        LD F[4];
        const std::int32_t ns[4] = {401, 801, 1601, 3201};
        for (int k = 0; k < 4; ++k) {
            F[k] = sphere::poissonBoltzmannEnergy(c.ka, 100.0 + c.Z, 100.0, c.vcore, ns[k], 1e-12, 1000, &counter);
            ASSERT_LT(counter, 1000);
        }
        // The surface point drops its source from the equation too: about twice the DH defect.
        EXPECT_LT(rel(F[0], exact), -0.02);
        EXPECT_GT(rel(F[0], exact), -0.05);
        for (int k = 1; k < 4; ++k) EXPECT_NEAR(static_cast<double>((F[k - 1] - exact) / (F[k] - exact)), 2.0, 0.1);
        // Richardson's extrapolation of the two finest grids removes the first-order term.
        EXPECT_NEAR(rel(2.0L * F[3] - F[2], exact), 0.0, 2e-4);
    }
}

TEST(PoissonBoltzmannSphere, MeetsDebyeHueckelAsTheChargeVanishes) {
    // On one grid, PB / DH - 1 = r0 + b Z^2 + ...: r0 is the O(h) difference between the
    // discrete and the analytic potential, b Z^2 the nonlinearity (PB lies below).
    for (double ka : {0.2, 1.0}) {
        SCOPED_TRACE(ka);
        auto r = [&](double Z, std::int32_t n) {
            std::int32_t counter = 0;
            const double pb = sphere::poissonBoltzmannEnergy(ka, 100.0 + Z, 100.0, 720.0, n, 1e-12, 1000, &counter);
            return pb / sphere::debyeHueckelEnergy(ka, 100.0 + Z, 100.0, 720.0, n) - 1.0;
        };
        const double r4 = r(4.0, 401), r2 = r(2.0, 401), r1 = r(1.0, 401);
        EXPECT_NEAR((r4 - r2) / (r2 - r1), 4.0, 0.2);
        EXPECT_LT(r4, r2);
        const double r0 = r1 - (r2 - r1) / 3.0;
        EXPECT_LT(std::fabs(r0), 0.03);
        // The offset is the grid's, halving with the step.
        const double r0fine = r(1.0, 801) - (r(2.0, 801) - r(1.0, 801)) / 3.0;
        EXPECT_NEAR(r0 / r0fine, 2.0, 0.15);
    }
}

TEST(PoissonBoltzmannSphere, StandardLoopStaysNearTheConvergedNewtonSolution) {
    // The standard loop stops once a halved Newton step changes u by less than 0.01; at the
    // charges of real complexes that costs well under 1 %.
    for (const Case& c : {Case{0.2, 18.0, 720.0}, Case{0.2, 72.0, 432.0}, Case{1.0, 72.0, 720.0}}) {
        SCOPED_TRACE(testing::Message() << "ka " << c.ka << " Z " << c.Z);
        std::int32_t counter = 0;
        const double tight = sphere::poissonBoltzmannEnergy(c.ka, 100.0 + c.Z, 100.0, c.vcore, 401, 1e-12, 1000, &counter);
        EXPECT_NEAR(FreeEnergy::freeEnergy_Sphere(c.ka, 100.0 + c.Z, 100.0, c.vcore), tight, 0.01 * tight);
    }
}

TEST(ChainEnergyLimit, WeakChargeIsTheLinearCylinder) {
    // Linearised, u = C K0(x) with u'(ka) = -2 ki / ka, so the energy per length
    // 1/2 ki u(ka) is ki^2 K0(ka) / (ka K1(ka)); the nonlinear correction is O(ki^4).
    for (double ka : {0.6, 1.0, 3.0}) {
        SCOPED_TRACE(ka);
        auto excess = [&](double ki) {
            const double linear = ki * ki * std::cyl_bessel_k(0.0, ka) / (ka * std::cyl_bessel_k(1.0, ka));
            return FreeEnergy::freeEnergy_Chain(0.0, ka, ki, 1.0, false, 0, 10) / linear - 1.0;
        };
        const double e1 = excess(0.01), e2 = excess(0.02), e10 = excess(0.1), e20 = excess(0.2);
        EXPECT_NEAR(e1, 0.0, 5e-4);  // grid and the Dirichlet end at 8 screening lengths
        EXPECT_NEAR(e2, e1, 3e-5);  // Newton stops at a change of 0.01, near y = 1 at once
        EXPECT_LT(e20, e10);
        EXPECT_NEAR((e20 - e1) / (e10 - e1), 4.0, 0.6);
    }
}

TEST(ChainEnergyLimit, LengthAndNeutralBlockEnterAsStated) {
    // Energy per length times the charged length, less 2 s ln(N + L) for the neutral block.
    const double perLength = FreeEnergy::freeEnergy_Chain(0.0, 1.0, 0.5, 1.0, false, 0, 10);
    const double chain = FreeEnergy::freeEnergy_Chain(0.079, 1.0, 0.5, 72.0, false, 200, 10);
    EXPECT_NEAR(chain, 72.0 * perLength - 2.0 * 0.079 * std::log(272.0), 1e-10);
}

}  // namespace
}  // namespace marlinq
