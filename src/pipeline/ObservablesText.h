#pragma once
// Text forms of the observables of a run: the summary as JSON and the free-energy
// landscape as CSV. Numbers with a point whatever the locale (io/NumberText.h): the
// shortest exact form in JSON, 17 significant digits in CSV.

#include "pipeline/Engine.h"
#include "pipeline/Observables.h"
#include "pipeline/Structure.h"

#include "io/Json.h"
#include "io/NumberText.h"

#include <optional>
#include <string>
#include <vector>

namespace marlinq {

// What the summary says of the run besides its observables.
struct RunDescription {
    ParameterSet set;                // the set as loaded (lengths recovered)
    Parameters params;               // the validated values the run used
    RunOptions options;
    std::optional<double> unitNm;    // segment size a in nm, when given
    bool partial = false;            // a stopped run: only some rows were computed
    std::vector<std::string> warnings;
    // Converged free energies: the largest estimated remaining error of any free energy of
    // the run and the largest difference from the standard free energy (kT).
    double errorEstimate = 0.0;
    double standardDifference = 0.0;
    // The molar masses and sizes, when the chains' molar masses are given.
    std::optional<StructureObservables> structure;
    // Further members of the summary, written before "partial" (the sensitivity of a run
    // that asked for it).
    std::vector<std::pair<std::string, json::Value>> extra;
};

// The warnings a finished or stopped run leaves, as the summary and the sweep's warnings
// column say them: the job's typed warnings (rendered by warningText), the failure, no
// complex with a weight, a common shift.
std::vector<std::string> runWarnings(const RunOutcome& run, const Observables& observables);

// One JSON object: the observables of the registry under their names (a cell followed by
// NAME_ties, the cells tied for it or []; with a unit, then unit_nm and those that need it),
// parameters, method, chains, accuracy (converged: the error estimate, the largest standard
// difference, standard_most_probable and standard_most_probable_differs), partial, warnings,
// then the program that wrote it: version and commit (pipeline/Version.h).
// Non-finite numbers are null.
std::string summaryJson(const Observables& observables, const RunDescription& run);

// The landscape: "# f_plus=... f_minus=..." (and max_shift when the weights carry a
// shift), the header mp,mm,F,E,absValue,Value,beyond_dh, then one row per evaluated cell in
// row-major order (beyond_dh 1 where a Debye-Hueckel cell lies outside the validity of the
// linearisation, else 0). Needs a record that kept its energies (RunOptions::keepEnergies);
// without them only the two header lines.
std::string freeEnergiesCsv(const RunResult& record);

}  // namespace marlinq
