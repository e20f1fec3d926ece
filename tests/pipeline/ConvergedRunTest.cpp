// Runs with free energies converged in the grid: the chains are solved whatever the table
// choice, every run states its accuracy, and the numbers move the way the discretisation
// error says they must.

#include "PipelineFixtures.h"
#include "pipeline/ComplexProfile.h"
#include "pipeline/Engine.h"
#include "pipeline/Observables.h"
#include "pipeline/ObservablesText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace marlinq {
namespace {

RunOutcome run(bool dh, bool converged, bool tableChains = true) {
    std::string why;
    const auto tables = loadTables(DataSearch{MARLINQ_SOURCE_DATA_DIR, ""}, why);
    const ParameterSet set = startupParameterSet();
    Parameters p;
    EXPECT_FALSE(validate(set, p));
    RunOptions options;
    options.method = dh ? Method::DebyeHueckel : Method::PoissonBoltzmann;
    options.chains = tableChains ? Chains::Tables : Chains::Solved;
    options.accuracy = converged ? Accuracy::Converged : Accuracy::Standard;
    return runToCompletion(makeJobInput(p, set, options, tables));
}

bool logHas(const RunOutcome& r, const std::string& start) {
    return std::any_of(r.log.begin(), r.log.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; });
}

TEST(ConvergedRun, StatesItsAccuracyAndSolvesTheChains) {
    for (const bool dh : {false, true}) {
        const RunOutcome conv = run(dh, true);
        ASSERT_EQ(conv.outcome, JobOutcome::Finished) << dh;
        EXPECT_TRUE(logHas(conv, "Converged free energies: the single chains are solved")) << dh;
        EXPECT_TRUE(logHas(conv, "Converged free energies: largest estimated remaining error")) << dh;
        EXPECT_TRUE(conv.counts.converged);
        EXPECT_TRUE(conv.record->converged());
        // The estimate is a small fraction of the difference the discretisation makes.
        EXPECT_GT(conv.counts.errorEstimate, 0.0) << dh;
        EXPECT_GT(conv.counts.standardDifference, 0.0) << dh;
        EXPECT_LT(conv.counts.errorEstimate, 0.05 * conv.counts.standardDifference) << dh;
        // Solved chains: the diagnostics carry both energies.
        EXPECT_EQ(conv.diagnostics.size(), 2u) << dh;
        // The same facts as structured warnings: a note first, the accuracy with its numbers
        // later (after the totals the start-up free chains imply).
        ASSERT_GE(conv.warnings.size(), 2u) << dh;
        EXPECT_EQ(conv.warnings[0].kind, WarningKind::ConvergedChains);
        const auto accuracy = std::find_if(conv.warnings.begin(), conv.warnings.end(),
                                           [](const RunWarning& w) { return w.kind == WarningKind::Accuracy; });
        ASSERT_NE(accuracy, conv.warnings.end()) << dh;
        EXPECT_EQ(accuracy->errorEstimate, conv.counts.errorEstimate);
        EXPECT_EQ(accuracy->standardDifference, conv.counts.standardDifference);
        EXPECT_TRUE(logHas(conv, warningText(*accuracy))) << dh;

        const RunOutcome standard = run(dh, false);
        EXPECT_FALSE(logHas(standard, "Converged free energies")) << dh;
        // Only the Debye-Hueckel validity note, for the two most charged corners of the map,
        // and the totals the free chains imply.
        for (const RunWarning& w : standard.warnings)
            EXPECT_TRUE(w.kind == WarningKind::BeyondDebyeHueckel || w.kind == WarningKind::ImpliedTotals) << dh;
        EXPECT_EQ(standard.counts.errorEstimate, 0.0);
        // Same most probable complex for these near-neutral mixtures, different weights.
        EXPECT_NE(conv.record->absValue(4, 4), standard.record->absValue(4, 4)) << dh;
        EXPECT_GT(conv.record->share(4, 4), 0.1) << dh;
    }
}

