// The parameter schema: every parameter through the file, the sweeps and the summary; the
// one rule that ties a chain's charge, charged length and charge density.
#include "pipeline/ObservablesText.h"
#include "pipeline/ParameterSchema.h"
#include "pipeline/Sweep.h"

#include "PipelineFixtures.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>

#include <unistd.h>

namespace marlinq {
namespace {

std::filesystem::path tempFile(const std::string& name) {
    return std::filesystem::temp_directory_path() / ("marlinq-schema-" + std::to_string(::getpid()) + "-" + name);
}

std::string shortest(double v) {
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// A set with one value applied by name (the test fails when it is refused).
ParameterSet with(std::string_view name, double value, ParameterSet set = startupParameterSet()) {
    const ParameterValue v{findParameter(name), value};
    EXPECT_NE(v.row, nullptr) << name;
    if (v.row == nullptr) return set;
    const auto refused = applyParameterValues(set, std::span(&v, 1));
    EXPECT_FALSE(refused) << name << ": " << refused->reason;
    return set;
}

// Two sets hold the same values (files the same, lengths the same).
void expectSameSet(const ParameterSet& a, const ParameterSet& b, std::string_view what) {
    EXPECT_EQ(formatParameterSet(a), formatParameterSet(b)) << what;
    EXPECT_EQ(a.plen, b.plen) << what;
    EXPECT_EQ(a.mlen, b.mlen) << what;
}

// The point of a one-axis sweep over name at value.
std::optional<ParameterSet> swept(std::string_view name, double value, const ParameterSet& base,
                                  std::string& error) {
    SweepSpec plan;
    plan.base = base;
    plan.axes.push_back(SweepAxis{std::string(name), {value}, false});
    return sweepPointSet(plan, {value}, error);
}

TEST(ParameterSchema, RowsAreConsistent) {
    std::set<std::string_view> names;
    std::set<int> checks;
    for (const ParameterRow& r : parameterSchema()) {
        EXPECT_TRUE(names.insert(r.key).second) << r.key;
        if (r.alias != r.key) EXPECT_TRUE(names.insert(r.alias).second) << r.alias;
        if (r.check > 0) EXPECT_TRUE(checks.insert(r.check).second) << r.key;
        // A plain value fills exactly one member of its type; a length none.
        if (r.role == ParameterRole::Plain) EXPECT_NE(r.real == nullptr, r.whole == nullptr) << r.key;
        if (r.role == ParameterRole::Length) EXPECT_TRUE(!r.real && !r.whole && !r.inFile) << r.key;
        EXPECT_EQ(r.integer, r.whole != nullptr) << r.key;
        // "Solve" and "Save Parameters" name every field they read.
        if (r.check > 0 && r.role != ParameterRole::Density && !r.lenient) EXPECT_NE(r.unreadable, nullptr) << r.key;
    }
    // Checks run 1, 2, ... without a gap.
    EXPECT_EQ(*checks.rbegin(), static_cast<int>(checks.size()));
    EXPECT_EQ(parameterFileKeys().size(), 13u);
}

TEST(ParameterSchema, EveryParameterThroughFileSweepAndSummary) {
    // A value other than its start-up value for every parameter; what the set holds then.
    const ParameterSet start = startupParameterSet();
    for (const ParameterRow& r : parameterSchema()) {
        const double value = r.integer ? parameterValue(start, r) + 1
                             : r.role == ParameterRole::Total   ? 2e-3
                             : r.role == ParameterRole::Density ? 0.3
                             : r.role == ParameterRole::Length  ? 60.0
                             : parameterValue(start, r) == 0.0  ? 0.25
                                                                : parameterValue(start, r) * 1.5;
        const ParameterSet set = with(r.key, value);
        const bool exact = r.integer || r.role == ParameterRole::Length || r.role == ParameterRole::Density;
        EXPECT_EQ(parameterValue(set, r), exact ? value : asShown(value)) << r.key;
        // The alias names the same parameter.
        expectSameSet(with(r.alias, value), set, r.alias);

        // Through a parameter file and back.
        const auto path = tempFile("roundtrip.in");
        std::ofstream(path, std::ios::binary) << formatParameterSet(set);
        const LoadResult loaded = loadParameterSet(path.string(), start);
        std::filesystem::remove(path);
        ASSERT_EQ(loaded.status, LoadStatus::Loaded) << r.key;
        EXPECT_TRUE(loaded.notes.empty()) << r.key;
        expectSameSet(loaded.set, set, r.key);

        // As a sweep point.
        std::string error;
        const std::optional<ParameterSet> point = swept(r.key, value, start, error);
        ASSERT_TRUE(point) << r.key << ": " << error;
        expectSameSet(*point, set, r.key);

        // In the summary, as the run used it (the totals are the summary's own keys).
        Parameters validated;
        ASSERT_EQ(validate(set, validated), std::nullopt) << r.key;
        if (r.totalModeOnly) continue;
        const std::string json =
            summaryJson(Observables{}, RunDescription{set, validated, {}, {}, false, {}});
        const std::string text = r.integer ? std::to_string(static_cast<int>(parameterValue(set, r)))
                                           : shortest(parameterValue(set, r));
        EXPECT_NE(json.find("\"" + std::string(r.key) + "\": " + text), std::string::npos) << r.key << json;
    }
}

TEST(ParameterSchema, ChargedLengthIsRecoveredByOneRuleEverywhere) {
    // 40 charges on 72 segments: the file keeps kiplus = 0.555555555555556, whose quotient
    // 71.99999999999995 is 72 segments, not 71.
    const ParameterSet fromKeywords = with("kiplus", 0.555555555555556, with("zp", 40));
    EXPECT_EQ(fromKeywords.plen, 72);
    const auto path = tempFile("forty.in");
    std::ofstream(path, std::ios::binary) << "zp 40\nkiplus 0.555555555555556\n";
    const LoadResult loaded = loadParameterSet(path.string(), startupParameterSet());
    std::filesystem::remove(path);
    ASSERT_EQ(loaded.status, LoadStatus::Loaded);
    EXPECT_EQ(loaded.set.plen, 72);
    std::string error;
    ParameterSet forty = startupParameterSet();
    forty.params.zp = 40;
    EXPECT_EQ(swept("kiplus", 0.555555555555556, forty, error)->plen, 72);

    EXPECT_EQ(recoverChargedLength(18, 0.25), 72);
    EXPECT_EQ(recoverChargedLength(72.9, 1.0), 72);  // not near a whole number: truncated
    EXPECT_EQ(recoverChargedLength(-7.5, 1.0), -7);
    EXPECT_EQ(recoverChargedLength(71.99999999999999, 1.0), 72);
    EXPECT_EQ(recoverChargedLength(71.9999999, 1.0), 71);  // 1.4e-9 off: truncated
    EXPECT_EQ(recoverChargedLength(0.0, 0.0), std::nullopt);
    EXPECT_EQ(recoverChargedLength(1.0, 0.0), std::nullopt);
    EXPECT_EQ(recoverChargedLength(3e9, 1.0), std::nullopt);
    EXPECT_EQ(recoverChargedLength(2147483647.0, 1.0), 2147483647);
    EXPECT_EQ(recoverChargedLength(std::nan(""), 1.0), std::nullopt);
}

TEST(ParameterSchema, EveryChargedLengthSurvivesSaveAndLoad) {
    // Every charge and length the window accepts (density 0.2 .. 10), saved with the density
    // written to 15 digits and loaded back, gives the length it was saved with.
    int pairs = 0, truncationLosses = 0, failures = 0;
    ParameterSet set = startupParameterSet();
    for (int q = 1; q <= 200; ++q)
        for (int n = 1; n <= 1000; ++n) {
            const double density = static_cast<double>(q) / n;
            if (density < 0.2 || density > 10.0) continue;
            ++pairs;
            set.params.zp = set.params.zn = q;
            set.plen = set.mlen = n;
            const ParameterFileResult r = parseParameterText(formatParameterSet(set), parameterFileKeys());
            const double zp = *r.found[2], zn = *r.found[3], kip = *r.found[4], kim = *r.found[5];
            if (std::trunc(zp / kip) != n) ++truncationLosses;
            if (recoverChargedLength(zp, kip) != n || recoverChargedLength(zn, kim) != n) {
                if (++failures < 10) ADD_FAILURE() << "q " << q << ", N " << n;
            }
        }
    EXPECT_EQ(pairs, 98600);
    EXPECT_EQ(failures, 0);
    EXPECT_GT(truncationLosses, 40000);  // what plain truncation would have lost
}

TEST(ParameterSchema, WhatChangingAChargeKeeps) {
    const ParameterSet start = startupParameterSet();  // 18 charges on 72 segments
    // A charge keeps the density: same density, longer chain.
    const ParameterSet denser = with("zp", 24);
    EXPECT_EQ(denser.plen, 96);
    EXPECT_EQ(denser.params.kip, 0.25);
    // With the length named too: same chain, more charge.
    const ParameterValue both[] = {{findParameter("plen"), 72}, {findParameter("q_plus"), 24}};
    ParameterSet sameChain = start;
    ASSERT_FALSE(applyParameterValues(sameChain, both));
    EXPECT_EQ(sameChain.plen, 72);
    EXPECT_EQ(sameChain.params.kip, 24.0 / 72.0);
    // A length or a density keeps the charge.
    EXPECT_EQ(with("mlen", 36).params.zn, 18);
    EXPECT_EQ(with("mlen", 36).params.kim, 0.5);
    EXPECT_EQ(with("kiminus", 0.5).mlen, 36);
    // A sweep of zp is the same rule.
    std::string error;
    expectSameSet(*swept("zp", 24, start, error), denser, "sweep zp");
    SweepSpec plan;
    plan.base = start;
    plan.axes = {SweepAxis{"zp", {24}, false}, SweepAxis{"plen", {72}, false}};
    expectSameSet(*sweepPointSet(plan, {24, 72}, error), sameChain, "sweep zp x plen");

    // Refused: a length and a density of one chain; no length from q / xi; a fraction of a
    // neutral block. The set is left as it was.
    ParameterSet kept = start;
    const ParameterValue conflict[] = {{findParameter("kiplus"), 0.5}, {findParameter("plen"), 30}};
    EXPECT_EQ(applyParameterValues(kept, conflict)->kind, ParameterRefusal::Kind::LengthAndDensity);
    const ParameterValue noLength[] = {{findParameter("ka"), 0.5}, {findParameter("kiminus"), 0.0}};
    const auto refused = applyParameterValues(kept, noLength);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->kind, ParameterRefusal::Kind::NoLength);
    EXPECT_EQ(refused->reason, "no charged length of the '-' chain follows from zn / kiminus (18 / 0)");
    const ParameterValue fraction[] = {{findParameter("Np"), 1.5}};
    EXPECT_EQ(applyParameterValues(kept, fraction)->kind, ParameterRefusal::Kind::NotWhole);
    expectSameSet(kept, start, "refused");
    // A sweep point without a length says what a wrong parameter file says.
    EXPECT_FALSE(swept("kiplus", 0.0, start, error));
    EXPECT_EQ(error, kWrongParameterFile);
}

}  // namespace
}  // namespace marlinq
