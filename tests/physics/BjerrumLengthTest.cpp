// The Bjerrum length lambda = l_B / a. Scaling u with the source: the Poisson-Boltzmann
// problem of charge Z at lambda is the problem of charge lambda Z at lambda = 1, and every
// energy term in kT carries 1 / lambda at fixed potential (the salt is (ka)^2 / (8 pi lambda)),
// so F(lambda, Z, ka) = F(1, lambda Z, ka) / lambda for a complex and
// f(lambda, xi) = f(1, lambda xi) / lambda per length of a chain.

#include "physics/ConvergedEnergy.h"
#include "physics/FreeEnergy.h"
#include "physics/PotentialProfile.h"

#include <gtest/gtest.h>

#include <cmath>

namespace marlinq {
namespace {

constexpr double kLambdas[] = {0.35, 0.7, 2.3};

struct Sphere {
    double ka, qp, qn, vcore;
};
// Weak to strong, low to high salt.
constexpr Sphere kSpheres[] = {{0.2, 90.0, 18.0, 432.0}, {1.0, 206.0, 200.0, 720.0}, {5.0, 300.0, 100.0, 2880.0}};

template <class F>
void expectScales(F energy, const char* what) {
    for (const Sphere& c : kSpheres)
        for (double lambda : kLambdas) {
            SCOPED_TRACE(testing::Message() << what << ": ka " << c.ka << " Z " << c.qp - c.qn << " lambda " << lambda);
            const double scaled = energy(c.ka, c.qp, c.qn, c.vcore, lambda);
            // lambda Z as one number: lambda qp - lambda qn would round apart for a small net charge.
            const double reference = energy(c.ka, lambda * (c.qp - c.qn), 0.0, c.vcore, 1.0) / lambda;
            EXPECT_NEAR(scaled, reference, 1e-12 * std::fabs(reference));
            EXPECT_NE(scaled, energy(c.ka, c.qp, c.qn, c.vcore, 1.0));
        }
}

TEST(BjerrumLength, ComplexEnergiesScaleWithLambdaZ) {
    expectScales([](double ka, double qp, double qn, double v, double l) { return FreeEnergy::freeEnergy_Sphere(ka, qp, qn, v, l); },
                 "PB");
    expectScales([](double ka, double qp, double qn, double v, double l) { return FreeEnergy::freeEnergy_SphereDH(ka, qp, qn, v, l); },
                 "DH");
    expectScales(
        [](double ka, double qp, double qn, double v, double l) { return FreeEnergy::freeEnergy_SphereLinearDH(ka, qp, qn, v, l); },
        "linear DH");
    expectScales(
        [](double ka, double qp, double qn, double v, double l) { return convergedSphereEnergy(ka, qp, qn, v, 3, l).value; },
        "converged PB");
    expectScales(
        [](double ka, double qp, double qn, double v, double l) { return convergedDebyeHueckelEnergy(ka, qp, qn, v, l).value; },
        "converged DH");
    // The profile is that of the source lambda Z.
    double u[401], x[401], v[401], y[401];
    PotentialProfile::poissonBoltzmann(SphericalComplex::ofCore(7 * 18.0, 3 * 20.0, 720.0, 0.5, 2.3), u, x);
    PotentialProfile::poissonBoltzmann(SphericalComplex::ofCore(2.3 * (7 * 18.0 - 3 * 20.0), 0.0, 720.0, 0.5, 1.0), v, y);
    for (int i = 0; i < 401; i += 40) EXPECT_NEAR(u[i], v[i], 1e-12 * std::fabs(v[0]));
}

TEST(BjerrumLength, ChainEnergyPerLengthScalesWithLambdaXi) {
    // Continuation (ka 0.3 and 3), the mirrored direct solve (0.6), restarts (ka 0.2 toward
    // a strong charge) and the converged log-grid solve. The end term of the neutral block,
    // -2 s ln(N + L), is no electrostatics: it stays as it is.
    const double s = 0.079, length = 40.0;
    const std::int32_t neutral = 100;
    const double endTerm = -2.0 * s * std::log(neutral + length);
    for (double ka : {0.2, 0.3, 0.6, 3.0})
        for (double xi : {0.25, 1.5})
            for (double lambda : kLambdas) {
                SCOPED_TRACE(testing::Message() << "ka " << ka << " xi " << xi << " lambda " << lambda);
                const double f = FreeEnergy::freeEnergy_Chain(s, ka, xi, length, false, neutral, 10, lambda) - endTerm;
                const double f1 =
                    FreeEnergy::freeEnergy_Chain(s, ka, lambda * xi, length, false, neutral, 10, 1.0) - endTerm;
                EXPECT_NEAR(f, f1 / lambda, 1e-12 * std::fabs(f));
                if (ka == 0.3) {
                    const double c = convergedChainEnergy(s, ka, xi, length, neutral, {}, lambda).value - endTerm;
                    const double c1 = convergedChainEnergy(s, ka, lambda * xi, length, neutral, {}, 1.0).value - endTerm;
                    EXPECT_NEAR(c, c1 / lambda, 1e-12 * std::fabs(c));
                }
            }
}

TEST(BjerrumLength, WeakSphereIsTheLinearTheoryWithLambda) {
    // A weakly charged complex (|u| ~ 1e-3): the nonlinear energy is the linear one,
    // F = 3 lambda Q^2 / (4 R x^5) [2 x^3 - 3 x^2 + 3 - 3 (1 + x)^2 e^-2x], x = ka R, written
    // out here, to the order u^2 and the grid's error.
    const double ka = 1.0, Q = 0.5, vcore = 720.0, lambda = 2.3;
    const double R = std::cbrt(3.0 * vcore / (4.0 * M_PI)), x = ka * R;
    const double linear = lambda * 3.0 * Q * Q / (4.0 * R * std::pow(x, 5)) *
                          (2.0 * x * x * x - 3.0 * x * x + 3.0 - 3.0 * (1.0 + x) * (1.0 + x) * std::exp(-2.0 * x));
    EXPECT_NEAR(FreeEnergy::freeEnergy_SphereLinearDH(ka, 100.0 + Q, 100.0, vcore, lambda), linear, 1e-7 * linear);
    EXPECT_NEAR(convergedSphereEnergy(ka, 100.0 + Q, 100.0, vcore, 5, lambda).value, linear, 1e-4 * linear);
}

}  // namespace
}  // namespace marlinq
