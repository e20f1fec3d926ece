#include "kernel/BandMatrix.h"

#include "kernel/Fatal.h"

#include <algorithm>
#include <cmath>

namespace marlinq {

Vtr BandMatrix::solve(Vtr b) {
    const std::int32_t n = n_;
    BandMatrix& a = *this;
    const double tiny = vanishingPivotBound();
    // Forward elimination: row k eliminates column k from the (at most two) rows below.
    for (std::int32_t k = 0; k < n; ++k) {
        const double p = a(k, k);
        if (std::fabs(p) < tiny) raiseKernelError(kVanishingPivot);
        const std::int32_t lastRow = std::min(k + kHalfWidth, n - 1);
        const std::int32_t lastCol = std::min(k + kHalfWidth, n - 1);
        for (std::int32_t i = k + 1; i <= lastRow; ++i) {
            const double f = a(i, k) / p;
            if (f == 0.0) continue;
            // Row i reaches at most column i + 2 >= k + 2, so no fill-in leaves the band.
            for (std::int32_t j = k; j <= lastCol; ++j) a(i, j) -= a(k, j) * f;
            b[i] -= b[k] * f;
        }
    }
    // Back substitution.
    for (std::int32_t k = n - 1; k >= 0; --k) {
        double s = b[k];
        const std::int32_t lastCol = std::min(k + kHalfWidth, n - 1);
        for (std::int32_t j = k + 1; j <= lastCol; ++j) s -= a(k, j) * b[j];
        b[k] = s / a(k, k);
    }
    return b;
}

Matrix BandMatrix::toDense() const {
    Matrix m(n_, n_);
    for (std::int32_t i = 0; i < n_; ++i)
        for (std::int32_t j = std::max(0, i - kHalfWidth); j <= std::min(n_ - 1, i + kHalfWidth); ++j) m(i, j) = (*this)(i, j);
    return m;
}

}  // namespace marlinq
