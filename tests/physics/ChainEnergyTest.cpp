#include "physics/FreeEnergy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace marlinq {
namespace {

// Per-length energy of a chain: unit length, no neutral block, no logarithmic term.
double perLength(double ka, double ki, int num = 10) { return FreeEnergy::freeEnergy_Chain(0.0, ka, ki, 1.0, false, 0, num); }

Vtr chainGrid(double ka) {
    const double h = ((ka + 8.0) - ka) / 800.0;
    Vtr x(801, 0.0);
    for (int i = 0; i < 801; ++i) x[i] = i * h + ka;
    return x;
}

// A plain continuation in the charge from 0.1 to |ki| with `num` steps, built from enc.
double continuation(double ka, double ki, int num) {
    const Vtr x = chainGrid(ka);
    const double h = ((ka + 8.0) - ka) / 800.0;
    const double delta = (std::fabs(ki) - 0.1) / (num - 1);
    Vtr y(801, 1.0);
    double F = 0.0;
    for (int j = 1; j <= num - 1; ++j) {
        const ChainSolve r = FreeEnergy::enc(0.0, ka, j * delta + 0.1, y, h, 801, j, x, 0.01, 1.0, j == num - 1, 0);
        y = r.y;
        F = r.eng;
    }
    return F;
}

TEST(ChainEnergy, ReproducesTheTwoReferenceValues) {
    EXPECT_NEAR(perLength(0.2, 0.25), 0.11446831776247358, 1e-9);
    EXPECT_NEAR(perLength(10.0, 10.0), 8.9899, 1e-4);
}

TEST(ChainEnergy, FlatProfileLogarithmicTermAndTruncatedIntegral) {
    // y = 1 is the exact solution without charge: only the logarithmic term is left.
    const Vtr x = chainGrid(0.6);
    Vtr y(801, 1.0);
    const ChainSolve r = FreeEnergy::enc(0.079, 0.6, 0.0, y, 0.01, 801, 7, x, 0.01, 30.0, false, 20);
    EXPECT_EQ(r.k, 7);
    EXPECT_DOUBLE_EQ(r.eng, -2.0 * 0.079 * std::log(50.0));
    EXPECT_DOUBLE_EQ(FreeEnergy::freeEnergy_Chain(0.079, 0.6, 0.0, 30.0, false, 20, 10), -2.0 * 0.079 * std::log(50.0));

    // The trapezoid sum leaves out the interval between the last two points.
    Vtr u(801, 0.0);
    u[800] = 2.0;
    EXPECT_EQ(FreeEnergy::intg_chain(u, x, 801), 0.0);
    u[799] = 2.0;
    EXPECT_GT(FreeEnergy::intg_chain(u, x, 801), 0.0);
}

TEST(ChainEnergy, ContinuationGridUsesOnlyTheMagnitudeOfTheCharge) {
    // ka = 3, ki = -4: ki_j = 0.1 + j * 3.9 / 9 for j = 1..9, ending at 4.
    const double e = perLength(3.0, -4.0);
    EXPECT_EQ(e, perLength(3.0, 4.0));
    EXPECT_EQ(e, continuation(3.0, 4.0, 10));
    EXPECT_GT(e, 0.0);
    // The strict bounds of the direct path: ka = 0.5 and 0.7 continue.
    EXPECT_EQ(perLength(0.5, 1.0), continuation(0.5, 1.0, 10));
    EXPECT_EQ(perLength(0.7, 1.0), continuation(0.7, 1.0, 10));
    // One step is no continuation at all.
    EXPECT_EQ(perLength(3.0, 4.0, 1), 0.0);
}

TEST(ChainEnergy, RestartGoesTowardTheChainsOwnCharge) {
    // At ka = 0.2 the first of ten steps toward ki = 2 already loses the monotone
    // profile; the chain must still get the energy of ki = 2, from 100 steps.
    const double e2 = perLength(0.2, 2.0);
    EXPECT_EQ(e2, continuation(0.2, 2.0, 100));
    EXPECT_GT(e2, 10.0 * perLength(0.2, 0.31));
    EXPECT_GT(e2, perLength(0.2, 1.9));
    EXPECT_LT(e2, perLength(0.2, 2.1));
    // More charge costs more energy.
    EXPECT_GT(perLength(1.0, 10.0), perLength(1.0, 5.0));
}

TEST(ChainEnergy, UnsolvableChainIsNaNWithADiagnostic) {
    testing::internal::CaptureStdout();
    std::string why;
    const double e = FreeEnergy::freeEnergy_Chain(0.0, 0.02, 30.0, 1.0, false, 0, 10, &why);
    const double quiet = perLength(0.02, 30.0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(std::isnan(e));
    EXPECT_TRUE(std::isnan(quiet));
    EXPECT_EQ(out, "");
    EXPECT_EQ(why, "single chain not solved: ka = 0.02, ki = 30, no monotone profile with 1000 continuation steps");

    // A solved chain leaves the text alone.
    std::string untouched = "x";
    EXPECT_GT(FreeEnergy::freeEnergy_Chain(0.0, 3.0, 4.0, 1.0, false, 0, 10, &untouched), 0.0);
    EXPECT_EQ(untouched, "x");
}

TEST(ChainEnergy, ThinChainsOfEitherSignAreSolvedOnTheMirroredProfile) {
    // For 0.5 < ka < 0.7 both kinds of chain are solved directly from y = 1 as a negative
    // chain (y rising to 1): identical '+' and '-' chains get the same bits.
    const Vtr x = chainGrid(0.6);
    for (double ki : {0.3, 1.0, 2.0, 5.0}) {
        SCOPED_TRACE(ki);
        Vtr y(801, 1.0);
        const double direct = FreeEnergy::enc(0.0, 0.6, -ki, y, 0.01, 801, 1, x, 0.01, 1.0, false, 0).eng;
        EXPECT_EQ(perLength(0.6, ki), direct);
        EXPECT_EQ(perLength(0.6, -ki), direct);
    }
    // ka 0.56, xi 2.78, 50 charges, neutral block 100: the converged energy is 116.9285 kT
    // (ConvergedEnergyTest's log-grid solve). The falling profile of the continuation carries
    // the standard grid's error of 0.44 % (117.4447); the mirrored direct solve 2e-5.
    const double xi = 2.7777777777777777, length = 50.0 / xi;
    const double plus = FreeEnergy::freeEnergy_Chain(0.079, 0.56, xi, length, false, 100, 10);
    EXPECT_EQ(plus, FreeEnergy::freeEnergy_Chain(0.079, 0.56, -xi, length, true, 100, 10));
    EXPECT_NEAR(plus, 116.9285, 5e-3);
    const double falling = continuation(0.56, xi, 10) * length - 2.0 * 0.079 * std::log(100.0 + length);
    EXPECT_NEAR(falling, 117.4447, 1e-3);
}

}  // namespace
}  // namespace marlinq
