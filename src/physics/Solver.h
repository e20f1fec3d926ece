#pragma once
// One Newton step of the two radial Poisson-Boltzmann problems:
//  - sphereStep: a sphere with a uniformly charged core (potential u, radius in core radii),
//    damped step u - 0.5 J^-1 F;
//  - cylinderStep: a uniformly charged cylinder (Boltzmann factor y = exp(u), radius in screening
//    lengths), full step y - J^-1 F.
// Callers own the iteration loop. Both Jacobians are banded and solved in O(n); the
// *Dense variants form the dense Jacobian and invert it, as reference and baseline.

#include "kernel/BandMatrix.h"
#include "kernel/Vtr.h"

#include <cstdint>

namespace marlinq {

class Solver {
public:
    static Vtr sphereStep(const Vtr& x, const Vtr& u, double q, double h, double kappa, std::int32_t n);
    static Vtr cylinderStep(const Vtr& x, const Vtr& y, double h, double k);

    static Vtr sphereStepDense(const Vtr& x, const Vtr& u, double q, double h, double kappa, std::int32_t n);
    static Vtr cylinderStepDense(const Vtr& x, const Vtr& y, double h, double k);

    // Residual and Jacobian of each problem at an iterate (exposed for tests and benchmarks).
    static void assembleSphere(const Vtr& x, const Vtr& u, double q, double h, double kappa, std::int32_t n,
                               Vtr& F, BandMatrix& J);
    static void assembleCylinder(const Vtr& x, const Vtr& y, double h, double k, Vtr& F, BandMatrix& J);
};

}  // namespace marlinq
