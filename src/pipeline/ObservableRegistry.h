#pragma once
// Every observable a front end shows, once: its name (the summary's JSON key, the sweep
// CSV's column, Python's name), its label and unit for people, and how its value is read
// off the Observables of a run. The summary, the sweep CSV, the Python module, the
// Observables tab and the sweep window's choice of observable all iterate this table.
//
// Adding an observable is a row here reading a field of Observables (computed by
// computeObservables). Rows without the segment size come first in every output, then those that need it, each
// group in the order of the table.

#include "pipeline/Observables.h"
#include "pipeline/Structure.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace marlinq {

// What a value is read from: the observables of one run, the ka the run used and the
// segment size a in nm when one is given.
struct ObservableInputs {
    const Observables& observables;
    double ka = 0.0;
    std::optional<double> unitNm;
    double bjerrum = 1.0;  // lambda = l_B / a of the run (the salt a ka stands for)
    // Molar masses and sizes, when the molar masses are given.
    const StructureObservables* structure = nullptr;
};

enum class ObservableShape {
    Number,  // one real; NaN where there is none (JSON null, an empty CSV field)
    Cell,    // a complex (M+, M-): a JSON pair, two whole-number CSV columns NAME_mp, NAME_mm
};

struct ObservableDef {
    std::string_view name;         // JSON key, CSV column (a cell: the stem of its two columns)
    std::string_view label;        // for people: "Mean M+"
    std::string_view unit;         // "" for a pure number; "a" for lengths in segment sizes, "e", "nm", "mM"
    std::string_view description;  // one sentence: tooltips and docstrings
    ObservableShape shape = ObservableShape::Number;
    bool needsUnitNm = false;      // only when the segment size in nm is given
    bool inSweepTable = true;      // a column of the sweep CSV (and of Python's sweep table)
    // Number: the value, NaN where there is none.
    double (*number)(const ObservableInputs&) = nullptr;
    // Cell: the complex, nullopt where there is none.
    std::optional<MapCell> (*cell)(const Observables&) = nullptr;
    // Cell: the cells tied for it when there is a tie (the summary's NAME_ties), else empty.
    const std::vector<MapCell>& (*ties)(const Observables&) = nullptr;
    // Only when the chains' molar masses are given (observablesOfStructure); with needsUnitNm
    // also the segment size.
    bool needsMolarMass = false;

    // "Mean core radius (a)": the label with its unit, as captions and axis titles show it.
    std::string caption() const;
};

// The table, in output order.
std::span<const ObservableDef> observableRegistry();
// The row named name; nullptr when there is none.
const ObservableDef* findObservable(std::string_view name);
// The rows an output with or without the segment size holds, in output order: those that
// need no unit, then (with a unit) those that do.
std::vector<const ObservableDef*> observablesInOutput(bool withUnit);
// The rows that need the molar masses (and with a unit, those that also need it), in
// output order; they follow the others in every output that holds them.
std::vector<const ObservableDef*> observablesOfStructure(bool withUnit);

// One numeric column of a sweep table: a Number row, or one half of a Cell row.
struct ObservableColumn {
    std::string name;   // "mean_mp", "most_probable_mp"
    std::string label;  // "Mean M+", "Most probable M+"
    std::string unit;
    std::string caption() const { return unit.empty() ? label : label + " (" + unit + ")"; }
    bool whole = false; // an aggregation number: written as a whole number
    const ObservableDef* def = nullptr;
    int part = 0;       // of a Cell: 0 for M+, 1 for M-
    // The column's value; NaN where there is none.
    double value(const ObservableInputs& in) const;
};
// The columns of every row of a sweep table (inSweepTable), with or without the unit.
// withStructure: also those of the molar masses and sizes (observablesOfStructure).
std::vector<ObservableColumn> observableColumns(bool withUnit, bool withStructure = false);

}  // namespace marlinq
