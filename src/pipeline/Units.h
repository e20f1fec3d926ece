#pragma once
// Physical units. Lengths are in segment units a; the Bjerrum length is l_B = lambda a
// (lambda = 1 unless a run gives its own). With a given in nm, ka stands for a 1:1 salt of
// molar concentration c_s through kappa^2 = 8 pi l_B N_A c_s, kappa = ka / a.

#include <string>

namespace marlinq {

inline constexpr double kAvogadro = 6.02214076e23;  // 1/mol

// The segment sizes a front end takes, in nm: a polymer segment is between a hundredth of a
// nanometre and a hundred nanometres; outside that the salt of a ka is no physics (and
// underflows or overflows on the way).
inline constexpr double kUnitNmMin = 0.01;
inline constexpr double kUnitNmMax = 100.0;
bool unitNmAllowed(double unitNm);
// "... between 0.01 and 100 nm": the reason a segment size is refused, after its option name.
std::string unitNmRange();

// Salt concentration in mmol/L that ka stands for, with the segment size a in nm and the
// Bjerrum length lambda a.
double saltMillimolar(double ka, double unitNm, double bjerrum = 1.0);
// ka of a salt concentration in mmol/L, with the segment size a in nm.
double kaOfSaltMillimolar(double saltMM, double unitNm, double bjerrum = 1.0);

// The Bjerrum length l_B = e^2 / (4 pi eps0 epsr kB T) in nm of a solvent of relative
// permittivity epsr at temperature T (K): e^2 / (4 pi eps0) = 1.43996448 eV nm and
// kB = 8.617333262e-5 eV/K (CODATA 2018). Water at 298.15 K (epsr 78.54): 0.7136 nm.
double bjerrumLengthNm(double temperatureK, double permittivity);
inline constexpr double kRoomTemperatureK = 298.15;
inline constexpr double kWaterPermittivity = 78.54;
// A surface tension in mN/m as kT per a^2, with a in nm and T in K: gamma a^2 / (kB T),
// kB = 1.380649e-23 J/K (at 298.15 K and a = 0.714 nm one kT per a^2 is 8.07 mN/m).
double surfaceTensionPerSegmentArea(double milliNewtonPerMetre, double unitNm, double temperatureK);

// Concentrations of chains. The weights of the distribution count chains per segment volume
// a^3; with a in nm, c chains per a^3 are c / (a^3 N_A) mol/L of chains.
double chainsMillimolar(double perSegmentVolume, double unitNm);
double chainsPerSegmentVolume(double millimolar, double unitNm);

}  // namespace marlinq
