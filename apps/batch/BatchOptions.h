#pragma once
// Command line of marlinq-batch.

#include "pipeline/Structure.h"
#include "pipeline/Sweep.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace marlinq::batch {

struct BatchOptions {
    RunOptions options;        // --method dh|dh-linear|pb, --chains table|solve, --accuracy standard|converged;
                               // keepEnergies with --free-energies
    std::string output;        // -o FILE; empty: standard output
    std::string dataDir;       // --data DIR; empty: working directory, then the program's data
    bool quiet = false;
    bool longFormat = false;   // --long-format: the computed cells as M+ M- absValue Value lines
    bool help = false;
    bool version = false;      // --version
    bool profile = false;      // --profile MP MM
    std::int32_t profileMp = 0, profileMm = 0;
    std::string parameterFile;  // empty: the window's start-up values
    std::string summary;        // --summary FILE ("-": standard output)
    std::string freeEnergies;   // --free-energies FILE ("-": standard output)
    std::optional<double> unitNm;  // --unit-nm A: the segment size in nm
    // --total C+,C- (two values) or --total T with --charge-fraction f (one value): the
    // totals of '+' and '-' chains instead of the free chains of the parameter file.
    std::vector<double> total;
    std::optional<double> chargeFraction;
    bool totalMillimolar = false;  // --total-mM: the totals of --total in mM of chains (needs --unit-nm)
    bool totalGramsPerLitre = false;  // --total-gL: in g/L of each polymer (needs --unit-nm and the molar masses)
    bool totalMillimolarCharges = false;  // --total-mM-charge: in mM of the chains' charges (needs --unit-nm)
    std::vector<double> molarMass;  // --molar-mass M+,M-: the chains' molar masses in g/mol
    // The structure of the complexes: --neutral-segment-nm B, --solvent good|theta,
    // --contrast CORE,CORONA; --scattering QMIN:QMAX:COUNT[:log] writes I(q) to
    // --scattering-output FILE (standard output by default).
    std::optional<double> neutralSegmentNm;
    corona::Solvent solvent = corona::Solvent::Good;
    double contrastCore = 1.0, contrastCorona = 1.0;
    bool scattering = false;
    double qMin = 0.0, qMax = 0.0;
    std::int64_t qCount = 0;
    bool qLog = false;
    std::string scatteringOutput = "-";
    bool criticalSalt = false;     // --critical-salt: the ka where the larger bound fraction falls to 1/2
    std::vector<SweepAxis> sweeps;  // --sweep NAME=VALUES, at most two, first outermost
    std::string sweepDir;       // --sweep-dir DIR
    Shard shard;                // --shard I/N
    std::int64_t jobs = 0;      // --jobs N: points computed at once (0: one per thread the machine offers)
    bool resume = false;        // --resume: keep the rows already in -o FILE, compute the others
    bool largeOutput = false;   // --large-output: a sweep's CSV may pass 1 GiB
    // The model's parameters over the parameter file's: --bjerrum L (segment units) or
    // --bjerrum-nm B, or --temperature-K T with --permittivity E (both with --unit-nm);
    // --gamma G (kT per a^2) or --gamma-mN-m G (with --unit-nm, at --temperature-K or
    // 298.15 K); --water-fraction F.
    std::optional<double> bjerrum, bjerrumNm, temperatureK, permittivity, gamma, gammaMilliNewton, waterFraction;
    // --solve-for NAME --target OBSERVABLE=VALUE [--range LO:HI]: the value of NAME at which the
    // observable meets the target.
    std::string solveForName, solveForObservable;
    std::optional<double> solveForTarget;
    std::optional<std::pair<double, double>> solveForRange;
    bool sensitivity = false;   // --sensitivity: the summary says how the answers move by +-1 kT per chain
    bool merge = false;         // --merge PART...: join the parts of a sharded sweep
    std::vector<std::string> mergeParts;
    std::vector<std::string> given;  // the options given, as written (without values)
};

// The base set with --molar-mass and --total (and --charge-fraction, --total-mM, --total-gL,
// --total-mM-charge) applied: total mode with both totals. nullopt and the reason when the totals cannot be formed.
std::optional<ParameterSet> applyTotals(const BatchOptions& o, ParameterSet set, std::string& error);

// The structure inputs of the options for a run with these parameters.
StructureInputs structureInputs(const BatchOptions& o, const Parameters& p);
// The base set with the model's parameters of the command line applied; nullopt and the
// reason when they cannot be.
std::optional<ParameterSet> applyModelParameters(const BatchOptions& o, ParameterSet set, std::string& error);

// The sweep the options describe, from the base set.
SweepSpec sweepPlan(const BatchOptions& o, const ParameterSet& base);

// Parses argv[1..]; on a usage error returns nullopt and sets error.
std::optional<BatchOptions> parseOptions(const std::vector<std::string>& args, std::string& error);

// The text of --help.
std::string helpText();

}  // namespace marlinq::batch
