#include "pipeline/InputValidation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace marlinq {
namespace {

// The window's start-up fields.
InputFields startupFields() {
    InputFields in;
    in.plen = 72.0;
    in.zp = 18.0;
    in.Np = 1;
    in.mlen = 72.0;
    in.zn = 18.0;
    in.Nm = 200;
    in.ka = 0.2;
    in.vc10 = 1e-3;
    in.vc01 = 1e-3;
    in.mpMin = 0;
    in.mpMax = 10;
    in.mmMin = 0;
    in.mmMax = 10;
    return in;
}

std::optional<std::string> validate(const InputFields& in) {
    Parameters p;
    double plen = 0, mlen = 0;
    return validateInput(in, p, plen, mlen);
}

TEST(InputValidation, StartupValuesPassAndAreStored) {
    Parameters p;
    double plen = 0, mlen = 0;
    EXPECT_EQ(validateInput(startupFields(), p, plen, mlen), std::nullopt);
    EXPECT_EQ(plen, 72.0);
    EXPECT_EQ(mlen, 72.0);
    EXPECT_EQ(p.kip, 0.25);
    EXPECT_EQ(p.kim, 0.25);
    EXPECT_EQ(p.zp, 18.0);
    EXPECT_EQ(p.Nm, 200);
    EXPECT_EQ(p.vc01, 1e-3);
    EXPECT_EQ(p.mmMax, 10);
}

TEST(InputValidation, EachCheckGivesItsMessage) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::function<void(InputFields&)> change;
        const char* message;
    };
    const Case cases[] = {
        {[](InputFields& f) { f.plen.reset(); }, "Input error: Length of charged block +"},
        {[](InputFields& f) { f.zp.reset(); }, "Input error: Charge +"},
        {[](InputFields& f) { f.zp = 201.0; }, "Charge + should between 0 and 200"},
        {[](InputFields& f) { f.zp = -0.5; }, "Charge + should between 0 and 200"},
        {[nan](InputFields& f) { f.zp = nan; }, "Charge + should between 0 and 200"},
        {[](InputFields& f) { f.Np.reset(); }, "Input error: Neutral block length +"},
        {[](InputFields& f) { f.plen = 200.0; }, "Input error: charge density of + polymer should between 0.2 and 10"},
        {[](InputFields& f) { f.plen = 0.0; }, "Input error: charge density of + polymer should between 0.2 and 10"},
        {[](InputFields& f) { f.zp = 0.0; f.plen = 0.0; }, "Input error: charge density of + polymer should between 0.2 and 10"},
        {[](InputFields& f) { f.plen = 1.7; }, "Input error: charge density of + polymer should between 0.2 and 10"},
        {[](InputFields& f) { f.mlen.reset(); }, "Input error: Length of charged block -"},
        {[](InputFields& f) { f.zn.reset(); }, "Input error: Charge -"},
        {[](InputFields& f) { f.zn = 200.5; }, "Charge - should between 0 and 200"},
        {[](InputFields& f) { f.Nm.reset(); }, "Input error: Neutral length of charged block -"},
        {[](InputFields& f) { f.mlen = -72.0; }, "Input error: charge density of - polymer should between 0.2 and 10"},
        {[](InputFields& f) { f.ka = 0.0; }, "Stable solution is only for ka between 0.2 and 10"},
        {[](InputFields& f) { f.ka = 10.01; }, "Stable solution is only for ka between 0.2 and 10"},
        {[nan](InputFields& f) { f.ka = nan; }, "Stable solution is only for ka between 0.2 and 10"},
        {[](InputFields& f) { f.vc10 = 1e-21; }, "c+ should be between 1e-20  and 1"},
        {[](InputFields& f) { f.vc01 = 1.5; }, "c- should be between 1e-20  and 1"},
        {[](InputFields& f) { f.mpMin.reset(); }, "Error in mpMin"},
        {[](InputFields& f) { f.mpMin = -1; }, "mpMin should be above 0"},
        {[](InputFields& f) { f.mpMax.reset(); }, "error in mpMax"},
        {[](InputFields& f) { f.mpMax = 0; }, "mpMin should be less than mpMax"},
        {[](InputFields& f) { f.mmMin.reset(); }, "error in mmMin"},
        {[](InputFields& f) { f.mmMin = -1; }, "mmMin should be above 0"},
        {[](InputFields& f) { f.mmMax.reset(); }, "error in mmMax"},
        {[](InputFields& f) { f.mmMin = 10; }, "mmMin should be less than mmMax"},
        {[](InputFields& f) { f.mpMax = 100001; f.mpMin = 100000; }, "Ranges of aggregation numbers are too large (at most 4000000 complexes)"},
        {[](InputFields& f) { f.mmMax = 100001; f.mmMin = 99999; }, "Ranges of aggregation numbers are too large (at most 4000000 complexes)"},
        {[](InputFields& f) { f.mpMax = 2000; f.mmMax = 1999; }, "Ranges of aggregation numbers are too large (at most 4000000 complexes)"},
        {[](InputFields& f) { f.mpMax = 2147483647; f.mmMax = 2147483647; }, "Ranges of aggregation numbers are too large (at most 4000000 complexes)"},
    };
    for (const Case& c : cases) {
        InputFields in = startupFields();
        c.change(in);
        EXPECT_EQ(validate(in), std::optional<std::string>(c.message)) << c.message;
    }
}

