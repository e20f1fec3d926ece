#include "PipelineFixtures.h"
#include "pipeline/Engine.h"
#include "pipeline/MapClasses.h"
#include "pipeline/ObservablesText.h"

#include "kernel/Fatal.h"
#include "pipeline/ComplexProfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <clocale>
#include <cmath>
#include <chrono>
#include <thread>

namespace marlinq {
namespace {

using testing::jobInput;
using testing::Recorder;
using testing::ShippedTables;
using testing::startupParameters;

const std::string kChains = "Calculation of the energy of single chains with '+' and '-' charge is finished";
const std::string kFinished = "Finished calculation of the spheres free energy";
// The first line of a run whose chains come from the tables (the runs here but one).
const std::string kStart = "I: Interpolating the energies of linear chains 'minus' and 'plus' from the tables ...... ";

Parameters rowsZeroToTwo() {
    Parameters p = startupParameters();
    p.mpMax = 2;
    return p;
}

TEST(Job, PoissonBoltzmannRunReportsEveryRow) {
    ShippedTables tables;
    Recorder rec;
    EXPECT_EQ(runCalculation(jobInput(rowsZeroToTwo(), 72, 72, false), {}, rec.callbacks()), JobOutcome::Finished);
    const std::vector<std::string> expected = {
        kStart,
        "I: " + kChains,
        "P",
        "I: Row 0 is passed...", "P", "R: 1/3",
        "I: Row 1 is passed...", "P", "R: 2/3",
        "I: Row 2 is passed...", "P", "R: 3/3",
        // the start-up free chains of 1e-3 imply far more chains than a solution holds
        "W: the free concentrations imply 49 chains per a³ of each kind in complexes: no solution holds that; use "
        "total mode",
        "P",  // the normalised distribution
        // M+ stops at 2: the mixture's heaviest complex, (2, 2), is on that edge
        "W: the most probable complex (2, 2) lies on the edge of the M+ range; enlarge it",
        "I: " + kFinished,
        "F: finished",
    };
    EXPECT_EQ(rec.events, expected);
    ASSERT_EQ(rec.warnings.size(), 2u);
    EXPECT_EQ(rec.warnings[0].kind, WarningKind::ImpliedTotals);
    EXPECT_EQ(rec.warnings[1].kind, WarningKind::RangeEdge);
    EXPECT_EQ(rec.warnings[1].mp, 2);
    EXPECT_EQ(rec.warnings[1].mm, 2);
    ASSERT_TRUE(rec.record);
    EXPECT_TRUE(rec.record->fromRun());
    EXPECT_EQ(rec.record->index, 2);
    EXPECT_TRUE(rec.record->byRows());
    EXPECT_EQ(rec.record->sigma->size(), 13u);
    EXPECT_NEAR(rec.record->chains.plus, 7.563826, 1e-6);
    EXPECT_GT(rec.record->absValue(2, 2), 0.0);
}

TEST(Job, DebyeHueckelRunUnderACommaLocale) {
    ShippedTables tables;
    std::setlocale(LC_ALL, "de_DE.UTF-8");  // where available; the log must not change
    Recorder rec;
    const JobOutcome outcome = runCalculation(jobInput(startupParameters(), 72, 72, true), {}, rec.callbacks());
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(outcome, JobOutcome::Finished);
    const std::string dhEnd = "Finished calculation of the potential by Debye Huckel approximation";
    const std::vector<std::string> expected = {
        kStart,
        "I: " + kChains,
        "P",
        "I: Starting calculation of the potential by Debye Huckel approximation",
        "W: the free concentrations imply 492 chains per a³ of each kind in complexes: no solution holds that; use "
        "total mode",
        "W: " + beyondDebyeHueckelMessage(2),  // the corners (10, 1) and (1, 10)
        "I: " + dhEnd,
        "P",
        "R: 11/11",
        "I: " + kFinished,
        "F: finished",
    };
    EXPECT_EQ(rec.events, expected);
    const RunResult& resultRecord = *rec.record;
    EXPECT_EQ(resultRecord.index, 0);
    EXPECT_EQ(resultRecord.absValue(1, 0), 1e-3);  // free chains
    EXPECT_EQ(resultRecord.absValue(0, 1), 1e-3);
    EXPECT_EQ(resultRecord.absValue(0, 0), 0.0);
    EXPECT_EQ(resultRecord.maxValue > 0.0, true);
}

TEST(Job, FreeChainCellsNeverOverwriteAComplex) {
    ShippedTables tables;
    // M- from 3: row 1, column 0 is the complex (1, 3), not the lone '+' chain, and no
    // cell is the lone '-' chain (0, 1).
    Parameters p = rowsZeroToTwo();
    p.mmMin = 3;
    for (const bool dh : {false, true}) {
        Recorder rec;
        runCalculation(jobInput(p, 72, 72, dh), {}, rec.callbacks());
        const RunResult& resultRecord = *rec.record;
        EXPECT_NE(resultRecord.absValue(1, 0), p.vc10) << dh;
        EXPECT_GT(resultRecord.absValue(1, 0), 0.0) << dh;  // the complex (1, 3) was evaluated
        EXPECT_EQ(resultRecord.absValue(0, 0), 0.0) << dh;  // (0, 3): no complex, no free chain
    }
    // M+ from 1 and M- from 0: the lone '+' chain (1, 0) is the first cell; there is no
    // lone '-' chain in the ranges.
    p = rowsZeroToTwo();
    p.mpMin = 1;
    Recorder rec;
    runCalculation(jobInput(p, 72, 72, true), {}, rec.callbacks());
    EXPECT_EQ(rec.record->absValue(0, 0), p.vc10);
    EXPECT_NE(rec.record->absValue(0, 1), p.vc01);
    // Both minimums 0: the usual cells.
    p = rowsZeroToTwo();
    Recorder both;
    runCalculation(jobInput(p, 72, 72, false), {}, both.callbacks());
    EXPECT_EQ(both.record->absValue(1, 0), p.vc10);
    EXPECT_EQ(both.record->absValue(0, 1), p.vc01);
}

TEST(Job, StopBeforeTheStartOrBeforeTheFirstRow) {
    ShippedTables tables;
    std::stop_source early;
    early.request_stop();
    Recorder none;
    EXPECT_EQ(runCalculation(jobInput(rowsZeroToTwo(), 72, 72, false), early.get_token(), none.callbacks()),
              JobOutcome::Cancelled);
    EXPECT_EQ(none.events, (std::vector<std::string>{kStart, "I: Cancelled!", "F: cancelled"}));

    // "Stop" while the chains are computed: the record is still built, then nothing is evaluated.
    std::stop_source duringChains;
    Recorder rec;
    rec.onText = [&](const std::string& s) {
        if (s == kChains) duringChains.request_stop();
    };
    EXPECT_EQ(runCalculation(jobInput(rowsZeroToTwo(), 72, 72, false), duringChains.get_token(), rec.callbacks()),
              JobOutcome::Cancelled);
    EXPECT_EQ(rec.events, (std::vector<std::string>{kStart, "I: " + kChains, "P", "P",
                                                    "W: The result is partial: 0 of 3 rows were computed.",
                                                    "I: Cancelled!", "F: cancelled"}));
    ASSERT_EQ(rec.warnings.size(), 1u);
    EXPECT_EQ(rec.warnings[0].kind, WarningKind::PartialResult);
    EXPECT_EQ(rec.warnings[0].count, 0);
    EXPECT_EQ(rec.warnings[0].total, 3);
    EXPECT_TRUE(rec.record->fromRun());
    EXPECT_EQ(rec.record->absValue(1, 0), 1e-3);
    EXPECT_EQ(rec.record->absValue(2, 2), 0.0);
}

TEST(Job, StopDuringARowFinishesThatRowOnly) {
    ShippedTables tables;
    std::stop_source source;
    Recorder rec;
    rec.onText = [&](const std::string& s) {
        if (s == "Row 1 is passed...") source.request_stop();
    };
    EXPECT_EQ(runCalculation(jobInput(startupParameters(), 72, 72, false), source.get_token(), rec.callbacks()),
              JobOutcome::Cancelled);
    const std::vector<std::string> tail(rec.events.end() - 8, rec.events.end());
    // The two rows alone already imply more chains than a solution holds.
    EXPECT_EQ(tail, (std::vector<std::string>{"I: Row 1 is passed...", "P", "R: 2/11",
                                              "W: the free concentrations imply 6.97 chains per a³ of each kind in "
                                              "complexes: no solution holds that; use total mode",
                                              "P", "W: The result is partial: 2 of 11 rows were computed.",
                                              "I: Cancelled!", "F: cancelled"}));
    EXPECT_TRUE(rec.record->normalised);
    EXPECT_EQ(rec.record->index, 1);
    EXPECT_EQ(rec.record->absValue(2, 2), 0.0);
}

TEST(Job, StopReachesTheDebyeHueckelStageInsideItsLoop) {
    // Stopped as the stage starts: no complex is evaluated, the run is partial (before, the
    // stage ran every cell to its end and the run finished).
    ShippedTables tables;
    std::stop_source source;
    Recorder rec;
    rec.onText = [&](const std::string& s) {
        if (s == "Starting calculation of the potential by Debye Huckel approximation") source.request_stop();
    };
    EXPECT_EQ(runCalculation(jobInput(startupParameters(), 72, 72, true), source.get_token(), rec.callbacks()),
              JobOutcome::Cancelled);
    const std::vector<std::string> tail(rec.events.end() - 3, rec.events.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"W: The result is partial: 0 of 100 complexes were computed.",
                                              "I: Cancelled!", "F: cancelled"}));
    EXPECT_EQ(rec.record->absValue(2, 2), 0.0);
    EXPECT_EQ(rec.record->absValue(1, 0), startupParameters().vc10);  // the lone chains stay
    // A stop while the cells are evaluated: every thread leaves within one cell, and the
    // cells evaluated before keep their weights. The stop comes 50 ms into the stage; the
    // map is large enough (a million complexes) that a loaded machine, which delays the stop
    // as much as it slows the stage, never lets the stage finish first.
    Parameters big = startupParameters();
    big.mpMax = big.mmMax = 1000;
    std::stop_source during;
    Recorder bigRec;
    std::jthread stopper;
    bigRec.onText = [&](const std::string& s) {
        if (s == "Starting calculation of the potential by Debye Huckel approximation")
            stopper = std::jthread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                during.request_stop();
            });
    };
    EXPECT_EQ(runCalculation(jobInput(big, 72, 72, true), during.get_token(), bigRec.callbacks()),
              JobOutcome::Cancelled);
    ASSERT_GE(bigRec.events.size(), 3u);
    const std::string& partial = bigRec.events[bigRec.events.size() - 3];
    EXPECT_EQ(partial.rfind("W: The result is partial: ", 0), 0u) << partial;
    EXPECT_NE(partial.find(" of 1000000 complexes were computed."), std::string::npos) << partial;
}

