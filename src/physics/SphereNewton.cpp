// The Newton iteration of the spherical complex and its energy on any grid (SphereNewton.h).

#include "physics/SphereNewton.h"

#include "physics/Complex.h"
#include "physics/Constants.h"
#include "physics/FreeEnergy.h"
#include "physics/Solver.h"
#include "physics/SphericalComplex.h"

namespace marlinq {

using constants::kE;

namespace sphere {

namespace {

// The energy integral in reduced densities: the salt of each species lambda c_s a^3 =
// (kappa a)^2 / (8 pi) and the core's lambda rho; the energy in kT is the integral over
// lambda.
double energyIntegral(const Vtr& x, const Vtr& u, const SphericalComplex& c, std::int32_t n) {
    const double cion = reducedSaltConcentration(c.ka);
    const double drho = c.reducedChargeDensity();
    Vtr r(n, 0.0);
    for (std::int32_t i = 0; i < n; ++i) r[i] = x[i] * c.radius;
    return FreeEnergy::sphereEnergyIntegral(r, u, drho, cion, n, c.radius) / c.bjerrum;
}

}  // namespace

Vtr grid() { return grid(kPoints); }

Vtr grid(std::int32_t n) {
    const double h = (kOuterRadius - 0.0) / (n - 1);
    Vtr x(n, 0.0);
    for (std::int32_t i = 0; i < n; ++i) x[i] = i * h;
    return x;
}

Vtr solvePotential(const Vtr& x, double q, double kappaR, std::int32_t* counter) {
    return solvePotential(x, q, kappaR, kPoints, 0.01, kStepLimit, counter);
}

Vtr solvePotential(const Vtr& x, double q, double kappaR, std::int32_t n, double tolerance, std::int32_t stepLimit,
                   std::int32_t* counter) {
    const double h = (kOuterRadius - 0.0) / (n - 1);
    Vtr previous(n, 0.0);
    Vtr u = previous;
    std::int32_t k = 1;
    do {
        u = Solver::sphereStep(x, previous, q, h, kappaR, n);
        ++k;
        // A NaN norm fails the comparison and counts as not converged.
        if ((u - previous).twonorm() < tolerance) break;
        previous = u;
    } while (k < stepLimit);
    *counter = k;
    return u;
}

double poissonBoltzmannEnergy(double ka, double qp, double qn, double vcore, std::int32_t n, double tolerance,
                              std::int32_t stepLimit, std::int32_t* counter, double bjerrum) {
    const Vtr x = grid(n);
    const SphericalComplex c = SphericalComplex::ofCore(qp, qn, vcore, ka, bjerrum);
    const double q = complex::sourceStrength(c.charge, c.radius, bjerrum);
    const Vtr u = solvePotential(x, q, c.kappaR, n, tolerance, stepLimit, counter);
    return energyIntegral(x, u, c, n);
}

double debyeHueckelEnergy(double ka, double qp, double qn, double vcore, std::int32_t n, double bjerrum) {
    const Vtr x = grid(n);
    const SphericalComplex c = SphericalComplex::ofCore(qp, qn, vcore, ka, bjerrum);
    const double kR = c.kappaR;
    const double amp = complex::debyeHueckelAmplitude(c.charge, c.radius, kR, bjerrum);
    Vtr u(n, 0.0);
    // x[i] * kR is the radius in screening lengths.
    for (std::int32_t i = 0; i < n; ++i) u[i] = complex::debyeHueckelPotential(x[i] * kR, kR, amp, kE);
    return energyIntegral(x, u, c, n);
}

}  // namespace sphere

}  // namespace marlinq
