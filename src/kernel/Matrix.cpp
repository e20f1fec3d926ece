#include "kernel/Matrix.h"

#include "kernel/Fatal.h"

#include <cmath>
#include <vector>

namespace marlinq {

namespace {
std::size_t elementCount(std::int32_t rows, std::int32_t cols) {
    if (rows <= 0 || cols <= 0) return 0;
    return static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
}
}  // namespace

Matrix::Matrix(std::int32_t r, std::int32_t c) : values(0.0, elementCount(r, c)), rows(r), cols(c) {}

Matrix& Matrix::operator=(const Matrix& other) {
    if (this == &other) return *this;
    values.resize(other.values.size());
    values = other.values;
    rows = other.rows;
    cols = other.cols;
    return *this;
}

void Matrix::resize(std::int32_t r, std::int32_t c) {
    rows = r;
    cols = c;
    values.resize(elementCount(r, c), 0.0);
    values = 0.0;
}

Matrix& Matrix::operator+=(const Matrix& other) {
    if (rows != other.rows || cols != other.cols) raiseKernelError("different matrix sizes, can not +=");
    values += other.values;
    return *this;
}

Matrix& Matrix::operator-=(const Matrix& other) {
    if (rows != other.rows || cols != other.cols) raiseKernelError("different matrix sizes, can not -=");
    values -= other.values;
    return *this;
}

Matrix Matrix::inv() const {
    const std::size_t n = static_cast<std::size_t>(rows < 0 ? 0 : rows);
    const std::size_t w = 2 * n;
    // Augmented working array [A | I], one contiguous block of n rows of 2n doubles.
    std::vector<double> work(n * w, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) work[i * w + j] = values[i * static_cast<std::size_t>(cols) + j];
        work[i * w + n + i] = 1.0;
    }
    const double tiny = vanishingPivotBound();
    for (std::size_t k = 0; k < n; ++k) {
        double* rowK = &work[k * w];
        const double p = rowK[k];
        if (std::fabs(p) < tiny) raiseKernelError(kVanishingPivot);
        for (std::size_t i = 0; i < n; ++i) {
            if (i == k) continue;
            double* rowI = &work[i * w];
            const double f = rowI[k] / p;
            for (std::size_t j = 0; j < w; ++j) rowI[j] = rowI[j] - rowK[j] * f;
        }
        for (std::size_t j = 0; j < w; ++j) rowK[j] = rowK[j] / p;
    }
    Matrix r(rows, rows);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) r.values[i * n + j] = work[i * w + n + j];
    return r;
}

Matrix operator*(double c, const Matrix& m) {
    Matrix r(m);
    double* d = r.data();
    const std::size_t count = elementCount(m.rowCount(), m.colCount());
    for (std::size_t i = 0; i < count; ++i) d[i] *= c;
    return r;
}

Matrix operator*(const Matrix& m, double c) { return c * m; }

Vtr operator*(const Matrix& m, const Vtr& v) {
    Vtr result(v.size(), 0.0);
    for (std::int32_t i = 0; i < m.rowCount(); ++i) {
        double sum = 0.0;
        const double* row = m.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(m.colCount());
        for (std::int32_t j = 0; j < m.colCount(); ++j) sum += row[j] * v[j];
        result[i] = sum;
    }
    return result;
}

}  // namespace marlinq
