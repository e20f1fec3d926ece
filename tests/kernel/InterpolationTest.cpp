#include "kernel/Interpolation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

namespace marlinq {
namespace {

double coarseG(int i) { return i * kCoarseStep + kTableOrigin; }
double fineG(int i) { return i * kFineStep + kTableOrigin; }

// Bilinear in (ka, ki) but not symmetric, so swapped axes or rows show up.
double plane(double ka, double ki) { return 3.0 + 2.0 * ka - 5.0 * ki + 0.5 * ka * ki; }

template <typename Table, typename G>
std::unique_ptr<Table> tableOf(int size, G g) {
    auto m = std::make_unique<Table>();
    for (int r = 0; r < size; ++r)
        for (int c = 0; c < size; ++c) (*m)[r][c] = plane(g(r), g(c));
    return m;
}

TEST(Interpolation, BilinearInteriorReproducesBilinearFunctionOnBothTables) {
    const auto coarse = tableOf<CoarseTable>(20, coarseG);
    const auto fine = tableOf<FineTable>(99, fineG);
    for (int X : {0, 7, 17})
        for (int Y : {0, 9, 18}) {
            // Grid corners give the entries, and any point of the cell the bilinear value.
            EXPECT_NEAR(interpolateCoarse(coarseG(Y), coarseG(X), X, Y, *coarse), (*coarse)[X][Y], 1e-12);
            const double ka = coarseG(X) + 0.3 * kCoarseStep, ki = coarseG(Y) + 0.8 * kCoarseStep;
            EXPECT_NEAR(interpolateCoarse(ki, ka, X, Y, *coarse), plane(ka, ki), 1e-11);
        }
    for (int X : {0, 40, 97})
        for (int Y : {0, 3, 97}) {
            EXPECT_NEAR(interpolateFine(fineG(Y), fineG(X), X, Y, *fine), (*fine)[X][Y], 1e-12);
            const double ka = fineG(X) + 0.06, ki = fineG(Y) + 0.025;
            EXPECT_NEAR(interpolateFine(ki, ka, X, Y, *fine), plane(ka, ki), 1e-11);
        }
    // Outside the cell the same formula extrapolates.
    EXPECT_NEAR(interpolateFine(fineG(5) + 0.25, fineG(5) - 0.05, 5, 5, *fine), plane(fineG(5) - 0.05, fineG(5) + 0.25),
                1e-11);
}

TEST(Interpolation, SquaredWeightsAreExactForAWeaklyChargedChain) {
    // A weakly charged chain's energy per length is ki^2 times a function of ka alone; with
    // a term linear in ka beside it, the squared weights give it exactly inside every cell and
    // on the last row and column of either table, where linear weights miss by h^2 / 4 ki^2.
    const auto weak = [](double ka, double ki) { return ki * ki * (1.7 + 0.3 * ka) + 0.25 * ka; };
    auto coarse = std::make_unique<CoarseTable>();
    auto fine = std::make_unique<FineTable>();
    for (int r = 0; r < 20; ++r)
        for (int c = 0; c < 20; ++c) (*coarse)[r][c] = weak(coarseG(r), coarseG(c));
    for (int r = 0; r < 99; ++r)
        for (int c = 0; c < 99; ++c) (*fine)[r][c] = weak(fineG(r), fineG(c));
    const DensityWeights squared = DensityWeights::Squared;
    for (int X : {0, 40, 97, 98})
        for (int Y : {0, 3, 97}) {
            const double ka = X == 98 ? fineG(98) : fineG(X) + 0.06, ki = fineG(Y) + 0.05;
            EXPECT_NEAR(interpolateFine(ki, ka, X, Y, *fine, squared), weak(ka, ki), 1e-12 * weak(ka, ki));
            EXPECT_NEAR(interpolateFine(fineG(Y), fineG(X), X, Y, *fine, squared), (*fine)[X][Y], 1e-14 * (*fine)[X][Y]);
        }
    for (int X : {0, 17, 18})
        for (int Y : {0, 9, 17}) {
            const double ka = X == 18 ? coarseG(18) : coarseG(X) + 0.3 * kCoarseStep;
            const double ki = coarseG(Y) + 0.5 * kCoarseStep;
            EXPECT_NEAR(interpolateCoarse(ki, ka, X, Y, *coarse, squared), weak(ka, ki), 1e-12 * weak(ka, ki));
        }
    // At the start-up chain (ki = 0.25, midway between the columns 0.2 and 0.3) linear weights
    // put it 3.9 % high: (0.04 + 0.09) / 2 against 0.0625.
    const double linear = interpolateFine(0.25, fineG(0), 0, 0, *fine);
    EXPECT_NEAR(linear / weak(fineG(0), 0.25), 1.0 + 0.0025 * 1.76 / weak(fineG(0), 0.25), 1e-12);
    EXPECT_NEAR(interpolateFine(0.25, fineG(0), 0, 0, *fine, squared), weak(fineG(0), 0.25), 1e-15);
}

TEST(Interpolation, CoarseLastRowAndCorner) {
    const auto m = tableOf<CoarseTable>(20, coarseG);
    // The corner cell is the fixed value, whatever the table and the arguments.
    EXPECT_EQ(interpolateCoarse(1.0, 2.0, 18, 18, *m), 8.9899);
    // Row 18 interpolates along ki only; ka does not enter and row 19 is never read.
    const double ki = coarseG(5) + 0.2;
    const double expected = plane(coarseG(18), ki);
    EXPECT_NEAR(interpolateCoarse(ki, coarseG(18), 18, 5, *m), expected, 1e-11);
    EXPECT_EQ(interpolateCoarse(ki, coarseG(18) + 0.4, 18, 5, *m), interpolateCoarse(ki, 0.0, 18, 5, *m));
    auto changed = std::make_unique<CoarseTable>(*m);
    for (auto& v : (*changed)[19]) v = 1e6;
    EXPECT_EQ(interpolateCoarse(ki, coarseG(18) + 0.4, 18, 5, *changed),
              interpolateCoarse(ki, coarseG(18) + 0.4, 18, 5, *m));
}

TEST(Interpolation, FineLastRowLastColumnAndCorner) {
    const auto m = tableOf<FineTable>(99, fineG);
    EXPECT_EQ(interpolateFine(0.3, 0.3, 98, 98, *m), 8.9899);
    // Row 98: along ki only.
    const double ki = fineG(3) + 0.04;
    EXPECT_NEAR(interpolateFine(ki, 123.0, 98, 3, *m), plane(fineG(98), ki), 1e-11);
    // Column 98: along ka only.
    const double ka = fineG(40) + 0.07;
    EXPECT_NEAR(interpolateFine(-50.0, ka, 40, 98, *m), plane(ka, fineG(98)), 1e-11);
}

TEST(Interpolation, IntegerPowerAndSinglePrecisionLog) {
    EXPECT_EQ(pow(2.0, 10), 1024.0);
    EXPECT_EQ(pow(2.0, -2), 0.25);
    EXPECT_EQ(pow(0.0, -1), std::numeric_limits<double>::infinity());
    EXPECT_EQ(pow(0.0, 0), 1.0);
    EXPECT_EQ(pow(std::nan(""), 0), 1.0);
    EXPECT_EQ(pow(-3.0, 3), -27.0);
    EXPECT_EQ(pow(1.5, 7), 1.5 * 1.5 * 1.5 * 1.5 * 1.5 * 1.5 * 1.5);
    // The most negative exponent has no positive counterpart in 32 bits.
    EXPECT_EQ(pow(1.0, std::numeric_limits<std::int32_t>::min()), 1.0);
    EXPECT_EQ(pow(2.0, std::numeric_limits<std::int32_t>::min()), 0.0);

    EXPECT_EQ(log(1.0f), 0.0f);
    EXPECT_EQ(log(20.0f), static_cast<float>(std::log(20.0)));
    EXPECT_TRUE(std::isinf(log(0.0f)));
}

}  // namespace
}  // namespace marlinq