TEST(Job, UnreadableTablesFailWithTheReason) {
    setDataDirectoryOverride((std::filesystem::temp_directory_path() / "marlinq-no-such-folder").string());
    Recorder rec;
    EXPECT_EQ(runCalculation(jobInput(startupParameters(), 72, 72, true), {}, rec.callbacks()), JobOutcome::Failed);
    setDataDirectoryOverride("");
    ASSERT_EQ(rec.events.size(), 3u);
    EXPECT_EQ(rec.events[1].substr(0, 3), "E: ");
    EXPECT_NE(rec.events[1].find("can not open"), std::string::npos);
    EXPECT_EQ(rec.events[2], "F: failed");
    EXPECT_FALSE(rec.record);
}

TEST(Job, TheFirstLineSaysWhetherTheChainsAreSolvedOrInterpolated) {
    ShippedTables tables;
    Recorder solved, interpolated;
    EXPECT_EQ(runCalculation(jobInput(rowsZeroToTwo(), 72, 72, true, false), {}, solved.callbacks()),
              JobOutcome::Finished);
    EXPECT_EQ(runCalculation(jobInput(rowsZeroToTwo(), 72, 72, true, true), {}, interpolated.callbacks()),
              JobOutcome::Finished);
    ASSERT_FALSE(solved.events.empty());
    ASSERT_FALSE(interpolated.events.empty());
    EXPECT_EQ(solved.events.front(), "I: " + std::string(kSolveStart));
    EXPECT_EQ(interpolated.events.front(), kStart);
}

