#pragma once
// What a run says besides its numbers: typed diagnostics (a kind, a scope and the numbers
// that make it) and the one renderer that turns them into the lines of the log, the
// summary's warnings, the sweep's columns and Python's lists.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace marlinq {

enum class Severity { Info, Warning, Error };

// What may cast doubt on a result (or explain it), said once by the job.
enum class WarningKind {
    ConvergedChains,         // converged energies solve the single chains instead of reading the tables
    Accuracy,                // converged energies: their estimated error and the difference from standard
    NonFiniteCells,          // complexes without a finite free energy (weight 0)
    UnstableSolves,          // Newton solves of complexes that did not converge
    PartialResult,           // a stopped run: only some rows (or complexes) were computed
    RangeEdge,               // the most probable complex lies on an edge of a range that could be enlarged
    MassBalanceResidual,     // total mode: the totals are met only to a relative residual above the target
    BeyondDebyeHueckel,      // Debye-Hueckel cells whose surface potential lies beyond the linearisation
    CriticalConcentration,   // total mode: half of the scarcer chains bound is not crossed between 1e-20 and 1
    TotalsEdge,              // total mode: complexes on an edge that hides larger ones hold a share of a total
    Coacervate,              // the free energy per chain does not rise at the large end of the neutral line
    FreeChainsUndetermined,  // total mode: the totals fix only a product of c+ and c- (chains nearly all bound)
    ImpliedTotals,           // free mode: the free chains imply more than one chain per a^3 of a kind
};

// What a diagnostic speaks of: single cells (complexes), rows of the map, or the whole run.
enum class DiagnosticScope { Cell, Row, Run };

// The stage of a run a line comes from. The lines of the concentrations stage are the ones
// that change when the same landscape is weighed at other concentrations.
enum class JobStage { Setup, Chains, Landscape, Concentrations, Comparison, Closing };

// Which edge a RangeEdge or TotalsEdge warning speaks of.
enum class MapEdge { None, PlusRange, MinusRange, BothRanges, EvaluatedCells };

// Total mode: the share of either total that the complexes on an edge may hold before the
// run says that the totals assume no larger complexes.
inline constexpr double kTotalsEdgeShare = 1e-6;

struct RunWarning {
    WarningKind kind = WarningKind::NonFiniteCells;
    DiagnosticScope scope = DiagnosticScope::Run;
    std::int64_t count = 0;           // cells, solves; PartialResult: rows or complexes done;
                                      // Accuracy: free energies that missed their target
    std::int64_t total = 0;           // PartialResult: rows (scope Row) or complexes (scope Cell) of the run
    std::int32_t mp = 0, mm = 0;      // RangeEdge, Coacervate: the complex; TotalsEdge: the edge's M+
                                      // or M-; FreeChainsUndetermined: the composition p : q
    MapEdge edge = MapEdge::None;     // RangeEdge, TotalsEdge
    bool below = false;               // CriticalConcentration: below 1e-20 (else above 1)
    double errorEstimate = 0.0;       // Accuracy (kT)
    double standardDifference = 0.0;  // Accuracy (kT)
    double missedEstimate = 0.0;      // Accuracy: the largest error estimate of those that missed (kT)
    double residual = 0.0;            // MassBalanceResidual: the largest relative miss of a total;
                                      // TotalsEdge: the larger share of a total on the edge;
                                      // Coacervate: the slope of the free energy per chain
    double plus = 0.0, minus = 0.0;   // TotalsEdge: the share of each total on the edge;
                                      // ImpliedTotals: chains per a^3 of each kind in complexes
    double lnProduct = 0.0;           // FreeChainsUndetermined: ln (c+^p c-^q)
};

// What a run says of its course and its findings besides its warnings, said once by the job
// (or a re-weighing of its landscape) and rendered by noteText.
enum class NoteKind {
    Starting,            // the first line: the chains' energies from the tables, or solved
    ModelNamed,          // a model beyond the program's first one, with its parameters
    ChainsFinished,      // the single chains' free energies are known
    RowFinished,         // a row of a Poisson-Boltzmann landscape (mp) is done
    EveryCellStarted,    // the Debye-Hueckel stage over every cell starts
    EveryCellFinished,   // ... and ends
    AllFinished,         // the free energies of the complexes are done
    Cancelled,           // the run was stopped
    FreeChainsFound,     // total mode: the free chains the mass balance found
    Tie,                 // a tie for the most probable cell (or complex)
    StandardComparison,  // converged: the most probable complex against the standard answer's
};

