#pragma once
// Free energies of a single chain (cylinder) and of a spherical complex, in kT.
// Every function is re-entrant: the stages call them from many threads at once.

#include "kernel/Vtr.h"

#include <cstdint>

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
    // NaN when the chain could not be solved (a diagnostic line on standard output says so).
    static double freeEnergy_Chain(double s, double ka, double ki, double length_of_chain, bool minus,
                                   std::int32_t nulength, std::int32_t num);

    // --- spherical complex ---
    static double intg_sphere2(const Vtr& x, const Vtr& u, double drho, double cion, std::int32_t n, double rc);
    static double freeEnergy_Sphere(double ka, double qp, double qn, double vcore);
    // The same; *unstable (when given) is set when the Newton iteration hit its step limit.
    static double freeEnergy_Sphere(double ka, double qp, double qn, double vcore, bool* unstable);
    static double freeEnergy_SphereDH(double ka, double qp, double qn, double vcore);
};

}  // namespace marlinq
