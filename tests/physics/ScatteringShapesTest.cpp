// The shapes a complex scatters as, against closed forms written out here, against direct
// sums over chains and numerical integrals of the density profiles, and against the scaling
// laws of the corona.

#include "physics/Corona.h"
#include "physics/FormFactors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <functional>
#include <numbers>

namespace marlinq {
namespace {

// Simpson's rule with n (even) intervals.
double simpson(const std::function<double(double)>& f, double lo, double hi, int n) {
    const double h = (hi - lo) / n;
    double s = f(lo) + f(hi);
    for (int k = 1; k < n; ++k) s += (k % 2 ? 4.0 : 2.0) * f(lo + k * h);
    return s * h / 3.0;
}

// The Guinier radius of a form factor normalised to 1 at q = 0, from two small q
// (Richardson: F = 1 - q^2 Rg^2 / 3 + c q^4).
double guinierRadius(const std::function<double(double)>& F, double q) {
    const double r1 = 3.0 * (1.0 - F(q)) / (q * q), r2 = 3.0 * (1.0 - F(2.0 * q)) / (4.0 * q * q);
    return std::sqrt((4.0 * r1 - r2) / 3.0);
}

TEST(ScatteringShapes, SphereAndGaussianChainAgainstClosedFormsAndDirectSums) {
    // Homogeneous sphere: A = 3 (sin x - x cos x) / x^3 in long double, over the series and
    // the closed range (below 0.05 its Taylor series 3 sum (-1)^k x^2k / ((2k + 1)! (2k + 3))).
    const auto sphereReference = [](long double x) {
        if (x > 0.05L) return 3.0L * (std::sin(x) - x * std::cos(x)) / (x * x * x);
        long double sum = 0.0L, term = 1.0L;  // x^2k / (2k + 1)!
        for (int k = 0; k < 8; ++k) {
            sum += (k % 2 ? -term : term) / (2 * k + 3);
            term *= x * x / ((2 * k + 2) * (2 * k + 3));
        }
        return 3.0L * sum;
    };
    for (const long double x : {1e-6L, 3e-3L, 9.9e-3L, 0.0101L, 0.5L, 1.0L, 4.4934L, 7.0L, 31.4L, 250.0L}) {
        const long double a = sphereReference(x);
        EXPECT_NEAR(scattering::sphereAmplitude(static_cast<double>(x)), static_cast<double>(a), 1e-10) << "qR " << x;
        EXPECT_NEAR(std::pow(scattering::sphereAmplitude(static_cast<double>(x)), 2), static_cast<double>(a * a), 1e-10);
    }
    EXPECT_EQ(scattering::sphereAmplitude(0.0), 1.0);
    // Its Guinier radius is sqrt(3/5) R, and so is that of a micelle without chains.
    const double R = 7.5;
    const auto sphere = [R](double q) { return std::pow(scattering::sphereAmplitude(q * R), 2); };
    EXPECT_NEAR(guinierRadius(sphere, 1e-3), std::sqrt(0.6) * R, 1e-6);
    scattering::Micelle bare{.coreRadius = R, .coreBeta = 2.0};
    EXPECT_NEAR(std::sqrt(scattering::micelleGuinierRadiusSquared(bare)), std::sqrt(0.6) * R, 1e-12);
    EXPECT_NEAR(scattering::micelleFormFactor(bare, 0.37).total(), 4.0 * sphere(0.37), 1e-12);

    // Debye's function against its closed form, and against a discrete Gaussian chain of
    // n segments of size b: P = (1/n^2) sum_ij exp(-q^2 b^2 |i - j| / 6), Rg^2 = n b^2 / 6.
    // (Below 0.05 from the series of exp: P = 2 sum (-x)^k / (k + 2)!, psi = sum (-x)^k / (k + 1)!.)
    const auto series = [](long double x, int shift) {
        long double sum = 0.0L, term = 1.0L;
        for (int k = 1; k <= shift; ++k) term /= k;
        for (int k = 0; k < 12; ++k) {
            sum += term;
            term *= -x / (k + 1 + shift);
        }
        return sum;
    };
    for (const long double x : {1e-7L, 5e-4L, 0.002L, 0.3L, 2.0L, 40.0L, 1e4L}) {
        const long double p = x < 0.05L ? 2.0L * series(x, 2) : 2.0L * (std::exp(-x) - 1.0L + x) / (x * x);
        EXPECT_NEAR(scattering::debye(static_cast<double>(x)), static_cast<double>(p), 1e-13 * static_cast<double>(p))
            << "x " << x;
        const long double psi = x < 0.05L ? series(x, 1) : (1.0L - std::exp(-x)) / x;
        EXPECT_NEAR(scattering::graftedChainAmplitude(static_cast<double>(x)), static_cast<double>(psi),
                    1e-13 * static_cast<double>(psi));
    }
    const int n = 3000;
    const double b = 0.5;
    const double rg = corona::coilRadiusOfGyration(n, b, corona::Solvent::Theta);
    EXPECT_NEAR(rg, std::sqrt(n / 6.0) * b, 1e-12);
    for (const double q : {0.05, 0.2, 0.8}) {
        const double e = std::exp(-q * q * b * b / 6.0);
        double pair = n, end = 0.0;  // i = j, and the amplitude about the first segment
        for (int d = 1; d < n; ++d) pair += 2.0 * (n - d) * std::pow(e, d);
        for (int s = 0; s < n; ++s) end += std::pow(e, s);
        EXPECT_NEAR(scattering::debye(q * q * rg * rg), pair / (double(n) * n), 2e-3) << q;
        EXPECT_NEAR(scattering::graftedChainAmplitude(q * q * rg * rg), end / n, 2e-3) << q;
    }
    // The Guinier radius of Debye's function is the coil's Rg.
    EXPECT_NEAR(guinierRadius([rg](double q) { return scattering::debye(q * q * rg * rg); }, 1e-4), rg, 1e-6 * rg);
}

TEST(ScatteringShapes, CoronaProfileMomentsAgainstItsOwnIntegrals) {
    const double b = 0.36;
    for (const corona::Solvent solvent : {corona::Solvent::Good, corona::Solvent::Theta}) {
        for (const double Rc : {0.0, 4.0}) {
            const double f = 40, n = 250;
            const corona::Profile p = corona::coronaProfile(Rc, f, n, b, solvent);
            // The documented outer radius, written out.
            const double R = solvent == corona::Solvent::Good
                                 ? std::pow(std::pow(Rc, 5.0 / 3.0) + std::pow(0.72 * b, 5.0 / 3.0) * std::cbrt(f) * n, 0.6)
                                 : std::sqrt(Rc * Rc + b * b * std::sqrt(f) * n / 3.0);
            EXPECT_NEAR(p.outerRadius, R, 1e-12 * R);
            // The profile holds the f n segments, and its <r^2> is its own integral's.
            const auto shell = [&p](double r) { return r > 0.0 ? 4.0 * std::numbers::pi * r * r * p.density(r) : 0.0; };
            // r = Rc + u^3 takes away the weak singularity of a star's centre.
            const auto in = [&](const std::function<double(double)>& g) {
                const double span = std::cbrt(R - Rc);
                return simpson([&](double u) { return g(std::min(Rc + u * u * u, R)) * 3.0 * u * u; }, 0.0, span, 20000);
            };
            const double segments = in(shell);
            const double r2 = in([&](double r) { return r * r * shell(r); }) / segments;
            EXPECT_NEAR(segments, f * n, 1e-8 * f * n);
            EXPECT_NEAR(p.meanSquareRadius(), r2, 1e-8 * r2);
            if (Rc == 0.0)  // a star: Rg^2 = (3 - p)/(5 - p) R^2
                EXPECT_NEAR(std::sqrt(r2) / R, solvent == corona::Solvent::Good ? std::sqrt(5.0 / 11.0) : std::sqrt(0.5),
                            1e-8);
            // A whole complex: core (3/5 Rc^2) and corona by mass.
            const double coreMass = 3.0, coronaMass = 5.0;
            EXPECT_NEAR(corona::complexRadiusOfGyration(p, coreMass, coronaMass),
                        std::sqrt((coreMass * 0.6 * Rc * Rc + coronaMass * r2) / 8.0), 1e-8 * R);
            // The form factor's chains, grafted one Rg out, carry that same <r^2>: D^2 + 3 Rg^2.
            const double g = corona::equivalentChainRg(p);
            EXPECT_NEAR(std::pow(Rc + g, 2) + 3.0 * g * g, r2, 1e-9 * r2);
        }
    }
    // One arm of PEO (b = 0.36 nm, 44 g/mol) in good solvent has the Rg measured in water,
    // 0.0215 M^0.583 nm, to 3 % from 200 to 2000 segments.
    for (const double n : {200.0, 500.0, 2000.0}) {
        const double measured = 0.0215 * std::pow(44.0 * n, 0.583);
        EXPECT_NEAR(corona::coilRadiusOfGyration(n, 0.36, corona::Solvent::Good) / measured, 1.0, 0.03) << n;
    }
}

TEST(ScatteringShapes, HydrodynamicRadiusGrowsWithTheNeutralBlockByTheCoronaLaw) {
    const double Rc = 5.0, b = 0.36, f = 30;
    // A bare core: R_h = Rc.
    EXPECT_EQ(corona::coronaProfile(Rc, f, 0.0, b, corona::Solvent::Good).outerRadius, Rc);
    // Good solvent: R^(5/3) - Rc^(5/3) grows as N; theta: R^2 - Rc^2 as N.
    const double n1 = 120, n2 = 480;
    const corona::Profile g1 = corona::coronaProfile(Rc, f, n1, b, corona::Solvent::Good);
    const corona::Profile g2 = corona::coronaProfile(Rc, f, n2, b, corona::Solvent::Good);
    EXPECT_NEAR((std::pow(g2.outerRadius, 5.0 / 3.0) - std::pow(Rc, 5.0 / 3.0)) /
                    (std::pow(g1.outerRadius, 5.0 / 3.0) - std::pow(Rc, 5.0 / 3.0)),
                n2 / n1, 1e-12);
    const corona::Profile t1 = corona::coronaProfile(Rc, f, n1, b, corona::Solvent::Theta);
    const corona::Profile t2 = corona::coronaProfile(Rc, f, n2, b, corona::Solvent::Theta);
    EXPECT_NEAR((t2.outerRadius * t2.outerRadius - Rc * Rc) / (t1.outerRadius * t1.outerRadius - Rc * Rc), n2 / n1,
                1e-12);
    // Without a core the star law: R ~ N^(3/5) f^(1/5).
    const double s1 = corona::coronaProfile(0.0, f, n1, b, corona::Solvent::Good).outerRadius;
    const double s2 = corona::coronaProfile(0.0, 32.0 * f, n2, b, corona::Solvent::Good).outerRadius;
    EXPECT_NEAR(s2 / s1, std::pow(n2 / n1, 0.6) * 2.0, 1e-12);
}

TEST(ScatteringShapes, MicelleFormFactorLimits) {
    // F(0) = (Bs + Bc)^2, and the Guinier radius of F is the closed form of FormFactors.h.
    const scattering::Micelle m{.coreRadius = 4.0, .coreBeta = 3.0e4, .chainRg = 2.5, .chainBeta = 5.0e4,
                                .chainBetaSquares = 5.0e4 * 5.0e4 / 40.0};
    EXPECT_NEAR(scattering::micelleFormFactor(m, 0.0).total(), 8.0e4 * 8.0e4, 1e-6);
    const double f0 = 8.0e4 * 8.0e4;
    const double rg = guinierRadius([&](double q) { return scattering::micelleFormFactor(m, q).total() / f0; }, 1e-4);
    EXPECT_NEAR(rg * rg, scattering::micelleGuinierRadiusSquared(m), 1e-6 * rg * rg);
    // Far out the chains scatter as independent coils (the self term), the core as q^-4.
    const double q = 60.0;
    const scattering::MicelleTerms t = scattering::micelleFormFactor(m, q);
    EXPECT_NEAR(t.corona, m.chainBetaSquares * scattering::debye(q * q * m.chainRg * m.chainRg), 1e-3 * t.corona);
}

}  // namespace
}  // namespace marlinq
