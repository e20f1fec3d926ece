#pragma once
// Square matrix with at most two sub- and two super-diagonals, the shape of the
// Jacobians of the radial solvers (row 0 and row n-1 reach two columns away, the
// interior rows are tridiagonal). Solving costs O(n) time and memory.

#include "kernel/Matrix.h"
#include "kernel/Vtr.h"

#include <cstdint>
#include <vector>

namespace marlinq {

class BandMatrix {
public:
    static constexpr int kHalfWidth = 2;
    static constexpr int kWidth = 2 * kHalfWidth + 1;

    explicit BandMatrix(std::int32_t n) : n_(n), band_(static_cast<std::size_t>(n < 0 ? 0 : n) * kWidth, 0.0) {}

    std::int32_t order() const { return n_; }

    // Element (i, j) with |i - j| <= 2.
    double& operator()(std::int32_t i, std::int32_t j) {
        return band_[static_cast<std::size_t>(i) * kWidth + static_cast<std::size_t>(j - i + kHalfWidth)];
    }
    double operator()(std::int32_t i, std::int32_t j) const {
        return band_[static_cast<std::size_t>(i) * kWidth + static_cast<std::size_t>(j - i + kHalfWidth)];
    }

    // Solves J x = b by Gaussian elimination without row exchanges. The pivots are those
    // the Gauss-Jordan inversion of the same matrix meets, and so is the rule for them:
    // a pivot below 1e-300 (vanishingPivotBound()) in magnitude throws KernelError("close to 0!").
    // The matrix is overwritten by its elimination.
    Vtr solve(Vtr b);

    // The same matrix stored densely, for comparisons with Matrix::inv.
    Matrix toDense() const;

private:
    std::int32_t n_;
    std::vector<double> band_;
};

}  // namespace marlinq
