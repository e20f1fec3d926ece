#include "kernel/Vtr.h"

#include "kernel/Fatal.h"

#include <cmath>

namespace marlinq {

namespace {
void checkSizes(const Vtr& a, const Vtr& b) {
    if (a.size() != b.size()) raiseKernelError(kBadVectorSizes);
}
}  // namespace

Vtr::Vtr(std::int32_t n, double fill) : count(n), values(fill, static_cast<std::size_t>(n < 0 ? 0 : n)) {}

Vtr::Vtr(const std::vector<double>& src)
    : count(static_cast<std::int32_t>(src.size())), values(src.data(), src.size()) {}

Vtr& Vtr::operator=(const Vtr& other) {
    if (this == &other) return *this;
    values.resize(static_cast<std::size_t>(other.count));
    values = other.values;
    count = other.count;
    return *this;
}

double Vtr::twonorm() const {
    double sum = 0.0;
    for (std::int32_t i = 0; i < count; ++i) sum += values[static_cast<std::size_t>(i)] * values[static_cast<std::size_t>(i)];
    return std::sqrt(sum);
}

Vtr operator+(const Vtr& a, const Vtr& b) {
    checkSizes(a, b);
    Vtr r(a);
    for (std::int32_t i = 0; i < r.size(); ++i) r[i] += b[i];
    return r;
}

Vtr operator-(const Vtr& a, const Vtr& b) { return a + ((-1.0) * b); }

Vtr operator*(double s, const Vtr& v) {
    Vtr r(v);
    for (std::int32_t i = 0; i < r.size(); ++i) r[i] *= s;
    return r;
}

Vtr operator*(const Vtr& v, double s) { return s * v; }

Vtr operator/(const Vtr& v, double s) {
    if (s == 0.0) raiseKernelError("division by zero in vector-scalar division");
    return (1.0 / s) * v;
}

double dot(const Vtr& a, const Vtr& b) {
    checkSizes(a, b);
    double sum = 0.0;
    for (std::int32_t i = 0; i < a.size(); ++i) sum += a[i] * b[i];
    return sum;
}

Vtr operator*(const std::vector<Vtr>& columns, const Vtr& v) {
    if (static_cast<std::int32_t>(columns.size()) != v.size())
        raiseKernelError("Column num of the matrix didn't equal to row num of the vector");
    const std::int32_t n = v.size();
    if (n == 0) return Vtr(0, 0.0);  // no columns: nothing to sum, and no column to take the size from
    const std::int32_t m = columns[0].size();
    Vtr result(m, 0.0);
    if (n < 1000) {
        for (std::int32_t j = 0; j < n; ++j) result = result + columns[static_cast<std::size_t>(j)] * v[j];
        return result;
    }
    // Four quarter sums, added in order; the grouping only changes the rounding of the sum.
    for (int k = 0; k < 4; ++k) {
        Vtr partial(m, 0.0);
        for (std::int32_t j = (k * n) / 4; j < ((k + 1) * n) / 4; ++j)
            partial = partial + columns[static_cast<std::size_t>(j)] * v[j];
        result = result + partial;
    }
    return result;
}

}  // namespace marlinq