TEST(Job, RunsWithoutCallbacks) {
    ShippedTables tables;
    EXPECT_EQ(runCalculation(jobInput(rowsZeroToTwo(), 72, 72, false), {}, JobEvents{}), JobOutcome::Finished);
}

// 200 charges on a '+' block of 20 against 18 on 72, little salt, neutral blocks 10 and 50.
Parameters highlyCharged(std::int32_t mpMax) {
    Parameters p = startupParameters();
    p.zp = 200.0;
    p.kip = 10.0;
    p.Np = 10;
    p.Nm = 50;
    p.mpMax = mpMax;
    return p;
}

TEST(Job, PoissonBoltzmannWeightsBeyondADoubleStayNormalised) {
    ShippedTables tables;
    Recorder rec;
    EXPECT_EQ(runCalculation(jobInput(highlyCharged(10), 20, 72, false), {}, rec.callbacks()), JobOutcome::Finished);
    const RunResult& resultRecord = *rec.record;
    EXPECT_GT(resultRecord.max_shift, 0.0);
    double sum = 0.0;
    for (std::size_t k = 0; k < resultRecord.Value.cellCount(); ++k) {
        ASSERT_TRUE(std::isfinite(resultRecord.absValue.at(k)));
        sum += resultRecord.Value.at(k);
    }
    EXPECT_NEAR(sum, 1.0, 1e-12);
}

