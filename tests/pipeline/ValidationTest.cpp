#include "pipeline/ParameterSchema.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace marlinq {
namespace {

// The fields by their keys.
struct Fields {
    InputFields values;
    std::optional<double>& operator[](const char* key) { return values.at(parameterIndex(key)); }
};
using Change = std::function<void(Fields&)>;

// The window's start-up fields with one change applied.
std::optional<std::string> validateWith(const Change& change, Parameters* out = nullptr) {
    Fields f{inputFieldsOf(startupParameterSet())};
    change(f);
    Parameters p;
    auto message = validateInput(f.values, p);
    if (out) *out = p;
    return message;
}

TEST(InputValidation, EachCheckGivesItsMessage) {
    const char* const plusDensity = "Input error: charge density of + polymer should between 0.2 and 10";
    const char* const tooLarge = "Ranges of aggregation numbers are too large (at most 4000000 complexes)";
    const std::pair<Change, const char*> cases[] = {
        {[](Fields& f) { f["plen"].reset(), f["zp"].reset(), f["ka"] = 0; }, "Input error: Length of charged block +"},
        {[](Fields& f) { f["zp"].reset(); }, "Input error: Charge +"},
        {[](Fields& f) { f["zp"] = 201.0; }, "Charge + should between 0 and 200"},
        {[](Fields& f) { f["zp"] = std::nan(""); }, "Charge + should between 0 and 200"},
        {[](Fields& f) { f["Np"].reset(); }, "Input error: Neutral block length +"},
        {[](Fields& f) { f["plen"] = 200.0; }, plusDensity},  // 0.09
        {[](Fields& f) { f["plen"] = 0.0; }, plusDensity},    // infinite
        {[](Fields& f) { f["zp"] = 0.0, f["plen"] = 0.0; }, plusDensity},  // NaN
        {[](Fields& f) { f["mlen"].reset(); }, "Input error: Length of charged block -"},
        {[](Fields& f) { f["zn"].reset(); }, "Input error: Charge -"},
        {[](Fields& f) { f["zn"] = -0.5; }, "Charge - should between 0 and 200"},
        {[](Fields& f) { f["Nm"].reset(); }, "Input error: Neutral length of charged block -"},
        {[](Fields& f) { f["mlen"] = -72.0; }, "Input error: charge density of - polymer should between 0.2 and 10"},
        {[](Fields& f) { f["ka"] = 10.01; }, "Stable solution is only for ka between 0.2 and 10"},
        {[](Fields& f) { f["ka"] = std::nan(""); }, "Stable solution is only for ka between 0.2 and 10"},
        {[](Fields& f) { f["vc10"] = 1e-21; }, "c+ should be between 1e-20  and 1"},
        {[](Fields& f) { f["vc01"] = 1.5; }, "c- should be between 1e-20  and 1"},
        {[](Fields& f) { f["mpMin"].reset(); }, "Error in mpMin"},
        {[](Fields& f) { f["mpMin"] = -1; }, "mpMin should be above 0"},
        {[](Fields& f) { f["mpMax"].reset(); }, "error in mpMax"},
        {[](Fields& f) { f["mpMin"] = 10; }, "mpMin should be less than mpMax"},
        {[](Fields& f) { f["mmMin"].reset(); }, "error in mmMin"},
        {[](Fields& f) { f["mmMin"] = -1; }, "mmMin should be above 0"},
        {[](Fields& f) { f["mmMax"].reset(); }, "error in mmMax"},
        {[](Fields& f) { f["mmMin"] = 10; }, "mmMin should be less than mmMax"},
        {[](Fields& f) { f["mpMin"] = 100000, f["mpMax"] = 100001; }, tooLarge},
        {[](Fields& f) { f["mmMin"] = 99999, f["mmMax"] = 100001; }, tooLarge},
        {[](Fields& f) { f["mpMax"] = 2000, f["mmMax"] = 1999; }, tooLarge},  // 4,002,000 cells
        {[](Fields& f) { f["mpMax"] = 2147483647, f["mmMax"] = 2147483647; }, tooLarge},
    };
    for (const auto& [change, message] : cases) EXPECT_EQ(validateWith(change), message) << message;
}

TEST(InputValidation, SolvedChainsReachOneMillimolarTheTablesKeepTheirRange) {
    // 1 mM at a = 0.714 nm is ka 0.0741: solved chains take it, the tables do not.
    for (const double ka : {0.0741, 0.05, 10.0}) {
        Fields f{inputFieldsOf(startupParameterSet())};
        f["ka"] = ka;
        Parameters p;
        EXPECT_EQ(validateInput(f.values, p, nullptr, true), std::nullopt) << ka;
        EXPECT_EQ(p.ka, ka);
        EXPECT_EQ(validateInput(f.values, p, nullptr, false).value_or(""),
                  ka < 0.2 ? "Stable solution is only for ka between 0.2 and 10" : "")
            << ka;
    }
    for (const double ka : {0.0499, 10.01, std::nan("")}) {
        Fields f{inputFieldsOf(startupParameterSet())};
        f["ka"] = ka;
        Parameters p;
        EXPECT_EQ(validateInput(f.values, p, nullptr, true).value_or(""),
                  "Stable solution is only for ka between 0.05 and 10 with solved chains (0.2 and 10 with the tables)");
    }
}

TEST(InputValidation, BoundariesPassAndValuesAreStored) {
    const Change accepted[] = {
        [](Fields& f) { f["zp"] = 200.0, f["plen"] = 20.0; },  // kip = 10
        [](Fields& f) { f["mlen"] = 90.0; },                // kim = 0.2
        [](Fields& f) { f["ka"] = 10.0, f["vc10"] = 1e-20, f["vc01"] = 1.0; },
        [](Fields& f) { f["mpMin"] = 99999, f["mpMax"] = 100000, f["mmMin"] = 99999, f["mmMax"] = 100000; },
        [](Fields& f) { f["mpMax"] = 1999, f["mmMax"] = 1999; },  // exactly 4,000,000 cells
    };
    for (const Change& change : accepted) EXPECT_EQ(validateWith(change), std::nullopt);

    Parameters p;
    EXPECT_EQ(validateWith([](Fields&) {}, &p), std::nullopt);
    EXPECT_EQ(p.kip, 0.25);
    EXPECT_EQ(p.kim, 0.25);
    EXPECT_EQ(p.Nm, 200);
    EXPECT_EQ(p.mmMax, 10);

    // A failing check leaves what was parsed before it (and its own value) written.
    EXPECT_TRUE(validateWith([](Fields& f) { f["plen"] = 200.0, f["zn"] = 30.0; }, &p));
    EXPECT_DOUBLE_EQ(p.kip, 0.09);
    EXPECT_EQ(p.zn, 0.0);
    EXPECT_TRUE(validateWith([](Fields& f) { f["mmMin"] = 10; }, &p));
    EXPECT_EQ(p.vc01, 1e-3);
    EXPECT_EQ(p.mmMin, 10);
}

}  // namespace
}  // namespace marlinq
