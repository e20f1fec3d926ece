#pragma once
// Bilinear interpolation in the single-chain tables and the numeric conventions of
// the complex stages (integer power, single-precision logarithm).

#include <array>
#include <cstdint>

namespace marlinq {

using CoarseTable = std::array<std::array<double, 20>, 20>;  // m[ka index][ki index]
using FineTable = std::array<std::array<double, 99>, 99>;

constexpr double kCoarseStep = 0.51578947369;
constexpr double kFineStep = 0.1;
constexpr double kTableOrigin = 0.2;

// How a lookup weighs the two columns (charge densities ki) of its cell. Linear: in
// proportion to ki, the plain bilinear rule. Squared: in proportion to ki^2, exact for the
// weakly charged chain, whose energy per length is ki^2 times a function of ka alone
// (Debye-Hueckel); both give the table's own value on its columns.
enum class DensityWeights { Linear, Squared };

double interpolateCoarse(double ki, double ka, std::int32_t X, std::int32_t Y, const CoarseTable& m,
                         DensityWeights weights = DensityWeights::Linear);
double interpolateFine(double ki, double ka, std::int32_t X, std::int32_t Y, const FineTable& m,
                       DensityWeights weights = DensityWeights::Linear);

// Exponentiation by squaring; pow(x, 0) == 1.
double pow(double base, std::int32_t exponent);
// Natural logarithm in single precision: narrowed argument, double log, narrowed result.
float log(float value);

}  // namespace marlinq
