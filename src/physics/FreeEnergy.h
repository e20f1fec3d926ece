#pragma once
// Free energies of a single chain (cylinder) and of a spherical complex, in kT.
// Every function is re-entrant: the stages call them from many threads at once.

#include "kernel/Vtr.h"

#include <cstdint>
#include <stop_token>
#include <string>

namespace marlinq {

// The record of one chain solve.
struct returnEntity {
    double eng;          // free energy of the chain, 0.0 when it was not computed
    Vtr y;               // last iterate of y = exp(u), 801 values
    std::int32_t k;      // continuation step index the solve was made for
    returnEntity(double eng_, const Vtr& y_, std::int32_t k_) : eng(eng_), y(y_), k(k_) {}
};

class FreeEnergy {
public:
    virtual ~FreeEnergy() = default;

    // --- single chain ---
    static double intg_chain(const Vtr& u, const Vtr& x, std::int32_t n);
    static returnEntity enc(double gam, double ka, double ki, Vtr& y0, double h, std::int32_t n, std::int32_t k,
                            const Vtr& x, double tol, double length_of_chain, bool last, std::int32_t nulength);
    // NaN when the chain could not be solved; then *diagnostic (when given) receives one line
    // saying so, without a line end. Nothing is written anywhere else.
    // A stop request ends the continuation before its next step (NaN, no diagnostic).
    static double freeEnergy_Chain(double s, double ka, double ki, double length_of_chain, bool minus,
                                   std::int32_t nulength, std::int32_t num, std::string* diagnostic,
                                   std::stop_token stop = {});
    static double freeEnergy_Chain(double s, double ka, double ki, double length_of_chain, bool minus,
                                   std::int32_t nulength, std::int32_t num);

    // --- spherical complex ---
    static double intg_sphere2(const Vtr& x, const Vtr& u, double drho, double cion, std::int32_t n, double rc);
    // *unstable (when given) is set to true when the Newton loop reached its step limit or
    // converged only at one of its last two steps; the last iterate is used either way.
    static double freeEnergy_Sphere(double ka, double qp, double qn, double vcore, bool* unstable);
    static double freeEnergy_Sphere(double ka, double qp, double qn, double vcore);
    // The program's "Debye-Hueckel" energy: the linearised potential put into the full
    // nonlinear functional (intg_sphere2). Far above the linear theory for strongly charged
    // complexes (it can exceed the unscreened self-energy 3 Q^2 / (5 R)).
    static double freeEnergy_SphereDH(double ka, double qp, double qn, double vcore);
    // The free energy of linear Debye-Hueckel theory in closed form: a uniformly charged
    // core of charge Q = qp - qn and radius R (from vcore) with salt of inverse screening
    // length ka inside and outside, lengths in units of the Bjerrum length. With x = ka R,
    //   F = 3 Q^2 / (4 R x^5) [2 x^3 - 3 x^2 + 3 - 3 (1 + x)^2 e^(-2x)],
    // which is half the core charge times the linearised potential integrated over the core;
    // it tends to 3 Q^2 / (5 R) - Q^2 ka / 2 for small x.
    static double freeEnergy_SphereLinearDH(double ka, double qp, double qn, double vcore);
};

}  // namespace marlinq
