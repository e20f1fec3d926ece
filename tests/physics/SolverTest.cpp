#include "physics/Solver.h"

#include "../kernel/KernelErrorCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace marlinq {
namespace {

// The complex grid: 401 points x_i = i * 0.02, the core surface at point 50.
Vtr sphereGrid(int n = 401, double h = 0.02) {
    Vtr x(n, 0.0);
    for (int i = 0; i < n; ++i) x[i] = i * h;
    return x;
}

// The chain grid: 801 points from ka, step 0.01.
Vtr cylinderGrid(double ka, int n = 801, double h = 0.01) {
    Vtr x(n, 0.0);
    for (int i = 0; i < n; ++i) x[i] = ka + i * h;
    return x;
}

double maxAbs(const Vtr& v) {
    double m = 0.0;
    for (int i = 0; i < v.size(); ++i) m = std::max(m, std::fabs(v[i]));
    return m;
}

// Largest |a - b| relative to the largest |b|.
double relativeDifference(const Vtr& a, const Vtr& b) { return maxAbs(a - b) / maxAbs(b); }

// J * v with the band of J.
Vtr bandTimes(const BandMatrix& j, const Vtr& v) {
    const int n = v.size();
    Vtr r(n, 0.0);
    for (int i = 0; i < n; ++i)
        for (int c = std::max(0, i - 2); c <= std::min(n - 1, i + 2); ++c) r[i] += j(i, c) * v[c];
    return r;
}

TEST(Solver, ZeroResidualIteratesAreFixedPoints) {
    const Vtr x = sphereGrid();
    const Vtr u0(401, 0.0);
    const Vtr u1 = Solver::sphereStep(x, u0, 0.0, 0.02, 1.5, 401);
    for (int i = 0; i < 401; ++i) ASSERT_EQ(u1[i], 0.0) << i;

    const Vtr xc = cylinderGrid(1.0);
    const Vtr y0(801, 1.0);
    const Vtr y1 = Solver::cylinderStep(xc, y0, 0.01, 0.0);
    for (int i = 0; i < 801; ++i) ASSERT_EQ(y1[i], 1.0) << i;
}

TEST(Solver, CoreSourceStopsStrictlyAtTheCoreSurface) {
    const Vtr x = sphereGrid();
    ASSERT_EQ(x[50], 1.0);
    Vtr F(401, 0.0);
    BandMatrix J(401);
    const double q = 2.0;
    Solver::assembleSphere(x, Vtr(401, 0.0), q, 0.02, 1.5, 401, F, J);
    for (int i = 1; i <= 49; ++i) EXPECT_EQ(F[i], 3.0 * x[i] * q) << i;
    for (int i = 50; i < 401; ++i) EXPECT_EQ(F[i], 0.0) << i;
    EXPECT_EQ(F[0], 0.0);
}

// Column j of J against the central difference of F in direction j.
template <typename Assemble>
void expectJacobianMatchesResidual(const Vtr& iterate, Assemble assemble, std::initializer_list<int> columns) {
    const int n = iterate.size();
    Vtr F(n, 0.0);
    BandMatrix J(n);
    assemble(iterate, F, J);
    for (int j : columns) {
        const double eps = 1e-6 * std::max(1.0, std::fabs(iterate[j]));
        Vtr up(iterate), down(iterate);
        up[j] += eps;
        down[j] -= eps;
        Vtr Fup(n, 0.0), Fdown(n, 0.0);
        BandMatrix scratch(n);
        assemble(up, Fup, scratch);
        assemble(down, Fdown, scratch);
        for (int i = std::max(0, j - 2); i <= std::min(n - 1, j + 2); ++i) {
            const double numeric = (Fup[i] - Fdown[i]) / (2.0 * eps);
            EXPECT_NEAR(J(i, j), numeric, 1e-5 * (1.0 + std::fabs(numeric))) << "row " << i << " column " << j;
        }
    }
}

TEST(Solver, JacobiansAreTheDerivativesOfTheResiduals) {
    const Vtr x = sphereGrid();
    Vtr u(401, 0.0);
    for (int i = 0; i < 401; ++i) u[i] = 3.0 * std::exp(-x[i]) + 0.1 * std::sin(7.0 * x[i]);
    expectJacobianMatchesResidual(
        u, [&](const Vtr& it, Vtr& F, BandMatrix& J) { Solver::assembleSphere(x, it, 5.0, 0.02, 1.5, 401, F, J); },
        {0, 1, 2, 3, 49, 50, 200, 398, 399, 400});

    const Vtr xc = cylinderGrid(0.8);
    Vtr y(801, 1.0);
    for (int i = 0; i < 801; ++i) y[i] = 1.0 + 0.7 * std::exp(-(xc[i] - 0.8)) + 0.05 * std::sin(5.0 * xc[i]);
    expectJacobianMatchesResidual(
        y, [&](const Vtr& it, Vtr& F, BandMatrix& J) { Solver::assembleCylinder(xc, it, 0.01, -1.3, F, J); },
        {0, 1, 2, 3, 400, 798, 799, 800});
}

TEST(Solver, StepsSolveTheNewtonSystemSphereHalvedCylinderFull) {
    // From an arbitrary smooth iterate, the returned correction c satisfies J c = F
    // (sphere: c is twice the change, cylinder: the whole change).
    const Vtr x = sphereGrid();
    Vtr u(401, 0.0);
    for (int i = 0; i < 401; ++i) u[i] = 2.0 * std::exp(-x[i]);
    Vtr F(401, 0.0);
    BandMatrix J(401);
    Solver::assembleSphere(x, u, 5.0, 0.02, 1.5, 401, F, J);
    const Vtr correction = 2.0 * (u - Solver::sphereStep(x, u, 5.0, 0.02, 1.5, 401));
    EXPECT_LT(relativeDifference(bandTimes(J, correction), F), 1e-9);

    const double ka = 1.0;
    const Vtr xc = cylinderGrid(ka);
    Vtr y(801, 1.0);
    for (int i = 0; i < 801; ++i) y[i] = 1.0 + 0.5 * std::exp(-(xc[i] - ka));
    Vtr Fc(801, 0.0);
    BandMatrix Jc(801);
    Solver::assembleCylinder(xc, y, 0.01, -1.0, Fc, Jc);
    const Vtr next = Solver::cylinderStep(xc, y, 0.01, -1.0);
    EXPECT_LT(relativeDifference(bandTimes(Jc, y - next), Fc), 1e-9);
    // The far boundary row is linear: one step lands on y = 1 there.
    EXPECT_NEAR(next[800], 1.0, 1e-14);
}

TEST(Solver, WeaklyChargedSphereMatchesDebyeHueckel) {
    // Linearised, u'' + 2u'/x = kappa^2 u - 3q inside the unit core has the centre value
    // u(0) = 3q/kappa^2 * (1 - (1 + kappa) e^-kappa) for an unbounded solution.
    const double q = 0.01;
    const double kappa = 1.5;
    const Vtr x = sphereGrid();
    Vtr u(401, 0.0);
    for (int step = 0; step < 60; ++step) u = Solver::sphereStep(x, u, q, 0.02, kappa, 401);
    // The source ends between points 49 and 50: a first-order error of about 1 %.
    const double centre = 3.0 * q / (kappa * kappa) * (1.0 - (1.0 + kappa) * std::exp(-kappa));
    EXPECT_NEAR(u[0], centre, 2e-2 * centre);
    // Outside the core the potential decays like e^(-kappa x)/x.
    const double surface = u[50];
    EXPECT_NEAR(u[150], surface * std::exp(-kappa * 2.0) / 3.0, 1e-3 * surface);
}

TEST(Solver, WeaklyChargedCylinderMatchesDebyeHueckel) {
    // Linearised, u'' + u'/x = u with u'(ka) = k gives u = -k K0(x) / K1(ka).
    const double ka = 1.0;
    const double k = -0.01;
    const Vtr x = cylinderGrid(ka);
    Vtr y(801, 1.0);
    for (int step = 0; step < 10; ++step) y = Solver::cylinderStep(x, y, 0.01, k);
    for (int i : {0, 100, 300}) {
        const double expected = -k * std::cyl_bessel_k(0.0, x[i]) / std::cyl_bessel_k(1.0, ka);
        EXPECT_NEAR(std::log(y[i]), expected, 1e-3 * expected) << i;
    }
}

TEST(Solver, StronglyChargedProblemsConverge) {
    // The callers' loops: stop when the change falls below 0.01.
    const Vtr x = sphereGrid();
    Vtr u(401, 0.0);
    int steps = 0;
    for (double change = 1.0; change >= 0.01 && steps < 99; ++steps) {
        const Vtr next = Solver::sphereStep(x, u, 5.0, 0.02, 1.5, 401);
        change = (next - u).twonorm();
        u = next;
    }
    EXPECT_LT(steps, 99);
    for (int i = 1; i < 401; ++i) EXPECT_LE(u[i], u[i - 1]) << i;  // positive core, decaying potential
    EXPECT_GT(u[400], 0.0);

    const Vtr xc = cylinderGrid(1.0);
    Vtr y(801, 1.0);
    steps = 0;
    for (double change = 1.0; change >= 0.01 && steps < 49; ++steps) {
        const Vtr next = Solver::cylinderStep(xc, y, 0.01, -2.0 * 0.5 / 1.0);
        change = (next - y).twonorm();
        y = next;
    }
    EXPECT_LT(steps, 49);
    for (int i = 1; i < 801; ++i) EXPECT_LE(y[i], y[i - 1]) << i;
    EXPECT_GT(y[800], 0.0);
}

// The banded steps and the dense-inverse steps agree on the iterates of real solves.
TEST(Solver, BandedStepsEqualDenseInverseSteps) {
    const Vtr x = sphereGrid();
    Vtr u(401, 0.0);
    for (int step = 0; step < 4; ++step) {
        const Vtr banded = Solver::sphereStep(x, u, 5.0, 0.02, 1.5, 401);
        const Vtr dense = Solver::sphereStepDense(x, u, 5.0, 0.02, 1.5, 401);
        EXPECT_LT(relativeDifference(banded, dense), 1e-10) << "sphere step " << step;
        EXPECT_LT(relativeDifference(banded - u, dense - u), 1e-10) << "sphere step " << step;
        u = banded;
    }

    const double ka = 1.0;
    const double k = -2.0 * 0.5 / ka;
    const Vtr xc = cylinderGrid(ka);
    Vtr y(801, 1.0);
    for (int step = 0; step < 3; ++step) {
        const Vtr banded = Solver::cylinderStep(xc, y, 0.01, k);
        const Vtr dense = Solver::cylinderStepDense(xc, y, 0.01, k);
        EXPECT_LT(relativeDifference(banded, dense), 1e-10) << "cylinder step " << step;
        EXPECT_LT(relativeDifference(banded - y, dense - y), 1e-10) << "cylinder step " << step;
        y = banded;
    }
}

TEST(SolverErrors, CallerErrorsAndASingularJacobianThrow) {
    const Vtr x = sphereGrid();
    EXPECT_KERNEL_ERROR(Solver::sphereStep(x, Vtr(400, 0.0), 1.0, 0.02, 1.5, 401), kBadVectorSizes);
    EXPECT_KERNEL_ERROR(Solver::sphereStep(x, Vtr(402, 0.0), 1.0, 0.02, 1.5, 402), kBadVectorSizes);
    EXPECT_KERNEL_ERROR(Solver::cylinderStep(cylinderGrid(1.0), Vtr(800, 1.0), 0.01, -1.0), kBadVectorSizes);
    EXPECT_KERNEL_ERROR(Solver::sphereStep(Vtr(2, 0.0), Vtr(2, 0.0), 1.0, 0.02, 1.5, 2),
                        "a radial grid needs at least 3 points");
    // k = -3/(2h) makes the first pivot of the cylinder Jacobian exactly zero.
    EXPECT_KERNEL_ERROR(Solver::cylinderStep(cylinderGrid(1.0), Vtr(801, 1.0), 0.01, -150.0), kVanishingPivot);
}

}  // namespace
}  // namespace marlinq
