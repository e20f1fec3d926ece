#include "physics/FormFactors.h"

#include <cmath>

namespace marlinq::scattering {

namespace {
// Below these arguments the closed forms lose digits to cancellation; their series are
// exact to rounding there.
constexpr double kSphereSeries = 1e-2;
constexpr double kChainSeries = 1e-3;
}  // namespace

double sphereAmplitude(double qR) {
    const double x2 = qR * qR;
    if (std::fabs(qR) < kSphereSeries)  // 1 - x^2/10 + x^4/280 - x^6/15120
        return 1.0 - x2 / 10.0 + x2 * x2 / 280.0 - x2 * x2 * x2 / 15120.0;
    return 3.0 * (std::sin(qR) - qR * std::cos(qR)) / (x2 * qR);
}

double debye(double x) {
    if (std::fabs(x) < kChainSeries)  // 1 - x/3 + x^2/12 - x^3/60
        return 1.0 - x / 3.0 + x * x / 12.0 - x * x * x / 60.0;
    return 2.0 * (std::expm1(-x) + x) / (x * x);
}

double graftedChainAmplitude(double x) {
    if (std::fabs(x) < kChainSeries)  // 1 - x/2 + x^2/6 - x^3/24
        return 1.0 - x / 2.0 + x * x / 6.0 - x * x * x / 24.0;
    return -std::expm1(-x) / x;
}

double shellAmplitude(double qD) {
    if (std::fabs(qD) < kSphereSeries) {
        const double x2 = qD * qD;
        return 1.0 - x2 / 6.0 + x2 * x2 / 120.0 - x2 * x2 * x2 / 5040.0;
    }
    return std::sin(qD) / qD;
}

MicelleTerms micelleFormFactor(const Micelle& m, double q) {
    MicelleTerms t;
    const double a = sphereAmplitude(q * m.coreRadius);
    t.core = m.coreBeta * m.coreBeta * a * a;
    if (m.chainBeta == 0.0) return t;
    const double x = q * q * m.chainRg * m.chainRg;
    // Debye's function and psi from one exponential where neither takes its series.
    double debyeX = 0.0, psiX = 0.0;
    if (std::fabs(x) < kChainSeries) {
        debyeX = debye(x);
        psiX = graftedChainAmplitude(x);
    } else {
        const double e = std::expm1(-x);
        debyeX = 2.0 * (e + x) / (x * x);
        psiX = -e / x;
    }
    const double s = psiX * shellAmplitude(q * m.graftDistance());
    t.corona = m.chainBetaSquares * debyeX + (m.chainBeta * m.chainBeta - m.chainBetaSquares) * s * s;
    t.cross = 2.0 * m.coreBeta * m.chainBeta * a * s;
    return t;
}

double micelleGuinierRadiusSquared(const Micelle& m) {
    const double b = m.coreBeta + m.chainBeta;
    const double d2 = m.graftDistance() * m.graftDistance(), g2 = m.chainRg * m.chainRg;
    const double mean = (m.coreBeta * 0.6 * m.coreRadius * m.coreRadius + m.chainBeta * (d2 + 3.0 * g2)) / b;
    return mean - m.chainBetaSquares * (d2 + 2.0 * g2) / (b * b);
}

}  // namespace marlinq::scattering
