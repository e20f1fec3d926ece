#pragma once
// Radial potential profiles of one complex, for the chart window.

#include <cstdint>

namespace marlinq {

class PotentialProfile {
public:
    // Poisson-Boltzmann potential u_i and r_i / Rc on the 401-point grid (0 .. 8 core radii).
    static void poissonBoltzmann(const std::int32_t& mp, const std::int32_t& mm, const double& zp, const double& zn,
                                 const double& total_length, const double& ka, double* data0, double* dis);
    // Debye-Hueckel potential on the same grid.
    static void debyeHueckel(const std::int32_t& mp, const std::int32_t& mm, const double& zp, const double& zn,
                             const double& total_length, const double& ka, double* data0, double* dis);
};

}  // namespace marlinq
