#pragma once
// Free energies of a single chain (cylinder) and of a spherical complex, in kT.
// Every function is re-entrant: the stages call them from many threads at once.
//
// Lengths are in segments (a), charges in e. `bjerrum` is the Bjerrum length in segment units,
// lambda = l_B / a (1 by default: l_B = a, water at 25 C with a = 0.714 nm). It enters the
// fixed-charge source of every Poisson-Boltzmann problem (4 pi lambda times the fixed charge
// density) and the salt, c_s a^3 = (kappa a)^2 / (8 pi lambda); every energy term in kT then
// carries 1 / lambda at fixed potential, so that F(lambda, Z) = F(1, lambda Z) / lambda for a
// complex and f(lambda, xi) = f(1, lambda xi) / lambda per length of a chain (the logarithmic
// neutral-block term of a chain is no electrostatics and does not scale). With lambda = 1
// every function gives the bits it gave before lambda existed.

#include "kernel/Vtr.h"

#include <cstdint>
#include <stop_token>
#include <string>

namespace marlinq {

// The record of one chain solve.
struct ChainSolve {
    double eng;          // free energy of the chain, 0.0 when it was not computed
    Vtr y;               // last iterate of y = exp(u), 801 values
    std::int32_t k;      // continuation step index the solve was made for
    ChainSolve(double eng_, const Vtr& y_, std::int32_t k_) : eng(eng_), y(y_), k(k_) {}
};

class FreeEnergy {
public:
    virtual ~FreeEnergy() = default;

    // --- single chain ---
    static double intg_chain(const Vtr& u, const Vtr& x, std::int32_t n);
    static ChainSolve enc(double gam, double ka, double ki, Vtr& y0, double h, std::int32_t n, std::int32_t k,
                            const Vtr& x, double tol, double length_of_chain, bool last, std::int32_t nulength,
                            double bjerrum = 1.0);
    // NaN when the chain could not be solved; then *diagnostic (when given) receives one line
    // saying so, without a line end. Nothing is written anywhere else.
    // A stop request ends the continuation before its next step (NaN, no diagnostic).
    // The energy is even in ki and the same for either kind of chain (`minus` is not read):
    // identical '+' and '-' chains give the same bits.
    static double freeEnergy_Chain(double s, double ka, double ki, double length_of_chain, bool minus,
                                   std::int32_t nulength, std::int32_t num, std::string* diagnostic,
                                   std::stop_token stop = {}, double bjerrum = 1.0);
    static double freeEnergy_Chain(double s, double ka, double ki, double length_of_chain, bool minus,
                                   std::int32_t nulength, std::int32_t num, double bjerrum = 1.0);

    // --- spherical complex ---
    static double sphereEnergyIntegral(const Vtr& x, const Vtr& u, double drho, double cion, std::int32_t n, double rc);
    // *unstable (when given) is set to true when the Newton loop reached its step limit or
    // converged only at one of its last two steps; the last iterate is used either way.
    static double freeEnergy_Sphere(double ka, double qp, double qn, double vcore, bool* unstable,
                                    double bjerrum = 1.0);
    static double freeEnergy_Sphere(double ka, double qp, double qn, double vcore, double bjerrum = 1.0);
    // The program's "Debye-Hueckel" energy: the linearised potential put into the full
    // nonlinear functional (sphereEnergyIntegral). Far above the linear theory for strongly charged
    // complexes (it can exceed the unscreened self-energy 3 Q^2 / (5 R)).
    static double freeEnergy_SphereDH(double ka, double qp, double qn, double vcore, double bjerrum = 1.0);
    // The free energy of linear Debye-Hueckel theory in closed form: a uniformly charged
    // core of charge Q = qp - qn and radius R (from vcore) with salt of inverse screening
    // length ka inside and outside, lengths in segments. With x = ka R and lambda = bjerrum,
    //   F = 3 lambda Q^2 / (4 R x^5) [2 x^3 - 3 x^2 + 3 - 3 (1 + x)^2 e^(-2x)],
    // which is half the core charge times the linearised potential integrated over the core;
    // it tends to lambda (3 Q^2 / (5 R) - Q^2 ka / 2) for small x.
    static double freeEnergy_SphereLinearDH(double ka, double qp, double qn, double vcore, double bjerrum = 1.0);
};

}  // namespace marlinq
