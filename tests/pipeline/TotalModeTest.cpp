// Total mode beyond the mass balance itself: the parameter file's totals, the sweeps that
// share one landscape, the doubts of the totals at the edges and the critical salt.
#include "pipeline/CriticalSalt.h"
#include "pipeline/Engine.h"
#include "pipeline/ObservablesText.h"
#include "pipeline/Sweep.h"
#include "pipeline/Units.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace marlinq {
namespace {

std::filesystem::path tempFile(const std::string& name) {
    return std::filesystem::temp_directory_path() / ("marlinq-total-" + std::to_string(::getpid()) + "-" + name);
}

LoadResult loadText(const std::string& text, const std::string& name) {
    const auto path = tempFile(name);
    std::ofstream(path, std::ios::binary) << text;
    LoadResult r = loadParameterSet(path.string(), startupParameterSet());
    std::filesystem::remove(path);
    return r;
}

const char* const kStartupFile =
    "vc01 0.001\nvc10 0.001\nzp 18\nzn 18\nkiplus 0.25\nkiminus 0.25\nka 0.2\nNp 1\nNm 200\nmpMin 0\nmpMax 10\n"
    "mmMin 0\nmmMax 10\n";

TEST(TotalModeFile, FreeFilesUnchangedTotalsNeverLast) {
    // Free mode: the thirteen lines files have always held, byte for byte.
    EXPECT_EQ(formatParameterSet(startupParameterSet()), kStartupFile);

    // A total entered by name: total mode, the other total starts from its free chains.
    ParameterSet set = startupParameterSet();
    const ParameterValue v{findParameter("total_plus"), 2e-3};
    ASSERT_FALSE(applyParameterValues(set, std::span(&v, 1)));
    EXPECT_TRUE(set.totalMode);
    EXPECT_EQ(set.totalPlus, 2e-3);
    EXPECT_EQ(set.totalMinus, 1e-3);
    const std::string text = formatParameterSet(set);
    const std::string tail = "mmMin 0\ntotal_plus 0.002\ntotal_minus 0.001\nmmMax 10\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);

    // A reader that knows only the keys of free mode skips the two lines and still ends on
    // a known key.
    const ParameterFileResult old = parseParameterText(text, parameterFileKeys());
    EXPECT_TRUE(old.lastLineHasKnownKey());
    EXPECT_EQ(old.notes.size(), 2u);

    // Back through a file: the same set in total mode; older files load in free mode.
    const LoadResult back = loadText(text, "totals.in");
    ASSERT_EQ(back.status, LoadStatus::Loaded);
    EXPECT_TRUE(back.notes.empty());
    EXPECT_TRUE(back.set.totalMode);
    EXPECT_EQ(back.set.totalPlus, 2e-3);
    EXPECT_EQ(back.set.totalMinus, 1e-3);
    EXPECT_EQ(formatParameterSet(back.set), text);
    EXPECT_FALSE(loadText(kStartupFile, "free.in").set.totalMode);

    // One total alone is a file cut short; totals out of range are refused by the checks.
    const LoadResult lonely = loadText("total_minus 0.001\nmmMax 10\n", "lonely.in");
    EXPECT_EQ(lonely.status, LoadStatus::WrongFile);
    ASSERT_FALSE(lonely.notes.empty());
    EXPECT_NE(lonely.notes.back().find("without total_plus"), std::string::npos) << lonely.notes.back();
    Parameters validated;
    for (const char* bad : {"total_plus 0\ntotal_minus 0.001\nmmMax 10\n", "total_plus 2\ntotal_minus 0.001\nmmMax 10\n",
                            "total_plus 0.001\ntotal_minus -1\nmmMax 10\n",
                            "total_plus 0.001\ntotal_minus 0.001\nmpMin 1\nmmMax 10\n"}) {
        const LoadResult r = loadText(bad, "bad.in");
        ASSERT_EQ(r.status, LoadStatus::Loaded) << bad;
        EXPECT_TRUE(validate(r.set, validated).has_value()) << bad;
    }
}

TEST(TotalModeSweep, NamesSetBothTotals) {
    // Hand values: f = q+ C+ / (q+ C+ + q- C-), T = C+ + C-.
    SweepSpec plan;
    plan.base = startupParameterSet();  // free chains 1e-3 each: T = 2e-3 at f = 1/2
    std::string error;
    const auto point = [&](std::vector<SweepAxis> axes, std::vector<double> values) {
        plan.axes = std::move(axes);
        EXPECT_FALSE(validate(plan)) << validate(plan)->message;
        const std::optional<ParameterSet> set = sweepPointSet(plan, values, error);
        EXPECT_TRUE(set) << error;
        return set.value_or(ParameterSet{});
    };
    ParameterSet s = point({SweepAxis{"charge_fraction", {0.25}, false}}, {0.25});
    EXPECT_TRUE(s.totalMode);
    EXPECT_NEAR(s.totalPlus, 5e-4, 1e-18);
    EXPECT_NEAR(s.totalMinus, 1.5e-3, 1e-18);
    // A doubled '-' charge (same density, longer chain) at f = 1/2: C+ = 2 C-.
    s = point({SweepAxis{"zn", {36}, false}, SweepAxis{"total", {3e-3}, false}}, {36, 3e-3});
    EXPECT_NEAR(s.totalPlus, 2e-3, 1e-18);  // the base's f = 1/2, the point's charges
    s = point({SweepAxis{"zn", {36}, false}, SweepAxis{"charge_fraction", {0.5}, false}}, {36, 0.5});
    EXPECT_NEAR(s.totalPlus, 2e-3 * 2.0 / 3.0, 1e-17);  // the 15 digits a file keeps
    EXPECT_NEAR(s.totalMinus, 2e-3 / 3.0, 1e-17);
    // mM of chains at a = 0.714 nm: 4.561991400541782 mM is 1e-3 chains per a^3.
    plan.unitNm = 0.714;
    s = point({SweepAxis{"total_plus_mM", {4.561991400541782}, false}}, {4.561991400541782});
    EXPECT_NEAR(s.totalPlus, 1e-3, 1e-15);
    EXPECT_NEAR(chainsMillimolar(1e-3, 0.714), 4.561991400541782, 1e-12);

    // Refused: two names for one pair of totals, mM without the unit, f out of (0, 1).
    plan.axes = {SweepAxis{"total", {1e-3}, false}, SweepAxis{"total_plus", {1e-3}, false}};
    EXPECT_EQ(validate(plan)->problem, PlanProblem::SameParameter);
    plan.axes = {SweepAxis{"total_mM", {1}, false}, SweepAxis{"total", {1e-3}, false}};
    EXPECT_EQ(validate(plan)->problem, PlanProblem::SameParameter);
    plan.unitNm.reset();
    plan.axes = {SweepAxis{"total_mM", {1}, false}};
    EXPECT_EQ(validate(plan)->problem, PlanProblem::SaltNeedsUnit);
    plan.axes = {SweepAxis{"charge_fraction", {1.0}, false}};
    EXPECT_FALSE(sweepPointSet(plan, {1.0}, error));
    EXPECT_NE(error.find("charge fraction"), std::string::npos) << error;

    EXPECT_TRUE(sweepKeepsLandscape(SweepSpec{{}, {SweepAxis{"vc10", {1}, false}, SweepAxis{"total_mM", {1}, false}}}));
    EXPECT_FALSE(sweepKeepsLandscape(SweepSpec{{}, {SweepAxis{"total", {1}, false}, SweepAxis{"ka", {1}, false}}}));
}

// Every point of a concentration sweep, formed from the one landscape, is the run of its own.
void expectSameRuns(SweepSpec plan) {
    const LoadedTables tables = Engine().tables(plan.options);
    ASSERT_FALSE(tables.failed()) << tables.error;
    ASSERT_TRUE(sweepKeepsLandscape(plan));
    std::int64_t points = 0;
    runSweep(plan, tables, {}, [&](const SweepPoint& shared, std::int64_t, std::int64_t) {
        ++points;
        const SweepPoint own = runSweepPoint(plan, shared.index, tables);
        SCOPED_TRACE(shared.index);
        ASSERT_EQ(shared.status, own.status);
        if (!own.ran) return;
        ASSERT_TRUE(shared.run.record && own.run.record);
        const RunResult &a = *shared.run.record, &b = *own.run.record;
        EXPECT_TRUE(a.absValue.toVector() == b.absValue.toVector());
        EXPECT_TRUE(a.Value.toVector() == b.Value.toVector());
        EXPECT_EQ(a.concentrations.freePlus, b.concentrations.freePlus);
        EXPECT_EQ(a.concentrations.freeMinus, b.concentrations.freeMinus);
        EXPECT_EQ(a.max_shift, b.max_shift);
        EXPECT_EQ(sweepCsvRow(plan, shared), sweepCsvRow(plan, own));
        std::vector<std::string> wa, wb;
        for (const RunWarning& w : shared.run.warnings) wa.push_back(warningText(w));
        for (const RunWarning& w : own.run.warnings) wb.push_back(warningText(w));
        std::sort(wa.begin(), wa.end());
        std::sort(wb.begin(), wb.end());
        EXPECT_EQ(wa, wb);
    });
    EXPECT_EQ(points, sweepPointCount(plan));
}

TEST(TotalModeSweep, OneLandscapeGivesEveryPointItsOwnRun) {
    SweepSpec plan;
    plan.base = startupParameterSet();
    plan.base.params.mpMax = plan.base.params.mmMax = 6;
    plan.options.method = Method::PoissonBoltzmann;
    // Total mode, with a refused point (f = 1) among them; the edges of these small ranges
    // hold chains at the larger total (a warning of its own at that point only).
    plan.axes = {SweepAxis{"total", {1e-4, 0.3}, false}, SweepAxis{"charge_fraction", {1.0, 0.3, 0.5}, false}};
    expectSameRuns(plan);
    // Free chains.
    plan.axes = {SweepAxis{"vc10", {1e-6, 1e-2}, false}};
    expectSameRuns(plan);
}

TEST(TotalModeDoubts, ChainsOnAnEdgeOfTheRanges) {
    const LoadedTables tables = Engine().tables(RunOptions{});
    ParameterSet set = startupParameterSet();
    set.totalMode = true;
    set.totalPlus = set.totalMinus = 2e-3;
    const auto run = [&](std::int32_t largest) {
        set.params.mpMax = set.params.mmMax = largest;
        Parameters p;
        EXPECT_FALSE(validate(set, p));
        RunOptions options;
        options.method = Method::PoissonBoltzmann;
        return runToCompletion(makeJobInput(p, set, options, tables));
    };
    // Up to 2 chains of a kind: the complexes (2, 1), (1, 2), (2, 2) lie on the edges.
    const RunOutcome small = run(2);
    ASSERT_EQ(small.outcome, JobOutcome::Finished);
    const RunResult& r = *small.record;
    // The '+' chains of the row M+ = 2 over C+, from the distribution's own concentrations.
    const double factor = std::exp(-weightShiftOffset(r.max_shift) * std::log(2.71828183));
    double rowPlus = 0.0;
    for (std::int32_t c = 1; c < r.absValue.cols(); ++c) rowPlus += 2.0 * r.absValue(2, c) / factor;
    std::vector<const RunWarning*> edges;
    for (const RunWarning& w : small.warnings)
        if (w.kind == WarningKind::TotalsEdge) edges.push_back(&w);
    ASSERT_EQ(edges.size(), 2u);
    EXPECT_NE(warningText(*edges[0]).find("on the edge M+ = 2"), std::string::npos) << warningText(*edges[0]);
    EXPECT_NE(warningText(*edges[1]).find("on the edge M- = 2"), std::string::npos) << warningText(*edges[1]);
    EXPECT_NEAR(edges[0]->residual, rowPlus / 2e-3, 1e-9 * rowPlus / 2e-3);
    EXPECT_GT(edges[0]->residual, kTotalsEdgeShare);
    // In the summary's warnings too.
    const std::vector<std::string> said = runWarnings(small, computeObservables(r));
    EXPECT_NE(std::find(said.begin(), said.end(), warningText(*edges[0])), said.end());

    // The start-up ranges hold every complex that matters at these totals.
    const RunOutcome wide = run(10);
    for (const RunWarning& w : wide.warnings) EXPECT_NE(w.kind, WarningKind::TotalsEdge) << warningText(w);
}

TEST(CriticalSalt, CrossingAndBothSides) {
    // Solved chains and the linear Debye-Hueckel energies: smooth in ka, and fast.
    RunOptions options;
    options.method = Method::DebyeHueckelLinear;
    options.chains = Chains::Solved;
    const LoadedTables tables;
    ParameterSet set = startupParameterSet();
    set.totalMode = true;
    const auto largerBound = [&](double ka) {
        Parameters p;
        EXPECT_FALSE(validate(set, p));
        p.ka = ka;
        const RunOutcome run = runToCompletion(makeJobInput(p, set, options, tables));
        const Observables o = computeObservables(*run.record);
        return std::max(o.boundFractionPlus, o.boundFractionMinus);
    };
    set.totalPlus = set.totalMinus = 2e-3;
    const CriticalSaltResult r = criticalSalt(set, options, tables);
    ASSERT_TRUE(r.ka) << r.note();
    EXPECT_FALSE(r.jump());
    EXPECT_GT(largerBound(*r.ka * (1.0 - 3e-6)), 0.5);
    EXPECT_LT(largerBound(*r.ka * (1.0 + 3e-6)), 0.5);
    // Less salt binds more: at a tenth of the totals the crossing comes at lower salt.
    set.totalPlus = set.totalMinus = 2e-4;
    const CriticalSaltResult lower = criticalSalt(set, options, tables);
    ASSERT_TRUE(lower.ka);
    EXPECT_LT(*lower.ka, *r.ka);

    // Not crossed: too few chains to bind at any salt, or too many to let go.
    set.totalPlus = set.totalMinus = 1e-12;
    const CriticalSaltResult below = criticalSalt(set, options, tables);
    EXPECT_TRUE(below.belowRange && !below.ka && below.runs == 1);
    EXPECT_NE(below.note().find("below ka 0.2"), std::string::npos);
    set.totalPlus = set.totalMinus = 0.9;
    const CriticalSaltResult above = criticalSalt(set, options, tables);
    EXPECT_TRUE(above.aboveRange && !above.ka);
    EXPECT_EQ(above.runs, kCriticalSaltGrid);
}

}  // namespace
}  // namespace marlinq
