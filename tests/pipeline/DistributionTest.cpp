// The distribution formed from an energy landscape: hand-computed weights, the common shift,
// and the same distribution to the bit whether the job forms it or it is formed again from
// the landscape the job kept.

#include "PipelineFixtures.h"

#include "pipeline/Distribution.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace marlinq {
namespace {

using testing::jobInput;
using testing::Recorder;
using testing::ShippedTables;
using testing::startupParameters;

// M+ and M- from 0 to 2 with the four complexes (1..2, 1..2) evaluated.
Landscape twoByTwo(double E11, double E12, double E21, double E22, bool byRows) {
    Landscape l;
    l.mpMin = l.mmMin = 0;
    l.mpMax = l.mmMax = 2;
    l.cells = CellEnergies(3, 3);
    l.byRows = byRows;
    const double E[2][2] = {{E11, E12}, {E21, E22}};
    for (std::int32_t mp = 1; mp <= 2; ++mp) {
        for (std::int32_t mm = 1; mm <= 2; ++mm) {
            l.cells.E(mp, mm) = E[mp - 1][mm - 1];
            l.cells.F(mp, mm) = -E[mp - 1][mm - 1];
            l.cells.evaluated(mp, mm) = 1;
        }
    }
    return l;
}

TEST(Distribution, HandComputedWeightsOfATwoByTwoLandscape) {
    // weight = c+^M+ c-^M- e^E at c+ = 0.1, c- = 0.2, the lone chains weigh c+ and c-;
    // values worked out with e to 30 digits (the program's e is 2.71828183, hence 2e-8).
    for (const bool byRows : {false, true}) {
        const Distribution d = distributionOf(twoByTwo(2.0, 5.0, 1.0, 8.0, byRows), 0.1, 0.2);
        const auto near = [](double got, double want) { EXPECT_NEAR(got, want, 2e-8 * want); };
        EXPECT_EQ(d.max_shift, 0.0);
        EXPECT_TRUE(d.normalised);
        near(d.absValue(1, 1), 0.147781121978613);
        near(d.absValue(1, 2), 0.593652636410306);
        near(d.absValue(2, 1), 0.00543656365691809);
        near(d.absValue(2, 2), 1.19238319481669);
        EXPECT_EQ(d.absValue(1, 0), 0.1);
        EXPECT_EQ(d.absValue(0, 1), 0.2);
        for (const auto& [r, c] : {std::pair{0, 0}, std::pair{0, 2}, std::pair{2, 0}}) EXPECT_EQ(d.absValue(r, c), 0.0);
        near(d.sum, 2.23925351686253);
        near(d.maxValue, 1.19238319481669);
        near(d.Value(1, 1), 0.0659957083312624);
        near(d.Value(1, 2), 0.265111847291899);
        near(d.Value(2, 1), 0.00242784643006183);
        near(d.Value(2, 2), 0.532491379755593);
    }
}

TEST(Distribution, ShiftedHandCaseAndCellsWithoutEnergy) {
    // At c+ = c- = 0.5 with E(1,1) = 800 the largest log-weight is 800 + 2 ln 0.5 =
    // 798.6137...; it becomes e^10, and (2,2) with E = 790 lies 4 ln 0.5 - 2 ln 0.5 - 10
    // below it in the exponent: e^10 * 0.25 e^-10 = 0.25. The lone chains fall to 0.
    for (const bool byRows : {false, true}) {
        const Distribution d = distributionOf(twoByTwo(800.0, NAN, INFINITY, 790.0, byRows), 0.5, 0.5);
        EXPECT_NEAR(d.max_shift, 798.61370563888, 1e-9);
        EXPECT_NEAR(d.absValue(1, 1), 22026.4657948067, 2e-8 * 22026.4657948067);  // e to 2.71828183
        EXPECT_NEAR(d.absValue(2, 2), 0.25, 2e-8 * 0.25);
        EXPECT_EQ(d.absValue(1, 2), 0.0);
        EXPECT_EQ(d.absValue(2, 1), 0.0);
        EXPECT_EQ(d.nonFiniteCells, 2);
        EXPECT_EQ(d.absValue(1, 0), 0.0);
        EXPECT_NEAR(d.Value(1, 1), 0.99998865014638, 1e-12);
        EXPECT_FALSE(d.unrepresentable);
    }
}

TEST(Distribution, OneLandscapeAtOtherConcentrations) {
    // Doubling c+ doubles the weight of every '+' chain a complex holds: the ratio of the
    // weights of (2, 1) and (1, 1) doubles, that of (1, 2) and (1, 1) stays.
    const Landscape l = twoByTwo(2.0, 5.0, 1.0, 8.0, false);
    const Distribution a = distributionOf(l, 0.1, 0.2), b = distributionOf(l, 0.2, 0.2);
    EXPECT_NEAR((b.Value(2, 1) / b.Value(1, 1)) / (a.Value(2, 1) / a.Value(1, 1)), 2.0, 1e-14);
    EXPECT_NEAR((b.Value(1, 2) / b.Value(1, 1)) / (a.Value(1, 2) / a.Value(1, 1)), 1.0, 1e-14);
}

// Highly charged '+' chains: the weights leave the range of a double, and the common shift
// is raised row after row of a Poisson-Boltzmann run, by steps small enough that the earlier
// rows keep weights (formed in one go from the final landscape, they would differ in the
// last bits). Both lone chains lie in the ranges.
Parameters shiftedRun() {
    Parameters p = startupParameters();
    p.zp = 60.0;
    p.kip = 10.0;
    p.Np = 10;
    p.Nm = 50;
    p.mpMin = p.mmMin = 0;
    p.mpMax = 12;
    p.mmMax = 40;
    return p;
}

void expectSameBits(const Distribution& d, const RunResult& rec) {
    EXPECT_TRUE(d.absValue == rec.absValue);
    EXPECT_TRUE(d.Value == rec.Value);
    EXPECT_EQ(d.sum, rec.sum);
    EXPECT_EQ(d.maxValue, rec.maxValue);
    EXPECT_EQ(d.max_shift, rec.max_shift);
    EXPECT_EQ(d.nonFiniteCells, rec.quality.nonFiniteCells);
    EXPECT_EQ(d.normalised, rec.normalised);
}

TEST(Distribution, FormedAgainFromTheJobsLandscapeToTheBit) {
    ShippedTables tables;
    for (const Parameters& p : {startupParameters(), shiftedRun()}) {
        for (const bool dh : {true, false}) {
            JobInput input = jobInput(p, p.zp / p.kip, 72, dh);
            input.keepEnergies = true;
            Recorder rec;
            // The common shift of every snapshot as the run goes.
            std::set<double> shifts;
            JobEvents cb = rec.callbacks();
            cb.snapshot = [&](const ResultSnapshot& s) {
                shifts.insert(s->max_shift);
                rec.record = s;
            };
            ASSERT_EQ(runCalculation(input, {}, cb), JobOutcome::Finished);
            const RunResult& resultRecord = *rec.record;
            if (p.zp == 60.0) {
                ASSERT_GT(resultRecord.max_shift, 0.0);
                if (!dh) EXPECT_GT(shifts.size(), 2u);  // 0, then raised more than once
            }
            const Landscape l = landscapeOf(resultRecord);
            EXPECT_EQ(l.fPlus, resultRecord.chains.plus);
            EXPECT_EQ(l.byRows, !dh);
            expectSameBits(distributionOf(l, p.vc10, p.vc01), resultRecord);
        }
    }
}

}  // namespace
}  // namespace marlinq
