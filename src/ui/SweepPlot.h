#pragma once
// The tick steps of a sweep's chart axes and of the numbered colour bar of its map.

#include <cstdint>
#include <utility>
#include <vector>

namespace marlinq::ui {

// 1, 2 or 5 times a power of ten: the step that cuts span into about `intervals` parts.
double niceTickStep(double span, int intervals = 5);
// An axis of ticks at whole multiples of a nice step, from lo to hi widened to whole steps.
struct NiceAxis {
    double lo = 0.0, hi = 1.0, step = 0.2;
    int decimals = 1;  // enough to tell the ticks apart, no more
};
NiceAxis niceAxis(double lo, double hi, int intervals = 5);
// The whole decades around lo..hi (both > 0): 0.2..10 gives 0.1..10.
std::pair<double, double> decadeRange(double lo, double hi);
// The tick values of an axis, lo to hi.
std::vector<double> niceTicks(const NiceAxis& axis);

}  // namespace marlinq::ui
