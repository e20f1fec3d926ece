#include "kernel/Vtr.h"

#include "KernelErrorCheck.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <utility>
#include <vector>

namespace marlinq {
namespace {

const char* kBadSizes = "bad vector sizes";

TEST(Vtr, ConstructorsFillCopyAndOwnTheirElements) {
    const Vtr empty(0, 5.0);
    EXPECT_EQ(empty.size(), 0);
    EXPECT_EQ(empty.twonorm(), 0.0);

    const Vtr filled(4, 1.5);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(filled[i], 1.5);

    const Vtr fromVector(std::vector<double>{7.0, 8.0});
    ASSERT_EQ(fromVector.size(), 2);
    EXPECT_EQ(fromVector[1], 8.0);

    Vtr a(3, 1.0);
    Vtr b(a);
    b[0] = 9.0;
    EXPECT_EQ(a[0], 1.0);  // deep copy
    a = b;
    b[1] = 9.0;
    EXPECT_EQ(a[1], 1.0);
}

TEST(Vtr, AssignmentResizesAndSelfAssignmentKeepsValues) {
    Vtr v(std::vector<double>{1.0, 2.0, 3.0});
    const Vtr& alias = v;
    v = alias;
    ASSERT_EQ(v.size(), 3);
    EXPECT_EQ(v[2], 3.0);

    Vtr shorter(1, 4.0);
    v = shorter;
    ASSERT_EQ(v.size(), 1);
    EXPECT_EQ(v[0], 4.0);
    v = Vtr(5, 2.0);
    ASSERT_EQ(v.size(), 5);
    EXPECT_EQ(v.twonorm(), std::sqrt(20.0));
}

TEST(Vtr, MovedFromVectorIsEmptyAndReusable) {
    Vtr a(4, 1.0);
    Vtr b(std::move(a));
    EXPECT_EQ(b.size(), 4);
    EXPECT_EQ(a.size(), 0);  // NOLINT: state after move is part of the contract
    EXPECT_EQ(a.twonorm(), 0.0);
    Vtr c(2, 3.0);
    c = std::move(b);
    EXPECT_EQ(c.size(), 4);
    EXPECT_EQ(b.size(), 0);  // NOLINT
    b = c;
    EXPECT_EQ(b.size(), 4);
}

TEST(Vtr, ArithmeticAndNorms) {
    const Vtr a(std::vector<double>{1.0, -2.0, 3.0});
    const Vtr b(std::vector<double>{0.5, 4.0, -1.0});
    const Vtr sum = a + b;
    const Vtr diff = a - b;
    const Vtr scaled = 2.0 * a;
    const Vtr scaledRight = a * 2.0;
    const double sums[] = {1.5, 2.0, 2.0};
    const double diffs[] = {0.5, -6.0, 4.0};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sum[i], sums[i]);
        EXPECT_EQ(diff[i], diffs[i]);
        EXPECT_EQ(scaled[i], scaledRight[i]);
    }
    EXPECT_EQ(dot(a, b), 0.5 - 8.0 - 3.0);
    EXPECT_EQ(Vtr(std::vector<double>{3.0, 4.0}).twonorm(), 5.0);
}

TEST(Vtr, DivisionMultipliesByTheReciprocal) {
    // 5/3 and 5*(1/3) differ in the last bit: an element-wise division would show here.
    ASSERT_NE(5.0 / 3.0, 5.0 * (1.0 / 3.0));
    const Vtr v(std::vector<double>{5.0, 7.0, 10.0});
    const Vtr byThree = v / 3.0;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(byThree[i], v[i] * (1.0 / 3.0)) << i;
    const Vtr byFour = v / 4.0;
    const Vtr quarter = v * 0.25;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(byFour[i], quarter[i]);
}

TEST(Vtr, ColumnProductSumsInOnePassBelowOneThousandColumns) {
    // One-element columns: 1e16 followed by many ones. Added one by one the ones are lost
    // to rounding; summed in quarters first, they survive.
    auto columnsFor = [](int n) {
        std::vector<Vtr> columns(static_cast<std::size_t>(n), Vtr(1, 1.0));
        Vtr v(n, 0.0);
        v[0] = 1e16;
        for (int j = 250; j < 500; ++j) v[j] = 1.0;
        return std::make_pair(columns, v);
    };
    const auto [cols999, v999] = columnsFor(999);
    const Vtr onePass = cols999 * v999;
    ASSERT_EQ(onePass.size(), 1);
    EXPECT_EQ(onePass[0], 1e16);

    const auto [cols1000, v1000] = columnsFor(1000);
    EXPECT_EQ((cols1000 * v1000)[0], 1e16 + 250.0);

    // An ordinary product with three-element columns.
    std::vector<Vtr> m{Vtr(std::vector<double>{1.0, 0.0, 2.0}), Vtr(std::vector<double>{0.0, 3.0, 1.0})};
    const Vtr r = m * Vtr(std::vector<double>{2.0, -1.0});
    ASSERT_EQ(r.size(), 3);
    EXPECT_EQ(r[0], 2.0);
    EXPECT_EQ(r[1], -3.0);
    EXPECT_EQ(r[2], 3.0);

    EXPECT_EQ((std::vector<Vtr>{} * Vtr(0, 0.0)).size(), 0);
}

TEST(VtrErrors, SizeMismatchesThrowAndThePrecedingStateSurvives) {
    const Vtr three(3, 1.0);
    const Vtr four(4, 1.0);
    EXPECT_KERNEL_ERROR(three + four, kBadSizes);
    EXPECT_KERNEL_ERROR(three - four, kBadSizes);
    EXPECT_KERNEL_ERROR(dot(three, four), kBadSizes);
    // Columns of unequal length fail inside the accumulation.
    const std::vector<Vtr> ragged{Vtr(2, 1.0), Vtr(3, 1.0)};
    EXPECT_KERNEL_ERROR(ragged * Vtr(2, 1.0), kBadSizes);
    EXPECT_KERNEL_ERROR(std::vector<Vtr>(3, Vtr(2, 1.0)) * Vtr(2, 1.0),
                        "Column num of the matrix didn't equal to row num of the vector");
    // The operands are untouched and the calculation can go on.
    EXPECT_EQ(dot(three, three), 3.0);
    EXPECT_EQ(four.size(), 4);
}

TEST(VtrErrors, DivisionByZeroThrowsARuntimeError) {
    const Vtr v(2, 1.0);
    EXPECT_KERNEL_ERROR(v / 0.0, "division by zero in vector-scalar division");
    EXPECT_KERNEL_ERROR(v / -0.0, "division by zero in vector-scalar division");
    // Front ends that know only the standard exceptions see a runtime error.
    EXPECT_THROW(static_cast<void>(v / 0.0), std::runtime_error);
}

}  // namespace
}  // namespace marlinq
