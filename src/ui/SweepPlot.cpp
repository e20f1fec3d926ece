#include "ui/SweepPlot.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace marlinq::ui {

double niceTickStep(double span, int intervals) {
    if (!(span > 0.0) || !std::isfinite(span)) return 1.0;
    const double raw = span / std::max(intervals, 1);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double m = raw / power;
    const double factor = m < 1.5 ? 1.0 : m < 3.5 ? 2.0 : m < 7.5 ? 5.0 : 10.0;
    return factor * power;
}

NiceAxis niceAxis(double lo, double hi, int intervals) {
    NiceAxis a;
    if (!std::isfinite(lo) || !std::isfinite(hi)) return a;
    if (hi < lo) std::swap(lo, hi);
    if (hi - lo <= 1e-12 * std::max(1.0, std::abs(hi))) {
        // One value: a band of a tenth of it (or of one) around it.
        const double half = std::max(std::abs(hi) * 0.1, 0.5);
        lo -= half;
        hi += half;
    }
    a.step = niceTickStep(hi - lo, intervals);
    // Whole steps, with a little slack so that rounding cannot add a step.
    a.lo = std::floor(lo / a.step + 1e-9) * a.step;
    a.hi = std::ceil(hi / a.step - 1e-9) * a.step;
    a.decimals = std::max(0, -static_cast<int>(std::floor(std::log10(a.step) + 1e-9)));
    return a;
}

std::pair<double, double> decadeRange(double lo, double hi) {
    if (!(lo > 0.0) || !(hi > 0.0)) return {1.0, 10.0};
    if (hi < lo) std::swap(lo, hi);
    double a = std::pow(10.0, std::floor(std::log10(lo) + 1e-9));
    double b = std::pow(10.0, std::ceil(std::log10(hi) - 1e-9));
    if (b <= a) b = a * 10.0;
    return {a, b};
}

std::vector<double> niceTicks(const NiceAxis& axis) {
    std::vector<double> out;
    const auto n = static_cast<std::int64_t>(std::llround((axis.hi - axis.lo) / axis.step));
    for (std::int64_t k = 0; k <= n && k <= 1000; ++k) {
        double v = axis.lo + static_cast<double>(k) * axis.step;
        if (std::abs(v) < axis.step * 1e-9) v = 0.0;  // no "-0"
        out.push_back(v);
    }
    return out;
}

}  // namespace marlinq::ui
