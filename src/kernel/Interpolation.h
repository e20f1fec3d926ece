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

double interpolateCoarse(double ki, double ka, std::int32_t X, std::int32_t Y, const CoarseTable& m);
double interpolateFine(double ki, double ka, std::int32_t X, std::int32_t Y, const FineTable& m);

// Exponentiation by squaring; pow(x, 0) == 1.
double pow(double base, std::int32_t exponent);
// Natural logarithm in single precision: narrowed argument, double log, narrowed result.
float log(float value);

}  // namespace marlinq
