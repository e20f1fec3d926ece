#include "physics/PotentialProfile.h"

#include "physics/Complex.h"
#include "physics/Constants.h"
#include "physics/SphereNewton.h"

#include <cmath>

namespace marlinq {

namespace {

struct Core {
    double R, kR, Q;
};

Core coreOf(std::int32_t mp, std::int32_t mm, double zp, double zn, double total_length, double ka) {
    Core c;
    c.Q = complex::netCharge(mp, zp, mm, zn);
    c.R = complex::coreRadius(total_length);
    c.kR = ka * c.R;
    return c;
}

}  // namespace

void PotentialProfile::poissonBoltzmann(const std::int32_t& mp, const std::int32_t& mm, const double& zp,
                                        const double& zn, const double& total_length, const double& ka, double* data0,
                                        double* dis, double bjerrum) {
    const Vtr x = sphere::grid();
    const Core c = coreOf(mp, mm, zp, zn, total_length, ka);
    const double q = complex::sourceStrength(c.Q, c.R, bjerrum);
    std::int32_t counter = 1;
    // The same iteration as the free energy of the complex, without the warning.
    const Vtr u = sphere::solvePotential(x, q, c.kR, &counter);
    for (std::int32_t i = 0; i < sphere::kPoints; ++i) {
        data0[i] = u[i];
        dis[i] = x[i];
    }
}

void PotentialProfile::debyeHueckel(const std::int32_t& mp, const std::int32_t& mm, const double& zp, const double& zn,
                                    const double& total_length, const double& ka, double* data0, double* dis,
                                    double bjerrum) {
    const Vtr x = sphere::grid();
    const Core c = coreOf(mp, mm, zp, zn, total_length, ka);
    const double kR = c.kR;
    const double amp = complex::debyeHueckelAmplitude(c.Q, c.R, kR, bjerrum);
    for (std::int32_t i = 0; i < sphere::kPoints; ++i) {
        const double y = x[i] * kR;
        // The chart's profile keeps the full-precision e (the free energies use 2.71828183).
        data0[i] = complex::debyeHueckelPotential(y, kR, amp, constants::kFullE);
        dis[i] = y / kR;
    }
}

}  // namespace marlinq
