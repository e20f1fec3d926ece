#include "pipeline/ConcentrationUnits.h"

#include "pipeline/Units.h"

namespace marlinq {

std::optional<TotalName> totalNameOf(std::string_view name) {
    struct Entry {
        std::string_view name;
        TotalName total;
    };
    static constexpr Entry kNames[] = {
        {"total_gL", {TotalUnit::GramsPerLitre, "total"}},
        {"total_plus_gL", {TotalUnit::GramsPerLitre, "total_plus"}},
        {"total_minus_gL", {TotalUnit::GramsPerLitre, "total_minus"}},
        {"total_mM_charge", {TotalUnit::MillimolarCharges, "total"}},
        {"total_plus_mM_charge", {TotalUnit::MillimolarCharges, "total_plus"}},
        {"total_minus_mM_charge", {TotalUnit::MillimolarCharges, "total_minus"}},
    };
    for (const Entry& e : kNames)
        if (e.name == name) return e.total;
    return std::nullopt;
}

double chainsOfTotal(double value, TotalUnit unit, double unitNm, double molarMass, double charge) {
    switch (unit) {
    case TotalUnit::ChainsPerSegmentVolume: return value;
    case TotalUnit::MillimolarChains: return chainsPerSegmentVolume(value, unitNm);
    case TotalUnit::GramsPerLitre: return chainsPerSegmentVolume(1000.0 * value / molarMass, unitNm);
    case TotalUnit::MillimolarCharges: return chainsPerSegmentVolume(value / charge, unitNm);
    }
    return value;
}

double totalOfChains(double chains, TotalUnit unit, double unitNm, double molarMass, double charge) {
    switch (unit) {
    case TotalUnit::ChainsPerSegmentVolume: return chains;
    case TotalUnit::MillimolarChains: return chainsMillimolar(chains, unitNm);
    case TotalUnit::GramsPerLitre: return chainsMillimolar(chains, unitNm) / 1000.0 * molarMass;
    case TotalUnit::MillimolarCharges: return chainsMillimolar(chains, unitNm) * charge;
    }
    return chains;
}

std::optional<std::string> totalUnitProblem(TotalUnit unit, const Parameters& p, std::optional<double> unitNm,
                                            std::string_view what) {
    if (unit == TotalUnit::ChainsPerSegmentVolume) return std::nullopt;
    if (!unitNm || !unitNmAllowed(*unitNm)) return std::string(what) + " needs " + unitNmRange() + " (--unit-nm)";
    if (unit == TotalUnit::GramsPerLitre && !(p.molarMassPlus > 0.0 && p.molarMassMinus > 0.0))
        return std::string(what) + " needs the molar masses of both chains (--molar-mass M+,M-: molar_mass_plus, "
                                   "molar_mass_minus)";
    if (unit == TotalUnit::MillimolarCharges && !(p.zp > 0.0 && p.zn > 0.0))
        return std::string(what) + " needs charged chains (zp and zn above 0)";
    return std::nullopt;
}

MassBalanceTotals totalsFromSumInUnit(double sum, double fraction, TotalUnit unit, double unitNm, const Parameters& p) {
    if (unit == TotalUnit::ChainsPerSegmentVolume) return totalsFromChargeFraction(sum, fraction, p.zp, p.zn);
    // The amount of each kind in the unit, u+ = w+ C+ and u- = w- C- (w: 1, M or q per chain);
    // C+ / C- = f q- / ((1 - f) q+) fixes the split of u+ + u- = sum.
    const double ratio = fraction * p.zn / ((1.0 - fraction) * p.zp);  // C+ / C-
    const double wPlus = unit == TotalUnit::GramsPerLitre ? p.molarMassPlus : unit == TotalUnit::MillimolarCharges ? p.zp : 1.0;
    const double wMinus = unit == TotalUnit::GramsPerLitre ? p.molarMassMinus : unit == TotalUnit::MillimolarCharges ? p.zn : 1.0;
    const double minusInUnit = sum * wMinus / (ratio * wPlus + wMinus);
    const double plusInUnit = sum - minusInUnit;
    return {chainsOfTotal(plusInUnit, unit, unitNm, p.molarMassPlus, p.zp),
            chainsOfTotal(minusInUnit, unit, unitNm, p.molarMassMinus, p.zn)};
}

}  // namespace marlinq
