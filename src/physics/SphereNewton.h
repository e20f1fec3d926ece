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

// The same on other grids, for studies of the discretisation: n points from 0 to 8 core
// radii (x_i = i * 8 / (n - 1); with (n - 1) a multiple of 8 a point lies on the core
// surface and counts as outside), Newton loop until the change falls below `tolerance` or
// the counter reaches `stepLimit`. With n = 401, tolerance 0.01 and step limit 100 these are
// the program's standard values, to the bit.
Vtr grid(std::int32_t n);
Vtr solvePotential(const Vtr& x, double q, double kappaR, std::int32_t n, double tolerance, std::int32_t stepLimit,
                   std::int32_t* counter);
// bjerrum = l_B / a, the Bjerrum length in segment units (1: water at 25 C, a = 0.714 nm).
double poissonBoltzmannEnergy(double ka, double qp, double qn, double vcore, std::int32_t n, double tolerance,
                              std::int32_t stepLimit, std::int32_t* counter, double bjerrum = 1.0);
double debyeHueckelEnergy(double ka, double qp, double qn, double vcore, std::int32_t n, double bjerrum = 1.0);

}  // namespace marlinq::sphere
