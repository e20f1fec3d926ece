#pragma once
// Every parameter of a calculation, described once: the name a parameter file, a sweep, the
// summary and Python give it, its type, the check "Solve" makes of it with its message, where
// its value lives and its start-up value. The parameter file, validation, sweeps, the
// summary, the Python module and the window's fields all work from this table, so a new
// parameter is one row here (and its widget in the window).
//
// A chain's charge q, charged length N and charge density xi = q / N are tied: one rule
// (applyParameterValues) says what changing one of them keeps.

#include "files/ParameterFile.h"
#include "pipeline/Parameters.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace marlinq {

// A parameter set as the window's fields hold it: the physical values and the charged
// block lengths, which the file stores only through the charge densities.
struct ParameterSet {
    Parameters params;
    double plen = 72.0, mlen = 72.0;
    // Total mode: the totals C+ and C- of '+' and '-' chains (free and in complexes) set the
    // concentrations; the free chains vc10 and vc01 then follow from the mass balance.
    bool totalMode = false;
    double totalPlus = 0.0, totalMinus = 0.0;
};

inline constexpr const char* kWrongParameterFile = "Some input parameters are wrong, please check it.";

// What a row's value is: a plain value of Parameters, one of a chain's charge, charged
// length and charge density, or a total of one kind of chain (ParameterSet::totalPlus,
// totalMinus; chain 0 the '+' chains).
enum class ParameterRole { Plain, Charge, Length, Density, Total };

struct ParameterRow {
    std::string_view key;    // file key, sweep name, key of the summary, Python attribute
    std::string_view alias;  // Python's snake_case name for it (the key itself when it has none)
    bool integer = false;
    bool inFile = true;      // a line of the parameter file (the charged lengths are not)
    // A line only of a file saved in total mode, written before the file's last line: a file
    // saved in free mode holds none, and a reader that does not know the key still finds a
    // known key on the last line.
    bool totalModeOnly = false;
    // A parameter of the model beyond the program's first thirteen: a line of a file only
    // when its value is not the start-up value, written before the file's last line (so a
    // file of the first model stays as it always was), and its start-up value where a front
    // end has no field for it.
    bool modelParameter = false;
    ParameterRole role = ParameterRole::Plain;
    int chain = 0;           // of a charge, length or density: 0 the '+' chain, 1 the '-' chain
    double Parameters::*real = nullptr;         // the member a real fills (lengths: none)
    std::int32_t Parameters::*whole = nullptr;  // the member an integer fills
    double startup = 0.0;    // the window's start-up value

    // The check of "Solve", made in the order of the window's fields (check: position; 0 for
    // a value the window has no field for).
    int check = 0;
    const char* unreadable = nullptr;  // "Solve" on a field that does not read as a number
    bool lenient = false;              // the window reads it leniently (unreadable counts as 0)
    double lo = -std::numeric_limits<double>::infinity();
    double hi = std::numeric_limits<double>::infinity();
    const char* outOfRange = nullptr;  // accepted when lo <= value <= hi (NaN is not)
    std::string_view above;            // must exceed this key's value, else outOfRange
};

// The rows, in the order of the parameter file (then the charged lengths, then the totals,
// which a file holds before its last line).
std::span<const ParameterRow> parameterSchema();
// The rows with a check, in the order "Solve" checks them (the window's field order).
std::span<const ParameterRow* const> parameterRowsInCheckOrder();
// The row named key or alias; nullptr when there is none.
const ParameterRow* findParameter(std::string_view name);
// The keys of a file saved in free mode, in the writer's order (those of every file).
std::span<const ParameterKey> parameterFileKeys();
// Those and the keys of total mode, which a reader looks for too (in the schema's order).
std::span<const ParameterKey> parameterFileKeysWithTotals();

// xi = q / N, the charge density of a chain.
inline double chargeDensity(double charge, double length) { return charge / length; }

// The length of a charged block from its charge and charge density. A quotient within a
// relative 1e-9 of a whole number is that number (72 / (72 / 72.0) written with 15 digits
// may read back as 71.99999999999999); any other is truncated (72.9 gives 72). nullopt when
// the quotient is not finite or does not fit 32 bits.
std::optional<std::int32_t> recoverChargedLength(double charge, double density);

// A real as the window's fields and the parameter file show it: 15 significant digits.
double asShown(double v);

// The start-up values.
Parameters startupParameters();
ParameterSet startupParameterSet();

// The value of a row in a set (a density is q / N of the set).
double parameterValue(const ParameterSet& set, const ParameterRow& row);

// Writes a value into what a row fills, as it is (no rule; a density sets the member only).
void setParameterMember(ParameterSet& set, const ParameterRow& row, double value);

// The lines of a set's file in the writer's order: every key of free mode, and in total
// mode the totals just before the last line.
struct ParameterFileLines {
    std::vector<ParameterKey> keys;
    std::vector<double> values;
};
ParameterFileLines parameterFileLines(const ParameterSet& set);
// The values of the lines of free mode, in the order of parameterFileKeys().
std::vector<double> parameterFileValues(const ParameterSet& set);
std::string formatParameterSet(const ParameterSet& set);
// Writes the set's file atomically; false with "PATH: reason" in error.
bool writeParameterSet(const std::string& path, const ParameterSet& set, std::string& error);

