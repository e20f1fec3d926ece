// The single-pass Debye-Hueckel free energy against the former two-step evaluation, kept
// verbatim in bench/DebyeHueckelReference.h, over the range of arguments the DH stage
// produces: ka 0.2 .. 10, M+ and M- up to 2000 with charges and block lengths of the
// window's ranges (net charges to +-2e4 and beyond), core volumes from 1 to 1e6.

#include "../../bench/DebyeHueckelReference.h"
#include "physics/FreeEnergy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

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

}  // namespace
}  // namespace marlinq
