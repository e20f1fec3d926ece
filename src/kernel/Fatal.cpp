#include "kernel/Fatal.h"

#include <atomic>
#include <string>

namespace marlinq {

namespace {
std::atomic<double> g_vanishingPivotBound{1e-300};
}  // namespace

void raiseKernelError(std::string_view message) { throw KernelError(std::string(message)); }

double vanishingPivotBound() { return g_vanishingPivotBound.load(std::memory_order_relaxed); }

void setVanishingPivotBound(double bound) { g_vanishingPivotBound.store(bound, std::memory_order_relaxed); }

}  // namespace marlinq
