// The single-pass Debye-Hueckel free energy against the former two-step evaluation, kept
// verbatim in bench/DebyeHueckelReference.h, over the range of arguments the DH stage
// produces: ka 0.2 .. 10, M+ and M- up to 2000 with charges and block lengths of the
// window's ranges (net charges to +-2e4 and beyond), core volumes from 1 to 1e6.

#include "../../bench/DebyeHueckelReference.h"
#include "../../bench/DebyeHueckelSinglePass.h"
#include "physics/FreeEnergy.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

namespace marlinq {
namespace {

void expectSame(double ka, double qp, double qn, double vcore, double* worst, int* identical) {
    const double former = reference::freeEnergy_SphereDH(ka, qp, qn, vcore);
    const double now = FreeEnergy::freeEnergy_SphereDH(ka, qp, qn, vcore);
    if (!std::isfinite(former)) {
        // Overflowing ion densities: the same NaN or infinity.
        EXPECT_EQ(std::isnan(former), std::isnan(now)) << ka << " " << qp << " " << qn << " " << vcore;
        if (!std::isnan(former)) EXPECT_EQ(former, now);
        return;
    }
    if (former == now) {
        ++*identical;
        return;
    }
    const double r = std::fabs(now - former) / std::fabs(former);
    *worst = std::max(*worst, r);
    EXPECT_LE(r, 1e-12) << "ka " << ka << " qp " << qp << " qn " << qn << " vcore " << vcore << ": " << former
                        << " became " << now;
}

TEST(DebyeHueckelSinglePass, WithinOneInTenToTheTwelveOfTheTwoStepEvaluation) {
    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    double worst = 0.0;
    int identical = 0, total = 0;
    for (int n = 0; n < 6000; ++n) {
        const double ka = 0.2 * std::pow(50.0, unit(random));  // 0.2 .. 10
        const std::int32_t mp = 1 + static_cast<std::int32_t>(2000 * unit(random));
        const std::int32_t mm = 1 + static_cast<std::int32_t>(2000 * unit(random));
        const double zp = n % 3 == 0 ? 18.0 : 1.0 + 99.0 * unit(random);
        const double zn = n % 3 == 0 ? 18.0 : 1.0 + 99.0 * unit(random);
        const double vcore = std::pow(1e6, unit(random));  // 1 .. 1e6
        expectSame(ka, mp * zp, mm * zn, vcore, &worst, &identical);
        ++total;
    }
    // Near neutrality, where ion terms cancel to the rounding of the former evaluation.
    for (double ka : {0.2, 1.0, 5.0, 10.0})
        for (double vcore : {1.0, 72.0, 7200.0, 1e6})
            for (int d = -3; d <= 3; ++d) {
                expectSame(ka, (1000 + d) * 18.0, 1000 * 18.0, vcore, &worst, &identical);
                ++total;
            }
    // Exactly neutral: exactly zero.
    EXPECT_EQ(FreeEnergy::freeEnergy_SphereDH(1.0, 36.0, 36.0, 144.0), 0.0);
    std::printf("DH single pass: %d of %d identical to the bit, largest relative difference %.3g\n", identical, total,
                worst);
}

TEST(DebyeHueckelSinglePass, MirrorComplexesAndRepeatsKeepTheirBitsOnManyThreads) {
    // A landscape of mirror complexes (charges 18 on blocks of 72) and an uneven one, each
    // complex met twice, from two threads at once: the shared sums and the cached shapes
    // give the numbers of the single pass without them, to the bit.
    struct Case {
        double ka, zp, zn, plen, mlen;
    };
    const Case cases[] = {{0.2, 18.0, 18.0, 72.0, 72.0}, {5.0, 18.0, 18.0, 72.0, 72.0}, {0.7, 20.0, 12.0, 20.0, 24.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ka);
        std::vector<double> expected;
        for (int mp = 0; mp <= 60; ++mp)
            for (int mm = 0; mm <= 60; ++mm)
                expected.push_back(
                    reference::singlePass::freeEnergy_SphereDH(c.ka, mp * c.zp, mm * c.zn, mm * c.mlen + mp * c.plen));
        std::vector<double> got[2];
        auto sweep = [&](int t) {
            for (int pass = 0; pass < 2; ++pass)
                for (int mp = 0; mp <= 60; ++mp)
                    for (int mm = 0; mm <= 60; ++mm) {
                        // The second thread walks the landscape transposed.
                        const int p = t == 0 ? mp : mm, m = t == 0 ? mm : mp;
                        got[t].push_back(
                            FreeEnergy::freeEnergy_SphereDH(c.ka, p * c.zp, m * c.zn, m * c.mlen + p * c.plen));
                    }
        };
        std::thread other(sweep, 1);
        sweep(0);
        other.join();
        for (int pass = 0; pass < 2; ++pass)
            for (int mp = 0; mp <= 60; ++mp)
                for (int mm = 0; mm <= 60; ++mm) {
                    const std::size_t k = static_cast<std::size_t>(mp * 61 + mm);
                    const std::size_t at = static_cast<std::size_t>(pass * 61 * 61) + k;
                    // To the bit, the NaN of the empty complex (0, 0) included.
                    const auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
                    ASSERT_EQ(bits(got[0][at]), bits(expected[k])) << mp << " " << mm;
                    ASSERT_EQ(bits(got[1][static_cast<std::size_t>(pass * 61 * 61 + mm * 61 + mp)]), bits(expected[k]))
                        << mp << " " << mm;
                }
    }
}

}  // namespace
}  // namespace marlinq
