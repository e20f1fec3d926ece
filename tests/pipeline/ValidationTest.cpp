#include "pipeline/InputValidation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace marlinq {
namespace {

using Change = std::function<void(InputFields&)>;

// The window's start-up fields with one change applied.
std::optional<std::string> validateWith(const Change& change, Parameters* out = nullptr) {
    InputFields f;
    f.plen = 72.0, f.zp = 18.0, f.Np = 1, f.mlen = 72.0, f.zn = 18.0, f.Nm = 200;
    f.ka = 0.2, f.vc10 = 1e-3, f.vc01 = 1e-3, f.mpMin = 0, f.mpMax = 10, f.mmMin = 0, f.mmMax = 10;
    change(f);
    Parameters p;
    double plen = -1, mlen = -1;
    auto message = validateInput(f, p, plen, mlen);
    if (out) *out = p;
    return message;
}

TEST(InputValidation, EachCheckGivesItsMessage) {
    const char* const plusDensity = "Input error: charge density of + polymer should between 0.2 and 10";
    const char* const tooLarge = "Ranges of aggregation numbers are too large (at most 4000000 complexes)";
    const std::pair<Change, const char*> cases[] = {
        {[](InputFields& f) { f.plen.reset(), f.zp.reset(), f.ka = 0; }, "Input error: Length of charged block +"},
        {[](InputFields& f) { f.zp.reset(); }, "Input error: Charge +"},
        {[](InputFields& f) { f.zp = 201.0; }, "Charge + should between 0 and 200"},
        {[](InputFields& f) { f.zp = std::nan(""); }, "Charge + should between 0 and 200"},
        {[](InputFields& f) { f.Np.reset(); }, "Input error: Neutral block length +"},
        {[](InputFields& f) { f.plen = 200.0; }, plusDensity},  // 0.09
        {[](InputFields& f) { f.plen = 0.0; }, plusDensity},    // infinite
        {[](InputFields& f) { f.zp = 0.0, f.plen = 0.0; }, plusDensity},  // NaN
        {[](InputFields& f) { f.mlen.reset(); }, "Input error: Length of charged block -"},
        {[](InputFields& f) { f.zn.reset(); }, "Input error: Charge -"},
        {[](InputFields& f) { f.zn = -0.5; }, "Charge - should between 0 and 200"},
        {[](InputFields& f) { f.Nm.reset(); }, "Input error: Neutral length of charged block -"},
        {[](InputFields& f) { f.mlen = -72.0; }, "Input error: charge density of - polymer should between 0.2 and 10"},
        {[](InputFields& f) { f.ka = 10.01; }, "Stable solution is only for ka between 0.2 and 10"},
        {[](InputFields& f) { f.ka = std::nan(""); }, "Stable solution is only for ka between 0.2 and 10"},
        {[](InputFields& f) { f.vc10 = 1e-21; }, "c+ should be between 1e-20  and 1"},
        {[](InputFields& f) { f.vc01 = 1.5; }, "c- should be between 1e-20  and 1"},
        {[](InputFields& f) { f.mpMin.reset(); }, "Error in mpMin"},
        {[](InputFields& f) { f.mpMin = -1; }, "mpMin should be above 0"},
        {[](InputFields& f) { f.mpMax.reset(); }, "error in mpMax"},
        {[](InputFields& f) { f.mpMin = 10; }, "mpMin should be less than mpMax"},
        {[](InputFields& f) { f.mmMin.reset(); }, "error in mmMin"},
        {[](InputFields& f) { f.mmMin = -1; }, "mmMin should be above 0"},
        {[](InputFields& f) { f.mmMax.reset(); }, "error in mmMax"},
        {[](InputFields& f) { f.mmMin = 10; }, "mmMin should be less than mmMax"},
        {[](InputFields& f) { f.mpMin = 100000, f.mpMax = 100001; }, tooLarge},
        {[](InputFields& f) { f.mmMin = 99999, f.mmMax = 100001; }, tooLarge},
        {[](InputFields& f) { f.mpMax = 2000, f.mmMax = 1999; }, tooLarge},  // 4,002,000 cells
        {[](InputFields& f) { f.mpMax = 2147483647, f.mmMax = 2147483647; }, tooLarge},
    };
    for (const auto& [change, message] : cases) EXPECT_EQ(validateWith(change), message) << message;
}

TEST(InputValidation, BoundariesPassAndValuesAreStored) {
    const Change accepted[] = {
        [](InputFields& f) { f.zp = 200.0, f.plen = 20.0; },  // kip = 10
        [](InputFields& f) { f.mlen = 90.0; },                // kim = 0.2
        [](InputFields& f) { f.ka = 10.0, f.vc10 = 1e-20, f.vc01 = 1.0; },
        [](InputFields& f) { f.mpMin = 99999, f.mpMax = 100000, f.mmMin = 99999, f.mmMax = 100000; },
        [](InputFields& f) { f.mpMax = 1999, f.mmMax = 1999; },  // exactly 4,000,000 cells
    };
    for (const Change& change : accepted) EXPECT_EQ(validateWith(change), std::nullopt);

    Parameters p;
    EXPECT_EQ(validateWith([](InputFields&) {}, &p), std::nullopt);
    EXPECT_EQ(p.kip, 0.25);
    EXPECT_EQ(p.kim, 0.25);
    EXPECT_EQ(p.Nm, 200);
    EXPECT_EQ(p.mmMax, 10);

    // A failing check leaves what was parsed before it (and its own value) written.
    EXPECT_TRUE(validateWith([](InputFields& f) { f.plen = 200.0, f.zn = 30.0; }, &p));
    EXPECT_DOUBLE_EQ(p.kip, 0.09);
    EXPECT_EQ(p.zn, 0.0);
    EXPECT_TRUE(validateWith([](InputFields& f) { f.mmMin = 10; }, &p));
    EXPECT_EQ(p.vc01, 1e-3);
    EXPECT_EQ(p.mmMin, 10);
}

}  // namespace
}  // namespace marlinq
