#pragma once
// Scattering form factors of the shapes a complex and a free chain are made of. q in inverse
// length, radii in the same length; every function is finite at q = 0 (its limit).
//   homogeneous sphere   A(qR) = 3 [sin qR - qR cos qR] / (qR)^3,  P = A^2,  Rg^2 = 3 R^2 / 5
//   Gaussian chain       Debye  P(x) = 2 [exp(-x) - 1 + x] / x^2,  x = q^2 Rg^2
//   chain seen from an end    psi(x) = [1 - exp(-x)] / x  (the amplitude of a Gaussian chain
//                             about the segment it is grafted by)
//   thin shell of radius D   sin(qD) / (qD)
// Block-copolymer micelle (Pedersen and Gerstenberg, Macromolecules 29, 1363 (1996);
// J. S. Pedersen, J. Appl. Cryst. 33, 637 (2000)): a core of excess scattering length Bs and
// chains k of excess scattering length beta_k grafted at distance D = Rc + d Rg (d = 1) from
// the centre,
//   F(q) = Bs^2 A^2 + sum_k beta_k^2 P(q^2 Rg^2) + 2 Bs Bc A S + (Bc^2 - sum_k beta_k^2) S^2,
//   S = psi(q^2 Rg^2) sin(qD)/(qD),  Bc = sum_k beta_k,
// so F(0) = (Bs + Bc)^2. Its Guinier radius (F = F(0) (1 - q^2 Rg^2 / 3 + ...)) is
//   Rg^2 = [Bs (3/5) Rc^2 + Bc (D^2 + 3 Rg_c^2)] / (Bs + Bc)
//          - sum_k beta_k^2 (D^2 + 2 Rg_c^2) / (Bs + Bc)^2,
// the scattering-length-weighted mean square radius less the wandering of the centre of
// mass by the independently placed chains.

namespace marlinq::scattering {

double sphereAmplitude(double qR);
double debye(double x);
double graftedChainAmplitude(double x);
double shellAmplitude(double qD);

// One micelle: a core sphere with its grafted Gaussian chains.
struct Micelle {
    double coreRadius = 0.0;
    double coreBeta = 0.0;         // Bs: excess scattering length of the core
    double chainRg = 0.0;          // Rg of a corona chain (0: no corona)
    double chainBeta = 0.0;        // Bc: the sum over the chains
    double chainBetaSquares = 0.0; // sum_k beta_k^2 over the chains
    double graftDistance() const { return coreRadius + chainRg; }  // D, with d = 1
};

// The terms of F(q): core-core, corona (self and chain-chain) and their cross term.
struct MicelleTerms {
    double core = 0.0, corona = 0.0, cross = 0.0;
    double total() const { return core + corona + cross; }
};
MicelleTerms micelleFormFactor(const Micelle& m, double q);
// The Guinier radius squared of F, as above.
double micelleGuinierRadiusSquared(const Micelle& m);

}  // namespace marlinq::scattering
