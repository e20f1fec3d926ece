// The closed-form free energy of linear Debye-Hueckel theory for a uniformly charged core:
// against an independent quadrature of the field energy, against its limits, against the
// numbers a physicist checks it with, and against Poisson-Boltzmann where the charge is weak.
#include "physics/ConvergedEnergy.h"
#include "physics/FreeEnergy.h"

#include <gtest/gtest.h>

#include <cmath>

namespace marlinq {
namespace {

constexpr double kPi = 3.14159265358979323846;

double radiusOf(double vcore) { return std::cbrt(3.0 * vcore / (4.0 * 3.141592387)); }

// F = (1 / 8 pi) * integral over all space of (|grad u|^2 + kappa^2 u^2), lengths in Bjerrum
// lengths, with the linearised potential of a uniformly charged sphere (salt inside and out)
// and its derivative written out here; Simpson's rule inside the core and, in the logarithm
// of the radius, out to 60 screening lengths beyond it. At the solution of the linear equation this equals half the core charge
// times the potential, the form the closed expression integrates.
double fieldEnergyByQuadrature(double ka, double Q, double vcore) {
    const double R = radiusOf(vcore), x = ka * R;
    const double A = 3.0 * Q / (R * x * x);
    const double B = (1.0 + x) * std::exp(-x);
    const double C = A * (x * std::cosh(x) - std::sinh(x));
    auto density = [&](double r) {
        const double y = ka * r;
        double u, du;
        if (r < R) {
            const double s = y < 1e-4 ? 1.0 + y * y / 6.0 : std::sinh(y) / y;
            const double ds = y < 1e-4 ? y / 3.0 : (y * std::cosh(y) - std::sinh(y)) / (y * y);
            u = A * (1.0 - B * s);
            du = -A * B * ka * ds;
        } else {
            u = C * std::exp(-y) / y;
            du = -C * ka * std::exp(-y) * (y + 1.0) / (y * y);
        }
        return (du * du + ka * ka * u * u) * 4.0 * kPi * r * r / (8.0 * kPi);
    };
    auto simpson = [&](double a, double b, int n) {
        const double h = (b - a) / n;
        double s = density(a) + density(b);
        for (int i = 1; i < n; ++i) s += density(a + i * h) * (i % 2 ? 4.0 : 2.0);
        return s * h / 3.0;
    };
    const double inner = simpson(0.0, R, 4000);
    // r = R e^t: dr = r dt.
    const auto outerDensity = [&](double t) { return density(R * std::exp(t)) * R * std::exp(t); };
    const double tEnd = std::log((R + 60.0 / ka) / R);
    const double h = tEnd / 40000;
    double outer = outerDensity(0.0) + outerDensity(tEnd);
    for (int i = 1; i < 40000; ++i) outer += outerDensity(i * h) * (i % 2 ? 4.0 : 2.0);
    return inner + outer * h / 3.0;
}

TEST(LinearDebyeHueckel, EqualsTheQuadratureOfTheFieldEnergy) {
    // kappa R from 0.02 to 12, around the change of evaluation at kappa R = 1, both signs.
    for (const double ka : {0.005, 0.05, 0.2, 0.24, 0.25, 0.26, 1.0, 3.0}) {
        for (const double Q : {-36.0, 7.5}) {
            const double vcore = 288.0;  // R = 4.0967
            SCOPED_TRACE(ka);
            const double closed = FreeEnergy::freeEnergy_SphereLinearDH(ka, Q > 0 ? Q : 0.0, Q > 0 ? 0.0 : -Q, vcore);
            EXPECT_NEAR(closed, fieldEnergyByQuadrature(ka, Q, vcore), 1e-9 * closed);
        }
    }
}

TEST(LinearDebyeHueckel, LimitsAndTheStartupComplexes) {
    // Start-up chains (18 charges, 72 segments each): (1, 3) has Z = -36 and R = 4.0967.
    const double v13 = 4 * 72.0, v110 = 11 * 72.0;
    const double f13 = FreeEnergy::freeEnergy_SphereLinearDH(0.2, 18.0, 54.0, v13);
    EXPECT_NEAR(f13, 101.11, 0.01);
    EXPECT_LT(f13, 3.0 * 36.0 * 36.0 / (5.0 * radiusOf(v13)));  // below the unscreened 189.8 kT
    EXPECT_NEAR(FreeEnergy::freeEnergy_SphereLinearDH(0.2, 18.0, 180.0, v110), 1167.67, 0.01);
    // The nonlinear functional with the linearised potential lies far above, at 567 kT.
    EXPECT_GT(FreeEnergy::freeEnergy_SphereDH(0.2, 18.0, 54.0, v13), 500.0);

    // Weak screening: the self-energy of the sphere less Q^2 kappa / 2 (the screening of a
    // point charge), then 3 Q^2 / (4 R) (12/35 x^2 - 2/15 x^3 + 8/189 x^4 ...); ka = 0
    // itself is the Coulomb energy 3 Q^2 / (5 R).
    const double R = radiusOf(v13);
    for (const double ka : {1e-3, 1e-6}) {
        const double x = ka * R, scale = 0.75 * 1296.0 / R;
        const double expected = scale * (0.8 - 2.0 / 3.0 * x + 12.0 / 35.0 * x * x - 2.0 / 15.0 * x * x * x);
        EXPECT_NEAR(FreeEnergy::freeEnergy_SphereLinearDH(ka, 0.0, 36.0, v13), expected,
                    1e-13 * expected + scale * 0.05 * std::pow(x, 4));
        EXPECT_NEAR(expected, 3.0 * 1296.0 / (5.0 * R) - 1296.0 * ka / 2.0, scale * 0.35 * x * x);
    }
    EXPECT_NEAR(FreeEnergy::freeEnergy_SphereLinearDH(0.0, 0.0, 36.0, v13), 3.0 * 1296.0 / (5.0 * R), 1e-12 * 190.0);
    // Strong screening, x = kappa R >> 1: 3 Q^2 / (2 R x^2) (1 - 3 / (2 x) + O(1/x^3)), the
    // charge neutralised within the core.
    const double big = 200.0 / R;
    EXPECT_NEAR(FreeEnergy::freeEnergy_SphereLinearDH(big, 0.0, 36.0, v13) * (200.0 * 200.0 * R) / (1.5 * 1296.0),
                1.0 - 1.5 / 200.0, 1e-6);
    // Neutral: zero; the two charges enter only through Q.
    EXPECT_EQ(FreeEnergy::freeEnergy_SphereLinearDH(0.2, 36.0, 36.0, v13), 0.0);
    EXPECT_EQ(FreeEnergy::freeEnergy_SphereLinearDH(0.2, 54.0, 18.0, v13), f13);
    // The two ways of evaluating meet at kappa R = 1.
    const double at = 1.0 / R;
    EXPECT_NEAR(FreeEnergy::freeEnergy_SphereLinearDH(std::nextafter(at, 0.0), 0.0, 36.0, v13),
                FreeEnergy::freeEnergy_SphereLinearDH(at, 0.0, 36.0, v13), 1e-13 * f13);
}

TEST(LinearDebyeHueckel, PoissonBoltzmannAgreesWhereTheChargeIsWeak) {
    // 16 screening lengths to the edge of the Poisson-Boltzmann domain (8 core radii): the
    // finite domain does not matter. The nonlinear screening lowers the energy by a relative
    // amount of order u^2, which falls with the square of the charge.
    const double ka = 0.5, vcore = 288.0;
    double previous = 0.0;
    for (const double Q : {2.0, 0.5}) {
        SCOPED_TRACE(Q);
        const double linear = FreeEnergy::freeEnergy_SphereLinearDH(ka, Q, 0.0, vcore);
        const ConvergedEnergy pb = convergedSphereEnergy(ka, Q, 0.0, vcore);
        const double gap = 1.0 - pb.value / linear;
        EXPECT_GE(gap, -1e-4);
        EXPECT_LT(std::fabs(gap), Q == 2.0 ? 1e-2 : 1e-3);
        if (previous > 0.0) {
            EXPECT_LT(std::fabs(gap), previous / 8.0);
        }
        previous = std::fabs(gap);
    }
    // Strong charge: Poisson-Boltzmann is far lower (72 kT in the standard grid, 75 kT
    // converged, against 101 kT for (1, 3)).
    EXPECT_NEAR(FreeEnergy::freeEnergy_Sphere(0.2, 18.0, 54.0, 288.0), 72.0, 0.5);
    const double pb13 = convergedSphereEnergy(0.2, 18.0, 54.0, 288.0).value;
    EXPECT_NEAR(pb13, 75.0, 0.5);
    EXPECT_LT(pb13, FreeEnergy::freeEnergy_SphereLinearDH(0.2, 18.0, 54.0, 288.0) - 20.0);
}

}  // namespace
}  // namespace marlinq
