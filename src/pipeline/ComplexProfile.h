#pragma once
// Radial profiles of one complex (M+, M-) as the chart window shows them: potential
// (and its Debye-Hueckel counterpart), both small-ion densities and the charge density.
// u is the reduced potential e*psi/kT: a cation (charge +1) has the Boltzmann factor
// exp(-u), an anion exp(+u).

#include "physics/ComplexModel.h"
#include "physics/SphericalComplex.h"
#include "pipeline/Parameters.h"
#include <cstdint>
#include <string>
#include <vector>

namespace marlinq {

struct ComplexProfile {
    std::int32_t mp = 0, mm = 0;
    bool dh = false;                    // dhPotential filled
    std::vector<double> potential;      // 401 points, Poisson-Boltzmann u
    std::vector<double> dhPotential;    // 401 points when dh, else empty
    std::vector<double> r;              // r / Rc, 0 .. 8 in steps of 0.02
    std::vector<double> cation_density;  // (kRc)^2 exp(-u)
    std::vector<double> anion_density;   // (kRc)^2 exp(+u)
    std::vector<double> charge_density;
    double Z = 0.0, Rc = 0.0, kRc = 0.0, ka = 0.0;
};

// The profiles of a complex (SphericalComplex: its charges, core, kappa Rc and Bjerrum length).
// overlay: the potential drawn beside the Poisson-Boltzmann one. ProfileGrid::Fine: the
// Poisson-Boltzmann potential of the grid-converged scheme (solved on 1601 points and shown
// at the same 401 radii) instead of the standard 401-point solution.
// A failure of the numerical kernel (a singular Newton Jacobian) throws KernelError; a front
// end shows profileFailureMessage of it.
// The grid of the potential: the program's standard one, or four times finer (the grid of
// converged free energies).
enum class ProfileGrid { Standard, Fine };
ComplexProfile computeComplexProfile(const SphericalComplex& c, ProfileOverlay overlay,
                                     ProfileGrid grid = ProfileGrid::Standard);

// The profile of the complex (mp, mm) of a run with parameters p and chains of these charged
// blocks (the run's charged lengths plen, mlen), as its complex model draws it: the model's
// overlay (the Debye-Hueckel potential beside the Poisson-Boltzmann one for both
// Debye-Hueckel methods) and its accuracy. The very complex the run's landscape holds; what
// every front end charts and writes.
ComplexProfile computeComplexProfile(std::int32_t mp, std::int32_t mm, const Parameters& p, const ChainBlocks& blocks,
                                     const ComplexModel& model);

// "The profile of the complex (MP, MM) could not be computed: a numerical error (MESSAGE)."
std::string profileFailureMessage(std::int32_t mp, std::int32_t mm, const std::string& kernelMessage);

// CSV with a header line and one row per point (the first `points` points): r/Rc, u,
// DH u (only when dh), cation density, anion density, charge density. Point as decimal separator.
std::string formatProfileCsv(const ComplexProfile& p, int points);

}  // namespace marlinq
