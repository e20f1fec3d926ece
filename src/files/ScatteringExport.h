#pragma once
// The scattered intensity as CSV: the header q,I,I_core,I_corona,I_free, then one row per
// q, each number in its shortest form that reads back to the same double, a point as
// decimal separator whatever the locale ("nan" where there is none).

#include <span>
#include <string>

namespace marlinq {

struct ScatteringColumns {
    std::span<const double> q, intensity, core, corona, free;
};

std::string scatteringCsv(const ScatteringColumns& columns);

}  // namespace marlinq
