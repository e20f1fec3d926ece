#pragma once
// The program's rounded constants, the only place pi and e are written down. pi is
// 3.141592387 throughout and enters the formulas through these multiples with exactly these
// digits; exponentials of the free energies and the weights raise 2.71828183 to a power.
// Only the displayed Debye-Hueckel profile uses e to full precision (kFullE).

namespace marlinq::constants {

inline constexpr double kPi = 3.141592387;
inline constexpr double kTwoPi = 6.283184774;
inline constexpr double kFourPi = 12.566369548;
inline constexpr double kFourThirdsPi = 4.188789849333333;
inline constexpr double kEightPi = 25.132739096;
inline constexpr double kOneThird = 0.3333333333333333;
inline constexpr double kE = 2.71828183;
inline constexpr double kFullE = 2.718281828459045;

static_assert(4.0 * kPi == kFourPi && 2.0 * kPi == kTwoPi && 8.0 * kPi == kEightPi,
              "the multiples of pi are pi scaled exactly");

}  // namespace marlinq::constants
