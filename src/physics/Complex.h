#pragma once
// The shared formulas of one spherical complex: its core radius, its net charge and the
// linearised (Debye-Hueckel) potential of a uniformly charged core. The free energies, the
// potential profiles and the stages take them from here so that each exists once.

#include <cmath>
#include <cstdint>

namespace marlinq::complex {

// Radius of a sphere of volume vcore, with the program's rounded 4 pi = 12.566369548.
inline double coreRadius(double vcore) { return std::pow((3.0 * vcore) / 12.566369548, 0.3333333333333333); }

// Net charge of mp '+' chains of charge zp and mm '-' chains of charge zn.
inline double netCharge(std::int32_t mp, double zp, std::int32_t mm, double zn) { return mp * zp - mm * zn; }

// Amplitude 3 Q / (R (kappa R)^2) of the linearised potential of a core of charge Q and radius R.
inline double debyeHueckelAmplitude(double Q, double R, double kR) { return ((Q / R) * 3.0) / (kR * kR); }

// Linearised potential at y = kappa r (radius in screening lengths) around a uniformly
// charged core of kR = kappa R, with amp from debyeHueckelAmplitude. The exponentials are
// `base` raised to a power: the free energies use the rounded 2.71828183, the displayed
// profile was defined with the full-precision e = 2.718281828459045 and keeps it.
inline double debyeHueckelPotential(double y, double kR, double amp, double base) {
    if (y < kR) {
        if (y == 0.0) return (1.0 - std::pow(base, -kR) * (kR + 1.0)) * amp;
        return (1.0 - ((std::pow(base, -kR) * (kR + 1.0)) * std::sinh(y)) / y) * amp;
    }
    return (((std::cosh(kR) * kR - std::sinh(kR)) * amp) * std::pow(base, -y)) / y;
}

}  // namespace marlinq::complex