TEST(InputValidation, BoundariesAreAccepted) {
    const std::function<void(InputFields&)> accepted[] = {
        [](InputFields& f) { f.zp = 200.0; f.plen = 20.0; },
        [](InputFields& f) { f.mlen = 90.0; },  // kim = 0.2
        [](InputFields& f) { f.zp = 20.0; f.plen = 2.0; },  // kip = 10
        [](InputFields& f) { f.ka = 10.0; },
        [](InputFields& f) { f.vc10 = 1e-20; f.vc01 = 1.0; },
        [](InputFields& f) { f.mpMin = 99999; f.mpMax = 100000; f.mmMin = 99999; f.mmMax = 100000; },
        [](InputFields& f) { f.mpMax = 1999; f.mmMax = 1999; },  // exactly 4,000,000 cells
        [](InputFields& f) { f.Np = -5; },  // neutral blocks are not range-checked
    };
    for (const auto& change : accepted) {
        InputFields in = startupFields();
        change(in);
        EXPECT_EQ(validate(in), std::nullopt);
    }
}

TEST(InputValidation, StopsAtTheFirstFailureWithEarlierValuesStored) {
    InputFields in = startupFields();
    in.plen.reset();
    in.zp.reset();
    in.ka = 0.0;
    EXPECT_EQ(validate(in), std::optional<std::string>("Input error: Length of charged block +"));

    // A failing range check still leaves its value written, like the window's fields.
    in = startupFields();
    in.zp = 18.0;
    in.plen = 200.0;
    in.zn = 30.0;
    Parameters p;
    p.zn = -1.0;
    double plen = 0, mlen = -1;
    EXPECT_TRUE(validateInput(in, p, plen, mlen).has_value());
    EXPECT_EQ(p.zp, 18.0);
    EXPECT_DOUBLE_EQ(p.kip, 0.09);
    EXPECT_EQ(plen, 200.0);
    EXPECT_EQ(p.zn, -1.0);   // not reached
    EXPECT_EQ(mlen, -1.0);

    in = startupFields();
    in.mmMin = 10;
    p = Parameters{};
    EXPECT_TRUE(validateInput(in, p, plen, mlen).has_value());
    EXPECT_EQ(p.ka, 0.2);
    EXPECT_EQ(p.mpMax, 10);
    EXPECT_EQ(p.mmMax, 10);
}

}  // namespace
}  // namespace marlinq
