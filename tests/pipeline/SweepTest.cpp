// Sweeps: the three forms of VALUES, the grid order, shards, a refused point in the middle
// of a sweep, and the CSV rows.

#include "PipelineFixtures.h"

#include "pipeline/ObservablesText.h"
#include "pipeline/Sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <stop_token>

namespace marlinq {
namespace {

std::vector<double> values(const std::string& text, bool* logOut = nullptr) {
    bool log = false;
    std::string error;
    const auto v = parseSweepValues(text, log, error);
    EXPECT_TRUE(v) << text << ": " << error;
    if (logOut) *logOut = log;
    return v.value_or(std::vector<double>{});
}

TEST(SweepValues, ThreeForms) {
    EXPECT_EQ(values("0.2,0.5,1"), (std::vector<double>{0.2, 0.5, 1.0}));
    EXPECT_EQ(values("1e-3, +2.5"), (std::vector<double>{1e-3, 2.5}));
    EXPECT_EQ(values("7"), (std::vector<double>{7.0}));
    // Evenly spaced, both ends included.
    bool log = true;
    EXPECT_EQ(values("0:1:5", &log), (std::vector<double>{0.0, 0.25, 0.5, 0.75, 1.0}));
    EXPECT_FALSE(log);
    EXPECT_EQ(values("10:4:3"), (std::vector<double>{10.0, 7.0, 4.0}));
    EXPECT_EQ(values("3:3:1"), (std::vector<double>{3.0}));
    // Logarithmic: 0.2, 0.2 * 50^(1/2), 10 and 1, 10, 100, 1000 with exact ends.
    const std::vector<double> l = values("0.2:10:3:log", &log);
    EXPECT_TRUE(log);
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[0], 0.2);
    EXPECT_NEAR(l[1], std::sqrt(2.0), 1e-14);
    EXPECT_EQ(l[2], 10.0);
    const std::vector<double> decades = values("1:1000:4:log");
    ASSERT_EQ(decades.size(), 4u);
    EXPECT_NEAR(decades[1], 10.0, 1e-13);
    EXPECT_NEAR(decades[2], 100.0, 1e-12);
    EXPECT_EQ(decades[3], 1000.0);
    const std::vector<double> hundred = values("0.2:10:100:log");
    ASSERT_EQ(hundred.size(), 100u);
    for (std::size_t k = 1; k < hundred.size(); ++k)
        EXPECT_NEAR(hundred[k] / hundred[k - 1], std::pow(50.0, 1.0 / 99.0), 1e-13);
}

TEST(SweepValues, Refused) {
    for (const char* text : {"", "a,b", "1,,2", "1:2", "0:1:0", "0:1:2.5", "0:1:2:lin", "0:1:3:log", "-1:1:3:log",
                             "1:2:3:4:5", "0,5;6", "1e999"}) {
        bool log = false;
        std::string error;
        EXPECT_FALSE(parseSweepValues(text, log, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    std::string error;
    EXPECT_FALSE(parseSweepAxis("foo=1,2", error));
    EXPECT_FALSE(parseSweepAxis("ka", error));
    EXPECT_FALSE(parseSweepAxis("Np=1.5", error));
    EXPECT_NE(error.find("whole"), std::string::npos);
    const auto axis = parseSweepAxis("mpMax=5:10:6", error);
    ASSERT_TRUE(axis);
    EXPECT_EQ(axis->name, "mpMax");
    EXPECT_EQ(axis->values, (std::vector<double>{5, 6, 7, 8, 9, 10}));
}

TEST(SweepPlan, OneCheckBeforeAnyPoint) {
    SweepSpec plan;
    plan.base = startupParameterSet();
    const auto problem = [&](std::vector<SweepAxis> axes) -> std::optional<PlanProblem> {
        plan.axes = std::move(axes);
        const std::optional<PlanError> bad = validate(plan);
        if (bad) EXPECT_FALSE(bad->message.empty());
        return bad ? std::optional<PlanProblem>(bad->problem) : std::nullopt;
    };
    EXPECT_EQ(problem({}), PlanProblem::NoAxis);
    EXPECT_EQ(problem({{"kb", {60}}}), PlanProblem::UnknownName);
    EXPECT_EQ(problem({{"ka", {}}}), PlanProblem::NoValues);
    EXPECT_EQ(problem({{"ka", {0.5, NAN}}}), PlanProblem::NotFinite);
    EXPECT_EQ(problem({{"mmMax", {5.5}}}), PlanProblem::NotWhole);
    EXPECT_EQ(problem({{"mmMax", {3e9}}}), PlanProblem::NotWhole);
    EXPECT_EQ(problem({{"mmMax", {5}}, {"mmMax", {6}}}), PlanProblem::SameParameter);
    // ka and salt_mM both set ka: refused whichever comes first, even with a unit, and
    // before the missing unit is named.
    EXPECT_EQ(problem({{"salt_mM", {10}}, {"ka", {0.5}}}), PlanProblem::SameParameter);
    plan.unitNm = 0.7;
    EXPECT_EQ(problem({{"ka", {0.5}}, {"salt_mM", {10}}}), PlanProblem::SameParameter);
    EXPECT_EQ(problem({{"salt_mM", {10}}, {"vc10", {1e-3}}}), std::nullopt);
    plan.unitNm.reset();
    EXPECT_EQ(problem({{"salt_mM", {10}}}), PlanProblem::SaltNeedsUnit);
    plan.unitNm = 0.0;
    EXPECT_EQ(problem({{"ka", {0.5}}}), PlanProblem::BadUnit);
    plan.unitNm.reset();
    plan.shard = Shard{2, 2};
    EXPECT_EQ(problem({{"ka", {0.5}}}), PlanProblem::BadShard);
    plan.shard = Shard{1, 2};
    EXPECT_EQ(problem({{"ka", {0.5, 0.1}}, {"Np", {10, 20}}}), std::nullopt);  // a refused point is no plan error
}

TEST(SweepGrid, FirstAxisOutermostAndShards) {
    SweepSpec plan;
    plan.axes = {SweepAxis{"ka", {0.2, 0.5, 1.0}, false}, SweepAxis{"zp", {18.0, 36.0}, false}};
    ASSERT_EQ(sweepPointCount(plan), 6);
    const std::vector<std::vector<double>> expected{{0.2, 18.0}, {0.2, 36.0}, {0.5, 18.0},
                                                    {0.5, 36.0}, {1.0, 18.0}, {1.0, 36.0}};
    for (std::int64_t i = 0; i < 6; ++i) EXPECT_EQ(sweepPointValues(plan, i), expected[static_cast<std::size_t>(i)]);

    std::string error;
    const auto shard = parseShard("1/4", error);
    ASSERT_TRUE(shard);
    plan.shard = *shard;
    const auto points = [](const SweepSpec& p) {
        std::vector<std::int64_t> v;
        for (std::int64_t k = 0; k < shardPointCount(p); ++k) v.push_back(shardPointIndex(p, k));
        return v;
    };
    EXPECT_EQ(points(plan), (std::vector<std::int64_t>{1, 5}));
    // Shard counts near the 64-bit limit: no overflow, later shards empty, no point twice.
    plan.shard = *parseShard("1/9223372036854775807", error);
    EXPECT_EQ(points(plan), (std::vector<std::int64_t>{1}));
    plan.shard = *parseShard("0/9223372036854775807", error);
    EXPECT_EQ(points(plan), (std::vector<std::int64_t>{0}));
    plan.shard = *parseShard("2/9223372036854775807", error);
    EXPECT_EQ(points(plan), (std::vector<std::int64_t>{2}));
    plan.shard = *parseShard("6/9223372036854775807", error);
    EXPECT_TRUE(points(plan).empty());
    plan.shard = *parseShard("9223372036854775806/9223372036854775807", error);
    EXPECT_TRUE(points(plan).empty());
    plan.shard = Shard{5, 6};
    EXPECT_EQ(points(plan), (std::vector<std::int64_t>{5}));
    for (const char* bad : {"4/4", "-1/2", "1/0", "1", "a/b", "1/2/3"}) EXPECT_FALSE(parseShard(bad, error)) << bad;
}

TEST(SweepGrid, PointSetsAsAParameterFileLineWould) {
    SweepSpec plan;
    plan.base = startupParameterSet();
    plan.axes = {SweepAxis{"zp", {36.0}, false}, SweepAxis{"ka", {0.30000000000000004}, false}};
    std::string error;
    auto set = sweepPointSet(plan, {36.0, 0.30000000000000004}, error);
    ASSERT_TRUE(set) << error;
    EXPECT_EQ(set->plen, 144.0);  // 36 / 0.25: the density stays, the length follows
    EXPECT_EQ(set->mlen, 72.0);
    EXPECT_EQ(set->params.ka, 0.3);  // 15 significant digits, as a file shows it
    plan.axes = {SweepAxis{"salt_mM", {100.0}, false}};
    EXPECT_FALSE(sweepPointSet(plan, {100.0}, error));
    plan.unitNm = 0.714;
    set = sweepPointSet(plan, {100.0}, error);
    ASSERT_TRUE(set) << error;
    EXPECT_NEAR(set->params.ka, 0.74224, 1e-5);
    // A salt whose ka falls just outside 0.2..10 is refused with the salt range at this
    // segment size (kappa^2 = 8 pi a N_A c: 7.260635 to 18151.587 mM at 0.714 nm, to 1e-7), each bound
    // itself accepted when typed back.
    EXPECT_FALSE(sweepPointSet(plan, {7.26}, error));
    EXPECT_NE(error.find("at a = 0.714 nm the salt must be between 7.26064 and 18151.58858 mM"), std::string::npos)
        << error;
    EXPECT_TRUE(sweepPointSet(plan, {7.26064}, error)) << error;
    EXPECT_TRUE(sweepPointSet(plan, {18151.58858}, error)) << error;
    EXPECT_FALSE(sweepPointSet(plan, {18151.59}, error));
    plan.unitNm = 1e300;
    EXPECT_FALSE(sweepPointSet(plan, {100.0}, error));
}

class SweepRuns : public ::testing::Test {
protected:
    void SetUp() override {
        tables = loadChainTables(locateDataFile(kCoarseTableFile), locateDataFile(kFineTableFile), tablesError);
        ASSERT_TRUE(tables) << tablesError;
        plan.base = startupParameterSet();
    }
    std::string sweepCsv(const SweepSpec& s, std::vector<SweepPoint>* points = nullptr) {
        std::string csv = sweepCsvHeader(s);
        runSweep(s, tables, {}, [&](const SweepPoint& p, std::int64_t, std::int64_t) {
            csv += sweepCsvRow(s, p);
            if (points) points->push_back(p);
        });
        return csv;
    }
    std::shared_ptr<const ChainTables> tables;
    std::string tablesError;
    SweepSpec plan;
};

TEST_F(SweepRuns, RefusedPointInTheMiddleAndTheSweepGoesOn) {
    plan.axes = {SweepAxis{"ka", {0.5, 0.1, 1.0}, false}};
    std::vector<SweepPoint> points;
    const std::string csv = sweepCsv(plan, &points);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].status, "ok");
    EXPECT_FALSE(points[1].ran);
    EXPECT_EQ(points[1].status, "Stable solution is only for ka between 0.2 and 10");
    EXPECT_EQ(points[2].status, "ok");
    EXPECT_EQ(points[2].params.ka, 1.0);
    EXPECT_NE(csv.find("\n1,0.1,,,,,,,,,,,,,,,,,,,,Stable solution is only for ka between 0.2 and 10,,,,,\n"), std::string::npos)
        << csv;
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "index,ka,most_probable_mp,most_probable_mm,mean_mp,mean_mm,mass_average_aggregation,"
              "bound_fraction_plus,bound_fraction_minus,mean_net_charge,mean_core_radius,most_probable_share,"
              "free_plus,free_minus,total_plus,total_minus,charge_fraction,mass_balance_residual,"
              "critical_concentration,most_probable_complex_mp,most_probable_complex_mm,status,warnings,"
              "unconverged_solves,nonfinite_cells,beyond_dh_cells,range_edge");
    // A point of a sweep is the run of its parameter set alone.
    Parameters p;
    ParameterSet set = plan.base;
    set.params.ka = 1.0;
    ASSERT_FALSE(validate(set, p));
    const RunOutcome alone = runToCompletion(makeJobInput(p, set, plan.options, tables));
    EXPECT_EQ(alone.record->absValue, points[2].run.record->absValue);
    // Equal charges on both kinds: complexes close to neutral, within one chain's charge.
    EXPECT_LT(std::fabs(points[0].observables.meanNetCharge), 18.0);
    EXPECT_TRUE(points[0].observables.anyComplex);
}

TEST_F(SweepRuns, ShardsReassembleIntoTheWholeSweep) {
    plan.axes = {SweepAxis{"ka", {0.2, 0.7, 3.0}, false}, SweepAxis{"vc10", {1e-3, 1e-2}, false}};
    plan.options.method = Method::PoissonBoltzmann;
    const std::string whole = sweepCsv(plan);
    std::map<std::int64_t, std::string> rows;
    for (std::int64_t i = 0; i < 4; ++i) {
        SweepSpec s = plan;
        s.shard = Shard{i, 4};
        const std::string part = sweepCsv(s);
        EXPECT_EQ(part.substr(0, part.find('\n') + 1), sweepCsvHeader(plan));
        std::size_t at = part.find('\n') + 1;
        while (at < part.size()) {
            const std::size_t end = part.find('\n', at) + 1;
            const std::string row = part.substr(at, end - at);
            rows[std::stoll(row)] = row;
            at = end;
        }
    }
    std::string joined = sweepCsvHeader(plan);
    for (const auto& [index, row] : rows) joined += row;
    EXPECT_EQ(joined, whole);
    EXPECT_EQ(rows.size(), 6u);
}

}  // namespace
}  // namespace marlinq

