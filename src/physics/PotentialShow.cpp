#include "physics/PotentialShow.h"

#include "physics/SphereNewton.h"

#include <cmath>

namespace marlinq {

namespace {

struct Core {
    double R, kR, Q;
};

Core coreOf(std::int32_t mp, std::int32_t mm, double zp, double zn, double total_length, double ka) {
    Core c;
    c.Q = mp * zp - mm * zn;
    c.R = std::pow((3.0 * total_length) / (4.0 * PotentialShow::PI), 0.3333333333333333);
    c.kR = ka * c.R;
    return c;
}

}  // namespace

void PotentialShow::calculatePotetial(const std::int32_t& mp, const std::int32_t& mm, const double& zp,
                                      const double& zn, const double& total_length, const double& ka, double* data0,
                                      double* dis) {
    const Vtr x = sphere::grid();
    const Core c = coreOf(mp, mm, zp, zn, total_length, ka);
    const double q = c.Q / c.R;
    std::int32_t counter = 1;
    // The same iteration as the free energy of the complex, without the warning.
    const Vtr u = sphere::solvePotential(x, q, c.kR, &counter);
    for (std::int32_t i = 0; i < sphere::kPoints; ++i) {
        data0[i] = u[i];
        dis[i] = x[i];
    }
}

void PotentialShow::calculateDHPotetial(const std::int32_t& mp, const std::int32_t& mm, const double& zp,
                                        const double& zn, const double& total_length, const double& ka, double* data0,
                                        double* dis) {
    const Vtr x = sphere::grid();
    const Core c = coreOf(mp, mm, zp, zn, total_length, ka);
    const double kR = c.kR;
    const double amp = ((c.Q / c.R) * 3.0) / (kR * kR);
    for (std::int32_t i = 0; i < sphere::kPoints; ++i) {
        const double y = x[i] * kR;
        double u;
        if (y < kR) {
            if (y == 0.0)
                u = (1.0 - std::pow(e, -kR) * (kR + 1.0)) * amp;
            else
                u = (1.0 - ((std::pow(e, -kR) * (kR + 1.0)) * std::sinh(y)) / y) * amp;
        } else {
            u = (((std::cosh(kR) * kR - std::sinh(kR)) * amp) * std::pow(e, -y)) / y;
        }
        data0[i] = u;
        dis[i] = y / kR;
    }
}

}  // namespace marlinq