// The stages share the cells of a row (or of the matrix) and the two chains out among their
// threads; each is computed alone, so a run on one thread and a run on three agree to the bit.
TEST(Job, SameResultOnOneThreadAndOnThree) {
    const auto bits = [](const Grid<double>& g) {
        std::vector<std::uint64_t> out;
        for (std::size_t k = 0; k < g.cellCount(); ++k) out.push_back(std::bit_cast<std::uint64_t>(g.at(k)));
        return out;
    };
    for (const bool dh : {false, true}) {
        const auto run = [&](int threads) {
            JobInput input = jobInput(highlyCharged(dh ? 30 : 10), 20, 72, dh, false);  // chains solved
            input.keepEnergies = true;
            input.threads = threads;
            Recorder rec;
            EXPECT_EQ(runCalculation(input, {}, rec.callbacks()), JobOutcome::Finished);
            return rec;
        };
        const Recorder one = run(1), three = run(3);
        ASSERT_TRUE(one.record && three.record);
        const RunResult &a = *one.record, &b = *three.record;
        SCOPED_TRACE(dh ? "Debye-Hueckel" : "Poisson-Boltzmann");
        EXPECT_GT(a.max_shift, 0.0);  // the shifted pass ran as well
        EXPECT_EQ(a.chains.plus, b.chains.plus);
        EXPECT_EQ(a.chains.minus, b.chains.minus);
        EXPECT_EQ(bits(a.absValue), bits(b.absValue));
        EXPECT_EQ(bits(a.Value), bits(b.Value));
        EXPECT_EQ(bits(a.energies.F), bits(b.energies.F));
        EXPECT_EQ(a.max_shift, b.max_shift);
        EXPECT_EQ(a.quality.nonFiniteCells, b.quality.nonFiniteCells);
        EXPECT_EQ(one.log, three.log);
    }
}

// No physical input makes a radial Newton Jacobian singular: the kernel's pivot bound is
// raised until every Newton solve meets a vanishing pivot, as a singular Jacobian would.
struct EveryPivotVanishes {
    EveryPivotVanishes() { setVanishingPivotBound(1e300); }
    ~EveryPivotVanishes() { setVanishingPivotBound(1e-300); }
};

