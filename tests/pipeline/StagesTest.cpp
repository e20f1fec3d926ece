#include "PipelineFixtures.h"

#include "kernel/Interpolation.h"
#include "physics/ConvergedEnergy.h"
#include "physics/FreeEnergy.h"
#include "physics/NeutralBlock.h"
#include "pipeline/Distribution.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <stop_token>

namespace marlinq {
namespace {

using testing::record;
using testing::startupParameters;
using testing::TableDir;

const double kE10 = std::pow(2.71828183, 10.0);  // largest weight once shifted

TEST(Sigma, TableThenPowerLaw) {
    EXPECT_EQ(neutral::sigma(1), 0.079);
    EXPECT_EQ(neutral::sigma(2), 0.0);
    EXPECT_EQ(neutral::sigma(16), -8.898);
    EXPECT_NEAR(neutral::sigma(17), -8.92501, 1e-5);
    EXPECT_DOUBLE_EQ(neutral::sigma(20), -0.0893 * std::pow(18.5, 1.68));
}

TEST(Stages, TeamFollowsTheLimitButNeverOutnumbersItsWork) {
    EXPECT_EQ(teamSize(3, 100), 3);
    EXPECT_EQ(teamSize(3, 2), 2);
    EXPECT_EQ(teamSize(1, 2), 1);
    EXPECT_EQ(teamSize(4, 0), 1);
    EXPECT_EQ(teamSize(0, 1), 1);
    EXPECT_EQ(teamSize(0, std::int64_t{1} << 40), machineThreads());
}

// The chains of a run as a test asks for them, and the energies the chain stage gave.
struct ChainRun {
    RunRequest request;
    double fPlus = 0.0, fMinus = 0.0;
};

std::shared_ptr<ChainRun> chainRun(const Parameters& p, double plen, double mlen, bool useTables) {
    auto run = std::make_shared<ChainRun>();
    run->request = testing::testRequest(p, plen, mlen, useTables);
    return run;
}

// Per-length energies come back unchanged when length 1 and no neutral block are given.
std::shared_ptr<ChainRun> unitChains(double ka, double kim, double kip) {
    Parameters p = startupParameters();
    p.ka = ka;
    p.kim = kim;
    p.kip = kip;
    p.Np = 0;
    p.Nm = 0;
    return chainRun(p, 1.0, 1.0, true);
}

// The chain stage with the chain model a request asks for, as the job runs it.
int startChainEnergy(const CalculationStages& calculation, ChainRun& chains, const ChainTables* tables,
                     ChainStageReport& report) {
    const RunRequest& q = chains.request;
    std::shared_ptr<const ChainTables> shared(tables, [](const ChainTables*) {});
    const ChainModelPointer model =
        makeChainModel(q.readsTables() ? Chains::Tables : Chains::Solved, q.accuracy, shared);
    Parameters p;
    p.ka = q.params.ka;
    const bool done = calculation.chainEnergies(*model, SingleChain{q.params.kip, q.plusLength, q.params.Np, false},
                                                SingleChain{-q.params.kim, q.minusLength, q.params.Nm, true},
                                                chainConditionsOf(p), report);
    chains.fPlus = report.fPlus;
    chains.fMinus = report.fMinus;
    return done ? 1 : 0;
}

// The chain stage on the tables of a folder, as the job runs it.
int chainStage(ChainRun& chains, const TableDir& folder) {
    std::string error;
    const std::filesystem::path dir = folder.path();
    const auto tables = loadChainTables((dir / kCoarseTableFile).string(), (dir / kFineTableFile).string(), error);
    EXPECT_NE(tables, nullptr) << error;
    ChainStageReport report;
    return startChainEnergy(CalculationStages(), chains, tables.get(), report);
}

TEST(ChainStage, TableRowsAndTableChoice) {
    // Fine table rises with the square of the ka index, so the cell used shows in the result;
    // the coarse table is flat at 5.
    TableDir tables("rows", [](int, int) { return 5.0; }, [](int r, int) { return double(r) * r; });

    auto chains = unitChains(0.55, 0.5, 0.5);  // both in the cell of rows 3 and 4: 9 + 7 / 2
    ASSERT_EQ(chainStage(*chains, tables), 1);
    EXPECT_NEAR(chains->fMinus, 12.5, 1e-9);
    EXPECT_NEAR(chains->fPlus, 12.5, 1e-9);

    chains = unitChains(1.05, 0.5, 2.0);  // '-' fine rows 8 and 9: 64 + 17 / 2, '+' coarse
    ASSERT_EQ(chainStage(*chains, tables), 1);
    EXPECT_NEAR(chains->fMinus, 72.5, 1e-9);
    EXPECT_EQ(chains->fPlus, 5.0);

    chains = unitChains(1.0, 2.0, 2.0);  // ka = 1.0 is not above the switch point
    ASSERT_EQ(chainStage(*chains, tables), 1);
    EXPECT_NE(chains->fMinus, 5.0);
    EXPECT_NE(chains->fPlus, 5.0);

    chains = unitChains(1.5, 2.0, 2.0);
    ASSERT_EQ(chainStage(*chains, tables), 1);
    EXPECT_EQ(chains->fMinus, 5.0);
    EXPECT_EQ(chains->fPlus, 5.0);
}

TEST(ChainStage, IdenticalChainsGetIdenticalEnergies) {
    // Random identical '+' and '-' chains over the allowed ranges (ka and charge density
    // 0.2 .. 10, charges 1 .. 200, neutral blocks 0 .. 300): the same bits for both, from
    // the shipped tables (10^4 draws) and from solved chains (fewer: each is a solve).
    std::uint64_t state = 12345;
    auto uniform = [&](double lo, double hi) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return lo + (hi - lo) * static_cast<double>(state >> 11) * 0x1p-53;
    };
    const JobInput tabled = testing::jobInput(startupParameters(), 72.0, 72.0, false, true);
    ASSERT_NE(tabled.tables, nullptr) << tabled.tablesError;
    for (int draw = 0; draw < 10040; ++draw) {
        const bool solved = draw >= 10000;
        Parameters p = startupParameters();
        p.ka = uniform(0.2, solved ? 3.0 : 10.0);
        p.kip = p.kim = uniform(0.2, solved ? 4.0 : 10.0);
        p.Np = p.Nm = static_cast<std::int32_t>(uniform(0.0, 300.0));
        const double length = static_cast<std::int32_t>(uniform(1.0, 200.0)) / p.kip;
        auto chains = chainRun(p, length, length, !solved);
        ChainStageReport report;
        ASSERT_EQ(startChainEnergy(CalculationStages(), *chains, tabled.tables.get(), report), 1) << report.failure;
        ASSERT_EQ(chains->fMinus, chains->fPlus)
            << (solved ? "solved" : "tables") << ": ka " << p.ka << ", xi " << p.kip << ", N " << p.Np;
    }
}

// A chain of density xi at Bjerrum length lambda is the tabulated chain of density lambda xi,
// its per-length energy divided by lambda (f(lambda, xi) = f(1, lambda xi) / lambda).
TEST(ChainStage, TableChainsAtABjerrumLengthReadTheTableAtLambdaXi) {
    // The fine table rises with row and column, so the density read shows in the energy.
    TableDir tables("lambda", [](int, int) { return 5.0; }, [](int r, int c) { return 1.0 + r + 0.5 * c * c; });
    std::string error;
    const std::filesystem::path dir = tables.path();
    const auto read = loadChainTables((dir / kCoarseTableFile).string(), (dir / kFineTableFile).string(), error);
    ASSERT_NE(read, nullptr) << error;
    const ChainModelPointer model = tableChainModel(read);
    for (const bool minus : {false, true}) {
        const SingleChain unit{minus ? -0.35 : 0.35, 1.0, 0, minus};  // length 1, no neutral block: per length
        const SingleChain doubled{minus ? -0.7 : 0.7, 1.0, 0, minus};
        const double atLambda = model->energy(unit, ChainConditions{0.45, 2.0}, {}).value;
        const double table = model->energy(doubled, ChainConditions{0.45, 1.0}, {}).value;
        EXPECT_EQ(atLambda, table / 2.0);
        // The table itself at ka 0.45 (row 2.5), xi 0.7 (column 5): 1 + 2.5 + 0.5 * 25, linear in the row.
        EXPECT_NEAR(table, 1.0 + 2.5 + 0.5 * 25.0, 1e-9);
    }
}

TEST(ChainStage, StartupValuesUseTheOverrideWhateverTheTables) {
    TableDir tables("override", [](int, int) { return 3.0; }, [](int, int) { return 3.0; });
    auto chains = chainRun(startupParameters(), 72.0, 72.0, true);
    ASSERT_EQ(chainStage(*chains, tables), 1);
    EXPECT_NEAR(chains->fPlus, 7.563826, 1e-6);
    EXPECT_NEAR(chains->fMinus, 7.356002, 1e-6);
    EXPECT_EQ(chains->fPlus, 0.11446831776247358 * 72 - 0.158 * std::log(73.0));
}

TEST(ChainStage, AStopEndsTheSolvesAndGivesNoEnergies) {
    // Solved, converged and standard chains alike: a stop request is looked at between the
    // steps of every solve, and the stage then reports itself stopped, not failed.
    for (const bool converged : {false, true}) {
        SCOPED_TRACE(converged ? "converged" : "standard");
        auto chains = chainRun(startupParameters(), 72.0, 72.0, false);
        chains->request.accuracy = converged ? Accuracy::Converged : Accuracy::Standard;
        std::stop_source source;
        source.request_stop();
        CalculationStages calculation;
        calculation.stop = source.get_token();
        ChainStageReport report;
        EXPECT_EQ(startChainEnergy(calculation, *chains, nullptr, report), 0);
        EXPECT_TRUE(report.stopped);
        EXPECT_TRUE(report.failure.empty()) << report.failure;
        EXPECT_TRUE(report.diagnostics.empty());
    }
    // The solvers themselves end at the next step: no energy, no diagnostic.
    std::stop_source source;
    source.request_stop();
    std::string diagnostic;
    EXPECT_TRUE(std::isnan(FreeEnergy::freeEnergy_Chain(0.079, 0.2, 0.25, 72.0, false, 1, 10, &diagnostic,
                                                        source.get_token())));
    EXPECT_TRUE(diagnostic.empty());
    EXPECT_TRUE(std::isnan(convergedChainEnergy(0.079, 0.2, 10.0, 20.0, 1, source.get_token()).value));
}

TEST(ChainStage, SolvedChainsReportTwoDiagnosticLinesWithAPointInAnyLocale) {
    const bool comma = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    auto chains = chainRun(startupParameters(), 72.0, 72.0, false);
    ::testing::internal::CaptureStdout();
    ChainStageReport report;
    const int result = startChainEnergy(CalculationStages(), *chains, nullptr, report);
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
    EXPECT_NEAR(chains->fPlus, 7.56, 0.1);
    EXPECT_NEAR(chains->fMinus, 7.36, 0.1);
    if (comma) {
        EXPECT_EQ(out.find(','), std::string::npos) << out;
    }
}

bool allFinite(const Distribution& d) {
    for (std::size_t k = 0; k < d.absValue.cellCount(); ++k) {
        if (!std::isfinite(d.absValue.at(k)) || !std::isfinite(d.Value.at(k))) return false;
    }
    return true;
}

double sumOfComplexShares(const Distribution& d) {
    double s = 0.0;
    for (std::int32_t r = 1; r < d.Value.rows(); ++r)
        for (std::int32_t c = 1; c < d.Value.cols(); ++c) s += d.Value(r, c);
    return s;
}

// The weights of a record's landscape at its own concentrations: Poisson-Boltzmann rows
// mpMin .. last, or the whole Debye-Hueckel matrix.
Distribution pbRows(const RunResult& resultRecord, std::int32_t last) {
    DistributionBuilder weights(resultRecord.params().mpMin, resultRecord.params().mpMax, resultRecord.params().mmMin,
                                resultRecord.params().mmMax, resultRecord.concentrations.freePlus,
                                resultRecord.concentrations.freeMinus);
    weights.enterFreeChains();
    for (std::int32_t mp = resultRecord.params().mpMin; mp <= last; ++mp)
        weights.addRow(mp, CalculationStages(poissonBoltzmannModel()).sphereRow(landscapeInputsOf(resultRecord), mp).cells);
    weights.finishRows();
    return weights.distribution();
}
Distribution dhMatrix(const RunResult& resultRecord) {
    DistributionBuilder weights(resultRecord.params().mpMin, resultRecord.params().mpMax, resultRecord.params().mmMin,
                                resultRecord.params().mmMax, resultRecord.concentrations.freePlus,
                                resultRecord.concentrations.freeMinus);
    weights.enterFreeChains();
    weights.addWhole(CalculationStages(debyeHueckelModel()).everyCell(landscapeInputsOf(resultRecord)).cells);
    return weights.distribution();
}

TEST(SphereStage, EvaluatesTheNeutralBandOnly) {
    Parameters p = startupParameters();
    p.mmMax = 20;
    const RunResult resultRecord = record(p, 72, 72, 7.5, 7.5);
    EXPECT_TRUE(CalculationStages(poissonBoltzmannModel()).sphereRow(landscapeInputsOf(resultRecord), 0).cells.empty());
    const StageCells row = CalculationStages(poissonBoltzmannModel()).sphereRow(landscapeInputsOf(resultRecord), 10);
    std::vector<std::int32_t> columns;
    for (const LandscapeCell& cell : row.cells) {
        EXPECT_EQ(cell.mp, 10);
        EXPECT_TRUE(std::isfinite(cell.F) && std::isfinite(cell.E));
        columns.push_back(cell.mm);
    }
    EXPECT_EQ(columns, (std::vector<std::int32_t>{6, 7, 8, 9, 10, 11, 12, 13, 14}));
    // The neutral complex is the likeliest of its row.
    for (const LandscapeCell& cell : row.cells)
        if (cell.mm != 10) EXPECT_LT(cell.E, row.cells[4].E) << cell.mm;

    p.zp = 27.0;  // zp / zn = 1.5: M+ = 3 gives c = 4, band 0..8 without M- = 0
    const RunResult asym = record(p, 72, 72, 7.5, 7.5);
    columns.clear();
    for (const LandscapeCell& cell : CalculationStages(poissonBoltzmannModel()).sphereRow(landscapeInputsOf(asym), 3).cells) columns.push_back(cell.mm);
    EXPECT_EQ(columns, (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

// The weight of one cell written out from its definition: neutral-block term with the
// branch on Np < Nm, exponent, then the plain or the logarithmic form.
struct CellWeight {
    double E, w;
};
CellWeight expectedWeight(const RunResult& resultRecord, std::int32_t mp, std::int32_t mm, double F, double lnNp,
                          double lnNm) {
    const auto s = [](std::int32_t k) { return neutral::sigma(k); };
    const double T = resultRecord.params().Np < resultRecord.params().Nm
                         ? -(s(mp + mm) + s(1) * mp - s(mm)) * lnNp - (s(1) * mm + s(mm)) * lnNm
                         : -(s(1) * mp + s(mp)) * lnNp - (s(mp + mm) + s(1) * mm - s(mp)) * lnNm;
    const double E = (mp * resultRecord.chains.plus + mm * resultRecord.chains.minus) - F - T;
    if (E < 300.0)
        return {E, (marlinq::pow(resultRecord.concentrations.freeMinus, mm) *
                    marlinq::pow(resultRecord.concentrations.freePlus, mp)) *
                       std::pow(2.71828183, E)};
    // From its logarithm to the base 2.71828183: c+^M+ c-^M- 2.71828183^E.
    return {E, std::pow(2.71828183, (mp * std::log(resultRecord.concentrations.freePlus) +
                                     mm * std::log(resultRecord.concentrations.freeMinus)) /
                                            std::log(2.71828183) +
                                        E)};
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
            const RunResult resultRecord = record(p, 72, 64, ffc, ffc - 0.7);
            const Distribution dh = dhMatrix(resultRecord);
            ASSERT_EQ(dh.max_shift, 0.0);
            for (std::int32_t mp = 1; mp <= 4; ++mp) {
                for (std::int32_t mm = 1; mm <= 4; ++mm) {
                    const double F = FreeEnergy::freeEnergy_SphereDH(p.ka, mp * p.zp, mm * p.zn, mm * 64.0 + mp * 72.0);
                    const CellWeight c =
                        expectedWeight(resultRecord, mp, mm, F, std::log(double(Np)), std::log(double(Nm)));
                    (c.E < 300.0 ? plainCells : logCells)++;
                    EXPECT_EQ(dh.absValue(mp, mm), c.w) << Np << " " << Nm << " " << ffc << " (" << mp << "," << mm << ")";
                }
            }
            // One Poisson-Boltzmann row: the neutral-block logarithms are taken in single precision.
            const Distribution row = pbRows(resultRecord, 3);
            const double lnNp = static_cast<float>(std::log(static_cast<double>(static_cast<float>(Np))));
            const double lnNm = static_cast<float>(std::log(static_cast<double>(static_cast<float>(Nm))));
            for (std::int32_t mm = 1; mm <= 4; ++mm) {
                const double F = FreeEnergy::freeEnergy_Sphere(p.ka, 3 * p.zp, mm * p.zn, mm * 64.0 + 3 * 72.0);
                EXPECT_EQ(row.absValue(3, mm), expectedWeight(resultRecord, 3, mm, F, lnNp, lnNm).w)
                    << Np << " " << ffc << " " << mm;
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
    const RunResult resultRecord = record(p, 72, 72, 100.0, 100.0);
    DistributionBuilder weights(0, 10, 0, 10, p.vc10, p.vc01);
    weights.enterFreeChains();
    std::vector<double> shifts;
    std::vector<LandscapeCell> landscape;
    for (std::int32_t mp = 0; mp <= 10; ++mp) {
        const StageCells row = CalculationStages(poissonBoltzmannModel()).sphereRow(landscapeInputsOf(resultRecord), mp);
        weights.addRow(mp, row.cells);
        landscape.insert(landscape.end(), row.cells.begin(), row.cells.end());
        const Distribution& d = weights.distribution();
        shifts.push_back(d.max_shift);
        ASSERT_TRUE(allFinite(d)) << "row " << mp;
        // The lone chains carry the current scale.
        ASSERT_EQ(d.absValue(1, 0), p.vc10 * weightShiftFactor(d.max_shift)) << "row " << mp;
    }
    // The shift is raised at rows 3 and 7 and kept in between.
    EXPECT_EQ(shifts[2], 0.0);
    EXPECT_GT(shifts[3], 693.0);
    EXPECT_EQ(shifts[6], shifts[3]);
    EXPECT_GT(shifts[7], shifts[6]);
    EXPECT_EQ(shifts[10], shifts[7]);
    weights.finishRows();
    const Distribution& d = weights.distribution();
    EXPECT_NEAR(sumOfComplexShares(d), 1.0 - d.absValue(1, 0) / d.sum - d.absValue(0, 1) / d.sum, 1e-12);

    // Every weight, rescaled in steps or formed late, is c+^M+ c-^M- 2.71828183^E on the final
    // scale.
    const double offset = d.max_shift - 10.0;
    int rescaledCells = 0;
    for (const LandscapeCell& cell : landscape) {
        const double expected = std::pow(
            2.71828183, (cell.mp * std::log(p.vc10) + cell.mm * std::log(p.vc01)) / std::log(2.71828183) + cell.E - offset);
        if (expected < 1e-290) continue;  // too close to the subnormal range to compare
        EXPECT_NEAR(d.absValue(cell.mp, cell.mm), expected, 1e-11 * expected) << cell.mp << "," << cell.mm;
        if (cell.mp < 7) ++rescaledCells;
    }
    EXPECT_GT(rescaledCells, 5);
}

TEST(DHStage, OverflowRunsTheShiftedSecondPass) {
    Parameters p = overflowingParameters();
    const Distribution plain = dhMatrix(record(p, 72, 72, 7.5, 7.4));  // start-up energies: no shift
    EXPECT_EQ(plain.max_shift, 0.0);
    EXPECT_GT(plain.maxValue, 0.0);
    EXPECT_LT(plain.maxValue, 1e300);

    const Distribution d = dhMatrix(record(p, 72, 72, 60.0, 60.0));
    EXPECT_GT(d.max_shift, 693.0);  // largest log-weight, beyond ln(9.9e300)
    EXPECT_TRUE(allFinite(d));
    EXPECT_NEAR(d.maxValue, kE10, 1e-9 * kE10);
    EXPECT_EQ(d.absValue(10, 10), d.maxValue);
    EXPECT_NEAR(sumOfComplexShares(d), 1.0, 1e-12);
    // The lone chains carry the same shift as the evaluated cells.
    EXPECT_EQ(d.absValue(1, 0), p.vc10 * weightShiftFactor(d.max_shift));
}

}  // namespace
}  // namespace marlinq
