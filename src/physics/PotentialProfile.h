#pragma once
// Radial potential profiles of one complex, for the chart window. bjerrum = l_B / a, the
// Bjerrum length in segment units, scales the source (see FreeEnergy.h).

#include <cstdint>

namespace marlinq {

class PotentialProfile {
public:
    // Poisson-Boltzmann potential u_i and r_i / Rc on the 401-point grid (0 .. 8 core radii).
    static void poissonBoltzmann(const std::int32_t& mp, const std::int32_t& mm, const double& zp, const double& zn,
                                 const double& total_length, const double& ka, double* data0, double* dis,
                                 double bjerrum = 1.0);
    // Debye-Hueckel potential on the same grid.
    static void debyeHueckel(const std::int32_t& mp, const std::int32_t& mm, const double& zp, const double& zn,
                             const double& total_length, const double& ka, double* data0, double* dis,
                             double bjerrum = 1.0);
};

}  // namespace marlinq
