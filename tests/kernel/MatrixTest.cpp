#include "kernel/BandMatrix.h"
#include "kernel/Matrix.h"

#include "KernelErrorCheck.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <utility>

namespace marlinq {
namespace {

const char* kClose = "close to 0!";

Matrix fromRows(std::initializer_list<std::initializer_list<double>> rows) {
    Matrix m(static_cast<std::int32_t>(rows.size()), static_cast<std::int32_t>(rows.begin()->size()));
    std::int32_t i = 0;
    for (const auto& row : rows) {
        std::int32_t j = 0;
        for (double value : row) m(i, j++) = value;
        ++i;
    }
    return m;
}

TEST(Matrix, StorageIsRowMajorAndResizeZeroes) {
    Matrix m(2, 3);
    m(1, 2) = 7.0;
    EXPECT_EQ(m.data()[5], 7.0);
    m.resize(3, 2);
    EXPECT_EQ(m.rowCount(), 3);
    EXPECT_EQ(m.colCount(), 2);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(m.data()[k], 0.0);
}

TEST(Matrix, CopiesAreDeepAndMovesLeaveAnEmptyMatrix) {
    Matrix a = fromRows({{1, 2}, {3, 4}});
    Matrix b(a);
    b(0, 0) = 9.0;
    EXPECT_EQ(a(0, 0), 1.0);
    const Matrix& alias = a;
    a = alias;
    EXPECT_EQ(a(1, 1), 4.0);
    Matrix c(1, 1);
    c = a;
    a(1, 0) = 0.0;
    EXPECT_EQ(c(1, 0), 3.0);
    EXPECT_EQ(c.rowCount(), 2);

    Matrix moved(std::move(c));
    EXPECT_EQ(moved(1, 1), 4.0);
    EXPECT_EQ(c.rowCount(), 0);  // NOLINT: state after move is part of the contract
    EXPECT_EQ(c.colCount(), 0);  // NOLINT
}

TEST(Matrix, ArithmeticAndProducts) {
    Matrix a = fromRows({{1, 2, 3}, {4, 5, 6}});
    a += fromRows({{1, 1, 1}, {1, 1, 1}});
    EXPECT_EQ(a(1, 2), 7.0);
    a -= fromRows({{2, 0, 0}, {0, 0, 2}});
    EXPECT_EQ(a(0, 0), 0.0);
    EXPECT_EQ(a(1, 2), 5.0);
    const Matrix l = 0.5 * a;
    const Matrix r = a * 0.5;
    EXPECT_EQ(l(1, 0), 2.5);
    EXPECT_EQ(r(1, 0), 2.5);
    EXPECT_EQ(l.rowCount(), 2);
    EXPECT_EQ(l.colCount(), 3);

    const Matrix m = fromRows({{1, 2, 3}, {0, 1, 0}, {-1, 0, 2}});
    const Vtr p = m * Vtr(std::vector<double>{1.0, 2.0, 3.0});
    ASSERT_EQ(p.size(), 3);
    EXPECT_EQ(p[0], 14.0);
    EXPECT_EQ(p[1], 2.0);
    EXPECT_EQ(p[2], 5.0);
    // A longer vector: the sum still runs over the columns, extra elements stay zero.
    const Vtr longer = m * Vtr(std::vector<double>{1.0, 1.0, 1.0, 100.0});
    ASSERT_EQ(longer.size(), 4);
    EXPECT_EQ(longer[0], 6.0);
    EXPECT_EQ(longer[3], 0.0);
}

TEST(MatrixInv, IdentityDiagonalAndGeneralMatrices) {
    Matrix id(3, 3);
    for (int i = 0; i < 3; ++i) id(i, i) = 1.0;
    const Matrix idInv = id.inv();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(idInv(i, j), i == j ? 1.0 : 0.0);

    const Matrix diag = fromRows({{2, 0, 0}, {0, -4, 0}, {0, 0, 0.5}});
    const Matrix diagInv = diag.inv();
    EXPECT_EQ(diagInv(0, 0), 0.5);
    EXPECT_EQ(diagInv(1, 1), -0.25);
    EXPECT_EQ(diagInv(2, 2), 2.0);
    EXPECT_EQ(diagInv(0, 2), 0.0);

    // Inverse of [[4,7],[2,6]] is [[0.6,-0.7],[-0.2,0.4]]; the receiver stays as it was.
    const Matrix a = fromRows({{4, 7}, {2, 6}});
    const Matrix ai = a.inv();
    EXPECT_NEAR(ai(0, 0), 0.6, 1e-15);
    EXPECT_NEAR(ai(0, 1), -0.7, 1e-15);
    EXPECT_NEAR(ai(1, 0), -0.2, 1e-15);
    EXPECT_NEAR(ai(1, 1), 0.4, 1e-15);
    EXPECT_EQ(a(0, 0), 4.0);
    EXPECT_EQ(a(1, 0), 2.0);
}

TEST(MatrixInv, PivotThresholdIsStrictAndNaNPassesThrough) {
    Matrix tiny(1, 1);
    tiny(0, 0) = 1e-300;
    EXPECT_EQ(tiny.inv()(0, 0), 1.0 / 1e-300);

    Matrix nan(2, 2);
    nan(0, 0) = std::numeric_limits<double>::quiet_NaN();
    nan(1, 1) = 1.0;
    const Matrix r = nan.inv();  // no error: the NaN spreads through the result
    EXPECT_TRUE(std::isnan(r(0, 0)));
}

TEST(MatrixInv, RandomWellConditionedMatrixTimesInverseIsIdentity) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    const int n = 40;
    Matrix a(n, n);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) a(i, j) = dist(rng);
        a(i, i) += n;  // diagonally dominant: no pivot comes near zero
    }
    const Matrix ai = a.inv();
    double worst = 0.0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            double s = 0.0;
            for (int k = 0; k < n; ++k) s += a(i, k) * ai(k, j);
            worst = std::max(worst, std::fabs(s - (i == j ? 1.0 : 0.0)));
        }
    EXPECT_LT(worst, 1e-13);
}

