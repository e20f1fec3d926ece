#include "kernel/Interpolation.h"

#include <cmath>

namespace marlinq {

namespace {

// The value a corner cell of either table stands for (the energy at ka = ki = 10).
constexpr double kCornerValue = 8.9899;

double coarseGrid(std::int32_t i) { return i * kCoarseStep + kTableOrigin; }
double fineGrid(std::int32_t i) { return i * kFineStep + kTableOrigin; }

// The distance of ki from the cell's upper column, t, and the cell's width, w, in the
// variable the lookup is linear in: ki or ki^2.
struct ColumnSpan {
    double t;
    double w;
};
template <typename GridFn>
ColumnSpan columnSpan(double ki, std::int32_t Y, GridFn g, DensityWeights weights) {
    if (weights == DensityWeights::Linear) return {g(Y + 1) - ki, g(Y + 1) - g(Y)};
    const double upper = g(Y + 1), lower = g(Y);
    return {upper * upper - ki * ki, upper * upper - lower * lower};
}

// Linear along ki on rows X and X+1, then linear along ka between them.
template <typename Table, typename GridFn>
double bilinear(double ki, double ka, std::int32_t X, std::int32_t Y, const Table& m, GridFn g,
                DensityWeights weights) {
    const double a = m[X + 1][Y];
    const double b = m[X + 1][Y + 1];
    const double c = m[X][Y];
    const double e = m[X][Y + 1];
    const auto [t, w] = columnSpan(ki, Y, g, weights);
    const double p1 = b - ((b - a) * t) / w;
    const double p0 = e - ((e - c) * t) / w;
    return ((p0 - p1) * (ka - g(X + 1))) / (g(X) - g(X + 1)) + p1;
}

}  // namespace

double interpolateCoarse(double ki, double ka, std::int32_t X, std::int32_t Y, const CoarseTable& m,
                         DensityWeights weights) {
    if (X == 18 && Y == 18) return kCornerValue;
    if (X == 18) {
        // Row 18 is treated as the last row: interpolate along ki only.
        const double lo = m[18][Y];
        const double hi = m[18][Y + 1];
        if (weights == DensityWeights::Squared) {
            const auto [t, w] = columnSpan(ki, Y, coarseGrid, weights);
            return hi - (t * (hi - lo)) / w;
        }
        return hi - ((coarseGrid(Y + 1) - ki) * (hi - lo)) / kCoarseStep;
    }
    return bilinear(ki, ka, X, Y, m, coarseGrid, weights);
}

double interpolateFine(double ki, double ka, std::int32_t X, std::int32_t Y, const FineTable& m,
                       DensityWeights weights) {
    if (X == 98 && Y == 98) return kCornerValue;
    if (X == 98) {
        const double lo = m[98][Y];
        const double hi = m[98][Y + 1];
        if (weights == DensityWeights::Squared) {
            const auto [t, w] = columnSpan(ki, Y, fineGrid, weights);
            return hi - (t * (hi - lo)) / w;
        }
        return hi - ((fineGrid(Y + 1) - ki) * (hi - lo)) / kFineStep;
    }
    if (Y == 98) {
        const double lo = m[X][98];
        const double hi = m[X + 1][98];
        return ((hi - lo) * (ka - fineGrid(X))) / (fineGrid(X + 1) - fineGrid(X)) + lo;
    }
    return bilinear(ki, ka, X, Y, m, fineGrid, weights);
}

double pow(double base, std::int32_t exponent) {
    // Magnitude as unsigned, so that the most negative exponent does not overflow.
    std::uint32_t n = exponent < 0 ? 0u - static_cast<std::uint32_t>(exponent) : static_cast<std::uint32_t>(exponent);
    double r = 1.0;
    double b = base;
    while (true) {
        if (n & 1u) r = r * b;
        n >>= 1;
        if (n == 0) break;
        b = b * b;
    }
    return exponent < 0 ? 1.0 / r : r;
}

float log(float value) {
    return static_cast<float>(std::log(static_cast<double>(value)));
}

}  // namespace marlinq
