#pragma once
// Concentrations as an experiment states them: grams of each polymer per litre, or mM of
// the charges the chains carry. The run counts chains per segment volume a^3; with the
// segment size a in nm, the molar masses M+ and M- of the chains (g/mol) and their charges
// q+ and q-:
//   mM of chains      c_mM = 1000 c / (a^3 N_A)             (a^3 in litres)
//   grams per litre   g/L  = (c_mM / 1000) M
//   mM of charges     q c_mM
// A total of both kinds T (in any of these units) and the charge fraction
// f = q+ C+ / (q+ C+ + q- C-) give C+ / C- = f q- / ((1 - f) q+), then each total.

#include "pipeline/MassBalance.h"
#include "pipeline/Parameters.h"

#include <optional>
#include <string>
#include <string_view>

namespace marlinq {

enum class TotalUnit {
    ChainsPerSegmentVolume,  // chains per a^3, as the run counts them
    MillimolarChains,        // mM of chains
    GramsPerLitre,           // g/L of each polymer
    MillimolarCharges,       // mM of the chains' charges
};

// The unit of a sweep name in it (total_gL, total_plus_mM_charge, ...) and the name of the
// same total in chains per a^3; nullopt for a name in no unit of these.
struct TotalName {
    TotalUnit unit;
    std::string_view base;  // total, total_plus or total_minus
};
std::optional<TotalName> totalNameOf(std::string_view name);

// Chains per a^3 of one kind from a value in a unit (molarMass in g/mol, charge in e), and
// back. The chains need the segment size a in nm.
double chainsOfTotal(double value, TotalUnit unit, double unitNm, double molarMass, double charge);
double totalOfChains(double chains, TotalUnit unit, double unitNm, double molarMass, double charge);

// Why a unit can not be used with these parameters ("... needs the molar masses"), else nullopt.
std::optional<std::string> totalUnitProblem(TotalUnit unit, const Parameters& p, std::optional<double> unitNm,
                                            std::string_view what);

// C+ and C- (chains per a^3) from the total of both kinds in a unit and the charge fraction.
MassBalanceTotals totalsFromSumInUnit(double sum, double fraction, TotalUnit unit, double unitNm, const Parameters& p);

}  // namespace marlinq
