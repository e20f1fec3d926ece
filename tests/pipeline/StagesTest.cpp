#include "PipelineFixtures.h"

#include "kernel/Interpolation.h"
#include "physics/FreeEnergy.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

namespace marlinq {
namespace {

using testing::record;
using testing::startupParameters;
using testing::TableDir;

const double kE10 = std::pow(2.71828183, 10.0);  // largest weight once shifted

TEST(Sigma, TableThenPowerLaw) {
    EXPECT_EQ(readSigma(1), 0.079);
    EXPECT_EQ(readSigma(2), 0.0);
    EXPECT_EQ(readSigma(16), -8.898);
    EXPECT_NEAR(readSigma(17), -8.92501, 1e-5);
    EXPECT_DOUBLE_EQ(readSigma(20), -0.0893 * std::pow(18.5, 1.68));
}

TEST(Stages, TeamFollowsTheLimitButNeverOutnumbersItsWork) {
    EXPECT_EQ(teamSize(3, 100), 3);
    EXPECT_EQ(teamSize(3, 2), 2);
    EXPECT_EQ(teamSize(1, 2), 1);
    EXPECT_EQ(teamSize(4, 0), 1);
    EXPECT_EQ(teamSize(0, 1), 1);
    EXPECT_EQ(teamSize(0, std::int64_t{1} << 40), machineThreads());
}

// Per-length energies come back unchanged when length 1 and no neutral block are given.
std::shared_ptr<InfoChainBean> unitChains(double ka, double kim, double kip) {
    Parameters p = startupParameters();
    p.ka = ka;
    p.kim = kim;
    p.kip = kip;
    p.Np = 0;
    p.Nm = 0;
    return testing::chainBean(p, 1.0, 1.0, true);
}

// The chain stage on the tables of a folder, as the job runs it.
int chainStage(InfoChainBean& icb, const TableDir& folder) {
    std::string error;
    const std::filesystem::path dir = folder.path();
    const auto tables = loadChainTables((dir / kCoarseTableFile).string(), (dir / kFineTableFile).string(), error);
    EXPECT_NE(tables, nullptr) << error;
    ChainStageReport report;
    return ParaCalculation().startChainEnergy(icb, tables.get(), report);
}

// One Poisson-Boltzmann row, then the whole matrix normalised.
void sphereRow(InfoSphereBean& isb, std::int32_t mp) {
    SphereRunCells cells;
    ParaCalculation().startSphereRow(isb, mp, cells);
    ParaCalculation::normalise(isb);
}

TEST(ChainStage, TableRowsAndTableChoice) {
    // Fine table rises with the square of the ka index, so the cell used shows in the result;
    // the coarse table is flat at 5.
    TableDir tables("rows", [](int, int) { return 5.0; }, [](int r, int) { return double(r) * r; });

    auto icb = unitChains(0.55, 0.5, 0.5);  // '-' row ceil(3.5) = 4, '+' row trunc = 3
    ASSERT_EQ(chainStage(*icb, tables), 1);
    EXPECT_NEAR(icb->ffc_minus, 11.5, 1e-9);
    EXPECT_NEAR(icb->ffc_positive, 12.5, 1e-9);

    icb = unitChains(1.05, 0.5, 2.0);  // '-' fine row 9, '+' coarse
    ASSERT_EQ(chainStage(*icb, tables), 1);
    EXPECT_NEAR(icb->ffc_minus, 71.5, 1e-9);
    EXPECT_EQ(icb->ffc_positive, 5.0);

    icb = unitChains(1.0, 2.0, 2.0);  // ka = 1.0 is not above the switch point
    ASSERT_EQ(chainStage(*icb, tables), 1);
    EXPECT_NE(icb->ffc_minus, 5.0);
    EXPECT_NE(icb->ffc_positive, 5.0);

    icb = unitChains(1.5, 2.0, 2.0);
    ASSERT_EQ(chainStage(*icb, tables), 1);
    EXPECT_EQ(icb->ffc_minus, 5.0);
    EXPECT_EQ(icb->ffc_positive, 5.0);
}

TEST(ChainStage, StartupValuesUseTheOverrideWhateverTheTables) {
    TableDir tables("override", [](int, int) { return 3.0; }, [](int, int) { return 3.0; });
    auto icb = testing::chainBean(startupParameters(), 72.0, 72.0, true);
    ASSERT_EQ(chainStage(*icb, tables), 1);
    EXPECT_NEAR(icb->ffc_positive, 7.563826, 1e-6);
    EXPECT_NEAR(icb->ffc_minus, 7.356002, 1e-6);
    EXPECT_EQ(icb->ffc_positive, 0.11446831776247358 * 72 - 0.158 * std::log(73.0));
}

TEST(ChainStage, MissingTableIsReportedNotFatal) {
    auto icb = testing::chainBean(startupParameters(), 72.0, 72.0, true);
    ChainStageReport report;
    EXPECT_EQ(ParaCalculation().startChainEnergy(*icb, nullptr, report), 0);
    EXPECT_EQ(report.failure, "The single-chain tables were not loaded; no distribution was calculated.");
}

TEST(ChainStage, SolvedChainsReportTwoDiagnosticLinesWithAPointInAnyLocale) {
    const bool comma = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    auto icb = testing::chainBean(startupParameters(), 72.0, 72.0, false);
    ::testing::internal::CaptureStdout();
    ChainStageReport report;
    const int result = ParaCalculation().startChainEnergy(*icb, nullptr, report);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");  // nothing on the console by itself
    std::setlocale(LC_ALL, "C");
    std::string out;
    for (const std::string& line : report.diagnostics) out += line + "\n";
    ASSERT_EQ(result, 1);
    const std::string minusLine = "single chain with - charge calculation finished: ";
    const std::string plusLine = "single chain with + charge for calculation finished: ";
    ASSERT_NE(out.find(minusLine), std::string::npos) << out;
    ASSERT_NE(out.find(plusLine), std::string::npos) << out;
    EXPECT_EQ(out.find(minusLine), out.rfind(minusLine));
    // Both solved energies lie near the tabulated 7.56 / 7.36 of the start-up values.
    EXPECT_NEAR(icb->ffc_positive, 7.56, 0.1);
    EXPECT_NEAR(icb->ffc_minus, 7.36, 0.1);
    if (comma) {
        EXPECT_EQ(out.find(','), std::string::npos) << out;
    }
}

bool allFinite(const InfoSphereBean& isb) {
    for (std::size_t k = 0; k < isb.absValue.cellCount(); ++k) {
        if (!std::isfinite(isb.absValue.at(k)) || !std::isfinite(isb.Value.at(k))) return false;
    }
    return true;
}

double sumOfValue(const InfoSphereBean& isb) {
    double s = 0.0;
    for (std::size_t k = 0; k < isb.Value.cellCount(); ++k) s += isb.Value.at(k);
    return s;
}

TEST(SphereStage, EvaluatesTheNeutralBandOnly) {
    Parameters p = startupParameters();
    p.mmMax = 20;
    InfoSphereBean isb = record(p, 72, 72, 7.5, 7.5);
    sphereRow(isb, 0);  // nothing to evaluate, matrix stays zero
    EXPECT_EQ(isb.maxValue, 0.0);
    sphereRow(isb, 10);
    for (std::int32_t mm = 0; mm <= 20; ++mm) EXPECT_EQ(isb.absValue(10, mm) > 0.0, mm >= 6 && mm <= 14) << mm;
    EXPECT_NEAR(sumOfValue(isb), 1.0, 1e-12);
    EXPECT_EQ(isb.Mcolor(10, 10), 20);  // the neutral complex is the likeliest of its row

    p.zp = 27.0;  // zp / zn = 1.5: M+ = 3 gives c = 4, band 0..8 without M- = 0
    InfoSphereBean asym = record(p, 72, 72, 7.5, 7.5);
    sphereRow(asym, 3);
    for (std::int32_t mm = 0; mm <= 20; ++mm) EXPECT_EQ(asym.absValue(3, mm) > 0.0, mm >= 1 && mm <= 8) << mm;
}

// The weight of one cell written out from its definition: neutral-block term with the
// branch on Np < Nm, exponent, then the plain or the logarithmic form.
struct CellWeight {
    double E, w;
};
CellWeight expectedWeight(const InfoSphereBean& isb, std::int32_t mp, std::int32_t mm, double F, double lnNp,
                          double lnNm) {
    const auto s = [](std::int32_t k) { return readSigma(k); };
    const double T = isb.Np < isb.Nm
                         ? -(s(mp + mm) + s(1) * mp - s(mm)) * lnNp - (s(1) * mm + s(mm)) * lnNm
                         : -(s(1) * mp + s(mp)) * lnNp - (s(mp + mm) + s(1) * mm - s(mp)) * lnNm;
    const double E = (mp * isb.ffc_positive + mm * isb.ffc_minus) - F - T;
    if (E < 300.0) return {E, (marlinq::pow(isb.vc01, mm) * marlinq::pow(isb.vc10, mp)) * std::pow(2.71828183, E)};
    return {E, std::pow(2.71828183, mp * std::log(isb.vc10) + mm * std::log(isb.vc01) + E)};
}

TEST(Stages, CellWeightsFollowTheirDefinitionInBothBranches) {
    int plainCells = 0, logCells = 0;
    for (const auto& [Np, Nm] : {std::pair{3, 7}, std::pair{7, 3}}) {
        for (const double ffc : {7.5, 45.0}) {
            Parameters p = startupParameters();
            p.Np = Np;
            p.Nm = Nm;
            p.zn = 16.0;
            p.mpMax = p.mmMax = 4;
            InfoSphereBean isb = record(p, 72, 64, ffc, ffc - 0.7);
            ParaCalculation().startDH(isb);
            ASSERT_EQ(isb.max_shift, 0.0);
            for (std::int32_t mp = 1; mp <= 4; ++mp) {
                for (std::int32_t mm = 1; mm <= 4; ++mm) {
                    const double F = FreeEnergy::freeEnergy_SphereDH(p.ka, mp * p.zp, mm * p.zn, mm * 64.0 + mp * 72.0);
                    const CellWeight c = expectedWeight(isb, mp, mm, F, std::log(double(Np)), std::log(double(Nm)));
                    (c.E < 300.0 ? plainCells : logCells)++;
                    EXPECT_EQ(isb.absValue(mp, mm), c.w) << Np << " " << Nm << " " << ffc << " (" << mp << "," << mm << ")";
                }
            }
            // One Poisson-Boltzmann row: the neutral-block logarithms are taken in single precision.
            InfoSphereBean row = record(p, 72, 64, ffc, ffc - 0.7);
            sphereRow(row, 3);
            const double lnNp = static_cast<float>(std::log(static_cast<double>(static_cast<float>(Np))));
            const double lnNm = static_cast<float>(std::log(static_cast<double>(static_cast<float>(Nm))));
            for (std::int32_t mm = 1; mm <= 4; ++mm) {
                const double F = FreeEnergy::freeEnergy_Sphere(p.ka, 3 * p.zp, mm * p.zn, mm * 64.0 + 3 * 72.0);
                EXPECT_EQ(row.absValue(3, mm), expectedWeight(row, 3, mm, F, lnNp, lnNm).w) << Np << " " << ffc << " " << mm;
            }
        }
    }
    EXPECT_GT(plainCells, 0);
    EXPECT_GT(logCells, 0);
}

// Large single-chain energies drive the weights of the higher rows beyond a double.
Parameters overflowingParameters() {
    Parameters p = startupParameters();
    p.Np = 10;
    p.Nm = 50;
    return p;
}

TEST(SphereStage, LaterRowsRaiseTheShiftAndRescaleEarlierOnes) {
    const Parameters p = overflowingParameters();
    InfoSphereBean rowByRow = record(p, 72, 72, 100.0, 100.0);
    rowByRow.absValue(1, 0) = rowByRow.Value(1, 0) = p.vc10;
    std::vector<double> shifts;
    for (std::int32_t mp = 0; mp <= 10; ++mp) {
        sphereRow(rowByRow, mp);
        shifts.push_back(rowByRow.max_shift);
        ASSERT_TRUE(allFinite(rowByRow)) << "row " << mp;
        ASSERT_NEAR(sumOfValue(rowByRow), 1.0, 1e-12) << "row " << mp;
    }
    // The shift is raised at rows 3 and 7 and kept in between.
    EXPECT_EQ(shifts[2], 0.0);
    EXPECT_GT(shifts[3], 693.0);
    EXPECT_EQ(shifts[6], shifts[3]);
    EXPECT_GT(shifts[7], shifts[6]);
    EXPECT_EQ(shifts[10], shifts[7]);

    // The same rows computed with the final shift known from the start agree cell by cell.
    InfoSphereBean direct = record(p, 72, 72, 100.0, 100.0);
    direct.max_shift = rowByRow.max_shift;
    for (std::int32_t mp = 0; mp <= 10; ++mp) sphereRow(direct, mp);
    EXPECT_EQ(direct.max_shift, rowByRow.max_shift);
    int rescaledCells = 0;
    for (std::int32_t r = 1; r <= 10; ++r) {
        for (std::int32_t c = 0; c <= 10; ++c) {
            const double expected = direct.absValue(r, c);
            if (expected < 1e-290) continue;  // too close to the subnormal range to compare
            EXPECT_NEAR(rowByRow.absValue(r, c), expected, 1e-11 * expected) << r << "," << c;
            if (r < 7) ++rescaledCells;
        }
    }
    EXPECT_GT(rescaledCells, 5);
}

TEST(DHStage, OverflowRunsTheShiftedSecondPass) {
    Parameters p = overflowingParameters();
    InfoSphereBean plain = record(p, 72, 72, 7.5, 7.4);
    ParaCalculation stage;
    stage.startDH(plain);  // start-up energies: no overflow, no shift
    EXPECT_EQ(plain.max_shift, 0.0);
    EXPECT_GT(plain.maxValue, 0.0);
    EXPECT_LT(plain.maxValue, 1e300);

    InfoSphereBean isb = record(p, 72, 72, 60.0, 60.0);
    isb.absValue(1, 0) = isb.Value(1, 0) = 1e300;  // a cell the stage does not evaluate
    stage.startDH(isb);
    EXPECT_GT(isb.max_shift, 693.0);  // largest log-weight, beyond ln(9.9e300)
    EXPECT_TRUE(allFinite(isb));
    EXPECT_NEAR(isb.maxValue, kE10, 1e-9 * kE10);
    EXPECT_NEAR(sumOfValue(isb), 1.0, 1e-12);
    EXPECT_EQ(isb.Mcolor(10, 10), 20);
    // ... and carries the same shift as the evaluated cells.
    const double lowered = 1e300 * std::pow(2.71828183, -(isb.max_shift - 10.0) / 2);
    EXPECT_NEAR(isb.absValue(1, 0), lowered * std::pow(2.71828183, -(isb.max_shift - 10.0) / 2), 1e-9 * isb.absValue(1, 0));
    EXPECT_GT(isb.absValue(1, 0), 0.0);
}

}  // namespace
}  // namespace marlinq
