// Concentrations in g/L and mM of charges, the molar masses and sizes of a distribution and
// its scattered intensity, on distributions made by hand and worked out here.

#include "PipelineFixtures.h"

#include "pipeline/ConcentrationUnits.h"
#include "pipeline/Observables.h"
#include "pipeline/ParameterSchema.h"
#include "pipeline/Structure.h"
#include "pipeline/Units.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <sstream>

namespace marlinq {
namespace {

TEST(ConcentrationUnits, GramsPerLitreAndChargesRoundTripThroughChainsPerSegmentVolume) {
    Parameters p = startupParameters();
    p.molarMassPlus = 9300.0;
    p.molarMassMinus = 14750.5;
    p.zp = 18.0;
    p.zn = 31.0;
    const double a = 0.714;
    for (const double gL : {1e-4, 0.37, 2.5, 80.0}) {
        // g/L -> mM of chains -> chains per a^3 and back, each step by its own formula.
        const double mM = 1000.0 * gL / p.molarMassPlus;
        const double perA3 = chainsOfTotal(gL, TotalUnit::GramsPerLitre, a, p.molarMassPlus, p.zp);
        EXPECT_NEAR(perA3, mM / 1000.0 * std::pow(a * 1e-9, 3) * 1000.0 * kAvogadro, 1e-12 * perA3);
        EXPECT_NEAR(chainsMillimolar(perA3, a), mM, 1e-12 * mM);
        EXPECT_NEAR(totalOfChains(perA3, TotalUnit::GramsPerLitre, a, p.molarMassPlus, p.zp), gL, 1e-12 * gL);
        // mM of charges: q per chain.
        const double q = chainsOfTotal(gL, TotalUnit::MillimolarCharges, a, p.molarMassMinus, p.zn);
        EXPECT_NEAR(chainsMillimolar(q, a) * p.zn, gL, 1e-12 * gL);
    }
    // A sum in g/L at a charge fraction: the split keeps both.
    for (const double f : {0.2, 0.5, 0.83}) {
        const MassBalanceTotals t = totalsFromSumInUnit(1.5, f, TotalUnit::GramsPerLitre, a, p);
        const double gPlus = totalOfChains(t.plus, TotalUnit::GramsPerLitre, a, p.molarMassPlus, p.zp);
        const double gMinus = totalOfChains(t.minus, TotalUnit::GramsPerLitre, a, p.molarMassMinus, p.zn);
        EXPECT_NEAR(gPlus + gMinus, 1.5, 1e-12);
        EXPECT_NEAR(p.zp * t.plus / (p.zp * t.plus + p.zn * t.minus), f, 1e-12);
        const MassBalanceTotals c = totalsFromSumInUnit(12.0, f, TotalUnit::MillimolarCharges, a, p);
        EXPECT_NEAR(chainsMillimolar(p.zp * c.plus + p.zn * c.minus, a), 12.0, 1e-12 * 12.0);
    }
    EXPECT_TRUE(totalUnitProblem(TotalUnit::GramsPerLitre, startupParameters(), a, "total_gL").has_value());
    EXPECT_TRUE(totalUnitProblem(TotalUnit::GramsPerLitre, p, std::nullopt, "total_gL").has_value());
    EXPECT_FALSE(totalUnitProblem(TotalUnit::GramsPerLitre, p, a, "total_gL").has_value());
}

TEST(ConcentrationUnits, MolarMassesStayOutOfFilesThatDoNotUseThem) {
    ParameterSet set = startupParameterSet();
    const std::string plain = formatParameterSet(set);
    EXPECT_EQ(std::count(plain.begin(), plain.end(), '\n'), 13);
    EXPECT_EQ(plain.find("molar_mass"), std::string::npos);
    set.params.molarMassPlus = 8000.0;
    set.params.molarMassMinus = 12500.0;
    const std::string withMasses = formatParameterSet(set);
    EXPECT_EQ(std::count(withMasses.begin(), withMasses.end(), '\n'), 15);
    // Before the last line, which stays a key every reader knows.
    const std::string lastLine = withMasses.substr(withMasses.rfind('\n', withMasses.size() - 2) + 1);
    EXPECT_EQ(lastLine, plain.substr(plain.rfind('\n', plain.size() - 2) + 1));
    EXPECT_NE(withMasses.find("molar_mass_plus"), std::string::npos);
}

// A record over M+, M- from 0 to 3 with the given complexes and free chains.
RunResult handRecord(const std::vector<std::tuple<int, int, double>>& cells, double freePlus, double freeMinus) {
    Parameters p = startupParameters();
    p.mpMin = p.mmMin = 0;
    p.mpMax = p.mmMax = 3;
    p.vc10 = freePlus;
    p.vc01 = freeMinus;
    p.Np = 40;
    p.Nm = 120;
    RunResult r = testing::record(p, 30.0, 50.0, 0.0, 0.0);
    for (const auto& [mp, mm, c] : cells) r.absValue(mp, mm) = c;
    r.absValue(1, 0) = freePlus;
    r.absValue(0, 1) = freeMinus;
    r.sum = 1.0;
    return r;
}

StructureInputs handInputs() {
    StructureInputs in;
    in.molarMassPlus = 7000.0;
    in.molarMassMinus = 11000.0;
    in.unitNm = 0.7;
    in.neutralSegmentNm = 0.36;
    return in;
}

TEST(Structure, MolarMassAveragesOfAHandMadeDistribution) {
    // Two complexes: (1,1) at 0.4 and (2,3) at 0.1, and no free chains.
    const RunResult r = handRecord({{1, 1, 0.4}, {2, 3, 0.1}}, 0.0, 0.0);
    const StructureInputs in = handInputs();
    const double m1 = 18000.0, m2 = 2 * 7000.0 + 3 * 11000.0;  // 47000
    const StructureObservables o = computeStructureObservables(r, computeObservables(r), in);
    EXPECT_NEAR(o.mn, (0.4 * m1 + 0.1 * m2) / 0.5, 1e-9);
    EXPECT_NEAR(o.mw, (0.4 * m1 * m1 + 0.1 * m2 * m2) / (0.4 * m1 + 0.1 * m2), 1e-9);
    EXPECT_NEAR(o.mz, (0.4 * std::pow(m1, 3) + 0.1 * std::pow(m2, 3)) / (0.4 * m1 * m1 + 0.1 * m2 * m2), 1e-9);
    EXPECT_NEAR(o.mwWithFree, o.mw, 1e-9);
    // With free chains: they count in the _with_free averages only.
    const RunResult withFree = handRecord({{1, 1, 0.4}, {2, 3, 0.1}}, 0.2, 0.3);
    const StructureObservables f = computeStructureObservables(withFree, computeObservables(withFree), in);
    EXPECT_NEAR(f.mw, o.mw, 1e-9);
    const double n[] = {0.4, 0.1, 0.2, 0.3}, m[] = {m1, m2, 7000.0, 11000.0};
    double s0 = 0, s1 = 0, s2 = 0;
    for (int k = 0; k < 4; ++k) s0 += n[k], s1 += n[k] * m[k], s2 += n[k] * m[k] * m[k];
    EXPECT_NEAR(f.mnWithFree, s1 / s0, 1e-9);
    EXPECT_NEAR(f.mwWithFree, s2 / s1, 1e-9);
    // DLS: the inverse of the M^2-weighted 1/R_h.
    const ChainLengths chains = chainLengthsOf(r);
    const double rh1 = complexStructure(1, 1, chains, in).hydrodynamicRadiusNm;
    const double rh2 = complexStructure(2, 3, chains, in).hydrodynamicRadiusNm;
    EXPECT_NEAR(o.hydrodynamicRadiusZ, (0.4 * m1 * m1 + 0.1 * m2 * m2) / (0.4 * m1 * m1 / rh1 + 0.1 * m2 * m2 / rh2),
                1e-12 * rh2);
    EXPECT_NEAR(o.hydrodynamicRadiusN, (0.4 * rh1 + 0.1 * rh2) / 0.5, 1e-12 * rh2);
    // Without molar masses nothing of this applies.
    EXPECT_TRUE(std::isnan(computeStructureObservables(r, computeObservables(r), StructureInputs{}).mw));
}

TEST(Structure, ForwardScatteringIsTheContrastWeightedMwAndGuinierGivesTheZAverageRg) {
    const RunResult r = handRecord({{1, 1, 0.4}, {2, 3, 0.1}, {3, 3, 0.25}, {2, 1, 0.05}}, 0.2, 0.3);
    StructureInputs in = handInputs();
    in.contrastCore = 0.6;
    in.contrastCorona = 1.7;
    in.waterFraction = 0.4;
    // I(0) = sum n (kc M_core + ks M_corona)^2 / sum n M, with the neutral share N_n / (N_n + N_c) of each chain.
    const double sPlus = 40.0 / 70.0, sMinus = 120.0 / 170.0;
    const auto beta = [&](int mp, int mm) {
        const double corona = mp * 7000.0 * sPlus + mm * 11000.0 * sMinus;
        const double core = mp * 7000.0 + mm * 11000.0 - corona;
        return 0.6 * core + 1.7 * corona;
    };
    double num = 0.0, mass = 0.0;
    for (const auto& [mp, mm, c] : std::vector<std::tuple<int, int, double>>{
             {1, 1, 0.4}, {2, 3, 0.1}, {3, 3, 0.25}, {2, 1, 0.05}, {1, 0, 0.2}, {0, 1, 0.3}}) {
        num += c * beta(mp, mm) * beta(mp, mm);
        mass += c * (mp * 7000.0 + mm * 11000.0);
    }
    const ScatteringCurve at0 = scatteringCurve(r, in, {0.0, 1e-9});
    EXPECT_NEAR(at0.intensity[0], num / mass, 1e-10 * num / mass);
    EXPECT_NEAR(at0.intensity[1], num / mass, 1e-10 * num / mass);

    // A Guinier fit of ln I against q^2 over q Rg up to 1/2 gives the z-average Rg to 1 %.
    const StructureObservables o = computeStructureObservables(r, computeObservables(r), in);
    const double rg = o.radiusOfGyrationZ;
    ASSERT_GT(rg, 1.0);
    std::vector<double> q;
    for (int k = 1; k <= 20; ++k) q.push_back(0.025 * k / rg);
    const ScatteringCurve c = scatteringCurve(r, in, q);
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t k = 0; k < q.size(); ++k) {
        const double x = q[k] * q[k], y = std::log(c.intensity[k]);
        sx += x, sy += y, sxx += x * x, sxy += x * y;
    }
    const double n = static_cast<double>(q.size());
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    EXPECT_NEAR(std::sqrt(-3.0 * slope) / rg, 1.0, 0.01);
    // The parts: core and corona below the whole; free chains as Debye coils.
    for (std::size_t k = 0; k < q.size(); ++k) EXPECT_LT(c.core[k] + c.free[k], c.intensity[k]);
}

TEST(Structure, MicellesOfTensOfChainsWithLongNeutralBlocksAreTensOfNanometres) {
    // Chains of 72 charged segments (a = 0.714 nm) and neutral blocks of PEO (b = 0.36 nm) in
    // water, cores half water: R_h of 20 to 100 chains with neutral blocks of 100 to 500 lies
    // in the 10 to 30 nm measured for such micelles, to 2 % (from 10.5 to 30.5 nm).
    StructureInputs in;
    in.molarMassPlus = in.molarMassMinus = 10000.0;
    in.unitNm = 0.714;
    in.neutralSegmentNm = 0.36;
    in.waterFraction = 0.5;
    for (const std::int32_t chains : {20, 50, 100})
        for (const std::int32_t neutral : {100, 200, 500}) {
            const ChainLengths lengths{72.0, 72.0, neutral, neutral};
            const ComplexStructure s = complexStructure(chains / 2, chains / 2, lengths, in);
            std::printf("  %3d chains, neutral blocks %3d: Rc %5.2f nm, corona %5.2f nm, R_h %5.2f nm, R_g %5.2f nm\n",
                        chains, neutral, s.coreRadiusNm, s.coronaThicknessNm, s.hydrodynamicRadiusNm,
                        s.radiusOfGyrationNm);
            EXPECT_GE(s.hydrodynamicRadiusNm, 10.0);
            EXPECT_LE(s.hydrodynamicRadiusNm, 30.0 * 1.02);
            EXPECT_GT(s.hydrodynamicRadiusNm / s.radiusOfGyrationNm, 1.1);
        }
    // A bare core (no neutral segments) has R_h = Rc.
    const ComplexStructure bare = complexStructure(5, 5, ChainLengths{72.0, 72.0, 0, 0}, in);
    EXPECT_EQ(bare.hydrodynamicRadiusNm, bare.coreRadiusNm);
}

}  // namespace
}  // namespace marlinq
