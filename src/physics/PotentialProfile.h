#pragma once
// Radial potential profiles of one complex, for the chart window. The complex's Bjerrum
// length in segment units scales the source (see FreeEnergy.h).

#include "physics/SphericalComplex.h"

namespace marlinq {

class PotentialProfile {
public:
    // Poisson-Boltzmann potential u_i and r_i / Rc on the 401-point grid (0 .. 8 core radii).
    static void poissonBoltzmann(const SphericalComplex& c, double* potential, double* radius);
    // Debye-Hueckel potential on the same grid.
    static void debyeHueckel(const SphericalComplex& c, double* potential, double* radius);
};

}  // namespace marlinq