TEST(Job, AKernelFailureInsideTheThreadsFailsTheRunWithItsMessage) {
    ShippedTables tables;
    const std::string failure = "The calculation stopped on a numerical error (close to 0!); no distribution was calculated.";
    EXPECT_EQ(numericFailureMessage(kVanishingPivot), failure);
    struct Case {
        bool dh, tableChains;
        int threads;
    };
    // Poisson-Boltzmann rows (the chains from the tables), and the two solved chains in
    // their parallel sections; on one thread and on a team of three.
    for (const Case c : {Case{false, true, 1}, Case{false, true, 3}, Case{true, false, 1}, Case{true, false, 2}}) {
        SCOPED_TRACE(::testing::Message() << "dh " << c.dh << ", threads " << c.threads);
        JobInput input = jobInput(rowsZeroToTwo(), 72, 72, c.dh, c.tableChains);
        input.threads = c.threads;
        Recorder rec;
        JobOutcome outcome = JobOutcome::Finished;
        {
            EveryPivotVanishes singular;
            outcome = runCalculation(input, {}, rec.callbacks());
        }
        EXPECT_EQ(outcome, JobOutcome::Failed);
        ASSERT_GE(rec.events.size(), 2u);
        EXPECT_EQ(rec.events.back(), "F: failed");
        EXPECT_EQ(rec.events[rec.events.size() - 2], "E: " + failure);
        EXPECT_EQ(rec.log.back(), failure);
        // The process goes on, and so does the next run.
        Recorder again;
        EXPECT_EQ(runCalculation(input, {}, again.callbacks()), JobOutcome::Finished);
    }
    // The profile of a chart throws for its front end to report.
    EveryPivotVanishes singular;
    EXPECT_THROW(computeComplexProfile(SphericalComplex::of(3, 2, ChainBlocks{18, 18, 72, 72}, ComplexConditions{0.2}),
                                       ProfileOverlay::DebyeHueckel),
                 KernelError);
    EXPECT_EQ(profileFailureMessage(3, 2, kVanishingPivot),
              "The profile of the complex (3, 2) could not be computed: a numerical error (close to 0!).");
}

TEST(Job, ComplexesWithoutFiniteEnergyGetWeightZeroAndOneLogLine) {
    // The Debye-Hueckel integral breaks down for the larger M+ here.
    ShippedTables tables;
    Recorder rec;
    EXPECT_EQ(runCalculation(jobInput(highlyCharged(60), 20, 72, true), {}, rec.callbacks()), JobOutcome::Finished);
    const RunResult& resultRecord = *rec.record;
    ASSERT_GT(resultRecord.quality.nonFiniteCells, 1);
    const std::string line = std::to_string(resultRecord.quality.nonFiniteCells) +
                             " complexes have no finite free energy and were given weight 0";
    EXPECT_EQ(std::count(rec.log.begin(), rec.log.end(), line), 1);
    EXPECT_EQ(resultRecord.absValue(60, 5), 0.0);
    for (std::size_t k = 0; k < resultRecord.absValue.cellCount(); ++k) {
        ASSERT_TRUE(std::isfinite(resultRecord.absValue.at(k)) && std::isfinite(resultRecord.Value.at(k)));
        ASSERT_TRUE(resultRecord.absValue.at(k) >= 0.0 && resultRecord.absValue.at(k) <= resultRecord.maxValue);
    }
}

TEST(Job, TablesOfHugeNumbersEndInSecondsWithAFiniteResultOrAReason) {
    // Per-length energies of 1e15 make exponents of about 1e18: one common shift brings
    // every weight into range (the rest underflow to 0) in constant memory; 1e306 makes a
    // chain energy beyond any double, which is a reason to stop, not a result.
    for (const double v : {1e8, 1e15, 1e306}) {
        testing::TableDir dir("huge", [v](int, int) { return v; }, [v](int, int) { return v; });
        Parameters p = startupParameters();
        p.ka = 0.5;  // at 0.2 and density 0.25 the energy does not come from the table
        for (const bool dh : {false, true}) {
            Recorder rec;
            const JobOutcome outcome = runCalculation(jobInput(p, 72, 72, dh), {}, rec.callbacks());
            if (outcome == JobOutcome::Finished) {
                double sum = 0.0;
                rec.record->Value.forEach([&](double x) {
                    ASSERT_TRUE(std::isfinite(x));
                    sum += x;
                });
                EXPECT_GT(rec.record->max_shift, 0.0) << v;
                EXPECT_NEAR(sum, 1.0, 1e-9) << v;
            } else {
                EXPECT_EQ(outcome, JobOutcome::Failed) << v;
                EXPECT_NE(rec.log.back().find("could not be computed"), std::string::npos) << rec.log.back();
            }
        }
    }
}

TEST(Job, TheHeaviestComplexOnTheEdgeOfARangeIsSaid) {
    ShippedTables tables;
    Parameters p = startupParameters();
    p.mpMax = 3;  // the start-up mixture peaks at (4, 4)
    p.mmMax = 3;
    Recorder rec;
    runCalculation(jobInput(p, 72, 72, true), {}, rec.callbacks());
    EXPECT_EQ(std::count(rec.log.begin(), rec.log.end(),
                         "the most probable complex (3, 3) lies on the edge of the M+ and M- ranges; enlarge them"),
              1);
    Recorder whole;
    runCalculation(jobInput(startupParameters(), 72, 72, true), {}, whole.callbacks());
    for (const std::string& line : whole.log) EXPECT_EQ(line.find("edge"), std::string::npos) << line;
}