namespace marlinq {
namespace {

TEST_F(SweepRuns, RowsCarryTheDoubtsOfTheirRun) {
    // M+ and M- up to 3 cut off the start-up mixture's peak at (4, 4).
    plan.base.params.mpMax = 3;
    plan.base.params.mmMax = 3;
    plan.axes = {SweepAxis{"ka", {0.2}, false}};
    const std::string csv = sweepCsv(plan);
    const std::string row = csv.substr(csv.find("\n0,") + 1);
    EXPECT_NE(row.find(",ok,\"the free concentrations imply 153 chains per a³ of each kind in complexes: no solution holds "
                       "that; use total mode | the most probable complex (3, 3) lies on the edge of the M+ and M- "
                       "ranges; enlarge them\",0,0,"),
              std::string::npos)
        << row;
    EXPECT_EQ(row.substr(row.size() - 3), ",1\n");
    // Converged accuracy: its estimated error and its difference from the standard energies.
    plan.options.accuracy = Accuracy::Converged;
    plan.base = startupParameterSet();
    plan.base.params.mpMax = plan.base.params.mmMax = 4;
    std::vector<SweepPoint> points;
    const std::string converged = sweepCsv(plan, &points);
    EXPECT_NE(converged.find(",range_edge,error_estimate,standard_difference\n"), std::string::npos);
    ASSERT_EQ(points.size(), 1u);
    ASSERT_TRUE(points[0].run.counts.converged);
    EXPECT_NE(converged.find("," + formatReal17(points[0].run.counts.errorEstimate) + "," +
                             formatReal17(points[0].run.counts.standardDifference) + "\n"),
              std::string::npos);
}

TEST(SweepPlan, PlanLineNamesTheSweepAndOnlyTheShardSetsPartsApart) {
    SweepSpec plan;
    plan.base = startupParameterSet();
    plan.axes = {SweepAxis{"ka", {0.2, 0.5, 1.0}, false}, SweepAxis{"vc10", {1e-3, 1e-2}, false}};
    const std::string whole = sweepPlanLine(plan);
    EXPECT_EQ(whole.rfind("# " + sweepProgramVersion() + " sweep ", 0), 0u) << whole;
    EXPECT_NE(whole.find(": 6 points, ka 3 x vc10 2, method dh, chains table, accuracy standard\n"), std::string::npos)
        << whole;
    SweepSpec shard = plan;
    shard.shard = Shard{1, 4};
    shard.options.threads = 3;
    EXPECT_EQ(sweepPlanLine(shard), whole.substr(0, whole.size() - 1) + "; shard 1/4\n");
    // Any value that decides a row gives another plan: one swept value, the base, the method.
    SweepSpec other = plan;
    other.axes[1].values[1] = 1.0000000000000002e-2;
    EXPECT_NE(sweepPlanFingerprint(other), sweepPlanFingerprint(plan));
    other = plan;
    other.base.params.zn = 19;
    EXPECT_NE(sweepPlanFingerprint(other), sweepPlanFingerprint(plan));
    other = plan;
    other.options.method = Method::PoissonBoltzmann;
    EXPECT_NE(sweepPlanFingerprint(other), sweepPlanFingerprint(plan));
    // So do other tables: one number of the coarse table changed in its last bit.
    ChainTables tables{};
    tables.coarse[3][4] = 1.5;
    other = plan;
    other.tablesDigest = chainTablesDigest(tables);
    SweepSpec changed = other;
    tables.coarse[3][4] = std::nextafter(1.5, 2.0);
    changed.tablesDigest = chainTablesDigest(tables);
    EXPECT_NE(other.tablesDigest, 0u);
    EXPECT_NE(sweepPlanFingerprint(other), sweepPlanFingerprint(plan));
    EXPECT_NE(sweepPlanFingerprint(changed), sweepPlanFingerprint(other));
    EXPECT_EQ(sweepPartialLine(543, 1000000), "# The sweep is partial: 543 of 1000000 points\n");
}

TEST(SweepPlan, HugePlansAreSizedWithoutWalkingThemAndRefusedAboveOneGibibyte) {
    SweepSpec plan;
    plan.base = startupParameterSet();
    std::string error;
    plan.axes = {*parseSweepAxis("ka=0.2:10:1000000", error), *parseSweepAxis("vc10=1e-3:1e-2:1000000", error)};
    const std::optional<std::string> refused = oversizedSweep(plan);
    ASSERT_TRUE(refused);
    EXPECT_NE(refused->find("(1000000000000 points)"), std::string::npos) << *refused;
    EXPECT_NE(refused->find("TiB"), std::string::npos) << *refused;
    // A shard of a thousandth is still too large; a single axis of a million is not.
    plan.shard = Shard{0, 1000};
    EXPECT_TRUE(oversizedSweep(plan));
    plan.axes.pop_back();
    plan.shard = Shard{};
    EXPECT_FALSE(oversizedSweep(plan));
    EXPECT_GT(sweepCsvSizeEstimate(plan), std::uint64_t{200} << 20);  // rows of hundreds of characters
}

TEST(SweepPlan, WorkersShareTheThreadBudget) {
    EXPECT_EQ(sweepParallelism(0, 100, 8).workers, 8);
    EXPECT_EQ(sweepParallelism(0, 100, 8).threadsPerPoint, 1);
    EXPECT_EQ(sweepParallelism(2, 100, 8).threadsPerPoint, 4);
    EXPECT_EQ(sweepParallelism(3, 100, 8).threadsPerPoint, 2);
    EXPECT_EQ(sweepParallelism(0, 3, 8).workers, 3);  // never more workers than points
    EXPECT_EQ(sweepParallelism(16, 100, 4).threadsPerPoint, 1);
    EXPECT_EQ(sweepParallelism(1, 100, 0).threadsPerPoint, 0);  // one worker: the run's own default
}

}  // namespace
}  // namespace marlinq
