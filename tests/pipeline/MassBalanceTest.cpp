// The mass balance against a closed form, against the free-mode run it must reproduce, and
// in the stiff region near charge stoichiometry.

#include "PipelineFixtures.h"

#include "pipeline/Distribution.h"
#include "pipeline/MassBalance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stop_token>
#include <string>
#include <tuple>

namespace marlinq {
namespace {

using testing::jobInput;
using testing::Recorder;
using testing::ShippedTables;
using testing::startupParameters;

// Free chains of the landscape that holds only (1, 1) with K = e^lnK: C+ = c+ + K c+ c-,
// C- = c- + K c+ c-, so c- = c+ + (C- - C+) and K c+^2 + (1 + K (C- - C+)) c+ - C+ = 0.
// Solved in long double (K up to e^800) for the scarcer kind, whose root has no
// cancellation; the other kind from its own balance, C / (1 + K c).
std::pair<long double, long double> pairFreeChains(long double Cp, long double Cm, long double lnK) {
    const long double K = std::exp(lnK);
    const bool plusScarce = Cp <= Cm;
    const long double scarce = plusScarce ? Cp : Cm, plenty = plusScarce ? Cm : Cp;
    const long double b = 1.0L + K * (plenty - scarce);
    const long double c = 2.0L * scarce / (b + std::sqrt(b * b + 4.0L * K * scarce));
    const long double other = plenty / (1.0L + K * c);
    return plusScarce ? std::pair{c, other} : std::pair{other, c};
}

TEST(MassBalance, LonePairMeetsTheClosedForm) {
    struct Case {
        double Cp, Cm, lnK;
    };
    // Weak and strong binding, either kind scarce, the range ends, and a K beyond a double.
    for (const Case& k : {Case{1e-3, 1e-3, 0.0}, Case{1e-3, 2e-3, 10.0}, Case{2e-3, 1e-3, 10.0},
                          Case{1e-3, 1e-3, 50.0}, Case{0.3, 0.29, 50.0}, Case{1e-20, 1e-20, 30.0},
                          Case{1.0, 1.0, 3.0}, Case{1e-20, 1.0, 40.0}, Case{1e-6, 3e-6, 800.0}}) {
        const MassBalance mb({{1, 0, 0.0}, {0, 1, 0.0}, {1, 1, k.lnK}});
        const auto [cp, cm] = pairFreeChains(k.Cp, k.Cm, k.lnK);
        SCOPED_TRACE(::testing::PrintToString(k.Cp) + " " + ::testing::PrintToString(k.Cm) + " lnK " +
                     ::testing::PrintToString(k.lnK));
        for (const bool nestedOnly : {false, true}) {
            const MassBalanceSolution s = mb.solve(k.Cp, k.Cm, nestedOnly);
            EXPECT_TRUE(s.converged) << nestedOnly;
            EXPECT_LE(s.residual, 1e-12);
            // Totals met to a relative d fix ln c to about d C / c: the nested solves, which
            // stop at the totals, are held to that; Newton goes on to full precision.
            const double conditioning = nestedOnly ? std::max(k.Cp / double(cp), k.Cm / double(cm)) : 1.0;
            EXPECT_NEAR(s.lnPlus, static_cast<double>(std::log(cp)), 1e-11 * conditioning) << nestedOnly;
            EXPECT_NEAR(s.lnMinus, static_cast<double>(std::log(cm)), 1e-11 * conditioning) << nestedOnly;
        }
    }
    // Equal totals bound almost whole (K = e^800): the lone chains hold e^-400 of either
    // total, below the resolution of a double, so only the product c+ c- = C / K (the
    // complexes hold C) is fixed by the totals; it must come out right.
    const MassBalanceSolution s = MassBalance({{1, 0, 0.0}, {0, 1, 0.0}, {1, 1, 800.0}}).solve(0.5, 0.5);
    EXPECT_TRUE(s.converged);
    EXPECT_NEAR(s.lnPlus + s.lnMinus, std::log(0.5) - 800.0, 1e-12 * 800.0);
}

TEST(MassBalance, NeedsBothLoneChainsAndPositiveTotals) {
    const MassBalance noMinus({{1, 0, 0.0}, {1, 1, 2.0}});
    EXPECT_FALSE(noMinus.hasLoneChains());
    EXPECT_FALSE(noMinus.solve(1e-3, 1e-3).converged);
    const MassBalance both({{1, 0, 0.0}, {0, 1, 0.0}});
    EXPECT_FALSE(both.solve(0.0, 1e-3).converged);
    EXPECT_FALSE(both.solve(1e-3, NAN).converged);
    EXPECT_NEAR(both.solve(1e-3, 2e-3).freeMinus, 2e-3, 1e-18);
}

// The start-up polymers' Poisson-Boltzmann landscape, kept by a run at free c+ = c- = c.
std::shared_ptr<const RunResult> startupRun(double c, bool dh, Parameters p = startupParameters()) {
    ShippedTables tables;
    p.vc10 = p.vc01 = c;
    JobInput input = jobInput(p, p.zp / p.kip, p.zn / p.kim, dh);
    input.keepEnergies = true;
    Recorder rec;
    EXPECT_EQ(runCalculation(input, {}, rec.callbacks()), JobOutcome::Finished);
    return rec.record;
}

TEST(MassBalance, FreeRunsTotalsGiveItsFreeChainsAndDistributionBack) {
    for (const double c : {1e-3, 1e-6}) {
        for (const bool dh : {false, true}) {
            const auto run = startupRun(c, dh);
            ASSERT_TRUE(run);
            const Landscape l = landscapeOf(*run);
            const MassBalance mb(l);
            const MassBalanceTotals t = mb.totals(std::log(c), std::log(c));
            const MassBalanceSolution s = mb.solve(t.plus, t.minus);
            SCOPED_TRACE(::testing::PrintToString(c) + (dh ? " dh" : " pb"));
            EXPECT_TRUE(s.converged);
            EXPECT_NEAR(s.freePlus / c, 1.0, 1e-10);
            EXPECT_NEAR(s.freeMinus / c, 1.0, 1e-10);
            const Distribution d = distributionOf(l, s.freePlus, s.freeMinus);
            ASSERT_EQ(d.absValue.cellCount(), run->absValue.cellCount());
            for (std::size_t k = 0; k < d.absValue.cellCount(); ++k) {
                const double want = run->absValue.at(k);
                EXPECT_NEAR(d.absValue.at(k), want, 1e-10 * std::abs(want)) << k;
                EXPECT_NEAR(d.Value.at(k), run->Value.at(k), 1e-10 * std::abs(run->Value.at(k))) << k;
            }
        }
    }
    // At free 1e-3 the complexes hold hundreds of times the free chains (about 492 of each).
    const auto run = startupRun(1e-3, false);
    const MassBalanceTotals t = MassBalance(landscapeOf(*run)).totals(std::log(1e-3), std::log(1e-3));
    EXPECT_GT(t.plus, 400.0);
    EXPECT_LT(t.plus, 600.0);
}

TEST(MassBalance, SymmetricPolymersAtEqualTotalsHaveEqualFreeChains) {
    Parameters p = startupParameters();
    p.Np = p.Nm = 100;
    const auto run = startupRun(1e-3, true, p);
    const MassBalance mb(landscapeOf(*run));
    for (const double total : {1e-12, 2e-3, 0.5}) {
        const MassBalanceSolution s = mb.solve(total, total);
        EXPECT_TRUE(s.converged);
        EXPECT_NEAR(s.freePlus / s.freeMinus, 1.0, 1e-12) << total;
    }
}

// Independent totals: sum M c over the distribution the Distribution module forms at the
// solved free chains (weights without a shift are concentrations).
MassBalanceTotals totalsOfDistribution(const Landscape& l, double cPlus, double cMinus) {
    const Distribution d = distributionOf(l, cPlus, cMinus);
    EXPECT_EQ(d.max_shift, 0.0);
    MassBalanceTotals t;
    for (std::int32_t r = 0; r < d.absValue.rows(); ++r)
        for (std::int32_t c = 0; c < d.absValue.cols(); ++c) {
            t.plus += (l.mpMin + r) * d.absValue(r, c);
            t.minus += (l.mmMin + c) * d.absValue(r, c);
        }
    return t;
}

TEST(MassBalance, StiffNearStoichiometryAtHighTotals) {
    // The start-up polymers (equal charges) at a total of 1000 chains per segment volume:
    // between charge fractions 0.49 and 0.51 the free '+' chains go from about 5e-8 to 14.
    const auto run = startupRun(1e-3, false);
    const Landscape l = landscapeOf(*run);
    const MassBalance mb(l);
    double previous = 0.0;
    for (const double f : {0.49, 0.495, 0.499, 0.5, 0.501, 0.505, 0.51}) {
        const double Cp = f * 1000.0, Cm = (1.0 - f) * 1000.0;
        const MassBalanceSolution s = mb.solve(Cp, Cm);
        SCOPED_TRACE(f);
        EXPECT_TRUE(s.converged);
        EXPECT_GT(s.freePlus, previous);
        previous = s.freePlus;
        const MassBalanceTotals t = totalsOfDistribution(l, s.freePlus, s.freeMinus);
        EXPECT_NEAR(t.plus / Cp, 1.0, 1e-11);
        EXPECT_NEAR(t.minus / Cm, 1.0, 1e-11);
        // The fallback alone finds the same free chains.
        const MassBalanceSolution n = mb.solve(Cp, Cm, true);
        EXPECT_TRUE(n.converged);
        EXPECT_NEAR(n.lnPlus, s.lnPlus, 1e-9);
        EXPECT_NEAR(n.lnMinus, s.lnMinus, 1e-9);
        if (f == 0.49) {
            EXPECT_GT(s.freePlus, 1e-8);
            EXPECT_LT(s.freePlus, 2e-7);
        }
        if (f == 0.51) {
            EXPECT_GT(s.freePlus, 5.0);
            EXPECT_LT(s.freePlus, 30.0);
        }
    }
    // Stiffer still: one total a thousand times the other at the top of the range.
    for (const auto& [Cp, Cm] : {std::pair{1e3, 1.0}, std::pair{1.0, 1e3}, std::pair{1e-20, 1.0}}) {
        for (const bool nestedOnly : {false, true})
            EXPECT_TRUE(mb.solve(Cp, Cm, nestedOnly).converged) << Cp << " " << Cm << " " << nestedOnly;
    }
}

TEST(MassBalance, TotalModeRunIsTheFreeRunAtTheSolvedChains) {
    ShippedTables tables;
    for (const bool dh : {false, true}) {
        Parameters p = startupParameters();
        p.vc10 = 1e-6;
        p.vc01 = 3e-6;
        Recorder free;
        ASSERT_EQ(runCalculation(jobInput(p, 72, 72, dh), {}, free.callbacks()), JobOutcome::Finished);
        const RunResult& f = *free.record;
        EXPECT_FALSE(f.totalMode());
        EXPECT_GT(f.concentrations.totalPlus, 1e-6);  // the free chains and those in complexes
        EXPECT_EQ(f.concentrations.massBalanceResidual, 0.0);

        JobInput input = jobInput(p, 72, 72, dh);
        RunRequest request = *input.request;
        request.params.vc10 = request.params.vc01 = 0.5;  // not used in total mode
        input.request =
            inTotalMode(request, MassBalanceTotals{f.concentrations.totalPlus, f.concentrations.totalMinus});
        Recorder total;
        ASSERT_EQ(runCalculation(input, {}, total.callbacks()), JobOutcome::Finished);
        const RunResult& t = *total.record;
        // The result holds the request as it was asked: the free chains the mass balance found
        // are the result's, not written into the inputs.
        ASSERT_EQ(t.requestPointer(), input.request);
        EXPECT_EQ(t.request().params.vc10, 0.5);
        EXPECT_EQ(t.request().totals->plus, f.concentrations.totalPlus);
        EXPECT_TRUE(t.totalMode());
        EXPECT_TRUE(t.energies.empty());  // kept only for the mass balance
        EXPECT_NEAR(t.concentrations.freePlus / 1e-6, 1.0, 1e-10);
        EXPECT_NEAR(t.concentrations.freeMinus / 3e-6, 1.0, 1e-10);
        EXPECT_LE(t.concentrations.massBalanceResidual, 1e-12);
        EXPECT_EQ(t.concentrations.totalPlus, f.concentrations.totalPlus);
        for (std::size_t k = 0; k < f.absValue.cellCount(); ++k) {
            EXPECT_NEAR(t.absValue.at(k), f.absValue.at(k), 1e-10 * f.absValue.at(k)) << k;
            EXPECT_NEAR(t.Value.at(k), f.Value.at(k), 1e-10 * f.Value.at(k)) << k;
        }
        bool said = false;
        for (const std::string& line : total.log)
            said = said || line.rfind("Mass balance: free c+ = 1e-06, c- = 3e-06 (", 0) == 0;
        EXPECT_TRUE(said);
    }
    // Without the lone '+' chain no totals can be met: the run is refused.
    Parameters p = startupParameters();
    p.mpMin = 1;
    JobInput input = jobInput(p, 72, 72, true);
    input.request = inTotalMode(*input.request, MassBalanceTotals{1e-3, 1e-3});
    Recorder rec;
    EXPECT_EQ(runCalculation(input, {}, rec.callbacks()), JobOutcome::Failed);
    ASSERT_FALSE(rec.log.empty());
    EXPECT_NE(rec.log.back().find("mpMin and mmMin to 0"), std::string::npos);
}

// A weight formed from its logarithm (E >= 300) is c+^M+ c-^M- 2.71828183^E like every other:
// ln c taken as a power of 2.71828183 instead of e misses it by 6.3e-10 per unit of ln c.
TEST(MassBalance, WeightsOfLargeExponentsAreTheClosedForm) {
    Landscape l;
    l.mpMin = l.mmMin = 0;
    l.mpMax = l.mmMax = 2;
    l.cells = CellEnergies(3, 3);
    l.cells.keep({{1, 1, 0.0, 750.0}, {2, 2, 0.0, 1490.0}, {1, 2, 0.0, 800.0}}, 0, 0);
    const long double lnE = std::log(2.71828183L);
    const double lnPlus = -370.0, lnMinus = -380.5;
    const Distribution d = distributionOf(l, std::exp(lnPlus), std::exp(lnMinus));
    ASSERT_EQ(d.max_shift, 0.0);
    for (const auto& [mp, mm, E] : {std::tuple{1, 1, 750.0L}, std::tuple{2, 2, 1490.0L}, std::tuple{1, 2, 800.0L}}) {
        const long double want = std::exp(mp * lnPlus + mm * lnMinus + E * lnE);
        EXPECT_NEAR(d.absValue(mp, mm) / static_cast<double>(want), 1.0, 1e-13) << mp << " " << mm;
    }
}

// What the totals fix. Chains nearly all in complexes of one composition k (p, q), the free
// ones below the resolution of a double: only c+^p c-^q; with an excess of one kind, or
// complexes of two compositions, both.
TEST(MassBalance, TotalsOfChainsBoundWholeFixOnlyAProduct) {
    const double lnK = 800.0;
    const MassBalance pairs({{1, 0, 0.0}, {0, 1, 0.0}, {1, 1, lnK}, {2, 2, 2 * lnK + 10.0}});
    const MassBalanceSolution equal = pairs.solve(0.5, 0.5);
    EXPECT_TRUE(equal.converged);
    EXPECT_FALSE(equal.freeChainsDetermined());
    EXPECT_EQ(equal.productPlus, 1);
    EXPECT_EQ(equal.productMinus, 1);
    EXPECT_NEAR(equal.lnProduct, equal.lnPlus + equal.lnMinus, 1e-12 * lnK);
    const std::string said = undeterminedFreeChainsMessage(equal);
    EXPECT_NE(said.find("M+ : M- = 1 : 1, whose weights depend on c+ c- alone. Determined are c+ c- = "),
              std::string::npos)
        << said;
    // c+ c- = e^lnProduct, far below a double, written from its logarithm: "1.23456e-700".
    const std::size_t at = said.find("c+ c- = ") + 8;
    const std::string written = said.substr(at, said.find(' ', at) - at);
    const std::size_t e = written.find('e');
    ASSERT_NE(e, std::string::npos) << written;
    const double log10Written = std::log10(std::stod(written.substr(0, e))) + std::stod(written.substr(e + 1));
    EXPECT_NEAR(log10Written, equal.lnProduct / std::log(10.0), 1e-5) << written;
    EXPECT_LT(equal.lnProduct, -800.0);

    // An excess of '-' chains stays free and fixes c-; weak binding fixes both.
    for (const MassBalanceSolution& s : {pairs.solve(0.5, 0.6), pairs.solve(0.6, 0.5),
                                         MassBalance({{1, 0, 0.0}, {0, 1, 0.0}, {1, 1, 3.0}}).solve(1e-3, 1e-3)}) {
        EXPECT_TRUE(s.converged);
        EXPECT_TRUE(s.freeChainsDetermined()) << s.freeChainsUncertainty;
        EXPECT_LT(s.freeChainsUncertainty, 1e-9);
    }
    // Charges 2:1: the neutral complexes (1, 2), (2, 4) fix c+ c-^2 alone.
    const MassBalance thirds({{1, 0, 0.0}, {0, 1, 0.0}, {1, 2, lnK}, {2, 4, 2 * lnK + 5.0}});
    const MassBalanceSolution t = thirds.solve(1e-3, 2e-3);
    EXPECT_TRUE(t.converged);
    EXPECT_FALSE(t.freeChainsDetermined());
    EXPECT_EQ(t.productPlus, 1);
    EXPECT_EQ(t.productMinus, 2);
    EXPECT_NE(undeterminedFreeChainsMessage(t).find("M+ : M- = 1 : 2, whose weights depend on c+ c-^2 alone"),
              std::string::npos);
    // Two compositions, each holding a good share of the chains: their ratio fixes c-.
    const MassBalanceSolution two =
        MassBalance({{1, 0, 0.0}, {0, 1, 0.0}, {1, 1, lnK}, {1, 2, 1.5 * lnK}}).solve(1e-3, 1.5e-3);
    EXPECT_TRUE(two.converged);
    EXPECT_TRUE(two.freeChainsDetermined()) << two.freeChainsUncertainty;

    // The free run's warning: the chains in complexes, as many of each kind or each its own.
    EXPECT_EQ(impliedTotalsMessage({492.52, 492.52}, 1e-3, 1e-3),
              "the free concentrations imply 492 chains per a³ of each kind in complexes: no solution holds that; use "
              "total mode");
    EXPECT_EQ(impliedTotalsMessage({1.5, 0.5}, 0.1, 0.1),
              "the free concentrations imply 1.4 '+' and 0.4 '-' chains per a³ in complexes: no solution holds that; "
              "use total mode");
    EXPECT_NE(impliedTotalsMessage({NAN, NAN}, 1e-3, 1e-3).value_or("").find("imply more than 1e+308 chains per a³ of "
                                                                            "each kind"),
              std::string::npos);
    EXPECT_EQ(impliedTotalsMessage({1.0, 0.99}, 1e-3, 1e-3), std::nullopt);
}

TEST(MassBalance, ChargeFractionAndTotalGiveBothTotals) {
    // Charges 10 and 30: at f = 1/2 three '+' chains per '-' chain.
    const MassBalanceTotals t = totalsFromChargeFraction(4e-3, 0.5, 10.0, 30.0);
    EXPECT_NEAR(t.plus, 3e-3, 1e-18);
    EXPECT_NEAR(t.minus, 1e-3, 1e-18);
    EXPECT_NEAR(chargeFraction(10.0, 30.0, t.plus, t.minus), 0.5, 1e-15);
    Parameters p = startupParameters();
    EXPECT_FALSE(checkTotals({1e-20, 1.0}, p));
    for (const MassBalanceTotals bad : {MassBalanceTotals{0.0, 1e-3}, MassBalanceTotals{-1e-3, 1e-3},
                                        MassBalanceTotals{1e-3, NAN}, MassBalanceTotals{1e-3, 1.5}})
        EXPECT_TRUE(checkTotals(bad, p));
    p.mmMin = 2;
    EXPECT_TRUE(checkTotals({1e-3, 1e-3}, p));
    EXPECT_TRUE(checkChargeFraction(1e-3, 1.0));
    EXPECT_TRUE(checkChargeFraction(1e-3, NAN));
    EXPECT_FALSE(checkChargeFraction(1e-3, 0.3));
}

TEST(MassBalance, CriticalConcentrationEndsAtAStop) {
    // The pair (1, 1) with K = e^20: half of the chains pair up where C e^20 ~ 1, so T* lies
    // between 1e-20 and 1 and the search runs a few dozen solves, unless stopped.
    const MassBalance balance({{1, 0, 0.0}, {0, 1, 0.0}, {1, 1, 20.0}});
    const CriticalConcentration found = criticalConcentration(balance, 0.5, 1.0, 1.0);
    ASSERT_TRUE(found.total.has_value());
    EXPECT_FALSE(found.stopped);
    std::stop_source stop;
    stop.request_stop();
    const CriticalConcentration stopped = criticalConcentration(balance, 0.5, 1.0, 1.0, stop.get_token());
    EXPECT_TRUE(stopped.stopped);
    EXPECT_FALSE(stopped.total || stopped.below || stopped.above);
}

}  // namespace
}  // namespace marlinq
