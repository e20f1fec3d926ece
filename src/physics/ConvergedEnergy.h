#pragma once
// Free energies converged in the grid: the limit that the program's standard discretisation
// (401 points for a complex, 801 for a chain, Newton stopped at a change of 0.01) approaches
// as the grid is refined and the Newton loop is run to the end. Same model, same boundary
// conditions and the same rounded constants; only the discretisation error is removed, and,
// at low salt, the cut-off of the domain: a complex whose 8 core radii hold fewer than 8
// screening lengths (kappa R < 1) is solved out to 8 screening lengths (whole core radii,
// the same step), where the standard domain would lose up to 1 % of the energy at 1 mM.
//
// Complex: the source and the core charge at the grid point on the core surface count half
// (the standard grid counts them as outside, an error of first order in the step), so the
// scheme is of second order; full Newton steps to a change below 1e-12 (or to the rounding
// floor); grids of 401, 801, 1601 points, and 3201 and 6401 when needed.
//
// Chain: the same problem on a grid uniform in the logarithm of the radius (which resolves
// the counterion layer, ka / xi thick, at a strongly charged chain): continuation in the
// charge on 401 points, then full Newton steps to a change below 1e-12 on 401, 801, 1601
// points and up to 25601 when needed, each started from the coarser solution.
//
// Each grid halves the step; Richardson's extrapolation of each pair of successive grids
// (second order) gives a value, and refinement stops once the last two values agree to
// 2e-5 of the value. The error estimate is that difference: the last value is expected to
// be several times closer to the limit than the one before.

#include <cstdint>
#include <stop_token>
#include <vector>

namespace marlinq {

struct ConvergedEnergy {
    double value;          // free energy in kT
    double errorEstimate;  // absolute, kT
    // false when the finest grid was reached before two extrapolations agreed to the
    // target: value and errorEstimate are then the best reached, not the target's.
    bool targetMet = true;
};

// The arguments are those of FreeEnergy::freeEnergy_Sphere; at most `grids` grids (401,
// 801, ... points) are solved.
// bjerrum = l_B / a in every function here, as in FreeEnergy.
ConvergedEnergy convergedSphereEnergy(double ka, double qp, double qn, double vcore, std::int32_t grids = 5,
                                      double bjerrum = 1.0);

// The arguments are those of FreeEnergy::freeEnergy_Chain (the logarithmic term is added as
// there); NaN in both fields when the continuation finds no profile, or when stop was
// requested (looked at between solves).
ConvergedEnergy convergedChainEnergy(double s, double ka, double ki, double length_of_chain, std::int32_t nulength,
                                     std::stop_token stop = {}, double bjerrum = 1.0);

// The Debye-Hueckel free energy (linearised potential, the same functional) converged in the
// quadrature: the potential is exact, so only the integral is refined, with the surface
// point's core charge counted half.
ConvergedEnergy convergedDebyeHueckelEnergy(double ka, double qp, double qn, double vcore, double bjerrum = 1.0);

namespace converged {

// The Poisson-Boltzmann potential u of the second-order scheme on n points from 0 to 8 core
// radii ((n - 1) a multiple of 8), fully converged; empty when the solve failed.
std::vector<double> spherePotential(double ka, double qp, double qn, double vcore, std::int32_t n,
                                    double bjerrum = 1.0);

// The second-order complex energy on a grid of n points, (n - 1) a multiple of 8.
double sphereEnergy(double ka, double qp, double qn, double vcore, std::int32_t n, double bjerrum = 1.0);

// The chain energy per unit length of the standard scheme (Boltzmann factor on a grid even
// in r) on n points, (n - 1) a multiple of 800, Newton run to the end from the converged
// profile; NaN when no monotone profile was found. An independent check of the converged
// chain.
double chainEnergyPerLength(double ka, double ki, std::int32_t n, double bjerrum = 1.0);

}  // namespace converged

}  // namespace marlinq