struct RunNote {
    NoteKind kind = NoteKind::AllFinished;
    DiagnosticScope scope = DiagnosticScope::Run;
    bool fromTables = false;                                            // Starting
    std::int32_t mp = 0, mm = 0;                                        // RowFinished: the row; StandardComparison: the
                                                                        // most probable complex
    std::optional<std::pair<std::int32_t, std::int32_t>> standardCell;  // StandardComparison
    double plus = 0.0, minus = 0.0;                                     // FreeChainsFound: c+ and c-
    int steps = 0;                                                      // FreeChainsFound: Newton steps
    std::vector<std::pair<std::int32_t, std::int32_t>> cells;           // Tie: the tied cells
    bool complexesOnly = false;                                         // Tie: among the complexes alone
    std::string model;                                                  // ModelNamed: the model's description
    double bjerrum = 1.0, waterFraction = 0.0;                          // ModelNamed
};

// The line of a note in the log, and how it is said (a converged answer that differs from the
// standard one is a warning, every other note information).
std::string noteText(const RunNote& note);
Severity severityOf(const RunNote& note);

// Where a warning is said. They differ only in how many digits the summary's numbers keep
// (the mass-balance residual: 6 in the log, 17 in the summary).
enum class WarningForm { Log, Summary };

// The text of a warning, as the log (or the summary) says it.
std::string warningText(const RunWarning& w, WarningForm form = WarningForm::Log);

// Kinds the summary lists among its warnings in the order the run said them (the accuracy
// of converged energies has fields of its own; the residual and the critical concentration
// follow the run's failure, see runWarnings).
bool inSummaryOrder(WarningKind kind);
// Kinds the summary lists after the run's failure.
bool inSummaryTail(WarningKind kind);

// The warnings the job makes.
RunWarning nonFiniteWarning(std::int64_t count);
RunWarning unstableWarning(std::int64_t count);
RunWarning beyondDebyeHueckelWarning(std::int64_t count);
RunWarning partialRowsWarning(std::int64_t done, std::int64_t rows);
RunWarning partialComplexesWarning(std::int64_t done, std::int64_t complexes);
RunWarning accuracyWarning(double error, double difference, std::int64_t targetMissed, double missedEstimate);
RunWarning criticalWarning(bool below);
RunWarning residualWarning(double residual);

// "The result is partial: N of M complexes were computed." (a stopped Debye-Hueckel run)
std::string partialComplexesMessage(std::int64_t done, std::int64_t total);

// "Most probable: a tie of (0, 1) and (1, 0), which hold the same weight" ("Most probable
// complex: ..." among the complexes alone): the log's line on a tie.
std::string tieMessage(const std::vector<std::pair<std::int32_t, std::int32_t>>& tied, bool complexesOnly);

// "N complexes lie beyond the validity of Debye-Hueckel (...)": the run's note on the cells a
// Debye-Hueckel stage evaluated outside its validity (counted in JobCounts).
std::string beyondDebyeHueckelMessage(std::int64_t count);

// "The calculation stopped on a numerical error (MESSAGE); no distribution was calculated."
std::string numericFailureMessage(const std::string& kernelMessage);

// The first line of a run's log when the chains are solved.
inline constexpr const char* kSolveStart = "Solving for linear chains 'minus' and 'plus' in parallel ...... ";
// The first line instead when the chains' energies come from the tables.
inline constexpr const char* kTablesStart =
    "Interpolating the energies of linear chains 'minus' and 'plus' from the tables ...... ";
// The diagnostic line of each unconverged Newton solve.
inline constexpr const char* kUnstableSolution =
    "A Newton solve of a complex did not converge: it stopped at its step limit, and its last iterate is used";

// "Mass balance: free c+ = ..., c- = ... (N Newton steps)", six significant digits.
std::string massBalanceMessage(double cPlus, double cMinus, int steps);

}  // namespace marlinq
