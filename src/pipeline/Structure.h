#pragma once
// What scattering measures of a distribution: molar masses, sizes with the corona, and the
// intensity I(q). Each complex (M+, M-) is a core of its charged blocks (swollen by water)
// with its M+ + M- neutral blocks as a corona (physics/Corona.h) and scatters as a
// block-copolymer micelle (physics/FormFactors.h); the free chains are coils.
//
// Masses: a '+' chain of molar mass m+ has the share s+ = Np / (Np + N+) of it in its neutral
// block (segments of equal mass); the core holds the rest. The excess scattering length of a
// part is its molar mass times its contrast (core: contrastCore, corona: contrastCorona; 1
// and 1 by default, the polymer against the solvent), so that with unit contrasts every
// species scatters at q = 0 as M^2.
//
// Intensity per concentration: I(q) = sum_i n_i F_i(q) / sum_i n_i M_i over complexes and
// free chains (n_i their number concentrations), in g/mol times contrast squared: the
// Rayleigh ratio over K c of a light-scattering measurement, I(0) the contrast-weighted Mw.

#include "physics/Corona.h"
#include "physics/FormFactors.h"
#include "pipeline/Observables.h"
#include "pipeline/Parameters.h"
#include "pipeline/RunResult.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace marlinq {

struct StructureInputs {
    double molarMassPlus = 0.0, molarMassMinus = 0.0;  // g/mol of a whole chain
    std::optional<double> unitNm;                      // a, the charged segments' size in nm
    std::optional<double> neutralSegmentNm;            // b, the neutral segments' size (a when not given)
    corona::Solvent solvent = corona::Solvent::Good;
    double waterFraction = 0.0;  // of the swollen core: its volume is the dry volume / (1 - phi)
    double contrastCore = 1.0, contrastCorona = 1.0;
    bool hasMolarMasses() const { return molarMassPlus > 0.0 && molarMassMinus > 0.0; }
    bool hasSizes() const { return hasMolarMasses() && unitNm.has_value(); }
    double neutralSegment() const { return neutralSegmentNm.value_or(unitNm.value_or(0.0)); }
};

// The chains of a run, as the structure needs them.
struct ChainLengths {
    double chargedPlus = 0.0, chargedMinus = 0.0;        // N+ and N- (plen, mlen)
    std::int32_t neutralPlus = 0, neutralMinus = 0;      // Np, Nm
};
ChainLengths chainLengthsOf(const RunResult& record);

// One complex.
struct ComplexStructure {
    double molarMass = 0.0;         // g/mol
    double coreRadiusNm = 0.0;      // swollen core
    double coronaThicknessNm = 0.0;
    double hydrodynamicRadiusNm = 0.0;  // core plus corona thickness
    double radiusOfGyrationNm = 0.0;    // from the density profile (mass-weighted)
    scattering::Micelle micelle;        // its form factor, lengths in nm
};
ComplexStructure complexStructure(std::int32_t mp, std::int32_t mm, const ChainLengths& chains,
                                  const StructureInputs& in);

// One free chain.
struct CoilStructure {
    double molarMass = 0.0, beta = 0.0;  // g/mol; excess scattering length
    double radiusOfGyrationNm = 0.0, hydrodynamicRadiusNm = 0.0;
};
CoilStructure coilStructure(int chain, const ChainLengths& chains, const StructureInputs& in);

// The averages of a distribution; NaN where they do not apply (no molar masses, no segment
// size, no complex with a weight).
struct StructureObservables {
    double mn = NAN, mw = NAN, mz = NAN;                          // complexes
    double mnWithFree = NAN, mwWithFree = NAN, mzWithFree = NAN;  // complexes and free chains
    // Dynamic light scattering: [sum n F(0) / R_h / sum n F(0)]^-1 over complexes and free
    // chains (n F(0) = n M^2, c M, with unit contrasts); number and mass averages over the complexes.
    double hydrodynamicRadiusZ = NAN, hydrodynamicRadiusN = NAN, hydrodynamicRadiusW = NAN;
    // Guinier: sqrt(sum n F(0) Rg_F^2 / sum n F(0)) over complexes and free chains, Rg_F the
    // Guinier radius of each one's form factor.
    double radiusOfGyrationZ = NAN;
    // The most probable complex (the observables' most_probable_complex).
    double mostProbableMolarMass = NAN, mostProbableHydrodynamicRadius = NAN, mostProbableCoronaThickness = NAN;
    double mostProbableRadiusOfGyration = NAN;
};
StructureObservables computeStructureObservables(const RunResult& record, const Observables& observables,
                                                 const StructureInputs& in);

// I(q) of a distribution, with the parts: the core terms, the corona terms (chain self and
// chain-chain), the free chains; I - I_core - I_corona - I_free is the core-corona cross term.
struct ScatteringCurve {
    std::vector<double> q, intensity, core, corona, free;
};
// q in 1/nm; needs the molar masses and the segment size (else empty columns).
ScatteringCurve scatteringCurve(const RunResult& record, const StructureInputs& in, const std::vector<double>& q);

// The q values of QMIN:QMAX:COUNT[:log] (evenly or logarithmically spaced, ends included).
std::vector<double> scatteringQ(double qMin, double qMax, std::int64_t count, bool logSpaced);

}  // namespace marlinq
