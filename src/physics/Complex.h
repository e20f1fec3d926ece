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

// Core radius of that complex.
inline double coreRadius(std::int32_t mp, double plen, std::int32_t mm, double mlen) {
    return coreRadius(coreVolume(mp, plen, mm, mlen));
}

// Net charge of mp '+' chains of charge zp and mm '-' chains of charge zn.
inline double netCharge(std::int32_t mp, double zp, std::int32_t mm, double zn) { return mp * zp - mm * zn; }

// Amplitude 3 Q / (R (kappa R)^2) of the linearised potential of a core of charge Q and radius R.
inline double debyeHueckelAmplitude(double Q, double R, double kR) { return ((Q / R) * 3.0) / (kR * kR); }

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

}  // namespace marlinq::complex
