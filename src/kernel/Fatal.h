#pragma once
// The kernel's one way to fail: an error of the calling code (vectors or matrices of
// different sizes, division by zero, a grid too short) or a breakdown of the numerics (a
// pivot that vanishes) throws KernelError with its message. The kernel never writes to a
// console and never ends the process: the front end that started the calculation says
// what went wrong in its usual way.

#include <stdexcept>
#include <string_view>

namespace marlinq {

class KernelError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws KernelError with the message.
[[noreturn]] void raiseKernelError(std::string_view message);

// The message of a pivot below 1e-300 in magnitude.
inline constexpr const char* kVanishingPivot = "close to 0!";
// The message of two vectors of different sizes.
inline constexpr const char* kBadVectorSizes = "bad vector sizes";

// Pivots below this magnitude count as vanishing: 1e-300 unless a test changed it. No
// physical input makes a radial Newton Jacobian singular, so tests of how a front end
// reports a kernel failure raise the bound until every Newton solve meets one.
double vanishingPivotBound();
void setVanishingPivotBound(double bound);

}  // namespace marlinq