TEST(Engine, ReadsTheTablesOnceAndOnlyForRunsThatNeedThem) {
    Engine engine(DataSearch{MARLINQ_SOURCE_DATA_DIR, ""});
    RunOptions standard;
    const LoadedTables first = engine.tables(standard);
    ASSERT_TRUE(first.tables) << first.error;
    EXPECT_EQ(engine.tables(standard).tables, first.tables);  // kept, not read again
    for (const RunOptions& solving : {RunOptions{Method::PoissonBoltzmann, Chains::Solved},
                                      RunOptions{Method::DebyeHueckel, Chains::Tables, Accuracy::Converged}}) {
        const LoadedTables none = engine.tables(solving);
        EXPECT_FALSE(none.tables);
        EXPECT_FALSE(none.failed());
    }
    // A folder of its own, without the tables: the reason and the file that is missing.
    const std::string empty = (std::filesystem::temp_directory_path() / "marlinq-engine-empty").string();
    std::filesystem::create_directories(empty);
    const LoadedTables missing = engine.tables(standard, empty);
    EXPECT_TRUE(missing.failed());
    EXPECT_EQ(missing.error.rfind("can not open Chains_values", 0), 0u) << missing.error;
    EXPECT_EQ(std::filesystem::path(missing.path).parent_path(), std::filesystem::path(empty));
    EXPECT_NE(missing.error.find(std::filesystem::path(missing.path).filename().string()), std::string::npos);
    // Looking elsewhere drops what was read; a job then fails with the reason.
    engine.setDataSearch(DataSearch{empty, ""});
    Parameters p;
    const ParameterSet set = startupParameterSet();
    ASSERT_FALSE(validate(set, p));
    const RunOutcome run = runToCompletion(engine.job(p, set, standard));
    EXPECT_EQ(run.outcome, JobOutcome::Failed);
    EXPECT_EQ(run.failure, missing.error);
    EXPECT_EQ(run.log.front(), kTablesStart);
    EXPECT_EQ(run.log.back(), missing.error);
    std::filesystem::remove_all(empty);
}

TEST(Job, WarningsCarryTheirNumbersAndTheSummaryTakesThemAsSaid) {
    // The Debye-Hueckel integral breaks down for the larger M+ here.
    ShippedTables tables;
    const RunOutcome run = runToCompletion(jobInput(highlyCharged(60), 20, 72, true));
    ASSERT_EQ(run.outcome, JobOutcome::Finished);
    const auto nonFinite = std::find_if(run.warnings.begin(), run.warnings.end(),
                                        [](const RunWarning& w) { return w.kind == WarningKind::NonFiniteCells; });
    ASSERT_NE(nonFinite, run.warnings.end());
    EXPECT_EQ(nonFinite->count, run.record->quality.nonFiniteCells);
    EXPECT_EQ(nonFinite->count, run.counts.nonFiniteCells);
    const std::vector<std::string> summary = runWarnings(run, computeObservables(*run.record));
    EXPECT_EQ(std::count(summary.begin(), summary.end(), warningText(*nonFinite)), 1);
    // Every warning is also a line of the log, once.
    for (const RunWarning& w : run.warnings)
        EXPECT_EQ(std::count(run.log.begin(), run.log.end(), warningText(w)), 1) << warningText(w);
}

