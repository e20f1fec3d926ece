#pragma once
// The shared formulas of one spherical complex: its core radius, its net charge and the
// linearised (Debye-Hueckel) potential of a uniformly charged core. The free energies, the
// potential profiles and the stages take them from here so that each exists once.

#include "physics/Constants.h"

#include <cmath>
#include <cstdint>

namespace marlinq::complex {

// Radius of a sphere of volume vcore, with the program's rounded 4 pi = 12.566369548.
inline double coreRadius(double vcore) {
    return std::pow((3.0 * vcore) / constants::kFourPi, constants::kOneThird);
}

// Volume of the core of mp '+' chains of charged length plen and mm '-' chains of charged
// length mlen: the total charged length, one segment volume per charged segment.
inline double coreVolume(std::int32_t mp, double plen, std::int32_t mm, double mlen) { return mm * mlen + mp * plen; }

// (A complex is formed from these in one place: SphericalComplex.h.)

// The fixed-charge source of the Poisson-Boltzmann equation of a complex in reduced units,
// u'' + (2/x) u' = (kappa R)^2 sinh u - 3 q theta(1 - x) with x = r / R: a uniformly charged
// core of charge Q (in e) and radius R (in segments) gives 4 pi bjerrum rho R^2 = 3 q with
// q = bjerrum Q / R, where bjerrum = l_B / a is the Bjerrum length in segment units.
inline double sourceStrength(double Q, double R, double bjerrum = 1.0) { return (bjerrum * Q) / R; }

// Amplitude 3 bjerrum Q / (R (kappa R)^2) of the linearised potential of a core of charge Q
// and radius R (bjerrum = l_B / a).
inline double debyeHueckelAmplitude(double Q, double R, double kR, double bjerrum = 1.0) {
    return ((sourceStrength(Q, R, bjerrum)) * 3.0) / (kR * kR);
}

// Linearised potential of a uniformly charged core of kR = kappa R at y = kappa r (radius in
// screening lengths), with amp from debyeHueckelAmplitude:
//   inside  (y < kR): (1 - base^-kR (kR + 1) sinh(y) / y) amp   (at y = 0: 1 - base^-kR (kR + 1))
//   outside:          (kR cosh kR - sinh kR) amp base^-y / y
// The exponentials are `base` raised to a power: the free energies use the rounded
// 2.71828183; the displayed profile was defined with the full-precision e = 2.718281828459045
// and keeps it.
struct DebyeHueckelFactors {
    double amp;
    double inner;  // base^-kR (kR + 1)
    double outer;  // (cosh(kR) kR - sinh(kR)) amp
};

inline DebyeHueckelFactors debyeHueckelFactors(double kR, double amp, double base) {
    return {amp, std::pow(base, -kR) * (kR + 1.0), (std::cosh(kR) * kR - std::sinh(kR)) * amp};
}

// Inside the core, y < kR.
inline double debyeHueckelInside(const DebyeHueckelFactors& f, double y) {
    if (y == 0.0) return (1.0 - f.inner) * f.amp;
    return (1.0 - (f.inner * std::sinh(y)) / y) * f.amp;
}

// Outside the core, y >= kR, given base^-y.
inline double debyeHueckelOutside(const DebyeHueckelFactors& f, double y, double basePowerMinusY) {
    return (f.outer * basePowerMinusY) / y;
}

inline double debyeHueckelPotential(double y, double kR, double amp, double base) {
    const DebyeHueckelFactors f = debyeHueckelFactors(kR, amp, base);
    return y < kR ? debyeHueckelInside(f, y) : debyeHueckelOutside(f, y, std::pow(base, -y));
}

// Reduced surface potential e psi(R) / kT of the linearised solution for a core of charge Q,
// radius R and kR = kappa R: (kR cosh kR - sinh kR) amp e^-kR / kR, formed from e^-2kR so
// that no large core overflows. The linearisation stands for |u| well below 1; the free
// energy of the Debye-Hueckel stage evaluates its ideal terms (sinh u) on this potential,
// which beyond kDebyeHueckelPotentialBound gives numbers that are no physics (orders of
// magnitude above the linear energy).
inline constexpr double kDebyeHueckelPotentialBound = 10.0;
inline double debyeHueckelSurfacePotential(double Q, double R, double kR, double bjerrum = 1.0) {
    const double amp = debyeHueckelAmplitude(Q, R, kR, bjerrum);
    const double e2 = std::exp(-2.0 * kR);
    return amp * (kR * (1.0 + e2) - (1.0 - e2)) / (2.0 * kR);
}

}  // namespace marlinq::complex
