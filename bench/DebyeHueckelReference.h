#pragma once
// The Debye-Hueckel free energy of a complex as it was computed before the single-pass
// version in physics/FreeEnergy.cpp: the potential on a grid vector, then the radial
// integral. Kept verbatim (apart from names) so that the benchmark can time the two side by
// side and the tests can compare them over the whole range of the stages' arguments.

#include "kernel/Vtr.h"

#include <cmath>
#include <cstdint>

namespace marlinq::reference {

inline constexpr double kPi = 3.141592387;
inline constexpr double kTwoPi = 6.283184774;
inline constexpr double kFourPi = 12.566369548;
inline constexpr double kFourThirdsPi = 4.188789849333333;
inline constexpr double kEightPi = 25.132739096;
inline constexpr double kOneThird = 0.3333333333333333;
inline constexpr double kE = 2.71828183;
inline constexpr std::int32_t kPoints = 401;
inline constexpr double kStep = (8.0 - 0.0) / 400;

inline double sphereEnergyIntegral(const Vtr& x, const Vtr& u, double drho, double cion, std::int32_t n, double rc) {
    if (n <= 1) return 0.0;
    const double h = x[1] - x[0];
    const double twoCion = 2.0 * cion;
    auto f = [&](std::int32_t i) {
        const double theta = x[i] < rc ? 1.0 : 0.0;
        return (theta * drho - std::sinh(u[i]) * twoCion) * u[i] * x[i] * x[i];
    };
    auto g = [&](std::int32_t i) {
        return ((-u[i] - 1.0) * (std::pow(kE, -u[i]) * cion) + cion) * x[i] * x[i];
    };
    auto k = [&](std::int32_t i) {
        return ((u[i] - 1.0) * (std::pow(kE, u[i]) * cion) + cion) * x[i] * x[i];
    };
    double A = 0.0, B = 0.0, C = 0.0;
    double fPrev = f(0), gPrev = g(0), kPrev = k(0);
    for (std::int32_t i = 1; i <= n - 1; ++i) {
        const double fi = f(i), gi = g(i), ki = k(i);
        A += ((fPrev + fi) * kPi) * h;
        B += ((gPrev + gi) * kTwoPi) * h;
        C += ((kPrev + ki) * kTwoPi) * h;
        fPrev = fi;
        gPrev = gi;
        kPrev = ki;
    }
    return (B + A) + C;
}

inline double freeEnergy_SphereDH(double ka, double qp, double qn, double vcore) {
    Vtr x(kPoints, 0.0);
    for (std::int32_t i = 0; i < kPoints; ++i) x[i] = i * kStep;
    const double Q = qp - qn;
    const double R = std::pow((3.0 * vcore) / kFourPi, kOneThird);
    const double kR = R * ka;
    const double amp = ((Q / R) * 3.0) / (kR * kR);
    Vtr u(kPoints, 0.0);
    for (std::int32_t i = 0; i < kPoints; ++i) {
        const double y = x[i] * kR;  // radius in screening lengths
        if (y < kR) {
            if (y == 0.0)
                u[i] = (1.0 - std::pow(kE, -kR) * (kR + 1.0)) * amp;
            else
                u[i] = (1.0 - ((std::pow(kE, -kR) * (kR + 1.0)) * std::sinh(y)) / y) * amp;
        } else {
            u[i] = (((std::cosh(kR) * kR - std::sinh(kR)) * amp) * std::pow(kE, -y)) / y;
        }
    }
    const double cion = (ka * ka) / kEightPi;
    const double drho = Q / (((R * kFourThirdsPi) * R) * R);
    Vtr r(kPoints, 0.0);
    for (std::int32_t i = 0; i < kPoints; ++i) r[i] = x[i] * R;
    return sphereEnergyIntegral(r, u, drho, cion, kPoints, R);
}

}  // namespace marlinq::reference
