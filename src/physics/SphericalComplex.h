#pragma once
// One spherical complex as every model, profile and observable sees it: M+ '+' chains and
// M- '-' chains whose charged blocks form a dense core. The composition, the charges, the
// core volume and radius, kappa R and the Bjerrum length are formed here once.
//
// Lengths are in segment units (the segment size a = 1). The core holds one segment volume
// per charged segment; a swollen core holds water besides, a volume fraction phi of it, so
// its volume is the dry volume / (1 - phi). The Bjerrum length lambda = l_B / a enters the
// electrostatics of every model (lambda = 1: l_B equals the segment size).

#include "physics/Complex.h"

#include <cstdint>

namespace marlinq {

// The two kinds of chain as a complex is built of them: charge and charged length of one
// chain of each kind.
struct ChainBlocks {
    double chargePlus = 0.0, chargeMinus = 0.0;  // zp, zn (both positive numbers)
    double lengthPlus = 0.0, lengthMinus = 0.0;  // charged segments of one chain
};

// The solution and the state of the core, the same for every complex of a run.
struct ComplexConditions {
    double ka = 0.0;             // kappa a, the inverse screening length in segment units
    double bjerrum = 1.0;        // lambda = l_B / a
    double waterFraction = 0.0;  // volume fraction of water in the core, 0 <= phi < 1
};

struct SphericalComplex {
    std::int32_t mp = 0, mm = 0;
    double chargePlus = 0.0;   // M+ zp
    double chargeMinus = 0.0;  // M- zn
    double charge = 0.0;       // net bare charge Z = M+ zp - M- zn
    double dryVolume = 0.0;    // M+ N+ + M- N-
    double coreVolume = 0.0;   // dryVolume / (1 - phi)
    double radius = 0.0;       // Rc = (3 V / 4 pi)^(1/3)
    double ka = 0.0;
    double kappaR = 0.0;       // kappa Rc
    double bjerrum = 1.0;

    std::int32_t chains() const { return mp + mm; }

    static SphericalComplex of(std::int32_t mp, std::int32_t mm, const ChainBlocks& blocks,
                               const ComplexConditions& conditions) {
        SphericalComplex c;
        c.mp = mp;
        c.mm = mm;
        c.chargePlus = mp * blocks.chargePlus;
        c.chargeMinus = mm * blocks.chargeMinus;
        c.charge = c.chargePlus - c.chargeMinus;
        c.dryVolume = complex::coreVolume(mp, blocks.lengthPlus, mm, blocks.lengthMinus);
        // phi = 0 divides by exactly 1: the dry core to the bit.
        c.coreVolume = c.dryVolume / (1.0 - conditions.waterFraction);
        c.radius = complex::coreRadius(c.coreVolume);
        c.ka = conditions.ka;
        c.kappaR = c.radius * conditions.ka;
        c.bjerrum = conditions.bjerrum;
        return c;
    }
};

// Salt concentration (ion pairs per a^3) of a 1:1 salt of screening parameter ka:
// (kappa a)^2 = 8 pi lambda c_s a^3.
inline double saltConcentration(double ka, double bjerrum) {
    return (ka * ka) / constants::kEightPi / bjerrum;
}

}  // namespace marlinq