// What a run says is typed: every line of a finished run's log is a warning or a note that
// carries the numbers of its line, so a front end reads the numbers, not the text.
TEST(Job, EveryLineOfAFinishedRunIsATypedNoteOrWarning) {
    ShippedTables tables;
    Recorder rows;
    ASSERT_EQ(runCalculation(jobInput(rowsZeroToTwo(), 72, 72, false), {}, rows.callbacks()), JobOutcome::Finished);
    EXPECT_EQ(rows.untyped, std::vector<std::string>{});
    std::vector<std::int32_t> finishedRows;
    for (const RunNote& n : rows.notes)
        if (n.kind == NoteKind::RowFinished) finishedRows.push_back(n.mp);
    EXPECT_EQ(finishedRows, (std::vector<std::int32_t>{0, 1, 2}));
    EXPECT_TRUE(rows.notes.front().kind == NoteKind::Starting && rows.notes.front().fromTables);
    EXPECT_EQ(rows.notes.back().kind, NoteKind::AllFinished);

    // Total mode: the free chains the mass balance found are the result's, to the bit.
    JobInput input = jobInput(rowsZeroToTwo(), 72, 72, true);
    input.request = inTotalMode(*input.request, MassBalanceTotals{1e-4, 2e-4});
    Recorder totals;
    ASSERT_EQ(runCalculation(input, {}, totals.callbacks()), JobOutcome::Finished);
    EXPECT_EQ(totals.untyped, std::vector<std::string>{});
    const auto found = std::find_if(totals.notes.begin(), totals.notes.end(),
                                    [](const RunNote& n) { return n.kind == NoteKind::FreeChainsFound; });
    ASSERT_NE(found, totals.notes.end());
    EXPECT_EQ(found->plus, totals.record->concentrations.freePlus);
    EXPECT_EQ(found->minus, totals.record->concentrations.freeMinus);
    EXPECT_EQ(found->steps, totals.record->concentrations.massBalanceSteps);
    EXPECT_EQ(noteText(*found), massBalanceMessage(found->plus, found->minus, found->steps));
}

TEST(Job, TheResultCarriesTheMapTheWindowDrewOfTheStartUpRun) {
    // The colour classes and the most probable cell the window formed itself from the
    // weights of the start-up run, before they became part of the result (written down from
    // that window): Debye-Hueckel and Poisson-Boltzmann draw the same map.
    const std::string drawn =
        "0 0 0 0 0 0 0 0 0 0 0\n"
        "0 3 0 0 0 0 0 0 0 0 0\n"
        "0 0 12 0 0 0 0 0 0 0 0\n"
        "0 0 0 19 0 0 0 0 0 0 0\n"
        "0 0 0 0 20 0 0 0 0 0 0\n"
        "0 0 0 0 0 12 0 0 0 0 0\n"
        "0 0 0 0 0 0 5 0 0 0 0\n"
        "0 0 0 0 0 0 0 1 0 0 0\n"
        "0 0 0 0 0 0 0 0 0 0 0\n"
        "0 0 0 0 0 0 0 0 0 0 0\n"
        "0 0 0 0 0 0 0 0 0 0 0\n";
    Engine engine(DataSearch{MARLINQ_SOURCE_DATA_DIR, ""});
    const ParameterSet set = startupParameterSet();
    Parameters p;
    ASSERT_FALSE(validate(set, p));
    for (const Method method : {Method::DebyeHueckel, Method::PoissonBoltzmann}) {
        RunOptions options;
        options.method = method;
        std::vector<ResultSnapshot> states;
        JobEvents events;
        events.snapshot = [&](const ResultSnapshot& s) { states.push_back(s); };
        const RunOutcome run = runToCompletion(engine.job(p, set, options), {}, events);
        ASSERT_EQ(run.outcome, JobOutcome::Finished);
        const MapData& map = run.record->map;
        std::string classes;
        for (std::int32_t r = 0; r < map.colourClasses.rows(); ++r)
            for (std::int32_t c = 0; c < map.colourClasses.cols(); ++c)
                classes += std::to_string(map.colourClasses(r, c)) + (c + 1 < map.colourClasses.cols() ? " " : "\n");
        EXPECT_EQ(classes, drawn) << nameOf(method);
        EXPECT_EQ(map.mostProbable, MapCell(4, 4));
        EXPECT_FALSE(map.colourError);
        // Every state the window may draw brings the map of its own weights, the lone chains'
        // first ((0, 0) has no weight: the lone chain (1, 0) or (0, 1) is the most probable).
        ASSERT_GE(states.size(), 2u);
        for (const ResultSnapshot& s : states) {
            EXPECT_EQ(s->map.colourClasses, weightClasses(s->absValue, s->maxValue));
            EXPECT_EQ(s->map.mostProbable,
                      mostProbableCell(*s).value_or(MapCell{s->params().mpMin, s->params().mmMin}));
        }
    }
}

}  // namespace
}  // namespace marlinq
