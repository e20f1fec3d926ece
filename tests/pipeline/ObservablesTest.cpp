// Observables of a distribution, the free-energy landscape and the physical units, on
// small distributions worked out by hand.

#include "PipelineFixtures.h"

#include "physics/FreeEnergy.h"
#include "pipeline/CalculationJob.h"
#include "pipeline/Engine.h"
#include "pipeline/Observables.h"
#include "pipeline/ObservableRegistry.h"
#include "pipeline/ObservablesText.h"
#include "pipeline/Sweep.h"
#include "pipeline/Units.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>

namespace marlinq {
namespace {

// Sum, maximum and shares of a record built by hand.
void normalise(RunResult& resultRecord) {
    resultRecord.sum = resultRecord.maxValue = 0.0;
    resultRecord.absValue.forEach([&](double a) {
        resultRecord.sum += a;
        resultRecord.maxValue = std::max(resultRecord.maxValue, a);
    });
    resultRecord.Value = resultRecord.absValue;
    resultRecord.Value.transform([&](double& v) { v /= resultRecord.sum; });
    resultRecord.normalised = true;
}

// M+ and M- from 0 to 2, zp = 2, zn = 1, plen = 3, mlen = 4, vc10 = 0.1, vc01 = 0.2, and
// the complexes c(1,1) = 0.3, c(1,2) = 0.1, c(2,1) = 0.05, c(2,2) = 0.05, every weight
// multiplied by `scale`.
RunResult handDistribution(double scale = 1.0, double maxShift = 0.0) {
    Parameters p;
    p.zp = 2.0;
    p.zn = 1.0;
    p.kip = 2.0 / 3.0;
    p.kim = 0.25;
    p.ka = 1.0;
    p.vc10 = 0.1;
    p.vc01 = 0.2;
    p.Np = 1;
    p.Nm = 1;
    p.mpMin = 0;
    p.mpMax = 2;
    p.mmMin = 0;
    p.mmMax = 2;
    RunResult resultRecord = testing::record(p, 3.0, 4.0, 0.0, 0.0);
    resultRecord.absValue(1, 0) = 0.1 * scale;
    resultRecord.absValue(0, 1) = 0.2 * scale;
    resultRecord.absValue(1, 1) = 0.3 * scale;
    resultRecord.absValue(1, 2) = 0.1 * scale;
    resultRecord.absValue(2, 1) = 0.05 * scale;
    resultRecord.absValue(2, 2) = 0.05 * scale;
    resultRecord.max_shift = maxShift;
    normalise(resultRecord);
    return resultRecord;
}

// Core radii (3V / (4 pi))^(1/3), pi = 3.141592387, of V = 7, 11, 10, 14.
constexpr double kRc11 = 1.1866878318563403, kRc12 = 1.3796471799599448, kRc21 = 1.3365046553764217,
                 kRc22 = 1.495132979009911;

void expectHandObservables(const Observables& o, double tol) {
    ASSERT_TRUE(o.mostProbable.has_value());
    EXPECT_EQ(o.mostProbable->first, 1);
    EXPECT_EQ(o.mostProbable->second, 1);
    EXPECT_NEAR(o.meanMp, 1.2, tol);                    // (0.3 + 0.1 + 0.1 + 0.1) / 0.5
    EXPECT_NEAR(o.meanMm, 1.3, tol);                    // (0.3 + 0.2 + 0.05 + 0.1) / 0.5
    EXPECT_NEAR(o.massAverageAggregation, 2.68, tol);   // 3.35 / 1.25
    EXPECT_NEAR(o.boundFractionPlus, 6.0 / 7.0, tol);   // 0.6 / (0.6 + 0.1)
    EXPECT_NEAR(o.boundFractionMinus, 13.0 / 17.0, tol);  // 0.65 / (0.65 + 0.2)
    EXPECT_NEAR(o.meanNetCharge, 1.1, tol);             // (0.3 + 0 + 0.15 + 0.1) / 0.5
    EXPECT_NEAR(o.meanCoreRadius, (0.3 * kRc11 + 0.1 * kRc12 + 0.05 * kRc21 + 0.05 * kRc22) / 0.5, tol);
    EXPECT_NEAR(o.mostProbableCoreRadius, kRc11, tol);
    EXPECT_NEAR(o.mostProbableShare, 0.375, tol);       // 0.3 / 0.8
}

TEST(Observables, HandDistribution) { expectHandObservables(computeObservables(handDistribution()), 1e-13); }

TEST(Observables, WeightsOnAShiftedScaleGiveTheSameNumbers) {
    // A record whose weights were all lowered by 2.71828183^-700 (max_shift 710): the
    // absolute concentrations are those of the hand distribution.
    const double lowered = std::pow(2.71828183, -700.0);
    expectHandObservables(computeObservables(handDistribution(lowered, 710.0)), 1e-9);
}

TEST(Observables, WeightsNearTheTopOfTheDoubleRange) {
    Parameters p = startupParameters();
    p.mpMax = 2;
    p.mmMax = 2;
    RunResult resultRecord = testing::record(p, 72.0, 72.0, 0.0, 0.0);
    resultRecord.absValue(1, 0) = 1e-3;
    resultRecord.absValue(0, 1) = 1e-3;
    resultRecord.absValue(1, 1) = 9e300;
    resultRecord.absValue(2, 2) = 9e300;
    normalise(resultRecord);
    const Observables o = computeObservables(resultRecord);
    EXPECT_DOUBLE_EQ(o.meanMp, 1.5);
    EXPECT_DOUBLE_EQ(o.massAverageAggregation, 20.0 / 6.0);  // (4 + 16) / (2 + 4)
    EXPECT_DOUBLE_EQ(o.meanNetCharge, 0.0);
    EXPECT_DOUBLE_EQ(o.boundFractionPlus, 1.0);
    // Ties go to the first cell in drawing order.
    EXPECT_EQ(*o.mostProbable, std::make_pair(1, 1));
    EXPECT_NEAR(o.mostProbableShare, 0.5, 1e-15);
}

TEST(Observables, NoWeightsNoAverages) {
    Parameters p = startupParameters();
    p.mpMax = 2;
    p.mmMax = 2;
    const RunResult empty = testing::record(p, 72.0, 72.0, 0.0, 0.0);
    const Observables o = computeObservables(empty);
    EXPECT_FALSE(o.mostProbable);
    EXPECT_FALSE(o.anyComplex);
    EXPECT_TRUE(std::isnan(o.meanMp));
    EXPECT_TRUE(std::isnan(o.boundFractionMinus));
    // Free chains only: the most probable cell is a lone chain, no complex averages.
    RunResult free = empty;
    free.absValue(0, 1) = 1e-3;
    const Observables f = computeObservables(free);
    ASSERT_TRUE(f.mostProbable);
    EXPECT_EQ(*f.mostProbable, std::make_pair(0, 1));
    EXPECT_TRUE(std::isnan(f.meanMm));
    const std::string json = summaryJson(f, RunDescription{startupParameterSet(), p, {}, {}, false, {}});
    EXPECT_NE(json.find("\"mean_mm\": null"), std::string::npos) << json;
    // A lone chain has no core: no radius of one collapsed block.
    EXPECT_NE(json.find("\"core_radius\": null"), std::string::npos) << json;
}

TEST(Observables, MostProbableCellOverTheMapOrAmongComplexes) {
    RunResult resultRecord = handDistribution();
    EXPECT_EQ(mostProbableCell(resultRecord), std::make_pair(1, 1));
    // A lone chain heavier than every complex, and two complexes tied: the whole map names
    // the lone chain, the complexes the first of the tie in drawing order (M+ outer).
    resultRecord.absValue(0, 1) = 0.5;
    resultRecord.absValue(2, 1) = 0.3;
    resultRecord.absValue(1, 2) = 0.3;
    resultRecord.absValue(1, 1) = 0.1;
    EXPECT_EQ(mostProbableCell(resultRecord, CellRange::WholeMap), std::make_pair(0, 1));
    EXPECT_EQ(mostProbableCell(resultRecord, CellRange::Complexes), std::make_pair(1, 2));
    const Observables o = computeObservables(resultRecord);
    EXPECT_EQ(o.mostProbable, std::make_pair(0, 1));
    EXPECT_EQ(o.mostProbableComplex, std::make_pair(1, 2));
    // Only lone chains weigh: no complex; nothing weighs: no cell.
    for (std::int32_t r = 0; r < 3; ++r)
        for (std::int32_t c = 0; c < 3; ++c) resultRecord.absValue(r, c) = r + c == 1 && r == 1 ? 1e-3 : 0.0;
    EXPECT_EQ(mostProbableCell(resultRecord), std::make_pair(1, 0));
    EXPECT_FALSE(mostProbableCell(resultRecord, CellRange::Complexes));
    resultRecord.absValue(1, 0) = 0.0;
    EXPECT_FALSE(mostProbableCell(resultRecord));
    EXPECT_FALSE(mostProbableCell(RunResult{}));
}

TEST(Observables, TiesAreReportedAsTies) {
    // The lone chains weigh the same (c+ = c-) and more than any complex; two complexes tie
    // below them, a third differs from them by 1e-6 (no tie).
    RunResult resultRecord = handDistribution();
    resultRecord.absValue(1, 0) = resultRecord.absValue(0, 1) = 0.4;
    resultRecord.absValue(1, 1) = 0.1;
    resultRecord.absValue(1, 2) = resultRecord.absValue(2, 1) = 0.3;
    resultRecord.absValue(2, 2) = 0.3 * (1.0 - 1e-6);
    normalise(resultRecord);
    const Observables o = computeObservables(resultRecord);
    EXPECT_EQ(o.mostProbable, MapCell(0, 1));
    EXPECT_EQ(o.mostProbableTies, (std::vector<MapCell>{{0, 1}, {1, 0}}));
    EXPECT_EQ(o.mostProbableComplex, MapCell(1, 2));
    EXPECT_EQ(o.mostProbableComplexTies, (std::vector<MapCell>{{1, 2}, {2, 1}}));
    const std::string json = summaryJson(o, RunDescription{startupParameterSet(), {}, {}, {}, false, {}});
    for (const char* key : {"\"most_probable\": [0, 1],\n  \"most_probable_ties\": [[0, 1], [1, 0]],",
                            "\"most_probable_complex\": [1, 2],\n  \"most_probable_complex_ties\": [[1, 2], [2, 1]],"})
        EXPECT_NE(json.find(key), std::string::npos) << key << " in\n" << json;
    EXPECT_EQ(tieMessage(o.mostProbableTies, false), "Most probable: a tie of (0, 1) and (1, 0), which hold the same weight");
    // A weight a rounding away is still a tie; one part in a million is not.
    resultRecord.absValue(2, 1) = 0.3 * (1.0 + 4e-16);
    resultRecord.absValue(1, 0) = 0.4 * (1.0 - 1e-6);
    normalise(resultRecord);
    const Observables near = computeObservables(resultRecord);
    EXPECT_TRUE(near.mostProbableTies.empty());
    EXPECT_EQ(near.mostProbableComplexTies, (std::vector<MapCell>{{1, 2}, {2, 1}}));
    const std::string nearJson = summaryJson(near, RunDescription{startupParameterSet(), {}, {}, {}, false, {}});
    EXPECT_NE(nearJson.find("\"most_probable_ties\": [],"), std::string::npos) << nearJson;
}

TEST(Observables, SymmetricChainsAtHighSaltTieBetweenTheLoneChains) {
    // Equal chains at equal concentrations and ka = 3: the free chains outweigh every complex,
    // and (0, 1) and (1, 0) carry the same weight; the complexes' answer is (1, 1).
    ParameterSet set = startupParameterSet();
    set.params.ka = 3.0;
    set.params.Nm = 1;
    Parameters p;
    ASSERT_FALSE(validate(set, p));
    RunOptions options;
    options.method = Method::PoissonBoltzmann;
    options.chains = Chains::Solved;
    const RunOutcome r = runToCompletion(makeJobInput(p, set, options, LoadedTables{}));
    ASSERT_EQ(r.outcome, JobOutcome::Finished);
    const Observables o = computeObservables(*r.record);
    EXPECT_EQ(o.mostProbableTies, (std::vector<MapCell>{{0, 1}, {1, 0}}));
    EXPECT_EQ(o.mostProbableComplex, MapCell(1, 1));
    EXPECT_NE(std::find(r.log.begin(), r.log.end(), tieMessage(o.mostProbableTies, false)), r.log.end());
}

// The value the summary and the sweep CSV must give for each observable of the hand
// distribution with ka 0.74223716897 (100 mM at a = 0.714 nm); a cell as (M+, M-).
struct HandValue {
    double number = NAN;
    std::optional<MapCell> cell;
};

std::map<std::string, HandValue> handValues() {
    const double meanRc = (0.3 * kRc11 + 0.1 * kRc12 + 0.05 * kRc21 + 0.05 * kRc22) / 0.5;
    return {
        {"most_probable", {NAN, MapCell{1, 1}}},
        {"mean_mp", {1.2, {}}},                       // (0.3 + 0.1 + 0.1 + 0.1) / 0.5
        {"mean_mm", {1.3, {}}},
        {"mass_average_aggregation", {2.68, {}}},     // 3.35 / 1.25
        {"bound_fraction_plus", {6.0 / 7.0, {}}},     // 0.6 / (0.6 + 0.1)
        {"bound_fraction_minus", {13.0 / 17.0, {}}},  // 0.65 / (0.65 + 0.2)
        {"mean_net_charge", {1.1, {}}},
        {"mean_core_radius", {meanRc, {}}},
        {"core_radius", {kRc11, {}}},
        {"most_probable_share", {0.375, {}}},         // 0.3 / 0.8
        {"free_plus", {0.1, {}}},                     // the lone chains
        {"free_minus", {0.2, {}}},
        {"total_plus", {0.7, {}}},                    // 0.1 + 0.3 + 0.1 + 2 (0.05 + 0.05)
        {"total_minus", {0.85, {}}},                  // 0.2 + 0.3 + 2 0.1 + 0.05 + 2 0.05
        {"charge_fraction", {1.4 / 2.25, {}}},        // q+ = 2, q- = 1
        {"mass_balance_residual", {0.0, {}}},         // free chains given
        {"critical_concentration", {NAN, {}}},        // total mode only
        {"most_probable_complex", {NAN, MapCell{1, 1}}},
        {"salt_mM", {100.0, {}}},
        // chains per a^3 over a^3 N_A at a = 0.714 nm: 4561.991400541782 mM per chain per a^3
        {"free_plus_mM", {456.19914005417814, {}}},
        {"free_minus_mM", {912.3982801083563, {}}},
        {"total_plus_mM", {3193.393980379247, {}}},
        {"total_minus_mM", {3877.692690460514, {}}},
        {"critical_concentration_mM", {NAN, {}}},
        {"core_radius_nm", {kRc11 * 0.714, {}}},
        {"mean_core_radius_nm", {meanRc * 0.714, {}}},
    };
}

// The number after "key": in a JSON text; NaN for null or a missing key.
double jsonValue(const std::string& json, const std::string& key, std::string* raw = nullptr) {
    const std::size_t at = json.find("\"" + key + "\": ");
    if (at == std::string::npos) return NAN;
    const std::size_t start = at + key.size() + 4;
    const std::size_t end = json[start] == '[' ? json.find(']', start) + 1 : json.find_first_of(",\n", start);
    if (raw) *raw = json.substr(start, end - start);
    return std::strtod(json.c_str() + start, nullptr);
}

TEST(ObservableRegistry, EveryObservableReachesTheSummaryAndTheSweepTable) {
    const RunResult resultRecord = handDistribution();
    const Observables o = computeObservables(resultRecord);
    const std::map<std::string, HandValue> expected = handValues();
    const double ka = 0.74223716897, a = 0.714;

    RunDescription d;
    d.set = startupParameterSet();
    d.params = d.set.params;
    d.params.ka = ka;
    d.unitNm = a;
    const std::string json = summaryJson(o, d);

    SweepSpec plan;
    plan.axes = {SweepAxis{"vc10", {0.1}, false}};
    plan.unitNm = a;
    SweepPoint point;
    point.values = {0.1};
    point.ran = true;
    point.params.ka = ka;
    point.observables = o;
    // header and row split at the commas
    const auto fields = [](const std::string& line) {
        std::vector<std::string> out(1);
        for (const char ch : line) {
            if (ch == ',') out.emplace_back();
            else if (ch != '\n') out.back().push_back(ch);
        }
        return out;
    };
    const std::vector<std::string> header = fields(sweepCsvHeader(plan)), row = fields(sweepCsvRow(plan, point));
    ASSERT_EQ(header.size(), row.size());
    const auto column = [&](const std::string& name) -> std::optional<std::string> {
        for (std::size_t k = 0; k < header.size(); ++k)
            if (header[k] == name) return row[k];
        return std::nullopt;
    };

    std::size_t csvColumns = 0;
    for (const ObservableDef& def : observableRegistry()) {
        const std::string name(def.name);
        SCOPED_TRACE(name);
        if (def.needsMolarMass) continue;  // molar masses and sizes: StructureTest
        ASSERT_TRUE(expected.count(name)) << "no hand value for this observable";
        const HandValue& want = expected.at(name);
        EXPECT_FALSE(def.label.empty());
        if (def.shape == ObservableShape::Cell) {
            std::string raw;
            jsonValue(json, name, &raw);
            EXPECT_EQ(raw, "[" + std::to_string(want.cell->first) + ", " + std::to_string(want.cell->second) + "]");
            EXPECT_EQ(column(name + "_mp"), std::to_string(want.cell->first));
            EXPECT_EQ(column(name + "_mm"), std::to_string(want.cell->second));
            csvColumns += 2;
            continue;
        }
        const double tol = name == "salt_mM" ? 2e-5 : name.ends_with("_mM") ? 1e-9 : 1e-12;
        const std::optional<std::string> csv = column(name);
        EXPECT_EQ(csv.has_value(), def.inSweepTable);
        if (csv) ++csvColumns;
        if (std::isnan(want.number)) {  // null in JSON, an empty CSV field
            std::string raw;
            jsonValue(json, name, &raw);
            EXPECT_EQ(raw, "null");
            if (csv) EXPECT_EQ(*csv, "");
            continue;
        }
        EXPECT_NEAR(jsonValue(json, name), want.number, tol);
        if (csv) EXPECT_NEAR(std::strtod(csv->c_str(), nullptr), want.number, tol);
    }
    // index, vc10, the observables, status, then the five columns of doubts: nothing else.
    EXPECT_EQ(header.size(), 3 + csvColumns + 5);
    EXPECT_EQ(header[2 + csvColumns], "status");
    // Without the unit neither names what needs it.
    d.unitNm.reset();
    plan.unitNm.reset();
    const std::string plain = summaryJson(o, d);
    const std::string plainHeader = sweepCsvHeader(plan);
    for (const ObservableDef& def : observableRegistry()) {
        const std::string name(def.name);
        // (Nor, without the molar masses, the molar masses and sizes.)
        EXPECT_EQ(plain.find("\"" + name + "\":") != std::string::npos, !def.needsUnitNm && !def.needsMolarMass) << name;
        if (def.needsUnitNm) {
            EXPECT_EQ(plainHeader.find("," + name), std::string::npos) << name;
        }
    }
    // A refused point leaves every field but its status empty.
    plan.unitNm = a;
    point.status = "refused";
    point.ran = false;
    const std::vector<std::string> refused = fields(sweepCsvRow(plan, point));
    ASSERT_EQ(refused.size(), header.size());
    for (std::size_t k = 2; k < refused.size(); ++k) EXPECT_EQ(refused[k], header[k] == "status" ? "refused" : "") << header[k];
}

TEST(Units, SaltOfKaAgainstAHandCalculation) {
    // l_B = 0.714 nm, c_s = 0.1 M: kappa^2 = 8 pi 0.714 nm 0.0602214076 nm^-3 = 1.0806 nm^-2,
    // a Debye length of 0.962 nm, ka = 0.742.
    EXPECT_NEAR(kaOfSaltMillimolar(100.0, 0.714), 0.74224, 0.00001);
    EXPECT_NEAR(saltMillimolar(0.74223716897, 0.714), 100.0, 2e-5);
    // c_s grows with ka^2 and falls with a^3.
    EXPECT_NEAR(saltMillimolar(2.0 * 0.74223716897, 0.714), 400.0, 8e-5);
    EXPECT_NEAR(saltMillimolar(0.74223716897 * 2.0, 2.0 * 0.714), 50.0, 1e-5);
    EXPECT_NEAR(saltMillimolar(kaOfSaltMillimolar(37.0, 0.5), 0.5), 37.0, 1e-12);
}

TEST(Summary, JsonKeysParametersAndUnits) {
    const RunResult resultRecord = handDistribution();
    RunDescription d;
    d.set = startupParameterSet();
    d.params = d.set.params;
    d.params.ka = 0.74223716897;
    d.options.method = Method::PoissonBoltzmann;
    d.unitNm = 0.714;
    d.partial = true;
    d.warnings = {"a \"quoted\" text"};
    const std::string json = summaryJson(computeObservables(resultRecord), d);
    // The observables: ObservableRegistry.EveryObservableReachesTheSummaryAndTheSweepTable.
    for (const char* key :
         {"\"unit_nm\": 0.714", "\"method\": \"pb\"", "\"chains\": \"table\"", "\"partial\": true", "\"plen\": 72",
          "\"mlen\": 72", "\"Nm\": 200", "\"kiplus\": 0.25", "\"warnings\": [\"a \\\"quoted\\\" text\"]", "\"parameters\": {"}) {
        EXPECT_NE(json.find(key), std::string::npos) << key << " in\n" << json;
    }
}

TEST(FreeEnergies, DebyeHueckelLandscapeOfTheStartupValues) {
    const ParameterSet set = startupParameterSet();
    Parameters p;
    ASSERT_FALSE(validate(set, p));
    RunOptions options;
    options.keepEnergies = true;
    std::string why;
    const RunOutcome run = runToCompletion(
        makeJobInput(p, set, options, loadChainTables(locateDataFile(kCoarseTableFile), locateDataFile(kFineTableFile), why)));
    ASSERT_EQ(run.outcome, JobOutcome::Finished);
    const std::string csv = freeEnergiesCsv(*run.record);
    std::istringstream in(csv);
    std::string first, header, line;
    std::getline(in, first);
    std::getline(in, header);
    // f+ = 0.11446831776247358 * 72 - 0.158 ln 73 and f- with ln 272 at ka 0.2, density 0.25.
    EXPECT_EQ(first.rfind("# f_plus=7.5638", 0), 0u) << first;
    EXPECT_NE(first.find(" f_minus=7.3560"), std::string::npos) << first;
    EXPECT_EQ(header, "mp,mm,F,E,absValue,Value,beyond_dh");
    int rows = 0, weighted = 0;
    while (std::getline(in, line)) {
        int mp = 0, mm = 0;
        double F = 0, E = 0, a = 0, v = 0;
        int beyond = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "%d,%d,%lf,%lf,%lf,%lf,%d", &mp, &mm, &F, &E, &a, &v, &beyond), 7) << line;
        // |e psi(R) / kT| = 3 Q (kR cosh kR - sinh kR) e^-kR / (R kR^3) passes 10 only at the
        // corners: 10.19 for (10, 1) and (1, 10), 9.62 for (9, 1).
        EXPECT_EQ(beyond, (mp == 10 && mm == 1) || (mp == 1 && mm == 10) ? 1 : 0) << line;
        // Every complex of 1..10 x 1..10, M+ outer.
        EXPECT_EQ(mp, 1 + rows / 10);
        EXPECT_EQ(mm, 1 + rows % 10);
        EXPECT_DOUBLE_EQ(F, FreeEnergy::freeEnergy_SphereDH(0.2, mp * 18.0, mm * 18.0, 72.0 * (mp + mm)));
        // The weight is the concentration c+^M+ c-^M- e^E.
        const double logWeight = (mp + mm) * std::log(1e-3) + E;
        if (logWeight > -700.0) {
            EXPECT_NEAR(std::log(a), logWeight, 1e-9 * std::fabs(E) + 1e-9) << line;
            ++weighted;
        } else {
            EXPECT_LT(a, 1e-300) << line;  // far off neutrality: no weight left
        }
        ++rows;
    }
    EXPECT_EQ(rows, 100);
    EXPECT_GE(weighted, 10);
}

