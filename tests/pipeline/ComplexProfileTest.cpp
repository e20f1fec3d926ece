#include "pipeline/ComplexProfile.h"

#include "pipeline/ModelFactory.h"

#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <sstream>
#include <vector>

namespace marlinq {
namespace {

Parameters startupParametersForProfile() {
    Parameters p;
    p.zp = p.zn = 18.0;
    p.kip = 0.25;
    p.ka = 0.2;
    return p;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// Net charge of core and ion cloud together: the uniform core (r <= 1) exactly, the ions
// (the rest of the charge density) by the trapezoid rule over the grid.
double totalCharge(const ComplexProfile& p) {
    const double q = (p.Z / p.Rc) * 3.0 / 12.566369548;
    const auto ions = [&](std::size_t i) { return p.charge_density[i] - (p.r[i] <= 1.0 ? q : 0.0); };
    double sum = 0.0;
    for (std::size_t i = 1; i < p.r.size(); ++i) {
        const double a = p.r[i - 1] * p.r[i - 1] * ions(i - 1);
        const double b = p.r[i] * p.r[i] * ions(i);
        sum += 0.5 * (a + b) * (p.r[i] - p.r[i - 1]);
    }
    return 12.566369548 * (sum + q / 3.0);
}

TEST(ComplexProfile, NeutralComplexHasFlatProfiles) {
    // 3 chains of charge 20 against 5 of charge 12: neutral.
    const ComplexProfile p =
        computeComplexProfile(SphericalComplex::of(3, 5, ChainBlocks{20.0, 12.0, 80.0, 48.0}, ComplexConditions{0.2}),
                              ProfileOverlay::DebyeHueckel);
    EXPECT_EQ(p.Z, 0.0);
    const double V = 5 * 12.0 / 0.25 + 3 * 20.0 / 0.25;
    EXPECT_DOUBLE_EQ(p.Rc, std::cbrt(V * 3.0 / (4.0 * 3.141592387)));
    EXPECT_DOUBLE_EQ(p.kRc, p.Rc * 0.2);
    for (std::size_t i = 0; i < p.r.size(); ++i) {
        EXPECT_EQ(p.potential[i], 0.0);
        EXPECT_NEAR(p.dhPotential[i], 0.0, 1e-15);
        EXPECT_DOUBLE_EQ(p.cation_density[i], p.kRc * p.kRc);
        EXPECT_DOUBLE_EQ(p.anion_density[i], p.kRc * p.kRc);
        EXPECT_NEAR(p.charge_density[i], 0.0, 1e-15);
    }
}

TEST(ComplexProfile, ChargedComplexProfiles) {
    for (const bool dh : {false, true}) {
        // Start-up chains, complex (3, 5): net charge -36.
        const ComplexProfile p = computeComplexProfile(
            SphericalComplex::of(3, 5, ChainBlocks{18.0, 18.0, 72.0, 72.0}, ComplexConditions{0.2}),
            dh ? ProfileOverlay::DebyeHueckel : ProfileOverlay::None);
        ASSERT_EQ(p.r.size(), 401u);
        ASSERT_EQ(p.charge_density.size(), 401u);
        EXPECT_EQ(p.dhPotential.size(), dh ? 401u : 0u);
        EXPECT_EQ(p.Z, -36.0);
        EXPECT_EQ(p.r[0], 0.0);
        EXPECT_EQ(p.r[50], 1.0);
        EXPECT_DOUBLE_EQ(p.r[400], 8.0);
        const double q = (p.Z / p.Rc) * 3.0 / 12.566369548;
        const double K2 = p.kRc * p.kRc;
        for (std::size_t i = 0; i < p.r.size(); ++i) {
            EXPECT_LT(p.potential[i], 0.0);  // a negative core repels anions everywhere
            // Boltzmann factors: a cation (charge +1) exp(-u), an anion exp(+u).
            EXPECT_NEAR(p.cation_density[i], K2 * std::exp(-p.potential[i]), 1e-8 * p.cation_density[i]);
            EXPECT_NEAR(p.anion_density[i], K2 * std::exp(p.potential[i]), 1e-8 * p.anion_density[i]);
            const double ions = (p.cation_density[i] - p.anion_density[i]) / 25.132739096;
            EXPECT_NEAR(p.charge_density[i], ions + (p.r[i] <= 1.0 ? q : 0.0), 1e-12);
        }
        // The negative core gathers cations and drives anions out.
        EXPECT_GT(p.cation_density[0], 2.0 * K2);
        EXPECT_LT(p.anion_density[0], 0.5 * K2);
        // The ion cloud screens the core: core plus cloud is nearly neutral within 8 core radii.
        EXPECT_LT(std::abs(totalCharge(p)) / std::abs(p.Z / p.Rc), 0.05);
        if (dh) {
            EXPECT_NEAR(p.dhPotential[50], p.potential[50], 0.5 * std::abs(p.potential[50]));
        }
    }
}

void expectCsv(bool dh) {
    const ComplexProfile p =
        computeComplexProfile(SphericalComplex::of(3, 5, ChainBlocks{18.0, 18.0, 72.0, 72.0}, ComplexConditions{0.2}),
                              dh ? ProfileOverlay::DebyeHueckel : ProfileOverlay::None);
    const std::vector<std::string> rows = lines(formatProfileCsv(p, 401));
    ASSERT_EQ(rows.size(), 402u);
    EXPECT_EQ(rows[0], dh ? "r/Rc,u,u_DH,cation_density,anion_density,charge_density"
                          : "r/Rc,u,cation_density,anion_density,charge_density");
    // The cation column holds (kRc)^2 exp(-u) of the row's u.
    const double K2 = p.kRc * p.kRc;
    for (const int row : {1, 30, 60}) {
        std::vector<double> v;
        std::string field;
        for (char ch : rows[row] + ",") {
            if (ch == ',') {
                double x = 0.0;
                std::from_chars(field.data(), field.data() + field.size(), x);  // whatever the locale
                v.push_back(x);
                field.clear();
            } else {
                field += ch;
            }
        }
        const std::size_t cation = dh ? 3 : 2;
        EXPECT_NEAR(v[cation], K2 * std::exp(-v[1]), 1e-7 * v[cation]) << rows[row];
        EXPECT_NEAR(v[cation + 1], K2 * std::exp(v[1]), 1e-7 * v[cation + 1]) << rows[row];
    }
    for (const std::string& row : rows) EXPECT_EQ(std::count(row.begin(), row.end(), ','), dh ? 5 : 4) << row;
    EXPECT_EQ(rows[51].substr(0, 2), "1,");   // r/Rc = 1 at the core surface
    EXPECT_EQ(rows[401].substr(0, 2), "8,");
    EXPECT_EQ(rows[3].substr(0, 5), "0.04,");
    EXPECT_EQ(lines(formatProfileCsv(p, 251)).size(), 252u);
}

TEST(ComplexProfile, IsTheComplexOfTheRunsLandscape) {
    // The chart's complex is the landscape's: its core from the chains' charged lengths, not
    // from q / xi (18 / 70 kept with 15 digits gives 5 * 18 / xi = 350.00000000000017, not 350).
    Parameters p = startupParametersForProfile();
    p.kim = std::stod("0.257142857142857");  // 18 / 70 as a file keeps it
    const ChainBlocks blocks{p.zp, p.zn, 72.0, 70.0};
    ASSERT_NE(5 * p.zn / p.kim, 5 * 70.0);
    const SphericalComplex landscape = SphericalComplex::of(3, 5, blocks, ComplexConditions{p.ka, p.bjerrum, 0.0});
    for (const Method method : {Method::PoissonBoltzmann, Method::DebyeHueckel}) {
        const ComplexProfile profile = computeComplexProfile(3, 5, p, blocks, *makeComplexModel(method, Accuracy::Standard, p));
        EXPECT_EQ(profile.Rc, landscape.radius);
        EXPECT_EQ(profile.kRc, landscape.kappaR);
        EXPECT_EQ(profile.Z, landscape.charge);
    }
}

TEST(ComplexProfile, CsvLayoutWithAndWithoutDebyeHueckel) {
    expectCsv(false);
    expectCsv(true);
}

TEST(ComplexProfile, CsvUsesPointsUnderCommaLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 locale not available";
    expectCsv(true);
    std::setlocale(LC_ALL, previous.c_str());
}

}  // namespace
}  // namespace marlinq