TEST(MatrixErrors, VanishingPivotsThrow) {
    // Invertible, but without row exchanges the first pivot is zero.
    EXPECT_KERNEL_ERROR(fromRows({{0, 1}, {1, 0}}).inv(), kClose);
    Matrix tiny(1, 1);
    tiny(0, 0) = 9e-301;
    EXPECT_KERNEL_ERROR(tiny.inv(), kClose);
    // A pivot that only vanishes after elimination.
    EXPECT_KERNEL_ERROR(fromRows({{1, 2, 0}, {2, 4, 1}, {0, 1, 1}}).inv(), kClose);
}

TEST(MatrixErrors, SizeMismatchesThrowAndLeaveTheMatrix) {
    Matrix a(2, 3);
    const Matrix b(3, 2);  // same element count, different shape
    a(1, 2) = 7.0;
    EXPECT_KERNEL_ERROR(a += b, "different matrix sizes, can not +=");
    EXPECT_KERNEL_ERROR(a -= b, "different matrix sizes, can not -=");
    EXPECT_EQ(a.rowCount(), 2);
    EXPECT_EQ(a(1, 2), 7.0);
}

// The shape of the radial Jacobians: rows 0 and n-1 reach two columns away, interior
// rows are tridiagonal.
BandMatrix radialShape(int n, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    BandMatrix j(n);
    j(0, 0) = 4.0 + dist(rng);
    j(0, 1) = dist(rng);
    j(0, 2) = dist(rng);
    for (int i = 1; i < n - 1; ++i) {
        j(i, i - 1) = dist(rng);
        j(i, i) = 4.0 + dist(rng);
        j(i, i + 1) = dist(rng);
    }
    j(n - 1, n - 3) = dist(rng);
    j(n - 1, n - 2) = dist(rng);
    j(n - 1, n - 1) = 4.0 + dist(rng);
    return j;
}

TEST(BandMatrix, ToDensePlacesTheBand) {
    std::mt19937_64 rng(3);
    const BandMatrix j = radialShape(6, rng);
    const Matrix d = j.toDense();
    EXPECT_EQ(d(0, 2), j(0, 2));
    EXPECT_EQ(d(5, 3), j(5, 3));
    EXPECT_EQ(d(3, 4), j(3, 4));
    EXPECT_EQ(d(0, 3), 0.0);
    EXPECT_EQ(d(3, 1), 0.0);
}

TEST(BandMatrix, SolveMatchesTheDenseInverse) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> dist(-10.0, 10.0);
    for (int n : {3, 4, 5, 60}) {
        BandMatrix j = radialShape(n, rng);
        Vtr b(n, 0.0);
        for (int i = 0; i < n; ++i) b[i] = dist(rng);
        const Vtr dense = j.toDense().inv() * b;
        const Vtr banded = j.solve(b);
        ASSERT_EQ(banded.size(), n);
        for (int i = 0; i < n; ++i) EXPECT_NEAR(banded[i], dense[i], 1e-12 * (1.0 + std::fabs(dense[i]))) << n << ' ' << i;
    }
}

TEST(BandMatrixErrors, SameVanishingPivotsAsTheDenseInverse) {
    // Leading zero, and a zero that appears after one elimination step; both as Matrix::inv.
    BandMatrix leading(3);
    leading(0, 1) = 1.0;
    leading(1, 0) = 1.0;
    leading(1, 1) = 1.0;
    leading(2, 2) = 1.0;
    EXPECT_KERNEL_ERROR(BandMatrix(leading).solve(Vtr(3, 1.0)), kClose);
    EXPECT_KERNEL_ERROR(leading.toDense().inv(), kClose);

    BandMatrix developed(3);
    developed(0, 0) = 1.0;
    developed(0, 1) = 2.0;
    developed(1, 0) = 2.0;
    developed(1, 1) = 4.0;
    developed(1, 2) = 1.0;
    developed(2, 1) = 1.0;
    developed(2, 2) = 1.0;
    EXPECT_KERNEL_ERROR(BandMatrix(developed).solve(Vtr(3, 1.0)), kClose);

    // A last row reaching two columns back that cancels its pivot exactly.
    BandMatrix corner(3);
    corner(0, 0) = 1.0;
    corner(0, 2) = 1.0;
    corner(1, 1) = 1.0;
    corner(2, 0) = 1.0;
    corner(2, 2) = 1.0;
    EXPECT_KERNEL_ERROR(BandMatrix(corner).solve(Vtr(3, 1.0)), kClose);
    EXPECT_KERNEL_ERROR(corner.toDense().inv(), kClose);

    BandMatrix tiny(1);
    tiny(0, 0) = 1e-300;
    EXPECT_EQ(tiny.solve(Vtr(1, 1.0))[0], 1.0 / 1e-300);
}

}  // namespace
}  // namespace marlinq