TEST(FreeEnergies, PoissonBoltzmannListsTheEvaluatedBandOnly) {
    ParameterSet set = startupParameterSet();
    Parameters p;
    ASSERT_FALSE(validate(set, p));
    RunOptions options{Method::PoissonBoltzmann, Chains::Tables, Accuracy::Standard, true};
    std::string why;
    const RunOutcome run = runToCompletion(
        makeJobInput(p, set, options, loadChainTables(locateDataFile(kCoarseTableFile), locateDataFile(kFineTableFile), why)));
    ASSERT_EQ(run.outcome, JobOutcome::Finished);
    const std::string csv = freeEnergiesCsv(*run.record);
    // |M- - M+| <= 4 within 1..10: 5 + 6 + 7 + 8 + 9 + 9 + 8 + 7 + 6 + 5 cells.
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 2 + 70);
    EXPECT_EQ(csv.find("\n1,6,"), std::string::npos);
    EXPECT_NE(csv.find("\n1,5,"), std::string::npos);
    // Without the option nothing is kept.
    const RunOutcome plain = runToCompletion(makeJobInput(
        p, set, RunOptions{Method::PoissonBoltzmann, Chains::Tables, Accuracy::Standard, false},
        loadChainTables(locateDataFile(kCoarseTableFile), locateDataFile(kFineTableFile), why)));
    EXPECT_TRUE(plain.record->energies.empty());
    EXPECT_EQ(plain.record->absValue, run.record->absValue);
}

}  // namespace
}  // namespace marlinq
