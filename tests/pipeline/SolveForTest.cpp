// Solving for a measured value, and the sensitivity of a run's answers to its model.

#include "PipelineFixtures.h"

#include "pipeline/Engine.h"
#include "pipeline/Observables.h"
#include "pipeline/Sensitivity.h"
#include "pipeline/SolveFor.h"

#include <gtest/gtest.h>

#include <cmath>

namespace marlinq {
namespace {

using testing::ShippedTables;

// Strongly charged chains with long neutral blocks (50 charges on 18 segments, 200 neutral
// segments): the micelle-forming example, in linear Debye-Hueckel to stay quick.
ParameterSet micelleChains() {
    ParameterSet set = startupParameterSet();
    set.params.zp = set.params.zn = 50.0;
    set.plen = set.mlen = 18.0;
    set.params.kip = set.params.kim = 50.0 / 18.0;
    set.params.Np = set.params.Nm = 200;
    set.params.ka = 0.5;
    set.params.mpMax = set.params.mmMax = 8;
    set.totalMode = true;
    set.totalPlus = set.totalMinus = 1e-4;
    return set;
}

double massAverageAt(ParameterSet set, double gamma, const LoadedTables& tables) {
    set.params.gamma = gamma;
    Parameters p;
    EXPECT_EQ(validate(set, p), std::nullopt);
    RunOptions options;
    options.method = Method::DebyeHueckelLinear;
    const RunOutcome run = runToCompletion(makeJobInput(p, set, options, tables));
    return computeObservables(*run.record).massAverageAggregation;
}

TEST(SolveFor, FindsTheSurfaceTermOfAMeasuredAggregationNumber) {
    ShippedTables shipped;
    Engine engine(DataSearch{MARLINQ_SOURCE_DATA_DIR, ""});
    SolveForProblem problem;
    problem.base = micelleChains();
    problem.options.method = Method::DebyeHueckelLinear;
    const LoadedTables tables = engine.tables(problem.options);
    // A target between what gamma 0 and gamma 1 give.
    const double low = massAverageAt(problem.base, 0.0, tables), high = massAverageAt(problem.base, 1.0, tables);
    ASSERT_LT(low, high);
    problem.name = "gamma";
    problem.observable = "mass_average_aggregation";
    problem.target = 0.5 * (low + high);
    problem.range = std::make_pair(0.0, 1.0);
    const SolveForResult found = solveFor(problem, tables);
    ASSERT_TRUE(found.failure.empty()) << found.failure;
    ASSERT_TRUE(found.value);
    EXPECT_LT(found.runs, 40);
    // The run at the value found gives the target, by a run of its own.
    EXPECT_NEAR(massAverageAt(problem.base, *found.value, tables), problem.target, 1e-6 * problem.target);
    EXPECT_NEAR(found.achieved, problem.target, 1e-6 * problem.target);
    EXPECT_NE(solveForJson(problem, found).find("\"side\": null"), std::string::npos);

    // Beyond what the range reaches: no value, and the side it lies on.
    problem.target = 1e6;
    const SolveForResult unreachable = solveFor(problem, tables);
    EXPECT_FALSE(unreachable.value);
    EXPECT_EQ(unreachable.side, "above");
    EXPECT_NE(solveForJson(problem, unreachable).find("\"value\": null"), std::string::npos);
    problem.target = 1.0;  // every complex holds at least two chains
    EXPECT_EQ(solveFor(problem, tables).side, "below");
}

// Every complex free energy one kT per chain higher is, in free mode, the same weights of
// the complexes as free chains e times scarcer: c+^M+ c-^M- e^(E - M+ - M-).
TEST(Sensitivity, OneKTPerChainIsFreeChainsETimesScarcer) {
    ShippedTables shipped;
    Engine engine(DataSearch{MARLINQ_SOURCE_DATA_DIR, ""});
    ParameterSet set = startupParameterSet();
    set.params.vc10 = set.params.vc01 = 0.02;
    RunOptions options;
    options.keepEnergies = true;
    Parameters p;
    ASSERT_EQ(validate(set, p), std::nullopt);
    const RunOutcome run = runToCompletion(engine.job(p, set, options));
    const std::optional<Sensitivity> s = sensitivityOf(*run.record, std::nullopt, p.vc10, p.vc01);
    ASSERT_TRUE(s);
    for (const double shift : {1.0, -1.0}) {
        Parameters scaled = p;
        scaled.vc10 = p.vc10 * std::pow(2.71828183, -shift);
        scaled.vc01 = p.vc01 * std::pow(2.71828183, -shift);
        ParameterSet scaledSet = set;
        scaledSet.params = scaled;
        const Observables o = computeObservables(*runToCompletion(engine.job(scaled, scaledSet, options)).record);
        const SensitivityAnswer& a = shift > 0 ? s->higher : s->lower;
        EXPECT_EQ(a.mostProbableComplex, o.mostProbableComplex);
        EXPECT_NEAR(a.massAverageAggregation, o.massAverageAggregation, 1e-12 * o.massAverageAggregation);
    }
    // Costlier complexes are smaller.
    EXPECT_LT(s->higher.massAverageAggregation, s->lower.massAverageAggregation);
}

}  // namespace
}  // namespace marlinq
