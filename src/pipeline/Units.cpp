#include "pipeline/Units.h"

#include "physics/Constants.h"

#include <cmath>

namespace marlinq {

namespace {
// One mol/L is N_A per 10^24 nm^3.
constexpr double kPerNm3PerMolar = kAvogadro * 1e-24;

// 8 pi l_B N_A per mol/L, in nm^-2 per (mol/L).
double kappaSquaredPerMolar(double bjerrumNm) { return constants::kEightPi * bjerrumNm * kPerNm3PerMolar; }
}  // namespace

bool unitNmAllowed(double unitNm) { return unitNm >= kUnitNmMin && unitNm <= kUnitNmMax; }

std::string unitNmRange() { return "the segment size in nm, from 0.01 to 100"; }

double saltMillimolar(double ka, double unitNm, double bjerrum) {
    const double kappa = ka / unitNm;  // 1/nm
    return 1000.0 * kappa * kappa / kappaSquaredPerMolar(unitNm * bjerrum);
}

double kaOfSaltMillimolar(double saltMM, double unitNm, double bjerrum) {
    return std::sqrt(kappaSquaredPerMolar(unitNm * bjerrum) * (saltMM / 1000.0)) * unitNm;
}

double bjerrumLengthNm(double temperatureK, double permittivity) {
    constexpr double kCoulombEvNm = 1.43996448;      // e^2 / (4 pi eps0), eV nm
    constexpr double kBoltzmannEv = 8.617333262e-5;  // eV / K
    return kCoulombEvNm / (permittivity * kBoltzmannEv * temperatureK);
}

double surfaceTensionPerSegmentArea(double milliNewtonPerMetre, double unitNm, double temperatureK) {
    constexpr double kBoltzmann = 1.380649e-23;  // J / K
    const double area = unitNm * unitNm * 1e-18;  // m^2
    return milliNewtonPerMetre * 1e-3 * area / (kBoltzmann * temperatureK);
}

double chainsMillimolar(double perSegmentVolume, double unitNm) {
    const double litresPerSegment = unitNm * unitNm * unitNm * 1e-24;
    return 1000.0 * perSegmentVolume / (litresPerSegment * kAvogadro);
}

double chainsPerSegmentVolume(double millimolar, double unitNm) {
    const double litresPerSegment = unitNm * unitNm * unitNm * 1e-24;
    return millimolar / 1000.0 * litresPerSegment * kAvogadro;
}

}  // namespace marlinq
