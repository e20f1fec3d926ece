#pragma once
// The neutral corona of a complex and the sizes it gives. Lengths in nm.
//
// A complex is a core of radius Rc with f = M+ + M- neutral blocks of N segments of size b
// grafted to it. The corona's segment density falls off as a power of the distance r from
// the centre (Daoud and Cotton, J. Phys. France 43, 531 (1982)), and its outer radius R
// follows from conservation of the f N segments:
//   good solvent (star)         c(r) ~ f^(2/3) r^(-4/3),  R^(5/3) = Rc^(5/3) + alpha_g^(5/3) f^(1/3) N b^(5/3)
//   theta solvent (Gaussian)    c(r) ~ f^(1/2) r^(-1),    R^2     = Rc^2     + alpha_t^2     f^(1/2) N b^2
// Without a core these are the Daoud-Cotton stars, R = alpha_g f^(1/5) N^(3/5) b and
// R = alpha_t f^(1/4) N^(1/2) b. The prefactors: alpha_t = 1/sqrt(3) gives one arm (f = 1) the
// radius of gyration of a Gaussian coil, N b^2 / 6; alpha_g = 0.72 gives one arm of
// poly(ethylene oxide) (b = 0.36 nm, 44 g/mol a segment) the radius of gyration measured in
// water, Rg = 0.0215 M^0.583 nm (Devanand and Selser, Macromolecules 24, 5943 (1991)), to 3 %
// from 200 to 2000 segments.
//
// The corona's mean square radius <r^2> = int r^2 c 4 pi r^2 dr / int c 4 pi r^2 dr, for
// c ~ r^-p between Rc and R:  (3 - p)/(5 - p) (R^(5-p) - Rc^(5-p)) / (R^(3-p) - Rc^(3-p)).
// The complex's radius of gyration from its density profile is the mass-weighted
//   Rg^2 = [M_core (3/5) Rc^2 + M_corona <r^2>] / (M_core + M_corona),
// and its hydrodynamic radius is that of the hard sphere the corona makes of it, R_h = R
// (core plus corona thickness H = R - Rc); a bare core has R_h = Rc.
//
// A free chain is a coil of n segments of mean square size b^2 (the charged and neutral
// segments, each with its size): Rg^2 = n b^2 / 6 in theta solvent, and in good solvent the
// single arm of the star law, Rg^2 = (5/11) alpha_g^2 n^(6/5) b^2; its hydrodynamic radius is
// R_h = Rg / 1.504 (Gaussian coil, Kirkwood) or Rg / 1.56 (good solvent).

namespace marlinq::corona {

enum class Solvent { Good, Theta };

inline constexpr double kGoodSolventPrefactor = 0.72;                // alpha_g
inline constexpr double kThetaSolventPrefactor = 0.5773502691896258;  // alpha_t = 1/sqrt(3)
inline constexpr double kCoilRgOverRhTheta = 1.504;
inline constexpr double kCoilRgOverRhGood = 1.56;

// The density exponent p of c ~ r^-p.
double densityExponent(Solvent solvent);

// The corona of a complex: between the core radius and the outer radius.
struct Profile {
    Solvent solvent = Solvent::Good;
    double coreRadius = 0.0, outerRadius = 0.0;
    double segments = 0.0;  // f N, the segments of the corona
    double thickness() const { return outerRadius - coreRadius; }
    // Segments per volume at r (0 outside the corona).
    double density(double r) const;
    // <r^2> over the corona (Rc^2 when it has no thickness).
    double meanSquareRadius() const;
};

// The corona of f arms of n segments of size b on a core of radius coreRadius.
Profile coronaProfile(double coreRadius, double arms, double armLength, double segmentSize, Solvent solvent);

// Radius of gyration of a complex from its density profile: core of mass coreMass, corona of
// mass coronaMass (any common unit).
double complexRadiusOfGyration(const Profile& p, double coreMass, double coronaMass);

// A free coil of `segments` segments of root mean square size `segmentSize`.
double coilRadiusOfGyration(double segments, double segmentSize, Solvent solvent);
double coilHydrodynamicRadius(double segments, double segmentSize, Solvent solvent);

// The radius of gyration of a Gaussian corona chain that, grafted one Rg outside the core
// (at D = Rc + Rg), has the corona's mean square radius: (D^2 + 3 Rg^2 = <r^2>)
//   Rg = [sqrt(4 <r^2> - 3 Rc^2) - Rc] / 4.
double equivalentChainRg(const Profile& p);

}  // namespace marlinq::corona
