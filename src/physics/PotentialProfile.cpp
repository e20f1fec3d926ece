#include "physics/PotentialProfile.h"

#include "physics/Complex.h"
#include "physics/Constants.h"
#include "physics/SphereNewton.h"

#include <cmath>

namespace marlinq {

void PotentialProfile::poissonBoltzmann(const SphericalComplex& c, double* potential, double* radius) {
    const Vtr x = sphere::grid();
    const double q = complex::sourceStrength(c.charge, c.radius, c.bjerrum);
    std::int32_t counter = 1;
    // The same iteration as the free energy of the complex, without the warning.
    const Vtr u = sphere::solvePotential(x, q, c.kappaR, &counter);
    for (std::int32_t i = 0; i < sphere::kPoints; ++i) {
        potential[i] = u[i];
        radius[i] = x[i];
    }
}

void PotentialProfile::debyeHueckel(const SphericalComplex& c, double* potential, double* radius) {
    const Vtr x = sphere::grid();
    const double kR = c.kappaR;
    const double amp = complex::debyeHueckelAmplitude(c.charge, c.radius, kR, c.bjerrum);
    for (std::int32_t i = 0; i < sphere::kPoints; ++i) {
        const double y = x[i] * kR;
        // The chart's profile keeps the full-precision e (the free energies use 2.71828183).
        potential[i] = complex::debyeHueckelPotential(y, kR, amp, constants::kFullE);
        radius[i] = y / kR;
    }
}

}  // namespace marlinq
