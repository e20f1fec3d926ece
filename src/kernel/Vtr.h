#pragma once
// Dense vector of doubles with value semantics: the grids, potential profiles and
// Newton iterates of every radial calculation.
//
// Errors of the calling code (vectors of different sizes, division by zero) throw
// KernelError (kernel/Fatal.h).

#include <cstdint>
#include <utility>
#include <valarray>
#include <vector>

namespace marlinq {

class Vtr {
public:
    Vtr(std::int32_t n, double fill);
    explicit Vtr(const std::vector<double>& src);
    Vtr(const Vtr& other) = default;
    // A moved-from vector is left empty (size 0), never with a count its array lacks.
    Vtr(Vtr&& other) noexcept : count(other.count), values(std::move(other.values)) { other.clear(); }
    Vtr& operator=(const Vtr& other);
    Vtr& operator=(Vtr&& other) noexcept {
        if (this != &other) {
            count = other.count;
            values = std::move(other.values);
            other.clear();
        }
        return *this;
    }

    std::int32_t size() const { return count; }

    double& operator[](std::int32_t i) { return values[static_cast<std::size_t>(i)]; }
    const double& operator[](std::int32_t i) const { return values[static_cast<std::size_t>(i)]; }
    double& operator()(std::int32_t i) { return values[static_cast<std::size_t>(i)]; }
    const double& operator()(std::int32_t i) const { return values[static_cast<std::size_t>(i)]; }

    // Euclidean norm, summed from element 0 upward.
    double twonorm() const;

    double* data() { return std::begin(values); }
    const double* data() const { return std::begin(values); }

private:
    void clear() noexcept {
        values.resize(0);
        count = 0;
    }

    std::int32_t count = 0;
    std::valarray<double> values;
};

Vtr operator+(const Vtr& a, const Vtr& b);
Vtr operator-(const Vtr& a, const Vtr& b);  // a + ((-1.0) * b)
Vtr operator*(double s, const Vtr& v);
Vtr operator*(const Vtr& v, double s);
Vtr operator/(const Vtr& v, double s);      // (1.0 / s) * v; s == 0 throws KernelError
double dot(const Vtr& a, const Vtr& b);

// Product of a matrix given as a sequence of column vectors with a vector.
Vtr operator*(const std::vector<Vtr>& columns, const Vtr& v);

}  // namespace marlinq
