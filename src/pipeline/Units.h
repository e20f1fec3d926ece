#pragma once
// Physical units. Lengths are in segment units a, and the electrostatics take the Bjerrum
// length l_B equal to a. With a given in nm, ka stands for a 1:1 salt of molar
// concentration c_s through kappa^2 = 8 pi l_B N_A c_s, kappa = ka / a, l_B = a.

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

// Salt concentration in mmol/L that ka stands for, with the segment size a in nm.
double saltMillimolar(double ka, double unitNm);
// ka of a salt concentration in mmol/L, with the segment size a in nm.
double kaOfSaltMillimolar(double saltMM, double unitNm);

// Concentrations of chains. The weights of the distribution count chains per segment volume
// a^3; with a in nm, c chains per a^3 are c / (a^3 N_A) mol/L of chains.
double chainsMillimolar(double perSegmentVolume, double unitNm);
double chainsPerSegmentVolume(double millimolar, double unitNm);

}  // namespace marlinq
