#pragma once
// The Newton iteration of the spherical complex, shared by the free energy and the
// potential profile: 401 points from the centre to 8 core radii, start from u = 0,
// stop when the change falls below 0.01, at most 99 steps.

#include "kernel/Vtr.h"

#include <cstdint>

namespace marlinq::sphere {

inline constexpr std::int32_t kPoints = 401;
inline constexpr double kOuterRadius = 8.0;
inline constexpr double kStep = (kOuterRadius - 0.0) / 400;  // 0.02; point 50 is the core surface
inline constexpr std::int32_t kStepLimit = 100;              // the counter starts at 1: 99 steps

// x_i = i * 0.02, in units of the core radius.
Vtr grid();

// Solves for the potential; *counter receives the final value of the step counter
// (1 + the number of steps taken).
Vtr solvePotential(const Vtr& x, double q, double kappaR, std::int32_t* counter);

}  // namespace marlinq::sphere
