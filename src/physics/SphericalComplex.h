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

    // lambda rho, the core's uniform charge density in the reduced units of the energy
    // integrals (rho = Z / (4 pi Rc^3 / 3)).
    double reducedChargeDensity() const {
        return (bjerrum * charge) / (((radius * constants::kFourThirdsPi) * radius) * radius);
    }

    static SphericalComplex of(std::int32_t mp, std::int32_t mm, const ChainBlocks& blocks,
                               const ComplexConditions& conditions) {
        const double dry = complex::coreVolume(mp, blocks.lengthPlus, mm, blocks.lengthMinus);
        // phi = 0 divides by exactly 1: the dry core to the bit.
        SphericalComplex c = ofCore(mp * blocks.chargePlus, mm * blocks.chargeMinus,
                                    dry / (1.0 - conditions.waterFraction), conditions.ka, conditions.bjerrum);
        c.mp = mp;
        c.mm = mm;
        c.dryVolume = dry;
        return c;
    }

    // A complex as the energy and profile functions receive it: the charges of its '+' and
    // '-' chains (M+ zp, M- zn) and its core volume (the composition is not known).
    static SphericalComplex ofCore(double chargePlus, double chargeMinus, double coreVolume, double ka,
                                   double bjerrum) {
        SphericalComplex c;
        c.chargePlus = chargePlus;
        c.chargeMinus = chargeMinus;
        c.charge = chargePlus - chargeMinus;
        c.dryVolume = coreVolume;
        c.shapeCore(coreVolume, ka, bjerrum);
        return c;
    }

private:
    void shapeCore(double volume, double screening, double lambda) {
        coreVolume = volume;
        radius = complex::coreRadius(volume);
        ka = screening;
        kappaR = radius * screening;
        bjerrum = lambda;
    }
};

// lambda c_s a^3 = (kappa a)^2 / (8 pi): the salt of a 1:1 electrolyte of screening
// parameter ka in the reduced units of the energy integrals (c_s itself at lambda = 1).
inline double reducedSaltConcentration(double ka) { return (ka * ka) / constants::kEightPi; }

// Salt concentration (ion pairs per a^3) of a 1:1 salt of screening parameter ka:
// (kappa a)^2 = 8 pi lambda c_s a^3.
inline double saltConcentration(double ka, double bjerrum) { return reducedSaltConcentration(ka) / bjerrum; }

}  // namespace marlinq
