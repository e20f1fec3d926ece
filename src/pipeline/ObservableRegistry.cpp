#include "pipeline/ObservableRegistry.h"

#include "pipeline/Units.h"

#include <array>
#include <cmath>

namespace marlinq {

namespace {

using Shape = ObservableShape;
using In = ObservableInputs;

// A length in nm from one in segment sizes; NaN without the unit.
double inNm(double segments, const In& in) { return in.unitNm ? segments * *in.unitNm : NAN; }
// Chains per segment volume in mM of chains; NaN without the unit.
double inMillimolar(double c, const In& in) { return in.unitNm ? chainsMillimolar(c, *in.unitNm) : NAN; }

const std::array kRegistry{
    ObservableDef{"most_probable", "Most probable", "",
                  "The cell with the largest concentration over the whole map, lone chains included (on a tie the "
                  "first in row order; the tie is reported)",
                  Shape::Cell, false, true, nullptr, [](const Observables& o) { return o.mostProbable; },
                  [](const Observables& o) -> const std::vector<MapCell>& { return o.mostProbableTies; }},
    ObservableDef{"mean_mp", "Mean M+", "",
                  "Number average of M+ over the complexes (M+ >= 1 and M- >= 1): sum M+ c / sum c", Shape::Number,
                  false, true, [](const In& in) { return in.observables.meanMp; }},
    ObservableDef{"mean_mm", "Mean M-", "", "Number average of M- over the complexes: sum M- c / sum c",
                  Shape::Number, false, true, [](const In& in) { return in.observables.meanMm; }},
    ObservableDef{"mass_average_aggregation", "Mass-average M", "",
                  "Mass-average aggregation number over the complexes: sum (M+ + M-)^2 c / sum (M+ + M-) c",
                  Shape::Number, false, true, [](const In& in) { return in.observables.massAverageAggregation; }},
    ObservableDef{"bound_fraction_plus", "Bound '+' chains", "",
                  "Fraction of the '+' chains in complexes: sum M+ c / (sum M+ c + c+)", Shape::Number, false, true,
                  [](const In& in) { return in.observables.boundFractionPlus; }},
    ObservableDef{"bound_fraction_minus", "Bound '-' chains", "",
                  "Fraction of the '-' chains in complexes: sum M- c / (sum M- c + c-)", Shape::Number, false, true,
                  [](const In& in) { return in.observables.boundFractionMinus; }},
    ObservableDef{"mean_net_charge", "Mean net charge", "e",
                  "Mean net charge of the complexes, sum (M+ q+ - M- q-) c / sum c, in elementary charges",
                  Shape::Number, false, true, [](const In& in) { return in.observables.meanNetCharge; }},
    ObservableDef{"mean_core_radius", "Mean core radius", "a",
                  "Mean core radius of the complexes, sum Rc c / sum c, in segment sizes a", Shape::Number, false,
                  true, [](const In& in) { return in.observables.meanCoreRadius; }},
    ObservableDef{"core_radius", "Rc of the most probable", "a",
                  "Core radius Rc of the most probable complex, in segment sizes a", Shape::Number, false, false,
                  [](const In& in) { return in.observables.mostProbableCoreRadius; }},
    ObservableDef{"most_probable_share", "Share of the most probable", "",
                  "Share of the distribution the most probable cell holds", Shape::Number, false, true,
                  [](const In& in) {
                      const Observables& o = in.observables;
                      return o.mostProbable ? o.mostProbableShare : NAN;
                  }},
    ObservableDef{"free_plus", "Free '+' chains c+", "",
                  "Concentration of the free '+' chains, chains per segment volume a^3 (solved in total mode)",
                  Shape::Number, false, true, [](const In& in) { return in.observables.freePlus; }},
    ObservableDef{"free_minus", "Free '-' chains c-", "",
                  "Concentration of the free '-' chains, chains per segment volume a^3 (solved in total mode)",
                  Shape::Number, false, true, [](const In& in) { return in.observables.freeMinus; }},
    ObservableDef{"total_plus", "Total '+' chains C+", "",
                  "All '+' chains, free and in complexes, sum M+ c per segment volume (given in total mode, implied "
                  "by the free chains otherwise)",
                  Shape::Number, false, true, [](const In& in) { return in.observables.totalPlus; }},
    ObservableDef{"total_minus", "Total '-' chains C-", "",
                  "All '-' chains, free and in complexes, sum M- c per segment volume (given in total mode, implied "
                  "by the free chains otherwise)",
                  Shape::Number, false, true, [](const In& in) { return in.observables.totalMinus; }},
    ObservableDef{"charge_fraction", "Charge fraction f", "",
                  "Share of the '+' charges among all chain charges, q+ C+ / (q+ C+ + q- C-): 1/2 at charge "
                  "stoichiometry",
                  Shape::Number, false, true, [](const In& in) { return in.observables.chargeFraction; }},
    ObservableDef{"mass_balance_residual", "Mass-balance residual", "",
                  "Largest relative miss of the given totals by the distribution (0 when the free chains are given)",
                  Shape::Number, false, true, [](const In& in) { return in.observables.massBalanceResidual; }},
    ObservableDef{"critical_concentration", "Critical concentration T*", "",
                  "Total mode: the total C+ + C- at the run's charge fraction where half of the scarcer chains are "
                  "in complexes (the larger bound fraction reaches 1/2); NaN when not crossed between 1e-20 and 1",
                  Shape::Number, false, true, [](const In& in) { return in.observables.criticalConcentration; }},
    ObservableDef{"most_probable_complex", "Most probable complex", "",
                  "The complex (M+ >= 1 and M- >= 1) with the largest concentration, lone chains left out (on a tie "
                  "the first in row order; the tie is reported)",
                  Shape::Cell, false, true, nullptr, [](const Observables& o) { return o.mostProbableComplex; },
                  [](const Observables& o) -> const std::vector<MapCell>& { return o.mostProbableComplexTies; }},
    ObservableDef{"salt_mM", "1:1 salt", "mM",
                  "The 1:1 salt concentration ka stands for (needs the segment size a in nm)", Shape::Number, true,
                  true, [](const In& in) { return in.unitNm ? saltMillimolar(in.ka, *in.unitNm, in.bjerrum) : NAN; }},
    ObservableDef{"core_radius_nm", "Rc of the most probable", "nm",
                  "Core radius of the most probable complex in nm (needs the segment size a)", Shape::Number, true,
                  true, [](const In& in) { return inNm(in.observables.mostProbableCoreRadius, in); }},
    ObservableDef{"mean_core_radius_nm", "Mean core radius", "nm",
                  "Mean core radius of the complexes in nm (needs the segment size a)", Shape::Number, true, true,
                  [](const In& in) { return inNm(in.observables.meanCoreRadius, in); }},
    ObservableDef{"free_plus_mM", "Free '+' chains c+", "mM",
                  "Free '+' chains in mM of chains, c+ / (a^3 N_A) (needs the segment size a)", Shape::Number, true,
                  true, [](const In& in) { return inMillimolar(in.observables.freePlus, in); }},
    ObservableDef{"free_minus_mM", "Free '-' chains c-", "mM",
                  "Free '-' chains in mM of chains, c- / (a^3 N_A) (needs the segment size a)", Shape::Number, true,
                  true, [](const In& in) { return inMillimolar(in.observables.freeMinus, in); }},
    ObservableDef{"total_plus_mM", "Total '+' chains C+", "mM",
                  "All '+' chains in mM of chains, C+ / (a^3 N_A) (needs the segment size a)", Shape::Number, true,
                  true, [](const In& in) { return inMillimolar(in.observables.totalPlus, in); }},
    ObservableDef{"total_minus_mM", "Total '-' chains C-", "mM",
                  "All '-' chains in mM of chains, C- / (a^3 N_A) (needs the segment size a)", Shape::Number, true,
                  true, [](const In& in) { return inMillimolar(in.observables.totalMinus, in); }},
    ObservableDef{"critical_concentration_mM", "Critical concentration T*", "mM",
                  "The critical concentration in mM of chains, T* / (a^3 N_A) (needs the segment size a)",
                  Shape::Number, true, true,
                  [](const In& in) { return inMillimolar(in.observables.criticalConcentration, in); }},
    // Of the molar masses and sizes: Structure.h.
    ObservableDef{"molar_mass_mn", "Mn of the complexes", "g/mol",
                  "Number-average molar mass of the complexes, sum n M / sum n (needs the molar masses)",
                  Shape::Number, false, true, [](const In& in) { return in.structure ? in.structure->mn : NAN; },
                  nullptr, nullptr, true},
    ObservableDef{"molar_mass_mw", "Mw of the complexes", "g/mol",
                  "Weight-average molar mass of the complexes, sum n M^2 / sum n M (needs the molar masses)",
                  Shape::Number, false, true, [](const In& in) { return in.structure ? in.structure->mw : NAN; },
                  nullptr, nullptr, true},
    ObservableDef{"molar_mass_mz", "Mz of the complexes", "g/mol",
                  "z-average molar mass of the complexes, sum n M^3 / sum n M^2 (needs the molar masses)",
                  Shape::Number, false, true, [](const In& in) { return in.structure ? in.structure->mz : NAN; },
                  nullptr, nullptr, true},
    ObservableDef{"molar_mass_mn_with_free", "Mn with free chains", "g/mol",
                  "Number-average molar mass of complexes and free chains together (needs the molar masses)",
                  Shape::Number, false, true,
                  [](const In& in) { return in.structure ? in.structure->mnWithFree : NAN; }, nullptr, nullptr, true},
    ObservableDef{"molar_mass_mw_with_free", "Mw with free chains", "g/mol",
                  "Weight-average molar mass of complexes and free chains together, what static light scattering "
                  "gives at q -> 0 (needs the molar masses)",
                  Shape::Number, false, true,
                  [](const In& in) { return in.structure ? in.structure->mwWithFree : NAN; }, nullptr, nullptr, true},
    ObservableDef{"molar_mass_mz_with_free", "Mz with free chains", "g/mol",
                  "z-average molar mass of complexes and free chains together (needs the molar masses)",
                  Shape::Number, false, true,
                  [](const In& in) { return in.structure ? in.structure->mzWithFree : NAN; }, nullptr, nullptr, true},
    ObservableDef{"hydrodynamic_radius_z_nm", "R_h (DLS, z-average)", "nm",
                  "Hydrodynamic radius as dynamic light scattering reports it: the inverse of the z-averaged 1/R_h, "
                  "weights c M, complexes and free chains (needs the molar masses and the segment size)",
                  Shape::Number, true, true,
                  [](const In& in) { return in.structure ? in.structure->hydrodynamicRadiusZ : NAN; }, nullptr,
                  nullptr, true},
    ObservableDef{"hydrodynamic_radius_n_nm", "R_h (number average)", "nm",
                  "Number-average hydrodynamic radius of the complexes, core plus corona (needs the molar masses "
                  "and the segment size)",
                  Shape::Number, true, true,
                  [](const In& in) { return in.structure ? in.structure->hydrodynamicRadiusN : NAN; }, nullptr,
                  nullptr, true},
    ObservableDef{"hydrodynamic_radius_w_nm", "R_h (mass average)", "nm",
                  "Mass-average hydrodynamic radius of the complexes, sum n M R_h / sum n M (needs the molar masses "
                  "and the segment size)",
                  Shape::Number, true, true,
                  [](const In& in) { return in.structure ? in.structure->hydrodynamicRadiusW : NAN; }, nullptr,
                  nullptr, true},
    ObservableDef{"radius_of_gyration_z_nm", "R_g (Guinier, z-average)", "nm",
                  "Radius of gyration of the Guinier law of I(q): the z-average over complexes and free chains "
                  "(needs the molar masses and the segment size)",
                  Shape::Number, true, true,
                  [](const In& in) { return in.structure ? in.structure->radiusOfGyrationZ : NAN; }, nullptr,
                  nullptr, true},
    ObservableDef{"hydrodynamic_radius_nm", "R_h of the most probable", "nm",
                  "Hydrodynamic radius of the most probable complex, core radius plus corona thickness (needs the "
                  "molar masses and the segment size)",
                  Shape::Number, true, true,
                  [](const In& in) { return in.structure ? in.structure->mostProbableHydrodynamicRadius : NAN; },
                  nullptr, nullptr, true},
    ObservableDef{"corona_thickness_nm", "Corona of the most probable", "nm",
                  "Corona thickness of the most probable complex (needs the molar masses and the segment size)",
                  Shape::Number, true, true,
                  [](const In& in) { return in.structure ? in.structure->mostProbableCoronaThickness : NAN; },
                  nullptr, nullptr, true},
};

}  // namespace

std::string ObservableDef::caption() const {
    std::string s(label);
    if (shape == ObservableShape::Cell) return s + " (M+, M-)";
    if (!unit.empty()) ((s += " (") += unit) += ')';
    return s;
}

std::span<const ObservableDef> observableRegistry() { return kRegistry; }

const ObservableDef* findObservable(std::string_view name) {
    for (const ObservableDef& d : kRegistry)
        if (d.name == name) return &d;
    return nullptr;
}

std::vector<const ObservableDef*> observablesInOutput(bool withUnit) {
    std::vector<const ObservableDef*> rows;
    for (const ObservableDef& d : kRegistry)
        if (!d.needsUnitNm && !d.needsMolarMass) rows.push_back(&d);
    if (withUnit)
        for (const ObservableDef& d : kRegistry)
            if (d.needsUnitNm && !d.needsMolarMass) rows.push_back(&d);
    return rows;
}

std::vector<const ObservableDef*> observablesOfStructure(bool withUnit) {
    std::vector<const ObservableDef*> rows;
    for (const ObservableDef& d : kRegistry)
        if (d.needsMolarMass && (withUnit || !d.needsUnitNm)) rows.push_back(&d);
    return rows;
}

double ObservableColumn::value(const ObservableInputs& in) const {
    if (def->shape == ObservableShape::Number) return def->number(in);
    const std::optional<MapCell> c = def->cell(in.observables);
    if (!c) return NAN;
    return part == 0 ? c->first : c->second;
}

std::vector<ObservableColumn> observableColumns(bool withUnit, bool withStructure) {
    std::vector<ObservableColumn> columns;
    std::vector<const ObservableDef*> rows = observablesInOutput(withUnit);
    if (withStructure)
        for (const ObservableDef* d : observablesOfStructure(withUnit)) rows.push_back(d);
    for (const ObservableDef* d : rows) {
        if (!d->inSweepTable) continue;
        if (d->shape == ObservableShape::Number) {
            columns.push_back(ObservableColumn{std::string(d->name), std::string(d->label), std::string(d->unit), false, d, 0});
            continue;
        }
        for (int part = 0; part < 2; ++part) {
            const char* side = part == 0 ? "mp" : "mm";
            const char* axis = part == 0 ? " M+" : " M-";
            columns.push_back(ObservableColumn{std::string(d->name) + "_" + side, std::string(d->label) + axis,
                                               std::string(d->unit), true, d, part});
        }
    }
    return columns;
}

}  // namespace marlinq
