#pragma once
// The single-pass Debye-Hueckel free energy as it was before the per-volume cache of the
// potential's shape and the shared sums of mirror complexes, kept verbatim (bjerrum = 1) for
// the benchmark (bench/debye_hueckel.cpp) that measures what they gain. Every number it
// gives is the program's to the bit.

#include "physics/Complex.h"
#include "physics/Constants.h"
#include "physics/SphereNewton.h"

#include <cmath>
#include <cstdint>

namespace marlinq::reference::singlePass {

using namespace marlinq::constants;

struct Core {
    double Q, R, kR;
};

inline Core coreOf(double ka, double qp, double qn, double vcore) {
    Core c;
    c.Q = qp - qn;
    c.R = complex::coreRadius(vcore);
    c.kR = c.R * ka;
    return c;
}

// The energy integral in reduced densities: the salt of each species bjerrum c_s a^3 =
// (kappa a)^2 / (8 pi) and the core's bjerrum rho; the energy in kT is the integral over
// bjerrum.
inline double reducedCoreDensity(const Core& c, double bjerrum) {
    return (bjerrum * c.Q) / (((c.R * kFourThirdsPi) * c.R) * c.R);
}

// Potentials |u| below 2^-10 (the far field of most complexes): 2.71828183^(+-u) is rounded
// once from a double-double evaluation of its series, which is what the library's power
// returns there but for about one argument in 60 000 (one ulp apart then).
inline constexpr double kSeriesBelow = 0x1p-10;
// 2.71828183^-y is below the smallest subnormal beyond y = 746 and rounds to 0.
inline constexpr double kPowerUnderflow = 746.0;
// Once the outer potential has fallen below 2^-30 its factor e^-y follows a product of
// constant ratios (restarted from the library's power every 32 points), a few ulp away from
// the power itself. Such a |u| changes the rounding of (u -+ 1) e^(+-u) + 1 with a chance of
// a few 1e-9 per point, and sinh(u) u only below 1e-30 of the energy.
inline constexpr double kRatioBelow = 0x1p-30;
inline constexpr std::int32_t kPowerRestart = 32;
// ln of the double nearest 2.71828183, as an unevaluated sum of two doubles.
inline constexpr double kLnEHi = 0x1.000000026f4c2p+0;
inline constexpr double kLnELo = -0x1.3b1563cd1fe51p-54;

// Dekker's exact product a * b = p + returned error (no fused multiply-add needed).
inline double productError(double a, double b, double p) {
    constexpr double kSplit = 134217729.0;  // 2^27 + 1
    const double ca = kSplit * a, cb = kSplit * b;
    const double ah = ca - (ca - a), al = a - ah;
    const double bh = cb - (cb - b), bl = b - bh;
    return ((ah * bh - p) + ah * bl + al * bh) + al * bl;
}

// 2.71828183^u and 2.71828183^-u for |u| < 2^-10: the series of e^(+-s) to s^6 (the next
// term is below 2^-82), s = u ln(2.71828183) = p + sLow in two doubles, 1 +- p exact in two,
// each rounded once. Below 2^-66 both are 1 (as the library's power returns them).
inline void smallPowers(double u, double* plus, double* minus) {
    if (std::fabs(u) < 0x1p-66) {
        *plus = 1.0;
        *minus = 1.0;
        return;
    }
    const double p = u * kLnEHi;
    const double sLow = productError(u, kLnEHi, p) + u * kLnELo;
    const double p2 = p * p;
    const double even = p2 * (0.5 + p2 * (1.0 / 24.0 + p2 * (1.0 / 720.0))) + p * sLow;
    const double odd = p * (p2 * (1.0 / 6.0 + p2 * (1.0 / 120.0))) + sLow;
    const double Sp = 1.0 + p;
    const double Sm = 1.0 - p;
    const double errP = (1.0 - Sp) + p;  // 1 + p = Sp + errP exactly
    const double errM = (1.0 - Sm) - p;  // 1 - p = Sm + errM exactly
    *plus = Sp + (errP + (even + odd));
    *minus = Sm + (errM + (even - odd));
}

inline double freeEnergy_SphereDH(double ka, double qp, double qn, double vcore) {
    const double bjerrum = 1.0;
    const Core c = coreOf(ka, qp, qn, vcore);
    const double R = c.R;
    const double kR = c.kR;
    const double amp = complex::debyeHueckelAmplitude(c.Q, R, kR, bjerrum);
    const double cion = (ka * ka) / kEightPi;
    const double drho = reducedCoreDensity(c, bjerrum);
    const double twoCion = 2.0 * cion;
    const complex::DebyeHueckelFactors dh = complex::debyeHueckelFactors(kR, amp, kE);
    const double h = (1 * sphere::kStep) * R - (0 * sphere::kStep) * R;
    const double ratio = std::pow(kE, -(sphere::kStep * kR));  // e^-y from one point to the next

    double fPrev = 0.0, gPrev = 0.0, kPrev = 0.0;
    double A = 0.0, B = 0.0, C = 0.0;
    double power = 0.0;  // 2.71828183^-y at the previous point
    bool farField = false;
    std::int32_t sinceRestart = 0;
    for (std::int32_t i = 0; i < sphere::kPoints; ++i) {
        const double x = i * sphere::kStep;
        const double y = x * kR;
        double u;
        if (y < kR) {
            u = complex::debyeHueckelInside(dh, y);
        } else {
            if (y > kPowerUnderflow) {
                power = 0.0;
            } else if (farField && sinceRestart < kPowerRestart) {
                power *= ratio;
                ++sinceRestart;
            } else {
                power = std::pow(kE, -y);
                sinceRestart = 0;
            }
            u = complex::debyeHueckelOutside(dh, y, power);
            farField = std::fabs(u) < kRatioBelow;
        }
        const double r = x * R;
        const double theta = r < R ? 1.0 : 0.0;
        const double a = std::fabs(u);
        double sh, minus, plus;  // sinh(u), 2.71828183^-u, 2.71828183^u
        if (a < kSeriesBelow) {
            sh = a < 0x1p-28 ? u : std::sinh(u);  // the library returns u below 2^-28
            smallPowers(u, &plus, &minus);
        } else {
            sh = std::sinh(u);
            minus = std::pow(kE, -u);
            plus = std::pow(kE, u);
        }
        const double fi = (theta * drho - sh * twoCion) * u * r * r;
        const double gi = ((-u - 1.0) * (minus * cion) + cion) * r * r;
        const double ki = ((u - 1.0) * (plus * cion) + cion) * r * r;
        if (i > 0) {
            A += ((fPrev + fi) * kPi) * h;
            B += ((gPrev + gi) * kTwoPi) * h;
            C += ((kPrev + ki) * kTwoPi) * h;
        }
        fPrev = fi;
        gPrev = gi;
        kPrev = ki;
    }
    return (B + A) + C;
}

}  // namespace marlinq::reference::singlePass
