#pragma once
// Dense row-major matrix of doubles. It holds Newton Jacobians; inv() is the
// Gauss-Jordan inversion without row exchanges that the dense reference path uses.

#include "kernel/Vtr.h"

#include <cstdint>
#include <utility>
#include <valarray>

namespace marlinq {

class Matrix {
public:
    Matrix(std::int32_t rows, std::int32_t cols);
    Matrix(const Matrix&) = default;
    // A moved-from matrix is left 0 by 0, never with dimensions its array lacks.
    Matrix(Matrix&& other) noexcept : values(std::move(other.values)), rows(other.rows), cols(other.cols) {
        other.clear();
    }
    Matrix& operator=(const Matrix& other);
    Matrix& operator=(Matrix&& other) noexcept {
        if (this != &other) {
            values = std::move(other.values);
            rows = other.rows;
            cols = other.cols;
            other.clear();
        }
        return *this;
    }

    void resize(std::int32_t rows, std::int32_t cols);

    double& operator()(std::int32_t i, std::int32_t j) {
        return values[static_cast<std::size_t>(i) * static_cast<std::size_t>(cols) + static_cast<std::size_t>(j)];
    }
    const double& operator()(std::int32_t i, std::int32_t j) const {
        return values[static_cast<std::size_t>(i) * static_cast<std::size_t>(cols) + static_cast<std::size_t>(j)];
    }

    // Of another size: KernelError.
    Matrix& operator+=(const Matrix& other);
    Matrix& operator-=(const Matrix& other);

    // Gauss-Jordan inversion without row exchanges. A pivot below 1e-300
    // (vanishingPivotBound()) in magnitude throws KernelError("close to 0!").
    Matrix inv() const;

    std::int32_t rowCount() const { return rows; }
    std::int32_t colCount() const { return cols; }
    const double* data() const { return std::begin(values); }
    double* data() { return std::begin(values); }

private:
    void clear() noexcept {
        values.resize(0);
        rows = 0;
        cols = 0;
    }

    std::valarray<double> values;
    std::int32_t rows = 0;
    std::int32_t cols = 0;
};

Matrix operator*(double c, const Matrix& m);
Matrix operator*(const Matrix& m, double c);
// Row-by-row product; the result has v.size() elements and the sum runs over cols.
Vtr operator*(const Matrix& m, const Vtr& v);

}  // namespace marlinq
