#pragma once
// Physical units. Lengths are in segment units a, and the electrostatics take the Bjerrum
// length l_B equal to a. With a given in nm, ka stands for a 1:1 salt of molar
// concentration c_s through kappa^2 = 8 pi l_B N_A c_s, kappa = ka / a, l_B = a.

namespace marlinq {

inline constexpr double kAvogadro = 6.02214076e23;  // 1/mol

// Salt concentration in mmol/L that ka stands for, with the segment size a in nm.
double saltMillimolar(double ka, double unitNm);
// ka of a salt concentration in mmol/L, with the segment size a in nm.
double kaOfSaltMillimolar(double saltMM, double unitNm);

}  // namespace marlinq