// One named value to apply.
struct ParameterValue {
    const ParameterRow* row;
    double value;
};

// Applies values over a set, whatever their order, by the one rule of the charges:
//   a charge (zp, zn) keeps the chain's charge density, so its charged length follows,
//     N = q / xi recovered as above (same density, longer chain), unless the length is
//     given too (same chain, more charge);
//   a charge density (kiplus, kiminus) keeps the charge; N = q / xi, recovered;
//   a charged length (plen, mlen) keeps the charge; the density follows;
//   a total (total_plus, total_minus) puts the set in total mode; entering it, a total not
//     given is the free concentration of its kind (vc10 or vc01).
// Reals other than lengths and densities are kept with 15 digits; integers must be whole.
// Returns why the values cannot be applied; the set is then unchanged.
struct ParameterRefusal {
    enum class Kind { NoLength, LengthAndDensity, NotWhole } kind;
    std::string reason;
};
std::optional<ParameterRefusal> applyParameterValues(ParameterSet& set, std::span<const ParameterValue> values);

// Names a front end takes beside the rows: a row's value in another unit (salt_mM sets ka,
// bjerrum_nm sets bjerrum, total_plus_mM sets total_plus, ...) or a quantity both totals
// follow from (total, charge_fraction and the total in a unit). Sweep names, Python keywords
// and the command line's totals all come through these; each sets the row `sets` ("total"
// and "charge_fraction": both totals).
struct DerivedName {
    std::string_view name;
    std::string_view sets;
    bool needsUnit = false;     // needs the segment size a in nm
    std::string_view meaning;   // what a help text says of it
};
std::span<const DerivedName> derivedNames();
const DerivedName* findDerivedName(std::string_view name);

// One named value: a row's key or alias, or a derived name.
struct Assignment {
    std::string_view name;
    double value;
};
struct AssignmentContext {
    std::optional<double> unitNm;  // the segment size a in nm, for the names in mM, g/L and nm
    bool solvedChains = false;     // the chains are solved: ka (and the salt) down to kLowestSolvedKa
};
// Why assignments cannot be applied, beside the refusals of applyParameterValues.
struct AssignmentRefusal {
    enum class Kind { Values, UnknownName, NeedsUnit, SaltOutOfRange, Totals } kind;
    std::string reason;
    std::optional<ParameterRefusal> values;  // Kind::Values: the refusal of applyParameterValues
};
// Applies named values over a set, the one way every front end does (the command line's
// totals and Bjerrum length, Python's keywords and totals, a sweep's point, the window's
// totals):
//   the rows' values, and the names in another unit converted to their rows, by
//     applyParameterValues (reals with the 15 digits a file keeps; a total puts the set in
//     total mode);
//   salt_mM at the set's Bjerrum length, once the rows are applied, its ka with 15 digits
//     and inside the range of ka (solved chains: from kLowestSolvedKa);
//   a total of one kind in g/L or mM of charges, with the set's molar masses and charges;
//   the total T = C+ + C- (in any unit) and the charge fraction f: both totals, each with 15
//     digits; the one of T and f not given keeps the set's value (its totals, or in free
//     mode its free chains as totals).
// The set is unchanged when nullopt is not returned.
std::optional<AssignmentRefusal> applyAssignments(ParameterSet& set, std::span<const Assignment> values,
                                                  const AssignmentContext& context);

// The fields "Solve" validates, one per row of the schema in its order (the window's field
// read as a number; nullopt when it did not read; rows without a field are not looked at).
using InputFields = std::vector<std::optional<double>>;
InputFields inputFieldsOf(const ParameterSet& set);
// The position of key's row in the schema (key must be one).
std::size_t parameterIndex(std::string_view key);

inline constexpr std::int64_t kMaxCells = 4000000;
inline constexpr std::int32_t kMaxAggregation = 100000;

// Validates in the window's field order, writing each value into params as soon as it is
// read (as the window does); the densities are formed from charge and length. Returns
// the message of the first failure, or nullopt when all pass; lengths receives the
// charged-block lengths.
// The lowest ka of solved chains (standard and converged): 1 mM of salt at a = 0.714 nm is
// ka 0.074. The single-chain tables keep the ka row's range, 0.2 .. 10.
inline constexpr double kLowestSolvedKa = 0.05;
inline constexpr const char* kSolvedKaRange =
    "Stable solution is only for ka between 0.05 and 10 with solved chains (0.2 and 10 with the tables)";

// solvedChains: the chains are solved, not read from the tables, and ka may go down to
// kLowestSolvedKa. totalMode: the free chains vc10, vc01 are taken as they are, unchecked
// (the totals are checked instead: validate in Engine.h).
std::optional<std::string> validateInput(const InputFields& in, Parameters& params, ParameterSet* lengths = nullptr,
                                         bool solvedChains = false, bool totalMode = false);

}  // namespace marlinq