TEST(ConvergedRun, GivesTheStandardAnswerBesideItsOwn) {
    // The start-up Poisson-Boltzmann mixture: converged energies move the most probable
    // complex from (4, 4) to (3, 3) and mean M+ from 3.68 to 3.59; the single chains from
    // 7.5638 to 7.5406 kT.
    for (const bool dh : {false, true}) {
        for (const bool tableChains : {true, false}) {
            SCOPED_TRACE(std::string(dh ? "dh" : "pb") + (tableChains ? ", tables" : ", solved chains"));
            const RunOutcome conv = run(dh, true, tableChains);
            const RunOutcome standard = run(dh, false, tableChains);
            ASSERT_EQ(conv.outcome, JobOutcome::Finished);
            ASSERT_TRUE(conv.record->standard.mostProbable);
            // The standard answer a converged run gives is the standard run's own.
            EXPECT_EQ(conv.record->standard.mostProbable, mostProbableCell(*standard.record));
            EXPECT_EQ(conv.record->standard.chains.plus, standard.record->chains.plus);
            EXPECT_EQ(conv.record->standard.chains.minus, standard.record->chains.minus);
            EXPECT_FALSE(standard.record->standard.mostProbable);
            const Observables o = computeObservables(*conv.record);
            const MapCell got = *o.mostProbable, before = *o.standardMostProbable;
            const std::string named = "(" + std::to_string(got.first) + ", " + std::to_string(got.second) + ")";
            if (got == before)
                EXPECT_TRUE(logHas(conv, "Most probable complex " + named + ", the same at standard accuracy"));
            else
                EXPECT_TRUE(logHas(conv, "Most probable complex " + named + "; at standard accuracy it is"));
            if (dh) continue;
            EXPECT_EQ(got, MapCell(3, 3));
            EXPECT_EQ(before, MapCell(4, 4));
            EXPECT_NEAR(o.meanMp, 3.59, 0.005);
            EXPECT_NEAR(computeObservables(*standard.record).meanMp, 3.68, 0.005);
            EXPECT_NEAR(conv.record->chains.plus, 7.540548, 1e-5);
            RunDescription d;
            d.set = startupParameterSet();
            EXPECT_FALSE(validate(d.set, d.params));
            d.options.method = Method::PoissonBoltzmann;
            d.options.accuracy = Accuracy::Converged;
            const std::string json = summaryJson(o, d);
            EXPECT_NE(json.find("\"standard_most_probable\": [4, 4],\n  \"standard_most_probable_differs\": true"),
                      std::string::npos)
                << json;
            d.options.accuracy = Accuracy::Standard;
            EXPECT_EQ(summaryJson(computeObservables(*standard.record), d).find("standard_most_probable"),
                      std::string::npos);
        }
    }
}

TEST(ConvergedRun, TableChoiceDoesNotMatterOnceConverged) {
    const RunOutcome withTables = run(false, true, true);
    const RunOutcome solved = run(false, true, false);
    EXPECT_EQ(withTables.record->absValue, solved.record->absValue);
    EXPECT_EQ(withTables.record->chains.plus, solved.record->chains.plus);
}

TEST(ConvergedRun, ProfileOfAChargedComplexIsStrongerThanTheStandardOne) {
    // The standard grid drops half a cell of core charge at the surface: its potential is
    // weaker. Net charge 72 (5 '+' against 1 '-' chain of 18), little salt.
    const SphericalComplex complex = SphericalComplex::of(5, 1, ChainBlocks{18, 18, 72, 72}, ComplexConditions{0.2});
    const ComplexProfile standard = computeComplexProfile(complex, ProfileOverlay::None, ProfileGrid::Standard);
    const ComplexProfile conv = computeComplexProfile(complex, ProfileOverlay::None, ProfileGrid::Fine);
    ASSERT_EQ(conv.potential.size(), standard.potential.size());
    EXPECT_GT(conv.potential[0], standard.potential[0]);
    // ... by a few per cent, the size of the energy's discretisation error.
    EXPECT_NEAR(conv.potential[0] / standard.potential[0], 1.0, 0.08);
    EXPECT_EQ(conv.r, standard.r);
}

}  // namespace
}  // namespace marlinq
